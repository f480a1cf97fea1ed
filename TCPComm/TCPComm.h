#ifndef TCPCOMM_TCPCOMM_H
#define TCPCOMM_TCPCOMM_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MultiTask/Singleton.h"
#include "MultiTask/Thread.h"
#include "Record/RecordNotify.h"
#include "TCPComm/AppRoles.h"
#include "TCPComm/ProductInfo.h"
#include "TCPComm/TcpFrame.h"

#define TCPCOMM_PORT 10080

// The road of an app command to its reply:
//   the accept thread takes the phone's connection and hands it to the
//   receive thread, which greets the phone and reads its bytes;
//   CTcpFrameReader (TcpFrame.cpp) cuts them into frames; command_handler
//   (TcpCommands.cpp) looks the command up in the table, checks its
//   parameter and runs its row through the roles the composition root bound
//   (AppRoles), a card worker thread for the long ones; the reply, command
//   + 1, is built as a frame and queued, and the receive thread sends the
//   queue to the phone. Notices of the recording engine (CRecordNotify)
//   are queued the same way.

// Commands of the app channel that this unit runs itself.
enum {
    CMD_PRODUCT_INFO = 0x0001,
    CMD_MODEL_NAME = 0x0002,
    CMD_DEVICE_SN = 0x0010,
    CMD_AUTH_REQUEST = 0x1001,
    CMD_AUTH_NEED_CODE = 0x1002,
    CMD_AUTH_CODE = 0x1003,
    CMD_AUTH_RESULT = 0x1004,
    CMD_AUTH_DRAW_CODE = 0x1005,
    CMD_NOTIFY_COMMON_VIDEO = 0x3001,
    CMD_NOTIFY_ALARM_JPG = 0x3002,
    CMD_NOTIFY_ALARM_VIDEO = 0x3003,
    CMD_NOTIFY_STOP_RECORD = 0x3004,
    CMD_NOTIFY_FILE_DELETE = 0x3005,
    CMD_STOP_RECORD = 0x4001,
    CMD_RESUME_RECORD = 0x4002,
    CMD_CARCAM_SHAPSHOT = 0x4003,
    CMD_LED_START_FLASH = 0x4004,
    CMD_LED_STOP_FLASH = 0x4005,
    CMD_FORCE_UPDATE_TIME = 0x6001,
    CMD_SYSTEMTIME_SEND_TO_SYS = 0x6003,
    CMD_SETFUNC_CONNECT_AUTH = 0x7001,
    CMD_SETFUNC_PLAY_VOLUME = 0x7003,
    CMD_SETFUNC_SNAPSHOT_ASSOCIATE_VIDEO = 0x7005,
    CMD_SETFUNC_AUDIO_RECORD = 0x7007,
    CMD_SETFUNC_GSENSOR_LEVEL = 0x7009,
    CMD_SETFUNC_CORRECT_IR = 0x700B,
    CMD_SETFUNC_RES_MODE = 0x700F,
    CMD_SETFUNC_PARKING_MONITOR = 0x7011,
    CMD_SETFUNC_PARKING_TIME = 0x7013,
    CMD_SETFUNC_GESTURE_CAPTURE = 0x7015,
    CMD_SETFUNC_GESTURE_LEVEL = 0x7017,
    CMD_SETFUNC_SPEED_UNIT = 0x7022,
    CMD_SETFUNC_VOICE_POWERUP = 0x7101,
    CMD_SETFUNC_VOICE_POWERDOWN = 0x7103,
    CMD_SETFUNC_VOICE_GPS = 0x7105,
    CMD_SETFUNC_VOICE_G_SNAPSHOT = 0x7107,
    CMD_SETFUNC_VOICE_A_SNAPSHOT = 0x7109,
    CMD_SETFUNC_VOICE_M_SNAPSHOT = 0x710B,
    CMD_SETFUNC_NOTHING = 0x710D,
    CMD_SETFUNC_VOICE_PARKING = 0x7111,
    CMD_DELETE_ALARM_IMG_FILE = 0x8001,
    CMD_DELETE_ALARM_VIDEO_FILE = 0x8003,
    CMD_DELETE_COMMON_VIDEO_FILE = 0x8005,
    CMD_GET_SD_INFO = 0x8007,
    CMD_GET_FILE_INFO = 0x8009,
    CMD_GET_FILE_SPACE_QUOTA = 0x800B,
    CMD_SET_FILE_SPACE_QUOTA = 0x800D,
    CMD_FORMAT_SD_CARD = 0x800F,
    CMD_DELETE_ALL_ALARM_IMG_FILE = 0x8011,
    CMD_DELETE_ALL_ALARM_VIDEO_FILE = 0x8013,
    CMD_DELETE_ALL_COMMON_VIDEO_FILE = 0x8015,
    CMD_HEARTBEAT = 0x11111111,
    CMD_DISCONNECT_BY_CLIENT = 0x11111112,
    CMD_DISCONNECT_BY_SERVER = 0x11111113,
};

