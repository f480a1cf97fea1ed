#ifndef FACTORYTEST_FACTORYPORTS_H
#define FACTORYTEST_FACTORYPORTS_H

#include "AVCapture/CaptureControls.h"
#include "Function/Shell.h"
#include "Function/types.h"
#include "Periphery/SensorTests.h"
#include "PlayAudio/Prompts.h"
#include "Roles/CardFiles.h"
#include "Roles/Pins.h"

// What the factory test reaches in other managers of its own: the
// recording engine's factory calls, the GPS receiver and the audio encoder.
class CFactoryPorts {
public:
    virtual ~CFactoryPorts() = default;

    virtual BOOL ImageSensorActive() = 0;
    virtual void SetFactoryTesting(BOOL bTesting) = 0;
    virtual BOOL StartRecordAAC(const char* filename) = 0;
    virtual BOOL StopRecordAAC() = 0;
    virtual void SetLedOnOffRate(int frames) = 0;
    virtual BOOL GPSModuleActive() = 0;
    virtual BOOL EnableAudioEnc(BOOL bEnable) = 0;
};

// Everything the factory test needs, bound before Init. The station's
// server starts only with every part there; without the card no marker is
// read and no card callback registered.
typedef struct tagFactoryRoles {
    CFactoryPorts* ports;
    CCardFiles* card;
    CPins* pins;
    CPrompts* prompts;
    CSensorTests* sensors;
    CCaptureControls* capture;  // the analogue output
    CShell* shell;
} FactoryRoles;

#endif
