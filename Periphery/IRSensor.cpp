#include "Periphery/IRSensor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Alarm/AlarmTypes.h"
#include "Function/XLog.h"

namespace {

enum : unsigned {
    STK3410_STATE_REG = 0x00,
    STK3410_PSCTRL_REG = 0x01,
    STK3410_INT_REG = 0x04,
    STK3410_WAIT_REG = 0x05,
    STK3410_PS_THDH_MSB_REG = 0x06,
    STK3410_PS_THDH_LSB_REG = 0x07,
    STK3410_PS_THDL_MSB_REG = 0x08,
    STK3410_PS_THDL_LSB_REG = 0x09,
    STK3410_FLAG_REG = 0x10,
    STK3410_PS_DATA_MSB_REG = 0x11,
    STK3410_PS_DATA_LSB_REG = 0x12,
    STK3410_PS_DATE_OFFSET_MSB_REG = 0x15,
    STK3410_PS_DATE_OFFSET_LSB_REG = 0x16,
    STK3410_GS0_MSB_REG = 0x24,
    STK3410_GS1_MSB_REG = 0x26,
    STK3410_PRODUCT_ID_REG = 0x3E,
    STK3410_SOFT_RESET_REG = 0x80,
};

constexpr unsigned kFlagData = 0x40;
constexpr unsigned kFlagInt = 0x10;
constexpr unsigned kMaxLevel = 0xFFFF;
constexpr unsigned kSamples = 32;
constexpr int kMaxMisses = 6;
constexpr int kMaxErrors = 20;

// The calibration's set-up, in order.
const unsigned kSetup[][2] = {
    {STK3410_STATE_REG, 0x05},
    {STK3410_PSCTRL_REG, 0x73},
    {STK3410_INT_REG, 0x00},
    {STK3410_WAIT_REG, 0x00},
    {STK3410_PS_THDH_MSB_REG, 0x00},
    {STK3410_PS_THDH_LSB_REG, 0x00},
    {STK3410_PS_THDL_MSB_REG, 0x00},
    {STK3410_PS_THDL_LSB_REG, 0x00},
    {STK3410_PS_DATE_OFFSET_MSB_REG, 0x00},
    {STK3410_PS_DATE_OFFSET_LSB_REG, 0x00},
};

const char* RegName(unsigned reg)
{
    switch (reg) {
    case STK3410_STATE_REG: return "STK3410_STATE_REG";
    case STK3410_PSCTRL_REG: return "STK3410_PSCTRL_REG";
    case STK3410_INT_REG: return "STK3410_INT_REG";
    case STK3410_WAIT_REG: return "STK3410_WAIT_REG";
    case STK3410_PS_THDH_MSB_REG: return "STK3410_PS_THDH_MSB_REG";
    case STK3410_PS_THDH_LSB_REG: return "STK3410_PS_THDH_LSB_REG";
    case STK3410_PS_THDL_MSB_REG: return "STK3410_PS_THDL_MSB_REG";
    case STK3410_PS_THDL_LSB_REG: return "STK3410_PS_THDL_LSB_REG";
    case STK3410_PS_DATE_OFFSET_MSB_REG: return "STK3410_PS_DATE_OFFSET_MSB_REG";
    case STK3410_PS_DATE_OFFSET_LSB_REG: return "STK3410_PS_DATE_OFFSET_LSB_REG";
    default: return "UNKNOWN";
    }
}

}  // namespace

CIRSensor::CIRSensor(const I2CDevRoles& roles)
    : CI2CDev(2, 0x90, 1, 1, roles),
      m_InitialPSOffset(0),
      m_TriggerThreshold(kMaxLevel),
      m_CurPSOffset(0),
      m_MaxPSOffset(0),
      m_MinPSOffset(kMaxLevel),
      m_PSCorrectionData{},
      m_GS0CorrectionData{},
      m_GS1CorrectionData{},
      m_NextValid(TRUE),
      m_nErrors(0)
{
}

CIRSensor::~CIRSensor() = default;

BOOL CIRSensor::Init()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    unsigned id = 0;
    if (Open() && Read(STK3410_PRODUCT_ID_REG, id) && id != 0x00 && id != 0xFF) {
        printf("PS/GS IR SENSOR(PRODUCT ID = 0x%02x)\n", id);
        m_DevActive = TRUE;
        return TRUE;
    }
    XERROR("STK3410 Was Not Active(Product id = 0x%02x)...\n", id);
    return FALSE;
}

BOOL CIRSensor::Shutdown()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (m_FD >= 0 && !Write(STK3410_STATE_REG, 0)) {
        printf("IR W REG = %#x(STK3410_STATE_REG) FAILED.\n", STK3410_STATE_REG);
    }
    return Close();
}