enum { DISCONNECT = 0, CONNECT = 1 };

typedef struct _Connect_info {
    int fd;  // the phone's socket, -1 when none
    unsigned char ClientMACAddr[6];
} Connect_info;

// The phone app's framed TCP channel on port 10080: one phone at a time; a
// new one displaces the old. The accept thread takes connections and hands
// them over; the receive thread owns the phone's socket: it reads and runs
// frames, and sends every outgoing frame from one bounded queue, so no
// caller ever waits on the socket.
class CTCPComm : public CThread, public CSingleton<CTCPComm> {
public:
    ~CTCPComm() override;

    BOOL Init();
    // Stops and joins every thread of the channel; safe without Init, and twice.
    void CleanUp();

    // Queues a whole frame for the phone: 1 queued, 0 without a phone or
    // with the queue full.
    int CommandSend(unsigned char* frame, int length);

    int NotifyCommonVideoUpdate(const char* json, int len);
    int NotifyAlarmJpgUpdate(const char* json, int len);
    int NotifyAlarmVideoUpdate(const char* json, int len);
    int NotifyFileDeleteUpdate(const char* json, int len);
    int NotifyStopRecordComplete();

    int GetProductInfoAsJson(char* buf, int len);
    BOOL GetLedStatus() { return led_flash_flag.load(); }
    BOOL DeleteAccessAuthFile();
    int GetConnectState() { return connectstate.load(); }
    int NotifyCommandReply(int command, int reply) { return SendSetFuncReply(command, reply); }
    int GetTCPIPAddr(char* buf);
    int GetMACAddrString(char* buf);

    int SendCommandAuth2();
    int SendCommandAuth4(unsigned char result);
    int SendSetFuncReply(int command, int reply);
    int SendGetFuncReply(int command, int reply, int len, const unsigned char* data);
    int SendCommandSyncProductInfo();
    int SendModelName();
    int SendDeviceSN();
    int SendTCPCommandForceUpdateTime();
    int SendHeartBeat();
    int NotifyDisconnectByServer();

    // Runs one received frame on the receive thread; -1 closes the channel.
    int command_handler(const tagTcpFrame& frame);
    // Recording stopped and resumed for the phone.
    void stop_record();
    void resume_record();
    BOOL IsPausedByApp() const { return isPauseAllRecordService.load(); }

    // The managers the commands reach (not owned), before Init.
    void Bind(const AppRoles& roles) { m_Roles = roles; }

    // For tests: the port to listen on (0: an ephemeral one) before Init,
    // and the port actually bound.
    void SetListenPort(int port) { m_ListenPort = port; }
    int GetListenPort() const { return m_BoundPort.load(); }
    // For tests: silence before a drop, and the bound on sending one frame.
    void SetTimeouts(unsigned silenceMs, unsigned sendMs);
    // The last pairing code drawn.
    int GetAuthCode() const { return auth_code.load(); }

    void ThreadProc() override;

    enum { SEND_QUEUE_FRAMES = 128 };

private:
    friend class CSingleton<CTCPComm>;
    CTCPComm();
    // One row of the command table: `size` parameter bytes are needed; a
    // one-byte value outside lo..hi (when lo <= hi) is refused. `run`
    // returns the status of the cmd + 1 reply, or kNoReply / kClose.
    struct tagAppCommand {
        uint32_t cmd;
        const char* printed;  // printed on receipt, or null
        uint16_t size;
        int lo, hi;
        const char* key;      // the funcset key a setting stores, or null
        bool replies;         // refusals are answered cmd + 1 with 0
        int (CTCPComm::*run)(const tagTcpFrame& frame, const tagAppCommand& row);
    };
    enum { kNoReply = -1, kClose = -2 };
    static const tagAppCommand s_Commands[];
    static const tagAppCommand* FindCommand(uint32_t cmd);

