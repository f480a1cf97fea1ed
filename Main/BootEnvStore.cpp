#include "Main/BootEnvStore.h"

#include "FactoryTest/FactoryTest.h"

CBootEnvStore* XBootEnvStore()
{
    return CFactoryTest::instance();
}
