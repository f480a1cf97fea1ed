#include "TCPComm/TCPComm.h"

#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "Function/XLog.h"
#include "IniConfig/IniConfig.h"
#include "Platform/BoardRoot.h"
#include "Platform/Net.h"
#include "PlayAudio/PcmIndex.h"
#include "TCPComm/AccessAuth.h"
#include "TCPComm/TcpClock.h"
#include "TCPComm/TcpSocket.h"

namespace {

const int kLinkLedGpio = 67;

uint64_t XNowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace


CTCPComm::CTCPComm() : CThread(FALSE, 1024, 0)
{
}

bool CTCPComm::Wired() const
{
    const AppRoles& r = m_Roles;
    return r.record != nullptr && r.files != nullptr && r.card != nullptr && r.alarms != nullptr &&
           r.linkages != nullptr && r.snapshots != nullptr && r.capture != nullptr && r.audio != nullptr &&
           r.sensors != nullptr && r.speed != nullptr && r.prompts != nullptr && r.pins != nullptr &&
           r.shell != nullptr;
}

void CTCPComm::SetLinkLed(int level)
{
    if (m_Roles.pins != nullptr) {
        m_Roles.pins->WriteGpio(kLinkLedGpio, level);
    }
}

BOOL CTCPComm::EnvValue(const char* name, std::string& value)
{
    return m_Roles.env != nullptr && m_Roles.env->GetEnvValue(name, value);
}

std::string CTCPComm::EnvOrUnknow(const char* name)
{
    std::string text;
    if (!EnvValue(name, text)) {
        text = "unknow";
    }
    return text;
}

CTCPComm::~CTCPComm()
{
    CleanUp();
}

void CTCPComm::SetTimeouts(unsigned silenceMs, unsigned sendMs)
{
    m_SilenceMs = silenceMs;
    m_SendBoundMs = sendMs;
}

void CTCPComm::LoadProductInfo()
{
    // Copies taken under the store's lock: the block in memory as start-up left it.
    std::string model, date, version;
    const bool hasModel = EnvValue("devmodel", model);
    const bool hasDate = EnvValue("manufacturedate", date);
    const bool hasVersion = EnvValue("firmware_ver", version);
    Product_info info{};
    info.Model = GetModel(hasModel ? model.c_str() : nullptr);
    info.Manufacturedate = GetManufacturedate(hasDate ? date.c_str() : nullptr);
    info.RomVersion = GetRomVersion(hasVersion ? version.c_str() : nullptr);
    printf("manudate:%x ; model: %x ; romverion: %x\n", info.Manufacturedate, info.Model,
           info.RomVersion);
    std::lock_guard<std::mutex> hold(m_Lock);
    memcpy(info.MacAddr, m_Product.MacAddr, sizeof(info.MacAddr));
    m_Product = info;
    m_bProductReady = true;
}

BOOL CTCPComm::LookUpMac(int fd)
{
    unsigned char mac[6];
    if (!GetIFHWAddr(fd, "wlan0", mac)) {
        XERROR("GetIFHWAddr error\n");
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(m_Lock);
    memcpy(m_Product.MacAddr, mac, sizeof(mac));
    m_bMacOk = true;
    return TRUE;
}

BOOL CTCPComm::Init()
{
    if (m_bInit) {
        return TRUE;
    }
    if (!Wired()) {
        return FALSE;
    }
    m_bMacOk = false;
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        m_Product = Product_info{};
    }
    LoadProductInfo();
    s32MainFd = tcp_listen(m_ListenPort);
    if (s32MainFd < 0) {
        return FALSE;
    }
    m_BoundPort = tcp_local_port(s32MainFd);
    // Without the address the phones are not served; it is looked up again
    // at each accept.
    LookUpMac(s32MainFd);
    if (pipe2(m_WakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        XERROR("pipe: %s\n", strerror(errno));
        tcp_close(s32MainFd);
        s32MainFd = -1;
        return FALSE;
    }
    Isdatathreadrun = true;
    try {
        m_DataThread = std::thread(&CTCPComm::DataThread, this);
    } catch (...) {
        XERROR("create  TcpComm_Data_Thread error!\n");
        Isdatathreadrun = false;
        StopThreads();
        return FALSE;
    }
    if (!CreateThread(0)) {
        XERROR("create  TCPComm accept thread error!\n");
        StopThreads();
        return FALSE;
    }
    m_bAcceptStarted = true;
    CRecordNotify::SetReceiver(&m_Notice);
    m_bInit = true;
    return TRUE;
}

void CTCPComm::StopThreads()
{
    if (m_bAcceptStarted) {
        DestroyThread(TRUE);
        m_bAcceptStarted = false;
    }
    Isdatathreadrun = false;
    Wake();
    if (m_DataThread.joinable()) {
        m_DataThread.join();
    }
    // No command starts a worker any more; they finish before the pipe goes.
    JoinWorkers();
    StopAnnouncement();
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        if (m_PendingFd >= 0) {
            tcp_close(m_PendingFd);
            m_PendingFd = -1;
        }
        if (m_Connect.fd >= 0) {
            tcp_close(m_Connect.fd);
            m_Connect.fd = -1;
        }
        m_Queue.clear();
        connectstate = DISCONNECT;
    }
    if (s32MainFd >= 0) {
        tcp_close(s32MainFd);
        s32MainFd = -1;
    }
    for (int& fd : m_WakePipe) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
}

void CTCPComm::CleanUp()
{
    if (!m_bInit) {
        JoinWorkers();  // workers of commands run without a channel
        return;
    }
    printf("TCPComm Cleanup\n");
    // No notice reaches the channel once this returns.
    CRecordNotify::SetReceiver(nullptr);
    StopThreads();
    m_bInit = false;
    printf("TCPComm Cleanup 2\n");
    fflush(stdout);
}

void CTCPComm::Wake()
{
    if (m_WakePipe[1] >= 0) {
        const char b = 1;
        ssize_t n = write(m_WakePipe[1], &b, 1);
        (void)n;  // a full pipe is awake already
    }
}

// Accept thread: takes connections and hands them to the receive thread.
void CTCPComm::ThreadProc()
{
    while (m_bLoop) {
        struct pollfd p = {s32MainFd, POLLIN, 0};
        int r = poll(&p, 1, 100);
        if (r <= 0) {
            continue;
        }
        int fd = tcp_accept(s32MainFd);
        if (fd < 0) {
            continue;
        }
        printf("CTCPComm Server accept new connect %d\n", fd);
        printf("tcp connect : %d\n", fd);
        if (!m_bMacOk && !LookUpMac(s32MainFd)) {
            // Never greet with a made-up address: this phone is not served.
            tcp_close(fd);
            continue;
        }
        std::lock_guard<std::mutex> hold(m_Lock);
        if (m_PendingFd >= 0) {
            tcp_close(m_PendingFd);  // never adopted: the newer phone wins
        }
        m_PendingFd = fd;
        if (m_Connect.fd >= 0 && m_HandoverAtMs == 0) {
            printf("NotifyDisconnectByServer,old tcp connect is %d\n", m_Connect.fd);
            unsigned char frame[TCP_FRAME_HEAD_LEN];
            int n = XBuildFrame(frame, sizeof(frame), CMD_DISCONNECT_BY_SERVER, nullptr, 0);
            m_Queue.push_back({m_Gen, std::vector<unsigned char>(frame, frame + n)});
            m_HandoverAtMs = XNowMs() + 500;
        } else if (m_Connect.fd < 0) {
            m_HandoverAtMs = XNowMs();
        }
        Wake();
    }
}

void CTCPComm::AdoptLocked(std::unique_lock<std::mutex>& hold)
{
    const bool displaced = m_Connect.fd >= 0;
    if (displaced) {
        tcp_close(m_Connect.fd);
    }
    m_Connect = Connect_info{m_PendingFd, {}};
    m_PendingFd = -1;
    m_HandoverAtMs = 0;
    ++m_Gen;
    m_Queue.clear();
    m_SentOfHead = 0;
    m_HeadStartMs = 0;
    m_Reader.Reset();
    m_LastRxMs = XNowMs();
    int flags = fcntl(m_Connect.fd, F_GETFL);
    fcntl(m_Connect.fd, F_SETFL, flags | O_NONBLOCK);
    connectstate = CONNECT;
    hold.unlock();
    if (displaced) {
        ResumeAfterPhoneGone();
    }
    SetLinkLed(1);
    hold.lock();
    GreetLocked();
}

void CTCPComm::GreetLocked()
{
    unsigned char param[14];
    XPackProductInfo(m_Product, param);
    unsigned char frame[TCP_FRAME_MAX_LEN];
    auto queue = [&](uint32_t cmd, const void* p, size_t len) {
        int n = XBuildFrame(frame, sizeof(frame), cmd, static_cast<const unsigned char*>(p), len);
        if (n > 0) {
            m_Queue.push_back({m_Gen, std::vector<unsigned char>(frame, frame + n)});
        }
    };
    queue(CMD_PRODUCT_INFO, param, sizeof(param));
    const std::string model = EnvOrUnknow("devmodel");
    queue(CMD_MODEL_NAME, model.data(), model.size());
    const std::string sn = EnvOrUnknow("devicesn");
    queue(CMD_DEVICE_SN, sn.data(), sn.size());
    if (CheckRtcTimeOk() == -1) {
        queue(CMD_FORCE_UPDATE_TIME, nullptr, 0);
    }
}

void CTCPComm::DropLocked(const char* why)
{
    if (why != nullptr) {
        printf("%s", why);
    }
    tcp_close(m_Connect.fd);
    m_Connect = Connect_info{-1, {}};
    m_Queue.clear();
    m_SentOfHead = 0;
    m_HeadStartMs = 0;
    m_Reader.Reset();
    connectstate = DISCONNECT;
    led_flash_flag = FALSE;
    m_Lock.unlock();
    SetLinkLed(0);
    ResumeAfterPhoneGone();
    m_Lock.lock();
}

void CTCPComm::ResumeAfterPhoneGone()
{
    // Recording stopped by the phone resumes once, whoever notices first.
    if (isPauseAllRecordService.exchange(false)) {
        printf("resume record: the phone that stopped it is gone\n");
        resume_record();
    }
}

// Sends from the queue head without blocking; false on a socket error.
bool CTCPComm::SendSomeLocked()
{
    while (!m_Queue.empty()) {
        tagOutFrame& head = m_Queue.front();
        if (head.gen != m_Gen) {
            m_Queue.pop_front();
            m_SentOfHead = 0;
            m_HeadStartMs = 0;
            continue;
        }
        if (m_HeadStartMs == 0) {
            m_HeadStartMs = XNowMs();  // the bound counts from the first try
        }
        ssize_t n = send(m_Connect.fd, head.bytes.data() + m_SentOfHead,
                         head.bytes.size() - m_SentOfHead, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                return true;
            }
            printf("Send Data error\n");
            printf("tcp_write error %s %i\n", __FILE__, __LINE__);
            return false;
        }
        m_SentOfHead += static_cast<size_t>(n);
        if (m_SentOfHead >= head.bytes.size()) {
            m_Queue.pop_front();
            m_SentOfHead = 0;
            m_HeadStartMs = 0;
        } else {
            return true;
        }
    }
    return true;
}

