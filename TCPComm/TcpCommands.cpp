#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "Alarm/AlarmTypes.h"
#include "Function/ByteOrder.h"
#include "Function/SystemTime.h"
#include "Function/XLog.h"
#include "IniConfig/IniConfig.h"
#include "PlayAudio/PcmIndex.h"
#include "Record/PauseReasons.h"
#include "TCPComm/AccessAuth.h"
#include "TCPComm/TCPComm.h"
#include "TCPComm/TcpClock.h"

namespace {

const int kDownloadLedGpio = 67;
const size_t kNameMax = 255;

bool XIsLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Years past 2063 do not fit the card's packed file times.
bool XValidDateTime(int year, int month, int day, int hour, int minute, int second)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 2000 || year > 2063 || month < 1 || month > 12) {
        return false;
    }
    const int days = kDays[month - 1] + (month == 2 && XIsLeap(year) ? 1 : 0);
    return day >= 1 && day <= days && hour >= 0 && hour < 24 && minute >= 0 && minute < 60 &&
           second >= 0 && second < 60;
}

}  // namespace

// clang-format off
const CTCPComm::tagAppCommand CTCPComm::s_Commands[] = {
    // cmd                            printed                                  size lo  hi   key                          replies run
    {CMD_HEARTBEAT,                   nullptr,                                    0, 0, -1, nullptr,                     false, &CTCPComm::OnHeartbeat},
    {CMD_DISCONNECT_BY_CLIENT,        "receive cmd CMD_DISCONNECT_BY_CLIENT",     0, 0, -1, nullptr,                     false, &CTCPComm::OnBye},
    {CMD_AUTH_REQUEST,                nullptr,                                    0, 0, -1, nullptr,                     false, &CTCPComm::OnAuthRequest},
    {CMD_AUTH_DRAW_CODE,              nullptr,                                    0, 0, -1, nullptr,                     false, &CTCPComm::OnAuthDrawCode},
    {CMD_AUTH_CODE,                   nullptr,                                    0, 0, -1, nullptr,                     false, &CTCPComm::OnAuthCode},
    {CMD_STOP_RECORD,                 "receive cmd:  CMD_STOP_RECORD",            0, 0, -1, nullptr,                     false, &CTCPComm::OnStopRecord},
    {CMD_RESUME_RECORD,               "receive cmd:  CMD_RESUME_RECORD",          0, 0, -1, nullptr,                     false, &CTCPComm::OnResumeRecord},
    {CMD_CARCAM_SHAPSHOT,             "command_handler, CMD_CARCAM_SHAPSHOT",     0, 0, -1, nullptr,                     false, &CTCPComm::OnSnapshot},
    {CMD_LED_START_FLASH,             "APP download file, led start flash",      0, 0, -1, nullptr,                     false, &CTCPComm::OnLedStart},
    {CMD_LED_STOP_FLASH,              "APP end download file, led stop flash",   0, 0, -1, nullptr,                     false, &CTCPComm::OnLedStop},
    {CMD_SYSTEMTIME_SEND_TO_SYS,      "command_handler, CMD_SYSTEMTIME_SEND_TO_SYS", 7, 0, -1, nullptr,                  true,  &CTCPComm::OnSetTime},
    {CMD_DELETE_ALARM_IMG_FILE,       nullptr,                                    1, 0, -1, nullptr,                     true,  &CTCPComm::OnDeleteFile},
    {CMD_DELETE_ALARM_VIDEO_FILE,     nullptr,                                    1, 0, -1, nullptr,                     true,  &CTCPComm::OnDeleteFile},
    {CMD_DELETE_COMMON_VIDEO_FILE,    nullptr,                                    1, 0, -1, nullptr,                     true,  &CTCPComm::OnDeleteFile},
    {CMD_GET_SD_INFO,                 "CMD_GET_SD_INFO",                          0, 0, -1, nullptr,                     true,  &CTCPComm::OnSdInfo},
    {CMD_GET_FILE_INFO,               "CMD_GET_FILE_INFO",                        0, 0, -1, nullptr,                     true,  &CTCPComm::OnFileInfo},
    {CMD_GET_FILE_SPACE_QUOTA,        "CMD_GET_FILE_SPACE_QUOTAR",                0, 0, -1, nullptr,                     true,  &CTCPComm::OnGetQuota},
    {CMD_SET_FILE_SPACE_QUOTA,        nullptr,                                    3, 0, -1, nullptr,                     true,  &CTCPComm::OnSetQuota},
    {CMD_FORMAT_SD_CARD,              "CMD_FORMAT_SD_CARD",                       0, 0, -1, nullptr,                     true,  &CTCPComm::OnCardWork},
    {CMD_DELETE_ALL_ALARM_IMG_FILE,   "CMD_DELETE_ALL_ALARM_IMG_FILE ",           0, 0, -1, nullptr,                     true,  &CTCPComm::OnCardWork},
    {CMD_DELETE_ALL_ALARM_VIDEO_FILE, "CMD_DELETE_ALL_ALARM_VIDEO_FILE",          0, 0, -1, nullptr,                     true,  &CTCPComm::OnCardWork},
    {CMD_DELETE_ALL_COMMON_VIDEO_FILE, "CMD_DELETE_ALL_COMMON_VIDEO_FILE",        0, 0, -1, nullptr,                     true,  &CTCPComm::OnCardWork},
    {CMD_SETFUNC_CONNECT_AUTH,        nullptr,                                    1, 0, 1,  "connectauth",               true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_PLAY_VOLUME,         nullptr,                                    1, 0, 20, "volume",                    true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_SNAPSHOT_ASSOCIATE_VIDEO, nullptr,                               1, 0, 1,  "snapshot_associate_video",  true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_AUDIO_RECORD,        nullptr,                                    1, 0, 1,  "audiorecord",               true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_GSENSOR_LEVEL,       nullptr,                                    1, 6, 255, "gensor_level",             true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_CORRECT_IR,          nullptr,                                    0, 0, -1, nullptr,                     true,  &CTCPComm::OnCorrectIR},
    {CMD_SETFUNC_RES_MODE,            nullptr,                                    1, 0, -1, "res_mode",                  true,  &CTCPComm::OnResolution},
    {CMD_SETFUNC_PARKING_MONITOR,     nullptr,                                    1, 0, 1,  "enableparkingmonitor",      true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_PARKING_TIME,        nullptr,                                    1, 1, 255, "parkingtimethreshold",     true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_GESTURE_CAPTURE,     nullptr,                                    1, 0, 1,  "gesture_capture",           true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_GESTURE_LEVEL,       nullptr,                                    1, 0, 2,  "gesture_trigger_level",     true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_SPEED_UNIT,          nullptr,                                    1, 0, 255, "speedunit",                true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_VOICE_POWERUP,       nullptr,                                    1, 0, 1,  "voice_powerup",             true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_VOICE_POWERDOWN,     nullptr,                                    1, 0, 1,  "voice_powerdown",           true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_VOICE_GPS,           nullptr,                                    1, 0, 1,  "voice_gps",                 true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_VOICE_G_SNAPSHOT,    nullptr,                                    1, 0, 1,  "voice_g_snapshot",          true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_VOICE_A_SNAPSHOT,    nullptr,                                    1, 0, 1,  "voice_a_snapshot",          true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_VOICE_M_SNAPSHOT,    nullptr,                                    1, 0, 1,  "voice_m_snapshot",          true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_VOICE_PARKING,       nullptr,                                    1, 0, 1,  "voice_parking",             true,  &CTCPComm::OnSetting},
    {CMD_SETFUNC_NOTHING,             nullptr,                                    0, 0, -1, nullptr,                     false, &CTCPComm::OnNothing},
};
// clang-format on

