#ifndef OSD_TIMESTAMPPRODUCER_H
#define OSD_TIMESTAMPPRODUCER_H

#include <atomic>

#include "MultiTask/Singleton.h"
#include "MultiTask/Thread.h"

// Sends XM_UPDATE_TIMESTAMP2 with the packed time to its target thread at
// every new second of the clock; without a target the ticks are dropped.
class CTimestampProducer : public CThread, public CSingleton<CTimestampProducer> {
public:
    CTimestampProducer();
    ~CTimestampProducer() override;

    // The thread that gets the ticks: the overlay manager sets itself
    // before it starts the producer and clears it after stopping it.
    void SetTarget(CThread* target) { m_lpTarget = target; }
    void ThreadProc() override;

protected:
    std::atomic<CThread*> m_lpTarget;
};

#endif
