#include "Main/Wiring/FactoryWiring.h"

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "FactoryTest/FactoryTest.h"
#include "Main/Wiring/CameraWiring.h"
#include "Periphery/GPS.h"
#include "Record/Record.h"

BOOL CCameraFactoryPorts::ImageSensorActive()
{
    return CRecord::instance()->ImageSensorActive();
}

void CCameraFactoryPorts::SetFactoryTesting(BOOL bTesting)
{
    CRecord::instance()->SetFactoryTesting(bTesting);
}

BOOL CCameraFactoryPorts::StartRecordAAC(const char* filename)
{
    return CRecord::instance()->StartRecordAAC(filename);
}

BOOL CCameraFactoryPorts::StopRecordAAC()
{
    return CRecord::instance()->StopRecordAAC();
}

void CCameraFactoryPorts::SetLedOnOffRate(int frames)
{
    CRecord::instance()->SetLedOnOffRate(frames);
}

BOOL CCameraFactoryPorts::GPSModuleActive()
{
    return CGPS::instance()->GPSModuleActive();
}

BOOL CCameraFactoryPorts::EnableAudioEnc(BOOL bEnable)
{
    return CAVCapture::instance()->EnableAudioEnc(bEnable);
}

FactoryRoles CCameraWiring::ForFactory()
{
    return {&m_FactoryPorts, &m_Card, &m_Pins, &m_Prompts, &m_SensorTests, &m_Capture, &m_Shell};
}

void CCameraWiring::WireFactory()
{
    CFactoryTest::instance()->Bind(ForFactory());
}
