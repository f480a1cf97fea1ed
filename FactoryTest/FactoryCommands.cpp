// The test station's commands, the multi-step tests and the service commands.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "FactoryTest/FactoryTest.h"
#include "Function/ByteOrder.h"
#include "Function/Crc32.h"
#include "Function/SystemTime.h"
#include "Periphery/SDManager.h"
#include "Platform/BoardRoot.h"
#include "Platform/Rtc.h"
#include "Platform/SysClock.h"
#include "PlayAudio/PcmIndex.h"

namespace {

const uint16_t kCmdDiscovery = 0x0101;
const uint16_t kCmdImageSensor = 0x0103;
const uint16_t kCmdLed = 0x0105;
const uint16_t kCmdMic = 0x0107;
const uint16_t kCmdSpeaker = 0x0109;
const uint16_t kCmdSD = 0x010B;
const uint16_t kCmdRTC = 0x010D;
const uint16_t kCmdResetKey = 0x010F;
const uint16_t kCmdIRSensor = 0x0113;
const uint16_t kCmdGSensor = 0x0115;
const uint16_t kCmdGPS = 0x0117;
const uint16_t kCmdSetTime = 0x0119;
const uint16_t kCmdTestDone = 0xF0F1;

const int kLedGpioA = 71;
const int kLedGpioB = 67;
const int kResetKeyGpio = 80;
const char kAacFile[] = "/tmp/kx-ft.aac";

const int kMinLen = 6;    // command and sequence
const int kMaxLen = 124;  // 128-byte packet
const int kMaxPayload = FACTORY_TEST_BUF_SIZE - 12;

const char* ModelName(unsigned code)
{
    static const struct {
        unsigned code;
        const char* name;
    } kModels[] = {
        {0x5101, "ZQ1"},    {0x5103, "ZQ3"},    {0x5105, "ZQ5"}, {0x5106, "ZQ6"},
        {0x5152, "ZQ2PRO"}, {0x5153, "ZQ3PRO"}, {0x5156, "ZQ6PRO"}, {0x5701, "ZW1"},
        {0x5702, "ZW2"},    {0x5601, "ZV1"},    {0x5652, "ZV2PRO"},
    };
    for (const auto& m : kModels) {
        if (m.code == code) {
            return m.name;
        }
    }
    return "ZQ2";
}

// A UTC date and time that exists; its seconds since the epoch in `when`.
bool XValidUtc(int year, int month, int day, int hour, int minute, int second, time_t& when)
{
    if (year < 2000 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59) {
        return false;
    }
    struct tm t;
    memset(&t, 0, sizeof(t));
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    when = timegm(&t);
    struct tm back;
    if (when == static_cast<time_t>(-1) || gmtime_r(&when, &back) == nullptr) {
        return false;
    }
    return back.tm_year == year - 1900 && back.tm_mon == month - 1 && back.tm_mday == day &&
           back.tm_hour == hour && back.tm_min == minute && back.tm_sec == second;
}

}  // namespace

BOOL CFactoryTest::StepSleep(unsigned ms)
{
    const uint32_t start = SystemGetMSCount();
    while (SystemGetMSCount() - start < ms) {
        if (!m_bLoop) {
            return FALSE;
        }
        XSleep(10);
    }
    return TRUE;
}

void CFactoryTest::AbortStep(RequestClient* req)
{
    if ((req->continue_flag & 0xFFFF) == 2) {
        const unsigned cmd = req->continue_flag >> 16;
        if (cmd == kCmdLed) {
            m_Roles.pins->WriteGpio(kLedGpioA, 0);
            m_Roles.pins->WriteGpio(kLedGpioB, 0);
            m_Roles.ports->SetFactoryTesting(FALSE);
        } else if (cmd == kCmdSpeaker) {
            m_Roles.ports->StopRecordAAC();
        }
    }
    req->continue_flag = 0;
}

void CFactoryTest::BuildDiscovery(uint8_t* payload, int& payloadLen)
{
    std::string fw;
    const BOOL bFw = GetEnvValue("firmware_ver", fw);
    printf("FW VER:%s\n", bFw ? fw.c_str() : "");
    printf("===> DEVICE DISCOVERY\n");
    payload[0] = 0x51;
    payload[1] = 0x01;
    memcpy(payload + 2, m_MACAddr, 6);
    if (bFw) {
        memset(payload + 8, 0, 4);
        memcpy(payload + 8, fw.data(), fw.size() < 4 ? fw.size() : 4);
    } else {
        memcpy(payload + 8, "0000", 4);
    }
    {
        std::lock_guard<std::mutex> lock(m_TitleLock);
        memcpy(payload + 12, m_DevTitle, 32);
    }
    payload[44] = m_bFactoryTestOK ? 1 : 0;
    payloadLen = 45;
}

