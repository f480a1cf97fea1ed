#ifndef FACTORYTEST_FACTORYTEST_H
#define FACTORYTEST_FACTORYTEST_H

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "FactoryTest/FactoryPorts.h"
#include "Function/types.h"
#include "MultiTask/Singleton.h"
#include "MultiTask/Thread.h"
#include "Roles/BootEnv.h"

// The boot loader's environment block: a little-endian CRC-32 of the rest,
// then name=value entries each ended by a NUL, the list ended by an empty one.
struct tagEnvironment {
    uint32_t crc32;
    unsigned char env[1];  // the rest of the block
};
typedef tagEnvironment Environment;

#define FACTORY_TEST_UDP_PORT 8992
#define FACTORY_TEST_TCP_PORT 8993
#define FACTORY_TEST_MAX_CLIENT 4
#define FACTORY_TEST_BUF_SIZE 128

// One exchange with the test station: a TCP client slot, or the UDP socket.
typedef struct tagRequestClient {
    int skfd;                       // -1: free TCP slot
    struct sockaddr_in client_addr;  // UDP: the sender replies go to
    uint8_t request_buf[FACTORY_TEST_BUF_SIZE];
    int request_len;                // bytes of the last request received
    uint8_t* response_data_ptr;          // unsent part of response_buf
    uint8_t* response_data_end;
    uint8_t response_buf[FACTORY_TEST_BUF_SIZE];
    BOOL continous;                 // request_buf is to be processed next pass
    uint32_t continue_flag;              // command << 16 | step (1, 2); 0 idle
    int continue_remain_count;
    int rst_btn_push_count;
} RequestClient;

// The factory test: the boot environment store with the test verdict kept
// in it, the card's marker files and their mode flags, and the test-station
// server (UDP 8992, TCP 8993 with four clients) on its own thread. One lock
// guards the block; threads other than start-up read values through
// GetEnvValue, which copies. The flags are atomic; the title is copied under
// its own lock.
class CFactoryTest : public CBootEnv, public CThread, public CSingleton<CFactoryTest> {
public:
    CFactoryTest();
    ~CFactoryTest() override;

    // Registers the card callback (once), loads the block, takes the test
    // verdict and starts the server on an untested device. 0 when the block
    // cannot be read or the server cannot start.
    BOOL Init();
    // Stops the server thread and waits for it.
    void CleanUp();
    BOOL ForceRetest();
    BOOL ForceTestDone();
    // Starts the server once per process; a failed start may be tried again.
    // 0 while a part of its roles is missing.
    BOOL EnableDiscovery();

    BOOL GetFactoryTestOK() const { return m_bFactoryTestOK.load(); }
    BOOL GetFactoryTesting() const { return m_bFactoryTesting.load(); }
    BOOL GetFactoryCheckModel() const { return m_bFactoryCheckModel.load(); }
    BOOL GetBurnInTesting() const { return m_bBurnInTesting.load(); }
    BOOL GetForceFactoryTest() const { return m_bForceDiscorvery.load(); }
    BOOL IsDiscoveryEnabled() const { return m_bEnableDiscorvery.load(); }
    // The discovery title, copied.
    std::string GetDevTitle();

    static int SDCardStateChange(int state, void* priv);
    int OnSDCardStateChange(int state);

    // What it reaches in other managers (not owned), before Init.
    void Bind(const FactoryRoles& roles) { m_Roles = roles; }
    // Ports the server binds (0: any free one; tests), and those it got.
    void SetServerPorts(unsigned short udp, unsigned short tcp);
    unsigned short GetUdpPort() const { return m_UdpPortBound.load(); }
    unsigned short GetTcpPort() const { return m_TcpPortBound.load(); }

