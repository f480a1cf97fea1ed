#include "Main/Wiring/CameraWiring.h"

#include "FactoryTest/FactoryTest.h"
#include "Periphery/SDManager.h"
#include "PlayAudio/PlayAudio.h"

void CCameraWiring::Wire()
{
    m_Card.Attach(CSDManager::instance());
    WireAlarms();
    WireCapture();
    WireFactory();
    WireGPS();
    WireOSD();
    WirePrompts();
    WireSensors();
    WireSnapshots();
}

void CCameraWiring::WirePrompts()
{
    CPlayAudio::instance()->Bind({&m_Pins, &m_Capture, &m_FactoryState, &m_Card, CFactoryTest::instance()});
}