int CFactoryTest::TestLed(RequestClient* req, const uint8_t* param, int paramLen)
{
    const unsigned step = req->continue_flag & 0xFFFF;
    if (step == 0) {
        if (paramLen < 2) {
            return 0;
        }
        req->continue_flag = (static_cast<uint32_t>(kCmdLed) << 16) | 1;
        req->continous = TRUE;
        return 2;
    }
    if (step == 1) {
        unsigned duration = XGetBE16(param);
        if (duration < 1000) {
            duration = 1000;
        }
        m_Roles.pins->WriteGpio(kLedGpioA, 1);
        m_Roles.pins->WriteGpio(kLedGpioB, 1);
        m_Roles.ports->SetFactoryTesting(TRUE);
        req->continue_remain_count = static_cast<int>(duration / 1000);
        req->continue_flag = (static_cast<uint32_t>(kCmdLed) << 16) | 2;
    }
    if (!StepSleep(1000)) {
        AbortStep(req);
        return 0;
    }
    --req->continue_remain_count;
    printf("===> TEST LED(REMAIN COUNT=%d)\n", req->continue_remain_count);
    if (req->continue_remain_count > 0) {
        req->continous = TRUE;
        return 2;
    }
    AbortStep(req);
    return 3;
}

int CFactoryTest::TestSpeaker(RequestClient* req)
{
    const unsigned step = req->continue_flag & 0xFFFF;
    if (step == 0) {
        req->continue_flag = (static_cast<uint32_t>(kCmdSpeaker) << 16) | 1;
        req->continous = TRUE;
        return 2;
    }
    if (step == 1) {
        unlink(XBoardPath(kAacFile).c_str());
        m_Roles.ports->StartRecordAAC(kAacFile);
        m_Roles.prompts->PlayPrompt(PCM_FACTORY_TEST_SPEAKER);
        req->continue_remain_count = 5;
        req->continue_flag = (static_cast<uint32_t>(kCmdSpeaker) << 16) | 2;
    }
    if (!StepSleep(1000)) {
        AbortStep(req);
        return 0;
    }
    --req->continue_remain_count;
    printf("===> TEST SPEAKER(REMAIN COUNT=%d)\n", req->continue_remain_count);
    if (req->continue_remain_count > 0) {
        req->continous = TRUE;
        return 2;
    }
    AbortStep(req);
    return 3;
}

int CFactoryTest::TestResetKey(RequestClient* req, const uint8_t* param, int paramLen)
{
    const unsigned step = req->continue_flag & 0xFFFF;
    if (step == 0) {
        if (paramLen < 2) {
            return 0;
        }
        req->continue_flag = (static_cast<uint32_t>(kCmdResetKey) << 16) | 1;
        req->continous = TRUE;
        return 2;
    }
    if (step == 1) {
        int passes = XGetBE16(param) / 1000;
        req->rst_btn_push_count = 0;
        req->continue_remain_count = passes < 3 ? 3 : passes;
        req->continue_flag = (static_cast<uint32_t>(kCmdResetKey) << 16) | 2;
    }
    int ret = 2;
    const uint32_t start = SystemGetMSCount();
    for (;;) {
        int value = 1;
        if (!m_Roles.pins->ReadGpio(kResetKeyGpio, value)) {
            printf("===> TEST RESET BUTTON(READ GPIO STATE ERROR)\n");
            ret = 0;
            break;
        }
        req->rst_btn_push_count = value == 0 ? req->rst_btn_push_count + 1 : 0;
        if (req->rst_btn_push_count > 2) {
            printf("===> TEST RESET BUTTON OK\n");
            ret = 1;
            break;
        }
        if (SystemGetMSCount() - start > 999 || !m_bLoop) {
            --req->continue_remain_count;
            printf("===> TEST RESET BUTTON(REMAIN COUNT=%d)\n", req->continue_remain_count);
            break;
        }
        XSleep(10);
    }
    if (ret == 2 && req->continue_remain_count > 0 && m_bLoop) {
        req->continous = TRUE;
        return 2;
    }
    req->continue_flag = 0;
    return ret == 1 ? 1 : 0;
}

int CFactoryTest::TestMic(uint8_t* payload, int& payloadLen)
{
    const int ret = access(XBoardPath(kAacFile).c_str(), F_OK) == 0 ? 1 : 0;
    if (ret) {
        memcpy(payload, "kx-ft.aac", 10);
        payloadLen = 10;
    }
    printf("===> TEST MIC(RET=%d, LEN=%d)\n", ret, payloadLen);
    return ret;
}