const CTCPComm::tagAppCommand* CTCPComm::FindCommand(uint32_t cmd)
{
    for (const tagAppCommand& row : s_Commands) {
        if (row.cmd == cmd) {
            return &row;
        }
    }
    return nullptr;
}

int CTCPComm::command_handler(const tagTcpFrame& frame)
{
    const tagAppCommand* row = FindCommand(frame.command);
    if (row == nullptr || !Wired()) {
        return 0;  // not a command of this channel, or nothing to run it on
    }
    if (row->printed != nullptr) {
        printf("%s\n", row->printed);
    }
    int result;
    if (frame.paralen < row->size) {
        // A missing parameter is never read as zeros.
        printf("command 0x%x: parameter of %u bytes, %u needed\n", row->cmd,
               static_cast<unsigned>(frame.paralen), static_cast<unsigned>(row->size));
        result = row->replies ? 0 : static_cast<int>(kNoReply);
    } else if (row->size == 1 && row->lo <= row->hi &&
               (frame.parameter[0] < row->lo || frame.parameter[0] > row->hi)) {
        result = 0;
    } else {
        result = (this->*row->run)(frame, *row);
    }
    if (result == kClose) {
        return -1;
    }
    if (result >= 0) {
        SendSetFuncReply(static_cast<int>(row->cmd + 1), result);
    }
    fflush(stdout);
    return 0;
}

