// The simulated ISP driving the sensor's callback tables: set-up calls, a
// simple AE each frame and the register list written out over I2C.

#include "Platform/host/media/IspDrive.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

#include "Platform/DevFile.h"
#include "Platform/I2c.h"
#include "Platform/IspSim.h"

namespace {

constexpr size_t kFrameLog = 256;
constexpr uint64_t kOneX = 1024;
constexpr uint64_t kDefaultTarget = 566 * kOneX;  // about 1/60 s at 1x
constexpr const char* kSensorBus = "/dev/i2c-0";

struct tagPendingWrite {
    uint64_t due;  // frame
    ISP_I2C_DATA_S data;
};

struct tagDrive {
    std::mutex lock;
    const ISP_SENSOR_REGISTER_S* sensor = nullptr;
    const AE_SENSOR_REGISTER_S* ae = nullptr;
    const AWB_SENSOR_REGISTER_S* awb = nullptr;
    tagIspSimDefaults defaults = {};
    uint64_t target = kDefaultTarget;
    uint64_t exposure = 0;
    uint64_t frame = 0;
    std::deque<tagPendingWrite> pending;
    std::deque<tagIspSimFrame> log;
    BOOL bManual = FALSE;
    // the ISP's own descriptor on the sensor's bus
    int fd = -1;
    int slave = -1;
    int addrBytes = -1;
    int dataBytes = -1;
};

tagDrive& Drive()
{
    static tagDrive* d = new tagDrive;  // outlives every thread
    return *d;
}

uint64_t Clamp(uint64_t v, uint64_t lo, uint64_t hi)
{
    if (hi < lo) {
        hi = lo;
    }
    return std::min(std::max(v, lo), hi);
}

void CloseBus(tagDrive& d)
{
    if (d.fd >= 0) {
        XDevClose(d.fd);
    }
    d.fd = -1;
    d.slave = -1;
    d.addrBytes = -1;
    d.dataBytes = -1;
}

void* Arg(uintptr_t v) { return reinterpret_cast<void*>(v); }

// One entry of the list to the sensor; FALSE when the bus refused it.
BOOL WriteEntry(tagDrive& d, const ISP_I2C_DATA_S& e)
{
    if (d.fd < 0) {
        d.fd = XDevOpen(kSensorBus, O_RDWR);
        if (d.fd < 0) {
            return FALSE;
        }
    }
    if (d.slave != e.u8DevAddr) {
        if (XDevIoctl(d.fd, I2C_SLAVE_FORCE, Arg(e.u8DevAddr)) != 0) {
            return FALSE;
        }
        d.slave = e.u8DevAddr;
    }
    const int addrBytes = e.u32AddrByteNum == 2 ? 2 : 1;
    const int dataBytes = e.u32DataByteNum == 2 ? 2 : 1;
    if (d.addrBytes != addrBytes) {
        if (XDevIoctl(d.fd, I2C_16BIT_REG, Arg(addrBytes == 2 ? 1 : 0)) != 0) {
            return FALSE;
        }
        d.addrBytes = addrBytes;
    }
    if (d.dataBytes != dataBytes) {
        if (XDevIoctl(d.fd, I2C_16BIT_DATA, Arg(dataBytes == 2 ? 1 : 0)) != 0) {
            return FALSE;
        }
        d.dataBytes = dataBytes;
    }
    uint8_t buf[4];
    int n = 0;
    for (int i = 0; i < addrBytes; ++i) {
        buf[n++] = static_cast<uint8_t>(e.u32RegAddr >> (8 * i));
    }
    for (int i = 0; i < dataBytes; ++i) {
        buf[n++] = static_cast<uint8_t>(e.u32Data >> (8 * i));
    }
    return XDevWrite(d.fd, buf, static_cast<unsigned long>(n)) == n ? TRUE : FALSE;
}

// A linear gain through the sensor's lookup when its accuracy is a table.
void Gain(const AE_ACCURACY_S& accu, HI_VOID (*lookup)(HI_U32*, HI_U32*), uint64_t want, uint32_t* lin,
          uint32_t* value)
{
    *lin = static_cast<uint32_t>(want);
    *value = *lin;
    if (accu.enAccuType == AE_ACCURACY_TABLE && lookup != nullptr) {
        HI_U32 l = *lin;
        HI_U32 index = 0;
        lookup(&l, &index);
        *lin = l;
        *value = index;
    }
}

}  // namespace