int CFactoryTest::TestSD(uint8_t* payload, int& payloadLen)
{
    const int state = m_Roles.card->GetSDState();
    const int ret = (state & emSDState_Insert) && (state & emSDState_Mount) ? 1 : 0;
    XPutBE32(payload, static_cast<uint32_t>(state));
    payloadLen = 4;
    printf("===> TEST SD(RET=%d, LEN=%d, SDSTATUS=%#x)\n", ret, payloadLen, static_cast<unsigned>(state));
    return ret;
}

int CFactoryTest::TestRTC(uint8_t* payload, int& payloadLen)
{
    const int fd = XRtcOpen(XBoardPath("/dev/hi_rtc").c_str());
    if (fd < 0) {
        printf("===> TEST RTC ERROR\n");
        return 0;
    }
    rtc_time_t tm;
    memset(&tm, 0, sizeof(tm));
    const int r = XRtcReadTime(fd, &tm);
    XRtcClose(fd);
    if (r < 0) {
        return 0;
    }
    printf("===> TEST RTC(%04d/%02d/%02d %02d:%02d:%02d)\n", static_cast<int>(tm.year),
           static_cast<int>(tm.month), static_cast<int>(tm.date), static_cast<int>(tm.hour),
           static_cast<int>(tm.minute), static_cast<int>(tm.second));
    XPutBE16(payload, static_cast<uint16_t>(tm.year));
    payload[2] = static_cast<uint8_t>(tm.month);
    payload[3] = static_cast<uint8_t>(tm.date);
    payload[4] = static_cast<uint8_t>(tm.hour);
    payload[5] = static_cast<uint8_t>(tm.minute);
    payload[6] = static_cast<uint8_t>(tm.second);
    payloadLen = 7;
    return 1;
}

int CFactoryTest::SetTime(const uint8_t* param, int paramLen)
{
    if (paramLen < 9) {
        return 0;
    }
    const int year = XGetBE16(param + 2);
    const int month = param[4], day = param[5], hour = param[6], minute = param[7], second = param[8];
    time_t when = 0;
    if (!XValidUtc(year, month, day, hour, minute, second, when)) {
        return 0;
    }
    if (param[0] != 0) {
        if (XSetSystemClock(when) != 0) {
            return 0;
        }
        printf("===> TEST SET SYS TIME OK...\n");
    }
    if (param[1] == 0) {
        return 1;
    }
    char cmd[96];
    snprintf(cmd, sizeof(cmd), "/bin/setrtc -s time %d/%d/%d/%d/%d/%d \n", year, month, day, hour, minute,
             second);
    printf("%s", cmd);
    if (m_Roles.shell->RunCommand(cmd) != 0) {
        return 0;
    }
    printf("===> TEST SET RTC TIME OK...\n");
    m_Roles.prompts->PlayPrompt(PCM_SYSTEMTIMESYNCSUCCESS);
    return 1;
}

int CFactoryTest::TestDone(const uint8_t* param, int paramLen, BOOL& bStop)
{
    bStop = FALSE;
    if (paramLen < 9) {
        return 0;
    }
    const unsigned code = XGetBE16(param);
    printf("TESTDONE MODEL = 0x%x\n", code);
    const char* model = ModelName(code);
    printf("==> TEST DONE(MODEL=%s)\n", model);
    char date[64];
    snprintf(date, sizeof(date), "%04d/%02d/%02d %02d:%02d:%02d", XGetBE16(param + 2), param[4], param[5],
             param[6], param[7], param[8]);
    printf("==> TEST DONE(MAKE DATE=%s)\n", date);
    if (!SetEnv("devmodel", model) || !SetEnv("manufacturedate", date) || !SetEnv("factorytest", "yes") ||
        !SetEnv("hwver", "v1.0.0") || !SaveEnvData()) {
        return 0;
    }
    if (!m_bForceDiscorvery) {
        m_bLoop = FALSE;
        bStop = TRUE;
    }
    m_bFactoryTestOK = TRUE;
    return 1;
}

