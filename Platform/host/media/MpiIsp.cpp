// ISP life cycle, 3A library and sensor-table registration.

#include "Platform/MpiIsp.h"

#include <cstring>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "Platform/IspSim.h"
#include "Platform/host/media/IspDrive.h"
#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/MediaModules.h"

namespace {

constexpr HI_S32 Err(uint32_t number) { return XMpiErrCode(HI_ID_ISP, number); }

struct tagSensorTable {
    HI_U32 id;
    const void* table;
};

struct tagIspState {
    std::mutex mutex;
    std::condition_variable cv;
    std::set<std::string> libs[3];                     // AE, AWB, AF
    BOOL bSensor = FALSE;
    tagSensorTable sensor = {};
    std::map<std::string, tagSensorTable> libSensor[2];  // AE, AWB tables by library name
    BOOL bMemInit = FALSE;
    BOOL bWdr = FALSE;
    ISP_WDR_MODE_S wdr = {};
    BOOL bPub = FALSE;
    ISP_PUB_ATTR_S pub = {};
    BOOL bInit = FALSE;
    BOOL bRunning = FALSE;
    BOOL bInFrame = FALSE;     // Run is inside the sensor's tables
    uint64_t stepsWanted = 0;  // manual frames asked for and made
    uint64_t stepsDone = 0;
    uint64_t exits = 0;
    ISP_RGBIR_ATTR_S rgbir = {};
};

tagIspState& State()
{
    static tagIspState* s = new tagIspState;
    return *s;
}

const ISP_SENSOR_REGISTER_S* SensorOf(const tagIspState& s)
{
    return s.bSensor ? static_cast<const ISP_SENSOR_REGISTER_S*>(s.sensor.table) : nullptr;
}

// The AE or AWB table a library holds for the ISP's sensor.
const void* LibTableOf(const tagIspState& s, int kind)
{
    for (const auto& entry : s.libSensor[kind]) {
        if (s.bSensor && entry.second.id == s.sensor.id) {
            return entry.second.table;
        }
    }
    return nullptr;
}

HI_S32 CheckDev(HI_S32 dev)
{
    return dev == 0 ? HI_SUCCESS : Err(EN_ERR_INVALID_DEVID);
}

HI_S32 LibName(const ALG_LIB_S* lib, std::string* name)
{
    if (lib == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    size_t len = strnlen(lib->acLibName, ALG_LIB_NAME_SIZE_MAX);
    if (len == 0 || len == ALG_LIB_NAME_SIZE_MAX) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    name->assign(lib->acLibName, len);
    return HI_SUCCESS;
}

HI_S32 RegisterLib(int kind, HI_S32 dev, const ALG_LIB_S* lib)
{
    if (HI_S32 r = CheckDev(dev)) {
        return r;
    }
    std::string name;
    if (HI_S32 r = LibName(lib, &name)) {
        return r;
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.libs[kind].insert(name).second) {
        return Err(EN_ERR_EXIST);
    }
    return HI_SUCCESS;
}

HI_S32 UnregisterLib(int kind, HI_S32 dev, const ALG_LIB_S* lib)
{
    if (HI_S32 r = CheckDev(dev)) {
        return r;
    }
    std::string name;
    if (HI_S32 r = LibName(lib, &name)) {
        return r;
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.libs[kind].erase(name) == 1 ? HI_SUCCESS : Err(EN_ERR_UNEXIST);
}

HI_S32 RegisterLibSensor(int kind, HI_S32 dev, const ALG_LIB_S* lib, HI_U32 id, const void* table)
{
    if (HI_S32 r = CheckDev(dev)) {
        return r;
    }
    std::string name;
    if (HI_S32 r = LibName(lib, &name)) {
        return r;
    }
    if (table == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    // the sensor driver registers before the library itself joins the ISP
    if (!s.libSensor[kind].emplace(name, tagSensorTable{id, table}).second) {
        return Err(EN_ERR_EXIST);
    }
    return HI_SUCCESS;
}

HI_S32 UnregisterLibSensor(int kind, HI_S32 dev, const ALG_LIB_S* lib, HI_U32 id)
{
    if (HI_S32 r = CheckDev(dev)) {
        return r;
    }
    std::string name;
    if (HI_S32 r = LibName(lib, &name)) {
        return r;
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.libSensor[kind].find(name);
    if (it == s.libSensor[kind].end() || it->second.id != id) {
        return Err(EN_ERR_UNEXIST);
    }
    s.libSensor[kind].erase(it);
    return HI_SUCCESS;
}

}  // namespace

HI_S32 HI_MPI_ISP_MemInit(HI_S32 IspDev)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    if (!XMediaSysReady()) {
        return Err(EN_ERR_SYS_NOTREADY);
    }
    tagIspState& s = State();
    const ISP_SENSOR_REGISTER_S* sensor = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.bInit) {
            return Err(EN_ERR_NOT_PERM);
        }
        s.bMemInit = TRUE;
        sensor = SensorOf(s);
    }
    XIspDriveMemInit(sensor);
    return HI_SUCCESS;
}

HI_S32 HI_MPI_ISP_SetWDRMode(HI_S32 IspDev, const ISP_WDR_MODE_S* pstWdrMode)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    if (pstWdrMode == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (pstWdrMode->enWDRMode >= WDR_MODE_BUTT) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    tagIspState& s = State();
    const ISP_SENSOR_REGISTER_S* sensor = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.bMemInit) {
            return Err(EN_ERR_NOT_PERM);
        }
        s.wdr = *pstWdrMode;
        s.bWdr = TRUE;
        sensor = SensorOf(s);
    }
    XIspDriveWdrMode(sensor, pstWdrMode->enWDRMode);
    return HI_SUCCESS;
}