void XIspDriveMemInit(const ISP_SENSOR_REGISTER_S* sensor)
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    if (sensor != nullptr && sensor->stSnsExp.pfn_cmos_sensor_global_init != nullptr) {
        sensor->stSnsExp.pfn_cmos_sensor_global_init();
    }
}

void XIspDriveWdrMode(const ISP_SENSOR_REGISTER_S* sensor, WDR_MODE_E mode)
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    if (sensor != nullptr && sensor->stSnsExp.pfn_cmos_set_wdr_mode != nullptr) {
        sensor->stSnsExp.pfn_cmos_set_wdr_mode(static_cast<HI_U8>(mode));
    }
}

void XIspDriveInit(const ISP_SENSOR_REGISTER_S* sensor, const AE_SENSOR_REGISTER_S* ae,
                   const AWB_SENSOR_REGISTER_S* awb, const ISP_PUB_ATTR_S& pub)
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    d.sensor = sensor;
    d.ae = ae;
    d.awb = awb;
    d.frame = 0;
    d.pending.clear();
    d.log.clear();
    tagIspSimDefaults& def = d.defaults;
    memset(&def, 0, sizeof(def));
    def.s32ImageMode = def.s32IspDefault = def.s32BlackLevel = def.s32AeDefault = def.s32AwbDefault = -1;
    if (sensor == nullptr) {
        return;
    }
    def.bInit = TRUE;
    const ISP_SENSOR_EXP_FUNC_S& s = sensor->stSnsExp;
    if (s.pfn_cmos_set_image_mode != nullptr) {
        ISP_CMOS_SENSOR_IMAGE_MODE_S mode;
        mode.u16Width = static_cast<HI_U16>(pub.stWndRect.u32Width);
        mode.u16Height = static_cast<HI_U16>(pub.stWndRect.u32Height);
        mode.f32Fps = pub.f32FrameRate;
        def.s32ImageMode = s.pfn_cmos_set_image_mode(&mode);
        if (def.s32ImageMode == 0 && s.pfn_cmos_sensor_init != nullptr) {
            s.pfn_cmos_sensor_init();
            def.bSensorInit = TRUE;
        }
    }
    if (s.pfn_cmos_get_isp_default != nullptr) {
        def.s32IspDefault = s.pfn_cmos_get_isp_default(&def.stIsp);
    }
    if (s.pfn_cmos_get_isp_black_level != nullptr) {
        def.s32BlackLevel = s.pfn_cmos_get_isp_black_level(&def.stBlackLevel);
    }
    if (ae != nullptr && ae->stSnsExp.pfn_cmos_get_ae_default != nullptr) {
        def.s32AeDefault = ae->stSnsExp.pfn_cmos_get_ae_default(&def.stAe);
        if (ae->stSnsExp.pfn_cmos_fps_set != nullptr) {
            ae->stSnsExp.pfn_cmos_fps_set(30.0f, &def.stAe);
        }
    }
    if (awb != nullptr && awb->stSnsExp.pfn_cmos_get_awb_default != nullptr) {
        def.s32AwbDefault = awb->stSnsExp.pfn_cmos_get_awb_default(&def.stAwb);
    }
    d.exposure = std::max<uint64_t>(def.stAe.u32MinIntTime, 1) * std::max<uint64_t>(def.stAe.u32MinAgain, kOneX);
}

