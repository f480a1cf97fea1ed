#include "OSD/TimestampProducer.h"

#include <unistd.h>

#include <ctime>

#include "Function/RecTime.h"
#include "MultiTask/Msg.h"

namespace {
CTimestampProducer* g_lpProducer = nullptr;
}  // namespace

CTimestampProducer::CGarbo::~CGarbo()
{
    delete g_lpProducer;
    g_lpProducer = nullptr;
}

CTimestampProducer* CTimestampProducer::instance()
{
    static CGarbo s_Garbo;
    static CTimestampProducer* const s_lpCreated = g_lpProducer = new CTimestampProducer;
    (void)s_Garbo;
    (void)s_lpCreated;
    return g_lpProducer;
}

CTimestampProducer::CTimestampProducer() : CThread(FALSE, 0, 0), m_lpTarget(nullptr) {}

CTimestampProducer::~CTimestampProducer()
{
    DestroyThread(TRUE);
}

void CTimestampProducer::ThreadProc()
{
    time_t last = 0;
    while (m_bLoop) {
        const time_t now = time(nullptr);
        if (now != last) {
            RECTIME rec;
            Second2RECTIME(now, rec);
            CThread* target = m_lpTarget.load();
            if (target != nullptr) {
                target->SendMsg(XM_UPDATE_TIMESTAMP2, 0, rec.value, MSG_PRIORITY_NORMAL);  // a full queue drops a tick
            }
            last = now;
        }
        usleep(1000);
    }
}