int CTCPComm::Store(const char* key, int value)
{
    return CIniConfig::instance()->SetInt("funcset", key, value) > 0 ? 1 : 0;
}

int CTCPComm::OnHeartbeat(const tagTcpFrame&, const tagAppCommand&)
{
    SendFrame(CMD_HEARTBEAT, nullptr, 0);
    return kNoReply;
}

int CTCPComm::OnBye(const tagTcpFrame&, const tagAppCommand&)
{
    return kClose;
}

int CTCPComm::OnAuthRequest(const tagTcpFrame& frame, const tagAppCommand&)
{
    printf("command_handler, auth client mac :");
    if (frame.paralen < 6) {
        printf(" (too short)\n");
        return kNoReply;  // no MAC, no answer; the pairing file stays as it is
    }
    unsigned char mac[6];
    memcpy(mac, frame.parameter, sizeof(mac));
    for (unsigned char b : mac) {
        printf("%x", b);
    }
    printf("\n");
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        memcpy(m_Connect.ClientMACAddr, mac, sizeof(mac));
    }
    if (CIniConfig::instance()->GetConnectAuthCfg() == 1 && search_access_auth(mac) != 0) {
        SendCommandAuth2();
    } else {
        SendCommandAuth4(0);
    }
    return kNoReply;
}

int CTCPComm::OnAuthDrawCode(const tagTcpFrame&, const tagAppCommand&)
{
    srand(static_cast<unsigned>(time(nullptr)));
    const int code = rand() % 10000;
    auth_code = code;
    printf("produce rand number = %d\n", code);
    fflush(stdout);
    StartAnnouncement(code);
    return kNoReply;
}

int CTCPComm::OnAuthCode(const tagTcpFrame& frame, const tagAppCommand&)
{
    const int expected = auth_code.load();
    if (frame.paralen < 4) {
        // 0 would mean "paired": a short code is a wrong one.
        printf("auth_code = %d, get_auth_code = (none)\n", expected);
        printf("access auth check fail\n");
        SendCommandAuth4(1);
        return kNoReply;
    }
    const uint32_t got = XGetBE32(frame.parameter);
    printf("auth_code = %d, get_auth_code = %d\n", expected, static_cast<int>(got));
    if (got == static_cast<uint32_t>(expected)) {
        unsigned char mac[6];
        {
            std::lock_guard<std::mutex> hold(m_Lock);
            memcpy(mac, m_Connect.ClientMACAddr, sizeof(mac));
        }
        if (search_access_auth(mac) != 0) {
            save_access_auth(mac);
        }
        SendCommandAuth4(0);
    } else {
        SendCommandAuth4(1);
        printf("access auth check fail\n");
    }
    return kNoReply;
}

void CTCPComm::stop_record()
{
    const AppRoles r = m_Roles;
    CPauseReasons::instance()->Add(CPauseReasons::emPauseReason_AppStop, [r] {
        r.capture->PauseCapture();
        const BOOL parking = r.record->GetParkingFlag();
        r.record->PauseAllRecord(parking ? FALSE : TRUE, TRUE);
        r.snapshots->PauseSnapshot();
        r.shell->SyncFS();
    });
    printf("exec stop_record\n");
    NotifyStopRecordComplete();
}

void CTCPComm::resume_record()
{
    const AppRoles r = m_Roles;
    // Another reason (power cut, a download) keeps everything paused.
    CPauseReasons::instance()->Remove(CPauseReasons::emPauseReason_AppStop, [r] {
        r.capture->ResumeCapture();
        r.record->ResumeCommonRecord();
        r.snapshots->ResumeSnapshot();
    });
    printf("exec resume_record\n");
}