// Receive thread: owns the phone's socket.
void CTCPComm::DataThread()
{
    std::unique_lock<std::mutex> hold(m_Lock);
    while (Isdatathreadrun) {
        const uint64_t now = XNowMs();
        if (m_PendingFd >= 0 && now >= m_HandoverAtMs) {
            AdoptLocked(hold);
        }
        const int fd = m_Connect.fd;
        bool wantOut = false;
        for (const tagOutFrame& f : m_Queue) {
            if (f.gen == m_Gen) {
                wantOut = fd >= 0;
                break;
            }
        }
        int timeout = 500;
        if (m_PendingFd >= 0) {
            timeout = static_cast<int>(m_HandoverAtMs > now ? m_HandoverAtMs - now : 0);
        }
        hold.unlock();

        struct pollfd p[2] = {{m_WakePipe[0], POLLIN, 0}, {fd, static_cast<short>(POLLIN | (wantOut ? POLLOUT : 0)), 0}};
        int r = poll(p, fd >= 0 ? 2 : 1, timeout);
        if (p[0].revents & POLLIN) {
            char sink[64];
            while (read(m_WakePipe[0], sink, sizeof(sink)) > 0) {
            }
        }
        unsigned char data[TCP_FRAME_MAX_LEN];
        ssize_t got = 0;
        bool readable = r > 0 && fd >= 0 && (p[1].revents & (POLLIN | POLLERR | POLLHUP));
        if (readable) {
            got = recv(fd, data, sizeof(data), MSG_DONTWAIT);
        }
        hold.lock();
        if (fd < 0 || fd != m_Connect.fd) {
            continue;
        }
        if (readable) {
            if (got == 0) {
                printf("read() error  len=0 %s %d\n", __FILE__, __LINE__);
                DropLocked(nullptr);
                continue;
            }
            if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                printf("read() error len<0 %s %d\n", __FILE__, __LINE__);
                DropLocked(nullptr);
                continue;
            }
            if (got > 0) {
                m_LastRxMs = XNowMs();
                const unsigned gen = m_Gen;
                bool close = false;
                hold.unlock();
                m_Reader.Feed(data, static_cast<size_t>(got), [&](const tagTcpFrame& f) {
                    if (command_handler(f) == -1) {
                        close = true;
                        return false;
                    }
                    return true;
                });
                hold.lock();
                if (close && gen == m_Gen && m_Connect.fd == fd) {
                    DropLocked("connect close \n");
                    continue;
                }
            }
        }
        if (m_Connect.fd == fd && !SendSomeLocked()) {
            DropLocked(nullptr);
            continue;
        }
        const uint64_t after = XNowMs();
        if (!m_Queue.empty() && m_HeadStartMs != 0 && after - m_HeadStartMs >= m_SendBoundMs) {
            // The phone stopped reading: it is dropped, and nobody waited for it.
            printf("Send Data error\n");
            printf("tcp_write error %s %i\n", __FILE__, __LINE__);
            DropLocked(nullptr);
            continue;
        }
        if (after - m_LastRxMs >= m_SilenceMs) {
            XERROR("more than 15 seconds no data receive ,break the connection\n");
            DropLocked(nullptr);
        }
    }
    if (m_Connect.fd >= 0) {
        tcp_close(m_Connect.fd);
        m_Connect = Connect_info{-1, {}};
        connectstate = DISCONNECT;
    }
}