void XIspDriveFrame()
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    if (d.sensor == nullptr) {
        return;
    }
    tagIspSimFrame f = {};
    f.u64Frame = ++d.frame;

    // AE: toward the target, at most a factor of two a frame
    if (d.target > d.exposure) {
        d.exposure = std::min(d.target, d.exposure * 2);
    } else {
        d.exposure = std::max(d.target, d.exposure / 2);
    }
    d.exposure = std::max<uint64_t>(d.exposure, 1);
    f.u64Exposure = d.exposure;
    const AE_SENSOR_DEFAULT_S& a = d.defaults.stAe;
    if (d.ae != nullptr) {
        const AE_SENSOR_EXP_FUNC_S& ae = d.ae->stSnsExp;
        const uint64_t minInt = std::max<uint64_t>(a.u32MinIntTime, 1);
        const uint64_t t = Clamp(d.exposure / kOneX, minInt, std::max<uint64_t>(a.u32MaxIntTime, minInt));
        const uint64_t gain = std::max<uint64_t>(d.exposure / t, kOneX);  // 1024 = 1x
        Gain(a.stAgainAccu, ae.pfn_cmos_again_calc_table, Clamp(gain, a.u32MinAgain, a.u32MaxAgain), &f.u32Again,
             &f.u32AgainValue);
        const uint64_t rest = gain * kOneX / std::max<uint32_t>(f.u32Again, 1);
        Gain(a.stDgainAccu, ae.pfn_cmos_dgain_calc_table, Clamp(rest, a.u32MinDgain, a.u32MaxDgain), &f.u32Dgain,
             &f.u32DgainValue);
        f.u32IntTime = static_cast<uint32_t>(t);
        if (ae.pfn_cmos_inttime_update != nullptr) {
            ae.pfn_cmos_inttime_update(f.u32IntTime);
        }
        if (ae.pfn_cmos_gains_update != nullptr) {
            ae.pfn_cmos_gains_update(f.u32AgainValue, f.u32DgainValue);
        }
    }

    // the register list: marked entries go out after their delay frames
    if (d.sensor->stSnsExp.pfn_cmos_get_sns_reg_info != nullptr) {
        ISP_SNS_REGS_INFO_S regs;
        memset(&regs, 0, sizeof(regs));
        if (d.sensor->stSnsExp.pfn_cmos_get_sns_reg_info(&regs) == 0 && regs.enSnsType == ISP_SNS_I2C_TYPE) {
            const HI_U32 n = std::min<HI_U32>(regs.u32RegNum, ISP_MAX_SNS_REGS);
            for (HI_U32 i = 0; i < n; ++i) {
                if (regs.astI2cData[i].bUpdate) {
                    d.pending.push_back({d.frame + regs.astI2cData[i].u8DelayFrmNum, regs.astI2cData[i]});
                }
            }
        }
    }
    for (auto it = d.pending.begin(); it != d.pending.end();) {
        if (it->due > d.frame) {
            ++it;
            continue;
        }
        if (WriteEntry(d, it->data)) {
            f.writes.emplace_back(it->data.u32RegAddr, it->data.u32Data);
        } else {
            ++f.nWriteErrors;
        }
        it = d.pending.erase(it);
    }
    d.log.push_back(std::move(f));
    while (d.log.size() > kFrameLog) {
        d.log.pop_front();
    }
}

void XIspDriveRunEnd()
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    d.pending.clear();
    CloseBus(d);
}

void XIspDriveExit(const ISP_SENSOR_REGISTER_S* sensor)
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    d.sensor = nullptr;
    d.ae = nullptr;
    d.awb = nullptr;
    d.pending.clear();
    CloseBus(d);
    if (sensor != nullptr && sensor->stSnsExp.pfn_cmos_sensor_exit != nullptr) {
        sensor->stSnsExp.pfn_cmos_sensor_exit();
    }
}

BOOL XIspDriveManualFrames()
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    return d.bManual;
}

void XIspDriveReset()
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    d.sensor = nullptr;
    d.ae = nullptr;
    d.awb = nullptr;
    d.pending.clear();
    d.log.clear();
    d.frame = 0;
    memset(&d.defaults, 0, sizeof(d.defaults));
    d.target = kDefaultTarget;
    d.bManual = FALSE;
    CloseBus(d);
}

void XIspSimSetExposureTarget(uint64_t exposure)
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    d.target = std::max<uint64_t>(exposure, 1);
}

uint64_t XIspSimExposureTarget()
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    return d.target;
}

void XIspSimSetManualFrames(BOOL manual)
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    d.bManual = manual;
}

std::vector<tagIspSimFrame> XIspSimFrames()
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    return std::vector<tagIspSimFrame>(d.log.begin(), d.log.end());
}

void XIspSimDefaults(tagIspSimDefaults* defaults)
{
    tagDrive& d = Drive();
    std::lock_guard<std::mutex> lock(d.lock);
    *defaults = d.defaults;
}