BOOL CIRSensor::WriteSetup(const unsigned (*table)[2], unsigned count)
{
    for (unsigned i = 0; i < count; ++i) {
        if (!Write(table[i][0], table[i][1])) {
            XERROR("IR W REG = %#x(%s) FAILED.\n", table[i][0], RegName(table[i][0]));
            return FALSE;
        }
    }
    return TRUE;
}

unsigned CIRSensor::Margin()
{
    switch ((m_Roles.settings != nullptr ? m_Roles.settings->GetGestureTriggerLevel() : 1)) {
    case 0: return 1300;
    case 2: return 200;
    default: return 500;
    }
}

void CIRSensor::ResetExtremes()
{
    m_MaxPSOffset = 0;
    m_MinPSOffset = kMaxLevel;
    m_CheckCount = 0;
}

BOOL CIRSensor::DevCorrect()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (!m_DevActive) {
        return FALSE;
    }
    if (!Write(STK3410_SOFT_RESET_REG, 1)) {
        XERROR("STK3410 Soft Reset Error.\n");
        return FALSE;
    }
    if (!WriteSetup(kSetup, sizeof(kSetup) / sizeof(kSetup[0]))) {
        return FALSE;
    }
    const unsigned kChannels[3] = {STK3410_PS_DATA_MSB_REG, STK3410_GS0_MSB_REG, STK3410_GS1_MSB_REG};
    unsigned maxv[3] = {0, 0, 0};
    unsigned minv[3] = {kMaxLevel, kMaxLevel, kMaxLevel};
    unsigned sum[3] = {0, 0, 0};
    for (unsigned n = 0; n < kSamples; ++n) {
        int misses = 0;
        for (;;) {
            unsigned flag = 0;
            if (!Read(STK3410_FLAG_REG, flag) || flag == 0xFF) {
                return FALSE;
            }
            if (flag & kFlagData) {
                break;
            }
            if (++misses >= kMaxMisses) {
                printf("CORRECTION PS/GS SENSOR FAILED...\n");
                m_DevActive = FALSE;
                return FALSE;
            }
            m_lpPorts->SleepUs(5000);
        }
        for (int c = 0; c < 3; ++c) {
            unsigned hi = 0;
            unsigned lo = 0;
            if (!Read(kChannels[c], hi) || !Read(kChannels[c] + 1, lo)) {
                return FALSE;
            }
            const unsigned v = (hi << 8 | lo) & 0xFFFF;
            maxv[c] = std::max(maxv[c], v);
            minv[c] = std::min(minv[c], v);
            sum[c] += v;
        }
    }
    tagCorrection* records[3] = {&m_PSCorrectionData, &m_GS0CorrectionData, &m_GS1CorrectionData};
    const char* names[3] = {"PS ", "GS0", "GS1"};
    for (int c = 0; c < 3; ++c) {
        const unsigned avg = sum[c] >> 5;
        printf("IR SENSOR CORRECTION[%s]: AVG OFFSET = 0x%04x, MAX OFFSET = 0x%04x, MIN OFFSET = 0x%04x\n",
               names[c], avg, maxv[c], minv[c]);
        records[c]->max_offset = maxv[c];
        records[c]->min_offset = minv[c];
        records[c]->avg_offset = avg;
        records[c]->correction = avg;
    }
    const unsigned trigger = std::min(maxv[0] + Margin(), kMaxLevel);
    m_TriggerThreshold = trigger;
    m_InitialPSOffset = std::min(maxv[0] + 100, kMaxLevel);
    ResetExtremes();
    const unsigned kRun[][2] = {
        {STK3410_PS_THDH_MSB_REG, trigger >> 8},
        {STK3410_PS_THDH_LSB_REG, trigger & 0xFF},
        {STK3410_STATE_REG, 0x11},
        {STK3410_INT_REG, 0x05},
    };
    if (!WriteSetup(kRun, 4)) {
        return FALSE;
    }
    unsigned hi = 0;
    unsigned lo = 0;
    unsigned state = 0;
    unsigned intr = 0;
    if (!Read(STK3410_PS_THDH_MSB_REG, hi) || !Read(STK3410_PS_THDH_LSB_REG, lo) || !Read(STK3410_STATE_REG, state) ||
        !Read(STK3410_INT_REG, intr)) {
        return FALSE;
    }
    printf("IR SENSOR CORRECTION SUCCESS(0x%04x, 0x%02x, 0x%02x)...\n", hi << 8 | lo, state, intr);
    return TRUE;
}