int CTCPComm::CommandSend(unsigned char* frame, int length)
{
    if (frame == nullptr || length < TCP_FRAME_HEAD_LEN || length > TCP_FRAME_MAX_LEN) {
        return 0;
    }
    std::lock_guard<std::mutex> hold(m_Lock);
    if (m_Connect.fd < 0) {
        printf("CommandSend failed,socket is not connect\n");
        return 0;
    }
    if (m_Queue.size() >= SEND_QUEUE_FRAMES) {
        return 0;
    }
    m_Queue.push_back({m_Gen, std::vector<unsigned char>(frame, frame + length)});
    Wake();
    return 1;
}

int CTCPComm::SendFrame(uint32_t cmd, const unsigned char* param, size_t paralen)
{
    unsigned char frame[TCP_FRAME_MAX_LEN] = {};
    int n = XBuildFrame(frame, sizeof(frame), cmd, param, paralen);
    if (n <= 0) {
        return 0;
    }
    return CommandSend(frame, n);
}

int CTCPComm::SendCommandAuth2()
{
    return SendFrame(CMD_AUTH_NEED_CODE, nullptr, 0);
}

int CTCPComm::SendCommandAuth4(unsigned char result)
{
    return SendFrame(CMD_AUTH_RESULT, &result, 1);
}

