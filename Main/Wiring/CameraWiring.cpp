#include "Main/Wiring/CameraWiring.h"

void CCameraWiring::Wire()
{
    WireAlarms();
}
