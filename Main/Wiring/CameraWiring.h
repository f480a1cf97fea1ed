#ifndef MAIN_WIRING_CAMERAWIRING_H
#define MAIN_WIRING_CAMERAWIRING_H

// The composition root: the camera's implementation of every interface that
// a subsystem declares for what it needs from the others, each made once,
// and Wire(), which hands them to the managers. main() makes the root before
// any manager and wires it before the first Init, so the root is deleted at
// exit after every manager that uses it.

#include "Main/Wiring/AlarmWiring.h"
#include "MultiTask/Singleton.h"

class CCameraWiring : public CSingleton<CCameraWiring> {
public:
    // Binds every manager to the camera's implementations.
    void Wire();

private:
    friend class CSingleton<CCameraWiring>;
    CCameraWiring() = default;
    ~CCameraWiring() = default;

    void WireAlarms();

    CCameraAlarmRecordTarget m_AlarmRecord;
    CCameraAlarmSnapshotTarget m_AlarmSnapshot;
};

#endif