int CTCPComm::OnStopRecord(const tagTcpFrame&, const tagAppCommand&)
{
    if (!isPauseAllRecordService.exchange(true)) {
        stop_record();
    }
    return kNoReply;
}

int CTCPComm::OnResumeRecord(const tagTcpFrame&, const tagAppCommand&)
{
    if (isPauseAllRecordService.exchange(false)) {
        resume_record();
    }
    return kNoReply;
}

int CTCPComm::OnSnapshot(const tagTcpFrame&, const tagAppCommand&)
{
    TASK task = XMakeAlarmTask(emAlarmType_Gesture, SystemGetMSCount(), 1111, 'M');
    m_Roles.alarms->PutAlarmTask(&task);
    return kNoReply;
}

int CTCPComm::OnLedStart(const tagTcpFrame&, const tagAppCommand&)
{
    led_flash_flag = TRUE;
    return kNoReply;
}

int CTCPComm::OnLedStop(const tagTcpFrame&, const tagAppCommand&)
{
    m_Roles.pins->WriteGpio(kDownloadLedGpio, 1);
    led_flash_flag = FALSE;
    return kNoReply;
}

int CTCPComm::OnSetTime(const tagTcpFrame& frame, const tagAppCommand&)
{
    const unsigned char* p = frame.parameter;
    const int year = (p[0] << 8) | p[1];
    const int month = p[2], day = p[3], hour = p[4], minute = p[5], second = p[6];
    printf("y:%d,m:%d,d:%d,h:%d,m:%d,s:%d\n", year, month, day, hour, minute, second);
    if (!XValidDateTime(year, month, day, hour, minute, second)) {
        printf("invalid date or time\n");
        return 0;
    }
    if (SetRtctoSystime(year, month, day, hour, minute, second) != 0) {
        XERROR("SetRtctoSystime error\n");
        return 0;
    }
    char cmd[128];
    snprintf(cmd, sizeof(cmd), "/bin/setrtc -s time %.4d/%.2d/%.2d/%.2d/%.2d/%.2d", year, month, day,
             hour, minute, second);
    printf("set rtc command: %s\n", cmd);
    if (m_Roles.shell->RunCommand(cmd) != 0) {
        XERROR("SetRtc error\n");
        return 0;
    }
    m_Roles.prompts->PlayPrompt(PCM_SYSTEMTIMESYNCSUCCESS);
    return 1;
}

int CTCPComm::OnDeleteFile(const tagTcpFrame& frame, const tagAppCommand& row)
{
    const size_t len = strnlen(reinterpret_cast<const char*>(frame.parameter), frame.paralen);
    char name[kNameMax + 1] = {};
    const bool ok = len >= 1 && len <= kNameMax;
    if (ok) {
        memcpy(name, frame.parameter, len);
    }
    const AppRoles& r = m_Roles;
    switch (row.cmd) {
    case CMD_DELETE_ALARM_IMG_FILE:
        printf("CMD_DELETE_ALARM_IMG_FILE filename:%s\n", name);
        return ok && r.files->DeleteAlarmImgFile(name) ? 1 : 0;
    case CMD_DELETE_ALARM_VIDEO_FILE:
        printf("CMD_DELETE_ALARM_VIDEO_FILE filename:%s\n", name);
        return ok && r.files->DeleteAlarmVideoFile(name) ? 1 : 0;
    default:
        printf("CMD_DELETE_COMMON_VIDEO_FILE filename:%s\n", name);
        return ok && r.files->DeleteCommonVideoFile(name) ? 1 : 0;
    }
}

int CTCPComm::OnSdInfo(const tagTcpFrame&, const tagAppCommand& row)
{
    uint64_t total = 0, freeBytes = 0;
    if (!m_Roles.card->GetDiskSpaceInfo(&total, &freeBytes)) {
        return 0;
    }
    printf("CMD_GET_SD_INFO totalspace: %lld, freespace: %lld\n", static_cast<long long>(total),
           static_cast<long long>(freeBytes));
    unsigned char data[16];
    XPutBE64(data, total);
    XPutBE64(data + 8, freeBytes);
    SendGetFuncReply(static_cast<int>(row.cmd + 1), 1, sizeof(data), data);
    return kNoReply;
}