HI_S32 HI_MPI_ISP_GetWDRMode(HI_S32 IspDev, ISP_WDR_MODE_S* pstWdrMode)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    if (pstWdrMode == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    *pstWdrMode = s.wdr;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_ISP_SetPubAttr(HI_S32 IspDev, const ISP_PUB_ATTR_S* pstPubAttr)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    if (pstPubAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const ISP_PUB_ATTR_S& a = *pstPubAttr;
    if (a.stWndRect.s32X < 0 || a.stWndRect.s32Y < 0 || a.stWndRect.u32Width < 32 || a.stWndRect.u32Width > 4096 ||
        a.stWndRect.u32Height < 32 || a.stWndRect.u32Height > 4096 || !(a.f32FrameRate > 0.0f) ||
        a.f32FrameRate > 240.0f || a.enBayer >= BAYER_BUTT) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.bMemInit) {
        return Err(EN_ERR_NOT_PERM);
    }
    s.pub = a;
    s.bPub = TRUE;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_ISP_GetPubAttr(HI_S32 IspDev, ISP_PUB_ATTR_S* pstPubAttr)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    if (pstPubAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.bPub) {
        return Err(EN_ERR_NOT_CONFIG);
    }
    *pstPubAttr = s.pub;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_ISP_Init(HI_S32 IspDev)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    tagIspState& s = State();
    const ISP_SENSOR_REGISTER_S* sensor = nullptr;
    const void* ae = nullptr;
    const void* awb = nullptr;
    ISP_PUB_ATTR_S pub;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.bMemInit) {
            return Err(EN_ERR_NOT_PERM);
        }
        if (!s.bPub || !s.bSensor) {
            return Err(EN_ERR_NOT_CONFIG);  // no picture window or no sensor to drive
        }
        s.bInit = TRUE;
        sensor = SensorOf(s);
        ae = LibTableOf(s, 0);
        awb = LibTableOf(s, 1);
        pub = s.pub;
    }
    XIspDriveInit(sensor, static_cast<const AE_SENSOR_REGISTER_S*>(ae), static_cast<const AWB_SENSOR_REGISTER_S*>(awb),
                  pub);
    return HI_SUCCESS;
}

