#ifndef FACTORYTEST_FACTORYPORTS_H
#define FACTORYTEST_FACTORYPORTS_H

#include <cstddef>

#include "Function/types.h"

// What the factory test reaches in other managers: the recording engine's
// factory calls, the card, the board's pins, the prompt player, the sensors,
// GPS and the capture. CFactoryPorts() itself is the camera's; tests replace
// single calls.
class CFactoryPorts {
public:
    virtual ~CFactoryPorts() = default;

    virtual BOOL ImageSensorActive();
    virtual void SetFactoryTesting(BOOL bTesting);
    virtual BOOL StartRecordAAC(const char* filename);
    virtual BOOL StopRecordAAC();
    virtual void SetLedOnOffRate(int frames);

    virtual int GetSDState();
    virtual BOOL GetSDMountPath(char* path, size_t size);
    virtual BOOL RegisterSDStateCallback(int (*fun)(int, void*), void* priv);

    virtual BOOL ReadGpio(int gpio, int& value);
    virtual BOOL WriteGpio(int gpio, int value);

    // A voice prompt at normal priority.
    virtual void PlayAudio(int index);

    // The motion sensors are not on the board yet: "not active".
    virtual BOOL IRSensorActive();
    virtual BOOL GSensorActive();
    virtual BOOL GPSModuleActive();
    virtual BOOL EnableAudioEnc(BOOL bEnable);
    virtual BOOL StopVO();

    // Shell command's exit status (-1 when it cannot start).
    virtual int RunCommand(const char* cmd);
};

#endif
