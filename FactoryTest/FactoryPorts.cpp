#include "FactoryTest/FactoryPorts.h"

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "Function/common.h"
#include "Main/BoardServices.h"
#include "Periphery/GPIO.h"
#include "Periphery/GPS.h"
#include "Periphery/I2CDevManager.h"
#include "Periphery/SDManager.h"
#include "Record/Record.h"

BOOL CFactoryPorts::ImageSensorActive()
{
    return CRecord::instance()->ImageSensorActive();
}

void CFactoryPorts::SetFactoryTesting(BOOL bTesting)
{
    CRecord::instance()->SetFactoryTesting(bTesting);
}

BOOL CFactoryPorts::StartRecordAAC(const char* filename)
{
    return CRecord::instance()->StartRecordAAC(filename);
}

BOOL CFactoryPorts::StopRecordAAC()
{
    return CRecord::instance()->StopRecordAAC();
}

void CFactoryPorts::SetLedOnOffRate(int frames)
{
    CRecord::instance()->SetLedOnOffRate(frames);
}

int CFactoryPorts::GetSDState()
{
    return CSDManager::instance()->GetSDSate();
}

BOOL CFactoryPorts::GetSDMountPath(char* path, size_t size)
{
    return CSDManager::instance()->GetSDMountPath(path, size);
}

BOOL CFactoryPorts::RegisterSDStateCallback(int (*fun)(int, void*), void* priv)
{
    return CSDManager::instance()->RegisterSDStateCallback(fun, priv);
}

BOOL CFactoryPorts::ReadGpio(int gpio, int& value)
{
    return CGPIOManager::instance()->Read(gpio, value);
}

BOOL CFactoryPorts::WriteGpio(int gpio, int value)
{
    return CGPIOManager::instance()->Write(gpio, value);
}

void CFactoryPorts::PlayAudio(int index)
{
    CBoardServices().PlayAudio(index);
}

BOOL CFactoryPorts::IRSensorActive()
{
    return CI2CDevManager::instance()->IRSensorActive();
}

BOOL CFactoryPorts::GSensorActive()
{
    return CI2CDevManager::instance()->GSensorActive();
}

BOOL CFactoryPorts::GPSModuleActive()
{
    return CGPS::instance()->GPSModuleActive();
}

BOOL CFactoryPorts::EnableAudioEnc(BOOL bEnable)
{
    return CAVCapture::instance()->EnableAudioEnc(bEnable);
}

BOOL CFactoryPorts::StopVO()
{
    return CAVCapture::instance()->StopVO();
}

int CFactoryPorts::RunCommand(const char* cmd)
{
    return ExecCommand(cmd);
}
