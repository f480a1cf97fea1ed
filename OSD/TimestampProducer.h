#ifndef OSD_TIMESTAMPPRODUCER_H
#define OSD_TIMESTAMPPRODUCER_H

#include <atomic>

#include "MultiTask/Thread.h"

// Sends XM_UPDATE_TIMESTAMP2 with the packed time to the overlay thread at
// every new second of the clock.
class CTimestampProducer : public CThread {
public:
    static CTimestampProducer* instance();
    CTimestampProducer();
    ~CTimestampProducer() override;

    // The thread that gets the ticks (the overlay manager that starts it).
    void SetTarget(CThread* target) { m_lpTarget = target; }
    void ThreadProc() override;

protected:
    class CGarbo {
    public:
        ~CGarbo();
    };

    std::atomic<CThread*> m_lpTarget;
};

#endif