void CFactoryTest::ProcessCMD(RequestClient* req)
{
    const uint8_t* buf = req->request_buf;
    const int received = req->request_len;
    const int len = received >= 6 ? XGetBE16(buf + 4) : 0;
    // LEN must cover command and sequence and lie within what arrived.
    if (received < 4 + kMinLen || len < kMinLen || len > kMaxLen || received < 4 + len) {
        req->continous = FALSE;
        AbortStep(req);
        return;
    }
    if (crc32(0, buf + 4, static_cast<size_t>(len)) != XGetBE32(buf)) {
        printf("CHECKSUM FAILED.\n");
        req->continous = FALSE;
        AbortStep(req);
        return;
    }
    const uint16_t cmd = XGetBE16(buf + 6);
    const uint16_t seq = XGetBE16(buf + 8);
    const uint8_t* param = buf + 10;
    const int paramLen = len - kMinLen;

    req->continous = FALSE;
    memset(req->response_buf, 0, sizeof(req->response_buf));
    req->response_data_ptr = nullptr;
    req->response_data_end = nullptr;

    uint8_t* payload = req->response_buf + 12;
    int payloadLen = 0;
    int ret = 0;
    uint16_t code = static_cast<uint16_t>(cmd + 1);
    BOOL bStop = FALSE;
    if (cmd == kCmdDiscovery) {
        BuildDiscovery(payload, payloadLen);
    } else if (m_bFactoryTestOK) {
        code = 0xFFFF;
    } else {
        switch (cmd) {
        case kCmdImageSensor:
            ret = m_Roles.ports->ImageSensorActive() ? 1 : 0;
            printf("===> TEST IMAGE SENSOR(LEN=%d,RET=%d)\n", payloadLen, ret);
            break;
        case kCmdLed:
            ret = TestLed(req, param, paramLen);
            break;
        case kCmdMic:
            ret = TestMic(payload, payloadLen);
            break;
        case kCmdSpeaker:
            ret = TestSpeaker(req);
            break;
        case kCmdSD:
            ret = TestSD(payload, payloadLen);
            break;
        case kCmdRTC:
            ret = TestRTC(payload, payloadLen);
            break;
        case kCmdResetKey:
            ret = TestResetKey(req, param, paramLen);
            break;
        case kCmdIRSensor:
            ret = m_Roles.sensors->IRSensorActive() ? 1 : 0;
            printf("===> TEST IR GESTURE SENSOR(LEN=%d,RET=%d)\n", payloadLen, ret);
            break;
        case kCmdGSensor:
            ret = m_Roles.sensors->GSensorActive() ? 1 : 0;
            printf("===> TEST 3 AIX ACCELERATION SENSOR(LEN=%d,RET=%d)\n", payloadLen, ret);
            break;
        case kCmdGPS:
            ret = m_Roles.ports->GPSModuleActive() ? 1 : 0;
            printf("===> TEST GPS(LEN=%d,RET=%d)\n", payloadLen, ret);
            break;
        case kCmdSetTime:
            ret = SetTime(param, paramLen);
            code = 0x0120;
            printf("===> TEST SET TIME(LEN=%d,RET=%d)\n", payloadLen, ret);
            break;
        case kCmdTestDone:
            ret = TestDone(param, paramLen, bStop);
            code = 0xF0F2;
            printf("===> TEST DONE(LEN=%d,RET=%d)\n", payloadLen, ret);
            break;
        default:
            return;  // unknown commands get no reply
        }
    }
    if (payloadLen > kMaxPayload) {
        payloadLen = kMaxPayload;
    }
    uint8_t* out = req->response_buf;
    const uint16_t outLen = static_cast<uint16_t>(8 + payloadLen);
    XPutBE16(out + 4, outLen);
    XPutBE16(out + 6, code);
    XPutBE16(out + 8, seq);
    XPutBE16(out + 10, static_cast<uint16_t>(static_cast<int16_t>(ret)));
    XPutBE32(out, crc32(0, out + 4, outLen));
    req->response_data_ptr = out;
    req->response_data_end = out + 4 + outLen;
    fflush(stdout);
    if (bStop) {
        ProtocolLoop(2000);  // lets the reply go out before the thread ends
    }
}

BOOL CFactoryTest::ForceRetest()
{
    if (!m_bFactoryTestOK) {
        return TRUE;
    }
    BOOL ok = SetEnv("factorytest", nullptr);
    ok = SaveEnvData() && ok;
    ok = Init() && ok;
    ok = m_Roles.ports->EnableAudioEnc(TRUE) && ok;
    return ok;
}

BOOL CFactoryTest::ForceTestDone()
{
    if (m_bFactoryTestOK) {
        return TRUE;
    }
    std::string v;
    BOOL ok = SetEnv("factorytest", "yes");
    if (ok && !GetEnvValue("manufacturedate", v)) {
        ok = SetEnv("manufacturedate", "2015/11/11 18:18:18");
    }
    if (ok && !GetEnvValue("devmodel", v)) {
        ok = SetEnv("devmodel", "ZQ2");
    }
    if (ok && !GetEnvValue("hwver", v)) {
        ok = SetEnv("hwver", "v1.0.0");
    }
    if (!ok || !SaveEnvData()) {
        return FALSE;
    }
    DestroyThread(TRUE);
    m_Roles.capture->StopVO();
    return TRUE;
}
