#ifndef MAIN_WIRING_FACTORYWIRING_H
#define MAIN_WIRING_FACTORYWIRING_H

#include "FactoryTest/FactoryPorts.h"

// The factory test's calls of the recording engine, the GPS receiver and
// the camera object's audio encoder.
class CCameraFactoryPorts : public CFactoryPorts {
public:
    BOOL ImageSensorActive() override;
    void SetFactoryTesting(BOOL bTesting) override;
    BOOL StartRecordAAC(const char* filename) override;
    BOOL StopRecordAAC() override;
    void SetLedOnOffRate(int frames) override;
    BOOL GPSModuleActive() override;
    BOOL EnableAudioEnc(BOOL bEnable) override;
};

#endif
