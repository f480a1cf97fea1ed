#include "Main/Wiring/CameraWiring.h"

#include "FactoryTest/FactoryTest.h"
#include "Periphery/SDManager.h"
#include "PlayAudio/PlayAudio.h"

void CCameraWiring::Wire()
{
    m_Card.Attach(CSDManager::instance());
    WireAlarms();
    WireCapture();
    WireOSD();
    WirePrompts();
}

void CCameraWiring::WirePrompts()
{
    CPlayAudio::instance()->Bind({&m_Pins, &m_Capture, &m_FactoryState, &m_Card, CFactoryTest::instance()});
}