int CTCPComm::SendSetFuncReply(int command, int reply)
{
    printf("SendSetFuncReply command:%d,reply:%d\n", command, reply);
    const unsigned char b = static_cast<unsigned char>(reply);
    return SendFrame(static_cast<uint32_t>(command), &b, 1);
}

int CTCPComm::SendGetFuncReply(int command, int reply, int len, const unsigned char* data)
{
    printf("SendGetFuncReply command:%d,reply:%d\n", command, reply);
    if (len < 0 || len > TCP_FRAME_MAX_PARALEN - 1 || (len > 0 && data == nullptr)) {
        return 0;
    }
    unsigned char param[TCP_FRAME_MAX_PARALEN];
    param[0] = static_cast<unsigned char>(reply);
    if (len > 0) {
        memcpy(param + 1, data, static_cast<size_t>(len));
    }
    return SendFrame(static_cast<uint32_t>(command), param, static_cast<size_t>(len) + 1);
}

int CTCPComm::SendCommandSyncProductInfo()
{
    unsigned char param[14];
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        XPackProductInfo(m_Product, param);
    }
    return SendFrame(CMD_PRODUCT_INFO, param, sizeof(param));
}

int CTCPComm::SendModelName()
{
    const std::string text = EnvOrUnknow("devmodel");
    return SendFrame(CMD_MODEL_NAME, reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

int CTCPComm::SendDeviceSN()
{
    const std::string text = EnvOrUnknow("devicesn");
    return SendFrame(CMD_DEVICE_SN, reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

int CTCPComm::SendTCPCommandForceUpdateTime()
{
    return SendFrame(CMD_FORCE_UPDATE_TIME, nullptr, 0);
}

int CTCPComm::SendHeartBeat()
{
    if (connectstate != CONNECT) {
        return 1;
    }
    return SendFrame(CMD_HEARTBEAT, nullptr, 0);
}

int CTCPComm::NotifyDisconnectByServer()
{
    if (connectstate != CONNECT) {
        return 1;
    }
    return SendFrame(CMD_DISCONNECT_BY_SERVER, nullptr, 0);
}

int CTCPComm::Push(uint32_t cmd, const char* json, int len)
{
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        if (m_Connect.fd < 0) {
            return 1;
        }
    }
    if (len < 0 || json == nullptr || TCP_FRAME_HEAD_LEN + len > 2047) {
        return 0;
    }
    return SendFrame(cmd, reinterpret_cast<const unsigned char*>(json), static_cast<size_t>(len));
}

int CTCPComm::NotifyCommonVideoUpdate(const char* json, int len)
{
    return Push(CMD_NOTIFY_COMMON_VIDEO, json, len);
}

int CTCPComm::NotifyAlarmJpgUpdate(const char* json, int len)
{
    return Push(CMD_NOTIFY_ALARM_JPG, json, len);
}

int CTCPComm::NotifyAlarmVideoUpdate(const char* json, int len)
{
    return Push(CMD_NOTIFY_ALARM_VIDEO, json, len);
}

int CTCPComm::NotifyFileDeleteUpdate(const char* json, int len)
{
    printf("NotifyFileDeleteUpdate===length %d \n%s\n", len, json != nullptr && len >= 0 ? json : "");
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        if (m_Connect.fd < 0) {
            return 1;
        }
    }
    if (len < 0) {
        return SendFrame(CMD_NOTIFY_FILE_DELETE, nullptr, 0);
    }
    if (json == nullptr || TCP_FRAME_HEAD_LEN + len > 2047) {
        printf("NotifyFileDeleteUpdate jsonbuffer length over 2048 bytes\n ");
        return 0;
    }
    return SendFrame(CMD_NOTIFY_FILE_DELETE, reinterpret_cast<const unsigned char*>(json),
                     static_cast<size_t>(len));
}

int CTCPComm::NotifyStopRecordComplete()
{
    printf("NotifyStopRecordComplete\n");
    return SendFrame(CMD_NOTIFY_STOP_RECORD, nullptr, 0);
}

void CTCPComm::CNotice::NotifyFileDeleteUpdate(const char* json, int length)
{
    m_Owner->NotifyFileDeleteUpdate(json, length);
}

void CTCPComm::CNotice::NotifyCommonVideoUpdate(const char* json, int length)
{
    m_Owner->NotifyCommonVideoUpdate(json, length);
}

void CTCPComm::CNotice::NotifyAlarmVideoUpdate(const char* json, int length)
{
    m_Owner->NotifyAlarmVideoUpdate(json, length);
}

void CTCPComm::CNotice::NotifyAlarmJpgUpdate(const char* json, int length)
{
    m_Owner->NotifyAlarmJpgUpdate(json, length);
}

int CTCPComm::GetProductInfoAsJson(char* buf, int len)
{
    std::string model, date, version;
    EnvValue("devmodel", model);
    EnvValue("manufacturedate", date);
    EnvValue("firmware_ver", version);
    unsigned char mac[6];
    bool hasMac;
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        hasMac = m_bProductReady && m_bMacOk;
        memcpy(mac, m_Product.MacAddr, sizeof(mac));
    }
    return XProductInfoJson(buf, len, model.c_str(), date.c_str(), version.c_str(),
                            hasMac ? mac : nullptr);
}

BOOL CTCPComm::DeleteAccessAuthFile()
{
    // Forgets the paired phones.
    const std::string path = XBoardPath(ACCESS_AUTH_FILE);
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        XERROR("unlink %s: %s\n", path.c_str(), strerror(errno));
    }
    return TRUE;
}