HI_S32 HI_MPI_ISP_Run(HI_S32 IspDev)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    XMediaNoteCaller("HI_MPI_ISP_Run");
    tagIspState& s = State();
    uint64_t exits = 0;  // an Exit from here on ends this run, even one before the wait
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        if (!s.bInit) {
            return Err(EN_ERR_NOT_PERM);
        }
        if (s.bRunning) {
            return Err(EN_ERR_BUSY);
        }
        s.bRunning = TRUE;
        exits = s.exits;
    }
    XMediaStateChanged();
    {
        // a frame at the public frame rate, or each frame asked for in manual mode
        std::unique_lock<std::mutex> lock(s.mutex);
        const float fps = s.pub.f32FrameRate > 0.0f ? s.pub.f32FrameRate : 30.0f;
        const auto period = std::chrono::microseconds(static_cast<int64_t>(1e6f / fps));
        auto next = std::chrono::steady_clock::now() + period;
        for (;;) {
            const BOOL manual = XIspDriveManualFrames();
            if (manual) {
                s.cv.wait_for(lock, std::chrono::milliseconds(100),
                              [&] { return s.exits != exits || s.stepsDone < s.stepsWanted; });
            } else {
                s.cv.wait_until(lock, next, [&] { return s.exits != exits; });
            }
            if (s.exits != exits) {
                break;
            }
            if (manual && s.stepsDone >= s.stepsWanted) {
                continue;
            }
            if (!manual) {
                if (std::chrono::steady_clock::now() < next) {
                    continue;
                }
                next += period;
                if (next < std::chrono::steady_clock::now()) {
                    next = std::chrono::steady_clock::now() + period;  // late: no burst to catch up
                }
            }
            s.bInFrame = TRUE;
            lock.unlock();
            XIspDriveFrame();
            lock.lock();
            s.bInFrame = FALSE;
            if (manual) {
                ++s.stepsDone;
            }
            s.cv.notify_all();
        }
        s.stepsWanted = s.stepsDone;
        s.bRunning = FALSE;
        s.cv.notify_all();
    }
    XIspDriveRunEnd();
    XMediaStateChanged();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_ISP_Exit(HI_S32 IspDev)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    tagIspState& s = State();
    const ISP_SENSOR_REGISTER_S* sensor = nullptr;
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        if (s.bMemInit) {
            sensor = SensorOf(s);
        }
        s.bInit = FALSE;
        s.bMemInit = FALSE;
        s.bPub = FALSE;
        s.bWdr = FALSE;
        ++s.exits;
        s.cv.notify_all();
        // the sensor leaves only once Run is out of its tables
        s.cv.wait(lock, [&] { return !s.bInFrame; });
    }
    XIspDriveExit(sensor);
    XMediaStateChanged();
    return HI_SUCCESS;
}

BOOL XIspSimSensorTables(HI_U32* id, const ISP_SENSOR_REGISTER_S** isp, const AE_SENSOR_REGISTER_S** ae,
                         const AWB_SENSOR_REGISTER_S** awb)
{
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (id != nullptr) {
        *id = s.bSensor ? s.sensor.id : 0;
    }
    if (isp != nullptr) {
        *isp = SensorOf(s);
    }
    if (ae != nullptr) {
        *ae = static_cast<const AE_SENSOR_REGISTER_S*>(LibTableOf(s, 0));
    }
    if (awb != nullptr) {
        *awb = static_cast<const AWB_SENSOR_REGISTER_S*>(LibTableOf(s, 1));
    }
    return s.bSensor;
}

int XIspSimStep(int count)
{
    tagIspState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (!s.bRunning || count <= 0) {
        return 0;
    }
    const uint64_t exits = s.exits;
    const uint64_t from = s.stepsDone;
    s.stepsWanted = s.stepsDone + static_cast<uint64_t>(count);
    const uint64_t target = s.stepsWanted;
    s.cv.notify_all();
    s.cv.wait(lock, [&] { return s.stepsDone >= target || s.exits != exits || !s.bRunning; });
    return static_cast<int>(s.stepsDone - from);
}

HI_S32 HI_MPI_ISP_SetRgbirAttr(HI_S32 IspDev, const ISP_RGBIR_ATTR_S* pstRgbirAttr)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    if (pstRgbirAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if ((pstRgbirAttr->bEnable != 0 && pstRgbirAttr->bEnable != 1)) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.bInit) {
        return Err(EN_ERR_NOT_PERM);
    }
    s.rgbir = *pstRgbirAttr;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_ISP_GetRgbirAttr(HI_S32 IspDev, ISP_RGBIR_ATTR_S* pstRgbirAttr)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    if (pstRgbirAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.bInit) {
        return Err(EN_ERR_NOT_PERM);
    }
    *pstRgbirAttr = s.rgbir;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_AE_Register(HI_S32 IspDev, const ALG_LIB_S* pstAeLib)
{
    XMEDIA_FAULT(IspDev);
    return RegisterLib(0, IspDev, pstAeLib);
}

