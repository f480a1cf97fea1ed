#include "Periphery/GPSLinks.h"

#include "FactoryTest/FactoryTest.h"
#include "Function/SystemTime.h"
#include "IniConfig/IniConfig.h"
#include "Platform/PromptLog.h"

CGPSLinks::~CGPSLinks() = default;

void CGPSLinks::SendOSDMsg(unsigned int, unsigned int, uint32_t)
{
}

void CGPSLinks::PlayAudio(int index)
{
    XPromptLog(index);
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
