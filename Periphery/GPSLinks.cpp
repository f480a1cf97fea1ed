#include "Periphery/GPSLinks.h"

#include "FactoryTest/FactoryTest.h"
#include "Function/SystemTime.h"
#include "IniConfig/IniConfig.h"
#include "OSD/OSDManager.h"
#include "PlayAudio/PlayAudio.h"

CGPSLinks::~CGPSLinks() = default;

void CGPSLinks::SendOSDMsg(unsigned int msg, unsigned int wpa, uint32_t lpa)
{
    COSDManager::instance()->SendMsg(msg, wpa, lpa, MSG_PRIORITY_NORMAL);
}

void CGPSLinks::PlayAudio(int index)
{
    CPlayAudio::instance()->PlayAudio(static_cast<pcm_index_t>(index));
}

int CGPSLinks::GetGpsVoiceCfg()
{
    return CIniConfig::instance()->GetGpsVoiceCfg();
}

BOOL CGPSLinks::GetFactoryTestOK()
{
    return CFactoryTest::instance()->GetFactoryTestOK();
}

BOOL CGPSLinks::GetForceFactoryTest()
{
    return CFactoryTest::instance()->GetForceFactoryTest();
}

time_t CGPSLinks::Now()
{
    return time(nullptr);
}

void CGPSLinks::SleepMs(unsigned int ms)
{
    XSleep(ms);
}