HI_S32 HI_MPI_AE_UnRegister(HI_S32 IspDev, const ALG_LIB_S* pstAeLib)
{
    XMEDIA_FAULT(IspDev);
    return UnregisterLib(0, IspDev, pstAeLib);
}

HI_S32 HI_MPI_AWB_Register(HI_S32 IspDev, const ALG_LIB_S* pstAwbLib)
{
    XMEDIA_FAULT(IspDev);
    return RegisterLib(1, IspDev, pstAwbLib);
}

HI_S32 HI_MPI_AWB_UnRegister(HI_S32 IspDev, const ALG_LIB_S* pstAwbLib)
{
    XMEDIA_FAULT(IspDev);
    return UnregisterLib(1, IspDev, pstAwbLib);
}

HI_S32 HI_MPI_AF_Register(HI_S32 IspDev, const ALG_LIB_S* pstAfLib)
{
    XMEDIA_FAULT(IspDev);
    return RegisterLib(2, IspDev, pstAfLib);
}

HI_S32 HI_MPI_AF_UnRegister(HI_S32 IspDev, const ALG_LIB_S* pstAfLib)
{
    XMEDIA_FAULT(IspDev);
    return UnregisterLib(2, IspDev, pstAfLib);
}

HI_S32 HI_MPI_ISP_SensorRegCallBack(HI_S32 IspDev, HI_U32 u32SensorId, const ISP_SENSOR_REGISTER_S* pstRegister)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    if (pstRegister == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.bSensor) {
        return Err(EN_ERR_EXIST);
    }
    s.bSensor = TRUE;
    s.sensor = tagSensorTable{u32SensorId, pstRegister};
    return HI_SUCCESS;
}

HI_S32 HI_MPI_ISP_SensorUnRegCallBack(HI_S32 IspDev, HI_U32 u32SensorId)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.bSensor || s.sensor.id != u32SensorId) {
        return Err(EN_ERR_UNEXIST);
    }
    if (s.bInit) {
        return Err(EN_ERR_NOT_PERM);  // the ISP still drives it
    }
    s.bSensor = FALSE;
    s.sensor = tagSensorTable();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_AE_SensorRegCallBack(HI_S32 IspDev, const ALG_LIB_S* pstAeLib, HI_U32 u32SensorId,
                                   const AE_SENSOR_REGISTER_S* pstRegister)
{
    XMEDIA_FAULT(IspDev);
    return RegisterLibSensor(0, IspDev, pstAeLib, u32SensorId, pstRegister);
}

HI_S32 HI_MPI_AE_SensorUnRegCallBack(HI_S32 IspDev, const ALG_LIB_S* pstAeLib, HI_U32 u32SensorId)
{
    XMEDIA_FAULT(IspDev);
    return UnregisterLibSensor(0, IspDev, pstAeLib, u32SensorId);
}

HI_S32 HI_MPI_AWB_SensorRegCallBack(HI_S32 IspDev, const ALG_LIB_S* pstAwbLib, HI_U32 u32SensorId,
                                    const AWB_SENSOR_REGISTER_S* pstRegister)
{
    XMEDIA_FAULT(IspDev);
    return RegisterLibSensor(1, IspDev, pstAwbLib, u32SensorId, pstRegister);
}

HI_S32 HI_MPI_AWB_SensorUnRegCallBack(HI_S32 IspDev, const ALG_LIB_S* pstAwbLib, HI_U32 u32SensorId)
{
    XMEDIA_FAULT(IspDev);
    return UnregisterLibSensor(1, IspDev, pstAwbLib, u32SensorId);
}

BOOL XMediaIspRunning()
{
    tagIspState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.bRunning;
}

void XMediaResetIsp()
{
    tagIspState& s = State();
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        for (auto& l : s.libs) {
            l.clear();
        }
        for (auto& l : s.libSensor) {
            l.clear();
        }
        s.bSensor = FALSE;
        s.sensor = tagSensorTable();
        s.bMemInit = FALSE;
        s.bWdr = FALSE;
        s.wdr = ISP_WDR_MODE_S();
        s.bPub = FALSE;
        s.pub = ISP_PUB_ATTR_S();
        s.bInit = FALSE;
        s.rgbir = ISP_RGBIR_ATTR_S();
        ++s.exits;  // a Run still inside returns
        s.cv.notify_all();
        s.cv.wait(lock, [&] { return !s.bInFrame; });
    }
    XIspDriveReset();
}