    // Loads the block (a CRC mismatch reads as an empty list).
    BOOL ReadEnvData() override;
    BOOL SaveEnvData() override;
    // Value inside the block, valid until the next SetEnv or ReadEnvData
    // (start-up thread only).
    const char* GetEnv(const char* name);
    // A copy of the value; FALSE when unset.
    BOOL GetEnvValue(const char* name, std::string& value) override;
    BOOL SetEnv(const char* name, const char* value) override;
    static const char* MatchEnv(const char* name, const char* entry);
    BOOL PrintEnv(const char* name);
    BOOL CheckTestDone();
    // devmodel into model[0..size-1], truncated and NUL-ended; 0 when unset or empty.
    BOOL GetModelString(char* model, size_t size);

    // Where the block lives (tests point it elsewhere).
    void SetEnvLocation(const char* devpath, long offset, long size);

    void ThreadProc() override;

private:
    BOOL InitSocketUDP();
    BOOL InitSocketTCP();
    BOOL GetIFHWAddr(int skfd);
    int ProtocolLoop(unsigned waittime);
    void AcceptNewClient(RequestClient* req);
    void RecvRequestDataTcp(RequestClient* req);
    void RecvRequestDataUdp(RequestClient* req);
    void SendResponseDataTcp(RequestClient* req);
    void SendResponseDataUdp(RequestClient* req);
    void ProcessCMD(RequestClient* req);
    void CleanUpRequest();
    void CloseClient(RequestClient* req);
    // Ends a running multi-step test, undoing its set-up.
    void AbortStep(RequestClient* req);
    void ResetExchange(RequestClient* req);
    static BOOL ReplyPending(const RequestClient* req);
    // Sleeps in 10 ms steps; FALSE when the thread is asked to stop.
    BOOL StepSleep(unsigned ms);
    // Command bodies: RET, payload into `payload` (at most 112 bytes).
    int TestLed(RequestClient* req, const uint8_t* param, int paramLen);
    int TestSpeaker(RequestClient* req);
    int TestResetKey(RequestClient* req, const uint8_t* param, int paramLen);
    int TestMic(uint8_t* payload, int& payloadLen);
    int TestSD(uint8_t* payload, int& payloadLen);
    int TestRTC(uint8_t* payload, int& payloadLen);
    int SetTime(const uint8_t* param, int paramLen);
    int TestDone(const uint8_t* param, int paramLen, BOOL& bStop);
    void BuildDiscovery(uint8_t* payload, int& payloadLen);
    void ApplyTestCfgLine(const char* line);

    // 0 loaded, 1 loaded with a CRC mismatch (cleared), -1 failed.
    int LoadLocked();
    void ReleaseLocked();
    // Walks the list: the first entry matching name (or -1), its end and
    // the list's closing NUL. FALSE when the block is not terminated.
    BOOL WalkLocked(const char* name, long& found, long& foundEnd, long& listEnd);
    const char* GetEnvLocked(const char* name);

    std::recursive_mutex m_EnvLock;
    std::string m_lpEnvDev;
    long m_EnvOffset;
    long m_EnvSize;
    unsigned char* m_lpEnvBuff;
    Environment* m_lpEnvData;
    std::atomic<BOOL> m_bFactoryTestOK;
    std::atomic<BOOL> m_bBurnInTesting;
    std::atomic<BOOL> m_bFactoryTesting;
    std::atomic<BOOL> m_bFactoryCheckModel;
    std::atomic<BOOL> m_bForceDiscorvery;
    std::atomic<BOOL> m_bEnableDiscorvery;
    uint8_t m_MACAddr[6];
    std::mutex m_TitleLock;
    char m_DevTitle[32];

    std::mutex m_StartLock;  // server start and the card registration
    BOOL m_bSDRegistered;
    int m_sockServerTcp;
    int m_sockServerUdp;
    RequestClient* m_ReqTcp;
    RequestClient* m_ReqUdp;
    unsigned short m_UdpPort;
    unsigned short m_TcpPort;
    std::atomic<unsigned short> m_UdpPortBound;
    std::atomic<unsigned short> m_TcpPortBound;
    FactoryRoles m_Roles{};
};

#endif
