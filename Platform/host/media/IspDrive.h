#ifndef PLATFORM_HOST_MEDIA_ISPDRIVE_H
#define PLATFORM_HOST_MEDIA_ISPDRIVE_H

// The simulated ISP's calls into the registered sensor tables (see
// Platform/IspSim.h). The ISP's life cycle calls these without its own lock
// held; each takes the drive's lock, so frames and set-up never overlap.

#include "Platform/MpiIsp.h"
#include "Platform/MpiSns.h"

void XIspDriveMemInit(const ISP_SENSOR_REGISTER_S* sensor);
void XIspDriveWdrMode(const ISP_SENSOR_REGISTER_S* sensor, WDR_MODE_E mode);
void XIspDriveInit(const ISP_SENSOR_REGISTER_S* sensor, const AE_SENSOR_REGISTER_S* ae,
                   const AWB_SENSOR_REGISTER_S* awb, const ISP_PUB_ATTR_S& pub);
// One frame of a running ISP (on Run's thread).
void XIspDriveFrame();
// Run ends: the ISP's own bus descriptor closes.
void XIspDriveRunEnd();
void XIspDriveExit(const ISP_SENSOR_REGISTER_S* sensor);
BOOL XIspDriveManualFrames();
void XIspDriveReset();

#endif
