#include "PlayAudio/PlayAudio.h"

#include <cstdio>

#include "Platform/PromptLog.h"
#include "PlayAudio/PromptWorker.h"

namespace {

std::atomic<CPlayAudio*> s_lpInstance{nullptr};

}  // namespace

CPlayAudio* CPlayAudio::instance()
{
    static CGarbo s_Garbo;
    static CPlayAudio* const s_lpCreated = [] {
        CPlayAudio* p = new CPlayAudio;
        s_lpInstance.store(p, std::memory_order_release);
        return p;
    }();
    (void)s_Garbo;
    (void)s_lpCreated;
    return s_lpInstance.load(std::memory_order_acquire);
}

CPlayAudio::CGarbo::~CGarbo()
{
    delete s_lpInstance.exchange(nullptr);
}

CPlayAudio::CPlayAudio() : CThread(FALSE, 1024, 0)
{
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
    CPromptWorker::instance()->Stop();
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
