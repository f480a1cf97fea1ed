#include "Main/Wiring/OSDWiring.h"

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "FactoryTest/FactoryTest.h"
#include "Main/Wiring/CameraWiring.h"
#include "OSD/OSDManager.h"

BOOL CCameraOSDSources::GetChannelResolution(int chn, unsigned& width, unsigned& height)
{
    return CAVCapture::instance()->GetChannelResolution(chn, width, height);
}

BOOL CCameraOSDSources::GetModelString(char* model, size_t size)
{
    return CFactoryTest::instance()->GetModelString(model, size);
}

void CCameraWiring::WireOSD()
{
    COSDManager::instance()->Bind(&m_OSDSources);
}