    int OnHeartbeat(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnBye(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnAuthRequest(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnAuthDrawCode(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnAuthCode(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnStopRecord(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnResumeRecord(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnSnapshot(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnLedStart(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnLedStop(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnSetTime(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnDeleteFile(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnSdInfo(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnFileInfo(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnGetQuota(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnSetQuota(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnCardWork(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnSetting(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnCorrectIR(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnResolution(const tagTcpFrame& frame, const tagAppCommand& row);
    int OnNothing(const tagTcpFrame& frame, const tagAppCommand& row);
    int Store(const char* key, int value);
    // Every part of the roles is there.
    bool Wired() const;
    void SetLinkLed(int level);
    // A boot-environment text; FALSE when unset or without the environment.
    BOOL EnvValue(const char* name, std::string& value);
    // The same for the greeting, "unknow" when unset.
    std::string EnvOrUnknow(const char* name);

    // The card workers: one at a time of each kind.
    enum emWorker {
        emWorker_Format = 0,
        emWorker_CleanAlarmImg,
        emWorker_CleanAlarmVideo,
        emWorker_CleanCommonVideo,
        emWorker_MAX,
    };
    struct tagWorker {
        std::thread thread;
        bool busy = false;
    };
    // FALSE when one of the kind runs, or the thread cannot start.
    bool StartWorker(emWorker kind, uint32_t replyCmd);
    void RunWorker(emWorker kind, uint32_t replyCmd, unsigned gen);
    void JoinWorkers();
    // Queues the frame only while the phone of connection `gen` is there.
    int SendFrameFor(unsigned gen, uint32_t cmd, const unsigned char* param, size_t paralen);
    class CNotice : public CRecordNotify {
    public:
        explicit CNotice(CTCPComm* owner) : m_Owner(owner) {}
        void NotifyFileDeleteUpdate(const char* json, int length) override;
        void NotifyCommonVideoUpdate(const char* json, int length) override;
        void NotifyAlarmVideoUpdate(const char* json, int length) override;
        void NotifyAlarmJpgUpdate(const char* json, int length) override;

    private:
        CTCPComm* m_Owner;
    };
    struct tagOutFrame {
        unsigned gen;  // the connection it is for
        std::vector<unsigned char> bytes;
    };

    int SendFrame(uint32_t cmd, const unsigned char* param, size_t paralen);
    int Push(uint32_t cmd, const char* json, int len);
    void LoadProductInfo();
    BOOL LookUpMac(int fd);
    void DataThread();
    void Wake();
    // Receive-thread steps, with m_Lock held.
    void AdoptLocked(std::unique_lock<std::mutex>& hold);
    void DropLocked(const char* why);
    bool SendSomeLocked();
    void GreetLocked();
    void ResumeAfterPhoneGone();
    void StartAnnouncement(int code);
    void StopAnnouncement();
    void Announce(int code, unsigned ticket);
    // Sleeps up to ms; false when the announcement was cancelled.
    bool AnnounceWait(unsigned ms, unsigned ticket);
    void StopThreads();

    // Guards the connection, the queue and the product record.
    std::mutex m_Lock;
    Connect_info m_Connect{-1, {}};
    unsigned m_Gen = 0;
    int m_PendingFd = -1;
    uint64_t m_HandoverAtMs = 0;
    std::deque<tagOutFrame> m_Queue;
    size_t m_SentOfHead = 0;
    uint64_t m_HeadStartMs = 0;
    uint64_t m_LastRxMs = 0;
    CTcpFrameReader m_Reader;
    Product_info m_Product{};
    bool m_bProductReady = false;
    std::atomic<bool> m_bMacOk{false};

    int s32MainFd = -1;
    int m_WakePipe[2] = {-1, -1};
    int m_ListenPort = TCPCOMM_PORT;
    std::atomic<int> m_BoundPort{0};
    std::atomic<int> connectstate{DISCONNECT};
    std::atomic<bool> Isdatathreadrun{false};
    std::atomic<bool> isPauseAllRecordService{false};
    std::atomic<BOOL> led_flash_flag{FALSE};
    std::atomic<int> auth_code{0};
    std::atomic<unsigned> m_SilenceMs{15000};
    std::atomic<unsigned> m_SendBoundMs{2000};
    bool m_bInit = false;
    bool m_bAcceptStarted = false;
    std::thread m_DataThread;

    // One code announcement at a time; a new draw cancels the running one.
    std::mutex m_AnnounceLock;
    std::condition_variable m_AnnounceCv;
    unsigned m_AnnounceTicket = 0;
    std::thread m_Announcer;

    std::mutex m_WorkerLock;
    tagWorker m_Workers[emWorker_MAX];
    AppRoles m_Roles{};

    CNotice m_Notice{this};
};

#endif
