#include "Main/Wiring/CameraWiring.h"

#include "FactoryTest/FactoryTest.h"
#include "Periphery/SDManager.h"
#include "PlayAudio/PlayAudio.h"
#include "TCPComm/TCPComm.h"

CCameraWiring::CCameraWiring() : m_Card(CSDManager::instance())
{
}

void CCameraWiring::Wire()
{
    WireAlarms();
    WireCapture();
    WireFactory();
    WireGPS();
    WireOSD();
    WirePrompts();
    WireSensors();
    WireSnapshots();
    WireApp();
    WireWeb();
}

PromptRoles CCameraWiring::ForPrompts()
{
    return {&m_Pins, &m_Capture, &m_FactoryState, &m_Card, CFactoryTest::instance()};
}

void CCameraWiring::WirePrompts()
{
    CPlayAudio::instance()->Bind(ForPrompts());
}

AppRoles CCameraWiring::ForApp()
{
    return {&m_RecordControl, &m_RecordFiles,  &m_Card,         &m_Alarms,  &m_Alarms,
            &m_SnapshotControl, &m_Capture,     &m_Capture,      &m_SensorTests,
            &m_SpeedOverlay,  &m_Prompts,      &m_Pins,         &m_Shell,   CFactoryTest::instance()};
}

void CCameraWiring::WireApp()
{
    CTCPComm::instance()->Bind(ForApp());
}