int CTCPComm::GetTCPIPAddr(char* buf)
{
    if (s32MainFd < 0) {
        return 0;
    }
    if (XGetIfIpv4Addr(s32MainFd, "wlan0", buf, 16) != 0) {
        perror("ioctl SIOCGIFADDR\n");
        buf[0] = '\0';
    }
    return 1;
}

int CTCPComm::GetMACAddrString(char* buf)
{
    unsigned char mac[6];
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        memcpy(mac, m_Product.MacAddr, sizeof(mac));
    }
    snprintf(buf, 32, "%2x%2x%2x%2x%2x%2x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return 1;
}

void CTCPComm::StartAnnouncement(int code)
{
    StopAnnouncement();
    std::lock_guard<std::mutex> hold(m_AnnounceLock);
    const unsigned ticket = ++m_AnnounceTicket;
    try {
        m_Announcer = std::thread(&CTCPComm::Announce, this, code, ticket);
    } catch (...) {
        XERROR("the %s create  error! %s %d\n", "play_access_code", __FILE__, __LINE__);
    }
}

void CTCPComm::StopAnnouncement()
{
    std::thread old;
    {
        std::lock_guard<std::mutex> hold(m_AnnounceLock);
        ++m_AnnounceTicket;
        old = std::move(m_Announcer);
    }
    m_AnnounceCv.notify_all();
    if (old.joinable()) {
        old.join();
    }
}

