#include "Periphery/GSensor.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Alarm/AlarmTypes.h"
#include "Function/XLog.h"

namespace {

enum : unsigned {
    MC32XX_XOUT_REG = 0x00,
    MC32XX_YOUT_REG = 0x01,
    MC32XX_ZOUT_REG = 0x02,
    MC32XX_TILT_REG = 0x03,
    MC3232_SLEEP_CONTER_REG = 0x05,
    MC3232_INTERRUPT_ENABLE_REG = 0x06,
    MC3232_MODE_REG = 0x07,
    MC3232_SAMP_RATE_REG = 0x08,
    MC3232_TAP_ENABLE_REG = 0x09,
    MC3232_TAP_PULSE_REG = 0x0A,
    MC3232_DROP_REG = 0x0B,
    MC3232_SHAKE_DEBOUND_REG = 0x0C,
    MC3213_XOUT_EX_L_REG = 0x0D,
    MC3232_CHIPID_REG = 0x18,
    MC3232_SHAKE_THRESHOLD_REG = 0x2B,
    MC3232_TAP_THRESHOLD_REG = 0x32,
    MC32XX_PRODUCT_CODE_REG = 0x3B,
};

constexpr unsigned kMC3213 = 0x90;
constexpr unsigned kMC3232 = 0x19;

const unsigned kMC3213Setup[14][2] = {
    {0x06, 0xE7}, {0x09, 0xE0}, {0x0A, 0x00}, {0x0B, 0x00}, {0x0C, 0x04}, {0x20, 0x97}, {0x2B, 0x00},
    {0x2C, 0x00}, {0x2D, 0x00}, {0x2E, 0x00}, {0x2F, 0x00}, {0x30, 0x00}, {0x31, 0x00}, {0x32, 0x00},
};

struct tagNamedReg {
    unsigned reg;
    unsigned value;
    const char* name;
};

const tagNamedReg kMC3232Setup[] = {
    {MC3232_SLEEP_CONTER_REG, 0x00, "MC3232_SLEEP_CONTER_REG"},
    {MC3232_SAMP_RATE_REG, 0x60, "MC3232_SAMP_RATE_REG"},
    {MC3232_TAP_ENABLE_REG, 0x00, "MC3232_TAP_ENABLE_REG"},
    {MC3232_TAP_PULSE_REG, 0x07, "MC3232_TAP_PULSE_REG"},
    {MC3232_TAP_THRESHOLD_REG, 0x80, "MC3232_TAP_THRESHOLD_REG"},
    {MC3232_DROP_REG, 0x00, "MC3232_DROP_REG"},
    {MC3232_SHAKE_THRESHOLD_REG, 0x00, "MC3232_SHAKE_THRESHOLD_REG"},
    {MC3232_SHAKE_DEBOUND_REG, 0x04, "MC3232_SHAKE_DEBOUND_REG"},
    {MC3232_INTERRUPT_ENABLE_REG, 0xE3, "MC3232_INTERRUPT_ENABLE_REG"},
    {MC3232_MODE_REG, 0x01, "MC3232_MODE_REG"},
};

}  // namespace

const char* const CGSensor::curOrienStr[7] = {"Unknown", "Front", "Back", "Up", "Down", "Left", "Right"};

CGSensor::CGSensor(const I2CDevRoles& roles)
    : CI2CDev(2, 0x98, 1, 1, roles),
      m_zOrien(emUnknown),
      m_xyOrien(5),
      m_TriggerThreshold(10.0f),
      m_NextValid(TRUE),
      m_ProductId(0),
      m_MC3213Filter{{0, 0, 0}, {0, 0, 0}, 0.8f},
      m_MC3232Filter{{0, 0, 0}, {0, 0, 0}, 0.8f},
      m_bFirstCheck(FALSE),
      m_ParkTime(0),
      m_LastSum(0),
      m_bParkingFlag(FALSE)
{
    CGSensor::SetSensitivity(emSenstivity_Medium);
}

CGSensor::~CGSensor() = default;

void CGSensor::SetSensitivity(int sensitivity)
{
    m_Sensitivity = sensitivity;
    m_TriggerThreshold = sensitivity == emSenstivity_Medium ? 12.0f : sensitivity == emSenstivity_Height ? 7.81f : 19.0f;
}

