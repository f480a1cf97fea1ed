#include "OSD/TimestampProducer.h"

#include <unistd.h>

#include <ctime>

#include "Function/RecTime.h"
#include "MultiTask/Msg.h"

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