BOOL CIRSensor::SetIRSensorParam(unsigned init, unsigned trigger, BOOL reset)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    init = std::min(init, kMaxLevel);
    trigger = std::min(trigger, kMaxLevel);
    m_InitialPSOffset = init;
    m_TriggerThreshold = trigger;
    if (reset) {
        if (!Write(STK3410_SOFT_RESET_REG, 1)) {
            XERROR("STK3410 Soft Reset Error.\n");
            return FALSE;
        }
        // A reset brings every register back to the chip's defaults.
        if (!WriteSetup(kSetup, sizeof(kSetup) / sizeof(kSetup[0]))) {
            return FALSE;
        }
    }
    const unsigned kLevels[][2] = {
        {STK3410_PS_THDH_MSB_REG, trigger >> 8},
        {STK3410_PS_THDH_LSB_REG, trigger & 0xFF},
    };
    if (!WriteSetup(kLevels, 2)) {
        return FALSE;
    }
    if (reset) {
        const unsigned kRun[][2] = {
            {STK3410_INT_REG, 0x05},
            {STK3410_STATE_REG, 0x11},
        };
        if (!WriteSetup(kRun, 2)) {
            return FALSE;
        }
    }
    return TRUE;
}

BOOL CIRSensor::DoDevAlarmScan()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (!m_DevActive) {
        return FALSE;
    }
    unsigned flag = 0;
    if (!Read(STK3410_FLAG_REG, flag)) {
        return FALSE;
    }
    if ((flag & kFlagData) == 0) {
        if (++m_nErrors > kMaxErrors) {
            printf("*****************RESET IR SENSOR****************\n");
            m_CurPSOffset = 0;
            m_DevActive = FALSE;
            if (SetIRSensorParam(m_InitialPSOffset, m_TriggerThreshold, TRUE)) {
                m_DevActive = TRUE;
                m_nErrors = 0;
            }
        }
        return FALSE;
    }
    unsigned hi = 0;
    unsigned lo = 0;
    if (!Read(STK3410_PS_DATA_MSB_REG, hi) || !Read(STK3410_PS_DATA_LSB_REG, lo)) {
        return FALSE;
    }
    const unsigned p = (hi << 8 | lo) & 0xFFFF;
    m_CurPSOffset = p;
    if (p > m_MaxPSOffset) {
        m_MaxPSOffset = p;
    }
    if (p < m_MinPSOffset) {
        m_MinPSOffset = p;
    }
    ++m_CheckCount;

    if (flag & kFlagInt) {
        if (!Write(STK3410_FLAG_REG, 1)) {
            XERROR("IR W REG = %#x(STK3410_FLAG_REG) FAILED.\n", STK3410_FLAG_REG);
            return FALSE;
        }
        if (p >= m_TriggerThreshold && (m_Roles.settings == nullptr || m_Roles.settings->GetGestureCaptureCfg() != 0)) {
            if (!m_NextValid && !m_ContinueAlarm) {
                return TRUE;
            }
            const unsigned debounce =
                m_Sensitivity == emSenstivity_Medium ? 1000 : m_Sensitivity == emSenstivity_Height ? 200 : 2000;
            const uint32_t now = m_lpPorts->MSCount();
            if (static_cast<uint32_t>(now - m_LastCheckTime) >= debounce) {
                TASK task = XMakeAlarmTask(emAlarmType_Gesture, now, p, 'G');
                PostAlarm(&task);
                m_LastCheckTime = now;
                printf("IR SENSOR ALARM(PS=%u, THRESHOLD=%u)\n", p, m_TriggerThreshold.load());
            }
            m_NextValid = FALSE;
            return TRUE;
        }
        if (p < m_InitialPSOffset) {
            if (!m_NextValid) {
                ResetExtremes();
                printf("GESTURE SENSOR RESUME2.\n");
            }
            m_NextValid = TRUE;
        }
        return TRUE;
    }
    if (p < m_InitialPSOffset) {
        if (!m_NextValid) {
            ResetExtremes();
            printf("GESTURE SENSOR RESUME1.\n");
        }
        m_NextValid = TRUE;
    }
    if (m_CheckCount > kSamples && m_NextValid) {
        SetIRSensorParam(m_MinPSOffset + 100, m_MaxPSOffset + Margin(), FALSE);
        ResetExtremes();
    }
    return FALSE;
}

void CIRSensor::TESTGetIRSensorParam(unsigned& init, unsigned& trigger, unsigned& cur, unsigned& max, unsigned& min)
{
    init = m_InitialPSOffset;
    trigger = m_TriggerThreshold;
    cur = m_CurPSOffset;
    max = m_MaxPSOffset;
    min = m_MinPSOffset;
}

BOOL CIRSensor::TESTSetIRSensorParam(unsigned init, unsigned trigger)
{
    return SetIRSensorParam(init, trigger, TRUE);
}