BOOL CGSensor::Init()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (!Open()) {
        return FALSE;
    }
    unsigned id = 0;
    if (!Read(MC32XX_PRODUCT_CODE_REG, id)) {
        XERROR("G R REG = %#x(MC3232_CHIPID_REG) FAILED.\n", MC32XX_PRODUCT_CODE_REG);
        return FALSE;
    }
    m_ProductId = id;
    printf("=======G Sensor ProductId: 0x%x =======\n", m_ProductId);
    if (m_ProductId == kMC3213) {
        if (!MC3213_Init()) {
            XERROR("MC3213 Init error.\n");
            return FALSE;
        }
    } else if (!MC3232_Init()) {
        XERROR("MC3232 Init error.\n");
        return FALSE;
    }
    m_DevActive = TRUE;
    m_TriggerThreshold = static_cast<float>(Setting("gensor_level", 0));
    return TRUE;
}

BOOL CGSensor::MC3213_Init()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (!Write(MC3232_MODE_REG, 3)) {
        XERROR("G W REG = %#x(MC3213_MODE_REG) FAILED.\n", MC3232_MODE_REG);
        return FALSE;
    }
    m_lpPorts->SleepUs(10000);
    for (const auto& r : kMC3213Setup) {
        if (!Write(r[0], r[1])) {
            XERROR("MC3213 Write %u error...\n", r[0]);
            return FALSE;
        }
    }
    if (!Write(MC3232_MODE_REG, 1)) {
        XERROR("G W REG = %#x(MC3213_MODE_REG) FAILED.\n", MC3232_MODE_REG);
        return FALSE;
    }
    return TRUE;
}

BOOL CGSensor::MC3232_Init()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (!Write(MC3232_MODE_REG, 3)) {
        XERROR("G W REG = %#x(MC3232_MODE_REG) FAILED.\n", MC3232_MODE_REG);
        return FALSE;
    }
    m_lpPorts->SleepUs(10000);
    for (const tagNamedReg& r : kMC3232Setup) {
        if (!Write(r.reg, r.value)) {
            XERROR("G W REG = %#x(%s) FAILED.\n", r.reg, r.name);
            return FALSE;
        }
    }
    unsigned chip = 0;
    unsigned code = 0;
    if (!Read(MC3232_CHIPID_REG, chip) || !Read(MC32XX_PRODUCT_CODE_REG, code)) {
        XERROR("G R REG = %#x(MC3232_CHIPID_REG) FAILED.\n", MC3232_CHIPID_REG);
        return FALSE;
    }
    if (code == kMC3232) {
        printf("G Sensor MC3232(CHIP ID=0x%02x, CODE ID=0x%02x)\n", chip, code);
        return TRUE;
    }
    XERROR("G Sensor MC3232 Not Active(CHIP ID=0x%02x,CODE ID=0x%02x)\n", chip, code);
    return FALSE;
}

BOOL CGSensor::Shutdown()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (m_FD >= 0 && !Write(MC3232_MODE_REG, 3)) {
        printf(m_ProductId == kMC3213 ? "G W REG = %#x(MC3213_MODE_REG) FAILED.\n"
                                      : "G W REG = %#x(MC3232_MODE_REG) FAILED.\n",
               MC3232_MODE_REG);
    }
    return Close();
}

BOOL CGSensor::DoDevAlarmScan()
{
    if (m_ProductId == kMC3213) {
        if (!MC3213_DevAlarmScan()) {
            XERROR("MC3213_DevAlarmScan error. \n");
            return FALSE;
        }
        return TRUE;
    }
    if (!MC3232_DevAlarmScan()) {
        XERROR("MC32132_DevAlarmScan error. \n");
        return FALSE;
    }
    return TRUE;
}

BOOL CGSensor::MC3232_DevAlarmScan()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (!m_DevActive) {
        return TRUE;
    }
    unsigned tilt = 0;
    unsigned raw[3] = {0, 0, 0};
    if (!Read(MC32XX_TILT_REG, tilt) || !Read(MC32XX_XOUT_REG, raw[0]) || !Read(MC32XX_YOUT_REG, raw[1]) ||
        !Read(MC32XX_ZOUT_REG, raw[2])) {
        return FALSE;
    }
    if (tilt == 0xFF && raw[0] == 0xFF && raw[1] == 0xFF && raw[2] == 0xFF) {
        return FALSE;
    }
    int axis[3];
    for (int i = 0; i < 3; ++i) {
        axis[i] = (raw[i] & 0x80) ? static_cast<int>(raw[i] & 0xFF) - 256 : static_cast<int>(raw[i] & 0xFF);
    }
    return Scan(m_MC3232Filter, axis, tilt, 256.0);
}