bool CTCPComm::AnnounceWait(unsigned ms, unsigned ticket)
{
    std::unique_lock<std::mutex> hold(m_AnnounceLock);
    return !m_AnnounceCv.wait_for(hold, std::chrono::milliseconds(ms),
                                  [&] { return m_AnnounceTicket != ticket; });
}

// Speaks the pairing code: the access prompt, then each digit.
void CTCPComm::Announce(int code, unsigned ticket)
{
    CCaptureAudio* audio = m_Roles.audio;
    CPrompts* prompts = m_Roles.prompts;
    const bool raise = CIniConfig::instance()->GetInt("funcset", "volume", 13) == 0 &&
                       !XAccessAuthFileExists();
    if (raise) {
        audio->SetVolume(13);
    }
    const int digits[4] = {code / 1000 % 10, code / 100 % 10, code / 10 % 10, code % 10};
    prompts->PlayPrompt(PCM_ACCESS_AUTH);
    if (AnnounceWait(2000, ticket)) {
        printf("PCM DIGIT : %d,%d,%d,%d\n", digits[0], digits[1], digits[2], digits[3]);
        for (int d : digits) {
            prompts->PlayPrompt(PCM_DIGIT_0 + d);
            if (!AnnounceWait(1500, ticket)) {
                break;
            }
        }
    }
    if (raise) {
        audio->SetVolume(0);
    }
}
