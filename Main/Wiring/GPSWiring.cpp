#include "Main/Wiring/GPSWiring.h"

#include "Function/SystemTime.h"
#include "Main/Wiring/CameraWiring.h"
#include "OSD/OSDManager.h"
#include "Periphery/GPS.h"

void CCameraGPSLinks::SendOSDMsg(unsigned int msg, unsigned int wpa, uint32_t lpa)
{
    COSDManager::instance()->SendMsg(msg, wpa, lpa, MSG_PRIORITY_NORMAL);
}

time_t CCameraGPSLinks::Now()
{
    return time(nullptr);
}

void CCameraGPSLinks::SleepMs(unsigned int ms)
{
    XSleep(ms);
}

GPSRoles CCameraWiring::ForGPS()
{
    return {&m_GPSLinks, &m_Prompts, &m_FactoryState, &m_Settings, &m_Card};
}

void CCameraWiring::WireGPS()
{
    CGPS::instance()->Bind(ForGPS());
}
