// Stand-ins for the sensor drivers until they are built: each registers a
// placeholder ISP table under its sensor's id, as a driver does.

#include "AVCapture/hi3516cv200/SensorDrivers.h"
#include "Platform/MpiIsp.h"

namespace {

const int kImx291Table = 0;  // the ISP keeps only the address
const int kMn34222Table = 0;
const HI_U32 kImx291Id = 290;
const HI_U32 kMn34222Id = 34222;

int Register(HI_U32 id, const int* table)
{
    return HI_MPI_ISP_SensorRegCallBack(0, id, reinterpret_cast<const ISP_SENSOR_REGISTER_S*>(table));
}

}  // namespace

extern "C" int sensor_register_callback_imx291(void)
{
    return Register(kImx291Id, &kImx291Table);
}

extern "C" int sensor_unregister_callback_imx291(void)
{
    return HI_MPI_ISP_SensorUnRegCallBack(0, kImx291Id);
}

extern "C" int sensor_register_callback_mn34222(void)
{
    return Register(kMn34222Id, &kMn34222Table);
}

extern "C" int sensor_unregister_callback_mn34222(void)
{
    return HI_MPI_ISP_SensorUnRegCallBack(0, kMn34222Id);
}