int CTCPComm::OnFileInfo(const tagTcpFrame&, const tagAppCommand& row)
{
    uint64_t common = 0, alarm = 0, image = 0;
    m_Roles.files->GetTotalFileSize(common, alarm, image);
    unsigned char data[24];
    XPutBE64(data, common);
    XPutBE64(data + 8, alarm);
    XPutBE64(data + 16, image);
    SendGetFuncReply(static_cast<int>(row.cmd + 1), 1, sizeof(data), data);
    return kNoReply;
}

int CTCPComm::OnGetQuota(const tagTcpFrame&, const tagAppCommand& row)
{
    unsigned common = 0, alarm = 0, image = 0;
    m_Roles.files->GetFileSpaceQuotaOnSD(common, alarm, image);
    unsigned char data[12];
    XPutBE32(data, common);
    XPutBE32(data + 4, alarm);
    XPutBE32(data + 8, image);
    SendGetFuncReply(static_cast<int>(row.cmd + 1), 1, sizeof(data), data);
    return kNoReply;
}

int CTCPComm::OnSetQuota(const tagTcpFrame& frame, const tagAppCommand&)
{
    const unsigned common = frame.parameter[0];
    const unsigned alarm = frame.parameter[1];
    const unsigned image = frame.parameter[2];
    printf("CMD_GET_FILE_SPACE_QUOTAR commonvideo = %d, alarmvideo = %d, alarmimage = %d\n",
           static_cast<int>(common), static_cast<int>(alarm), static_cast<int>(image));
    if (common + alarm + image > 100) {
        return 0;  // shares of the card above the whole card
    }
    return m_Roles.files->SetFileSpaceQuotaOnSD(common, alarm, image) ? 1 : 0;
}

int CTCPComm::OnCardWork(const tagTcpFrame&, const tagAppCommand& row)
{
    emWorker kind;
    switch (row.cmd) {
    case CMD_FORMAT_SD_CARD:
        kind = emWorker_Format;
        break;
    case CMD_DELETE_ALL_ALARM_IMG_FILE:
        kind = emWorker_CleanAlarmImg;
        break;
    case CMD_DELETE_ALL_ALARM_VIDEO_FILE:
        kind = emWorker_CleanAlarmVideo;
        break;
    default:
        kind = emWorker_CleanCommonVideo;
        break;
    }
    return StartWorker(kind, row.cmd + 1) ? static_cast<int>(kNoReply) : 0;
}

int CTCPComm::OnSetting(const tagTcpFrame& frame, const tagAppCommand& row)
{
    const int value = frame.parameter[0];
    const AppRoles& r = m_Roles;
    switch (row.cmd) {
    case CMD_SETFUNC_CONNECT_AUTH: {
        const int stored = Store(row.key, value);
        if (stored && value == 0) {
            DeleteAccessAuthFile();
        }
        return stored;
    }
    case CMD_SETFUNC_PLAY_VOLUME:
        printf("command_handler, CMD_SETFUNC_PLAY_VOLUME  %d\n", value);
        if (!r.audio->SetVolume(value)) {
            return 0;
        }
        Store(row.key, value);
        return 1;
    case CMD_SETFUNC_SNAPSHOT_ASSOCIATE_VIDEO:
        if (value == 1) {
            if (r.record->GetParkingFlag()) {
                return 0;
            }
            r.linkages->LinkageConfig(emAlarmType_Gesture, emLinkageType_Record, emLinkageType_Invalid);
            r.linkages->LinkageConfig(emAlarmType_SW_VoiceWakeUp, emLinkageType_Record, emLinkageType_Invalid);
        } else {
            r.linkages->LinkageConfig(emAlarmType_Gesture, emLinkageType_Invalid, emLinkageType_Record);
            r.linkages->LinkageConfig(emAlarmType_SW_VoiceWakeUp, emLinkageType_Invalid, emLinkageType_Record);
        }
        return Store(row.key, value);
    case CMD_SETFUNC_AUDIO_RECORD:
        if (value == 1) {
            r.audio->AudioInputMuteDisable();
        } else {
            r.audio->AudioInputMuteEnable();
        }
        return Store(row.key, value);
    case CMD_SETFUNC_GSENSOR_LEVEL:
        r.sensors->TESTSetGSensorParam(static_cast<float>(value));
        return Store(row.key, value);
    case CMD_SETFUNC_PARKING_MONITOR:
        r.capture->SetParkingMonitoringEnable(value);
        return Store(row.key, value);
    case CMD_SETFUNC_PARKING_TIME:
        r.capture->SetParkingMonitoringTimeThreshold(static_cast<unsigned>(value));
        return Store(row.key, value);
    case CMD_SETFUNC_SPEED_UNIT: {
        const int stored = Store(row.key, value);
        if (stored) {
            r.speed->ForceShowSpeed();
        }
        return stored;
    }
    default:
        return Store(row.key, value);
    }
}

