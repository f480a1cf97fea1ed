#ifndef PERIPHERY_SENSORTESTS_H
#define PERIPHERY_SENSORTESTS_H

#include "Function/types.h"

// The motion sensors' presence, readings and thresholds as the web and app
// commands and the factory test reach them.
class CSensorTests {
public:
    virtual ~CSensorTests() = default;

    virtual BOOL IRSensorActive() = 0;
    virtual BOOL GSensorActive() = 0;
    // The readings: 0, or -1 when they could not be had.
    virtual int TESTGetIRSensorParam(unsigned& init, unsigned& trigger, unsigned& cur, unsigned& max,
                                     unsigned& min) = 0;
    virtual int TESTSetIRSensorParam(unsigned init, unsigned trigger) = 0;
    // Below 0 on failure.
    virtual int TESTCorrectIRSensor() = 0;
    virtual int TESTGetGSensorParam(float& trigger) = 0;
    // 0 when applied.
    virtual int TESTSetGSensorParam(float trigger) = 0;
};

#endif
