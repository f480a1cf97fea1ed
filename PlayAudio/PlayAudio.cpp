#include "PlayAudio/PlayAudio.h"

#include <cstdio>

#include "Platform/PromptLog.h"
#include "PlayAudio/PromptWorker.h"

CPlayAudio::CPlayAudio() : CThread(FALSE, 1024, 0)
{
    CPromptWorker::instance();  // made first: the worker outlives the player at exit
}

CPlayAudio::~CPlayAudio()
{
    CleanUp();
}

void CPlayAudio::Bind(const PromptRoles& roles)
{
    CPromptWorker::instance()->Bind(roles);
}

BOOL CPlayAudio::Init()
{
    if (!IsThreadOver()) {
        return TRUE;
    }
    return CreateThread(0);
}

BOOL CPlayAudio::CleanUp()
{
    DestroyThread(TRUE);
    if (CPromptWorker* worker = CPromptWorker::instance()) {
        worker->Stop();
    }
    return TRUE;
}

BOOL CPlayAudio::PlayAudio(pcm_index_t index)
{
    return PlayAudio(index, 0);
}

BOOL CPlayAudio::PlayAudio(pcm_index_t index, unsigned value)
{
    if (value >= 10000) {
        return 0;
    }
    XPromptLog(static_cast<int>(index));
    return SendMsg(XM_PLAYAUDIO, static_cast<unsigned>(index), value, MSG_PRIORITY_NORMAL);
}

void CPlayAudio::ThreadProc()
{
    while (m_bLoop) {
        XMSG msg;
        if (!RecvMsg(&msg, TRUE)) {
            fprintf(stderr, "CPlayAudio Thread Recv Msg Error.\n");
            return;
        }
        if (msg.msg != XM_PLAYAUDIO) {
            continue;
        }
        CPromptWorker* worker = CPromptWorker::instance();
        worker->Request(static_cast<int>(msg.wpa));
        if (!worker->Start()) {
            printf("the %s create  error!\n", "ThreadProc");
        }
    }
}