int CTCPComm::OnCorrectIR(const tagTcpFrame&, const tagAppCommand&)
{
    return m_Roles.sensors->TESTCorrectIRSensor() < 0 ? 0 : 1;
}

int CTCPComm::OnResolution(const tagTcpFrame& frame, const tagAppCommand& row)
{
    const int mode = frame.parameter[0];
    // A failed switch stores nothing: the next boot would start in that mode.
    if (!m_Roles.capture->ResolutionSwitch(mode)) {
        return 0;
    }
    if (mode != 0 && mode != 1) {
        return 0;
    }
    return Store(row.key, mode);
}

int CTCPComm::OnNothing(const tagTcpFrame&, const tagAppCommand&)
{
    return kNoReply;
}

bool CTCPComm::StartWorker(emWorker kind, uint32_t replyCmd)
{
    unsigned gen;
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        gen = m_Gen;
    }
    std::thread old;
    {
        std::lock_guard<std::mutex> hold(m_WorkerLock);
        tagWorker& w = m_Workers[kind];
        if (w.busy) {
            printf("command 0x%x: the last one still runs\n", replyCmd - 1);
            return false;
        }
        old = std::move(w.thread);  // done, or sending its reply
        w.busy = true;
        try {
            w.thread = std::thread(&CTCPComm::RunWorker, this, kind, replyCmd, gen);
        } catch (...) {
            w.busy = false;
            printf("the %s create  error!\n", "command_handler");
        }
    }
    if (old.joinable()) {
        old.join();
    }
    // A failed start answers nothing.
    return true;
}

void CTCPComm::RunWorker(emWorker kind, uint32_t replyCmd, unsigned gen)
{
    const AppRoles& r = m_Roles;
    int reply = 0;
    switch (kind) {
    case emWorker_Format:
        r.card->SetFormatStatusFlag(TRUE);
        reply = r.card->Format() == 0 ? 1 : 0;
        break;
    case emWorker_CleanAlarmImg:
        reply = r.files->CleanAllAlarmImgFile() ? 1 : 0;
        break;
    case emWorker_CleanAlarmVideo:
        reply = r.files->CleanAllAlarmVideoFile() ? 1 : 0;
        break;
    default:
        reply = r.files->CleanAllCommonVideoFile() ? 1 : 0;
        break;
    }
    if (kind == emWorker_Format) {
        r.card->SetFormatStatusFlag(FALSE);
    }
    {
        // Free before the reply: the phone may ask again as soon as it has it.
        std::lock_guard<std::mutex> hold(m_WorkerLock);
        m_Workers[kind].busy = false;
    }
    const unsigned char b = static_cast<unsigned char>(reply);
    printf("SendSetFuncReply command:%u,reply:%d\n", replyCmd, reply);
    SendFrameFor(gen, replyCmd, &b, 1);
}

void CTCPComm::JoinWorkers()
{
    for (tagWorker& w : m_Workers) {
        std::thread t;
        {
            std::lock_guard<std::mutex> hold(m_WorkerLock);
            t = std::move(w.thread);
        }
        if (t.joinable()) {
            t.join();
        }
    }
}

int CTCPComm::SendFrameFor(unsigned gen, uint32_t cmd, const unsigned char* param, size_t paralen)
{
    unsigned char frame[TCP_FRAME_MAX_LEN] = {};
    const int n = XBuildFrame(frame, sizeof(frame), cmd, param, paralen);
    if (n <= 0) {
        return 0;
    }
    std::lock_guard<std::mutex> hold(m_Lock);
    if (m_Connect.fd < 0 || m_Gen != gen || m_Queue.size() >= SEND_QUEUE_FRAMES) {
        return 0;  // the phone that asked is gone
    }
    m_Queue.push_back({m_Gen, std::vector<unsigned char>(frame, frame + n)});
    Wake();
    return 1;
}