BOOL CGSensor::MC3213_DevAlarmScan()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (!m_DevActive) {
        return FALSE;
    }
    unsigned tilt = 0;
    if (!Read(MC32XX_TILT_REG, tilt)) {
        return FALSE;
    }
    int axis[3];
    for (int i = 0; i < 3; ++i) {
        unsigned lo = 0;
        unsigned hi = 0;
        if (!Read(MC3213_XOUT_EX_L_REG + 2 * i, lo) || !Read(MC3213_XOUT_EX_L_REG + 2 * i + 1, hi)) {
            return FALSE;
        }
        const unsigned v = (hi << 8 | lo) & 0xFFFF;
        axis[i] = (v & 0x200) ? static_cast<int>(v & 0x1FF) - 512 : static_cast<int>(v & 0x1FF);
    }
    return Scan(m_MC3213Filter, axis, tilt, 512.0);
}

// The steps after the read, common to both layouts.
BOOL CGSensor::Scan(tagFilter& filter, const int axis[3], unsigned tilt, double scale)
{
    if (m_lpPorts->ParkingMonitorEnabled() && m_lpPorts->GetIsCanbeRecord() && m_lpPorts->GetIsPauseRecord() == 0) {
        CheckParking(axis[0], axis[1], axis[2]);
    }
    int orien = emUnknown;
    if ((tilt & 3) == 1) {
        orien = emFront;
    } else if ((tilt & 3) == 2) {
        orien = emBack;
    }
    if (orien != emUnknown && orien != m_zOrien) {
        printf("CUR Z ORIEN [%s]\n", curOrienStr[orien]);
        m_zOrien = orien;
    }
    float mag[3];
    for (int i = 0; i < 3; ++i) {
        const float a = static_cast<float>(axis[i] * 10 * 3 / scale);
        filter.gravity[i] = filter.alpha * filter.gravity[i] + (1 - filter.alpha) * a;
        filter.linear[i] = a - filter.gravity[i];
        mag[i] = static_cast<float>(std::sqrt(static_cast<double>(filter.linear[i]) * filter.linear[i]));
    }
    const float t = m_TriggerThreshold;
    if (mag[1] <= t && mag[2] <= t && mag[0] <= 3 * t) {
        m_NextValid = TRUE;
        return TRUE;
    }
    if (t >= 254.0f) {
        m_NextValid = TRUE;
        return TRUE;
    }
    if (!m_NextValid && !m_ContinueAlarm) {
        return TRUE;
    }
    const unsigned debounce =
        m_Sensitivity == emSenstivity_Medium ? 2000 : m_Sensitivity == emSenstivity_Height ? 1000 : 3000;
    const uint32_t now = m_lpPorts->MSCount();
    if (static_cast<uint32_t>(now - m_LastCheckTime) >= debounce) {
        TASK task = XMakeAlarmTask(emAlarmType_Accelerate, now, 0, 'A');
        PostAlarm(&task);
        m_LastCheckTime = now;
        printf("ACCELERATE ALARM\n");
    }
    m_NextValid = FALSE;
    return TRUE;
}

BOOL CGSensor::CheckParking(int x, int y, int z)
{
    const uint32_t now = m_lpPorts->MonoSeconds();
    if (!m_bFirstCheck) {
        m_ParkTime = now;
        m_bFirstCheck = TRUE;
    }
    const int sum = x + y + z;
    if (std::abs(sum - m_LastSum) >= 3) {
        m_LastSum = sum;
        m_ParkTime = now;
        if (m_bParkingFlag) {
            m_lpPorts->SendParkingSnapshot();
            const unsigned fps = m_lpPorts->SnapshotChannelFps();
            m_lpPorts->SleepUs(1000000u / (fps != 0 ? fps : 1));  // one frame of the snapshot channel
            m_lpPorts->ParkingMonitoringEnable(0);
        }
        m_bParkingFlag = FALSE;
    } else if (static_cast<uint32_t>(now - m_ParkTime) > m_lpPorts->ParkingTimeThreshold() * 60u && !m_bParkingFlag) {
        m_bParkingFlag = TRUE;
        m_lpPorts->ParkingMonitoringEnable(1);
    }
    return TRUE;
}

void CGSensor::TESTGetGSensorParam(float& trigger)
{
    trigger = m_TriggerThreshold;
}

void CGSensor::TESTSetGSensorParam(float trigger)
{
    m_TriggerThreshold = trigger;
}
