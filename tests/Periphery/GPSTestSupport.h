#ifndef TESTS_PERIPHERY_GPSTESTSUPPORT_H
#define TESTS_PERIPHERY_GPSTESTSUPPORT_H

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Main/Wiring/SharedRoles.h"
#include "MultiTask/Msg.h"
#include "Periphery/GPS.h"
#include "Periphery/GPSLinks.h"
#include "Periphery/SDManager.h"
#include "support/FakeRoles.h"
#include "support/TestBoard.h"
#include "tests/Periphery/SDTestSupport.h"

// Overlay messages and prompts as they were sent; flags, clock and pauses
// set by the test. The dead-line back-off (100 ms) really sleeps, so a hung-up
// line cannot spin; the set-up pauses return at once.
class CRecordingLinks : public CGPSLinks, public CPrompts, public CTestFactoryState, public CTestSettings {
public:
    struct tagMsg {
        unsigned int msg;
        unsigned int wpa;
        uint32_t lpa;
        bool operator==(const tagMsg& o) const { return msg == o.msg && wpa == o.wpa && lpa == o.lpa; }
    };

    void SendOSDMsg(unsigned int msg, unsigned int wpa, uint32_t lpa) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Msgs.push_back({msg, wpa, lpa});
    }
    void PlayPrompt(int index) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Prompts.push_back(index);
    }
    int GetGpsVoiceCfg() override { return m_nVoice.load(); }
    BOOL GetFactoryTestOK() override { return m_bFactoryOK.load(); }
    BOOL GetForceFactoryTest() override { return m_bForce.load(); }
    // Every role of the receiver from this double, the card from `card`.
    GPSRoles Roles(CCardFiles* card) { return {this, this, this, this, card}; }
    time_t Now() override { return m_Now.load(); }
    void SleepMs(unsigned int ms) override
    {
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            m_Sleeps.push_back(ms);
        }
        if (ms == 100) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
    }

    std::vector<tagMsg> Msgs()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Msgs;
    }
    std::vector<int> Prompts()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Prompts;
    }
    std::vector<unsigned> Sleeps()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Sleeps;
    }
    // Speeds sent, in order.
    std::vector<uint32_t> Speeds()
    {
        std::vector<uint32_t> out;
        for (const tagMsg& m : Msgs()) {
            if (m.msg == XM_GPS_SPEED) {
                out.push_back(m.lpa);
            }
        }
        return out;
    }

    std::atomic<int> m_nVoice{1};
    std::atomic<BOOL> m_bFactoryOK{TRUE};
    std::atomic<BOOL> m_bForce{FALSE};
    std::atomic<time_t> m_Now{1501502400};  // 2017-07-31 12:00:00 UTC

private:
    std::mutex m_Lock;
    std::vector<tagMsg> m_Msgs;
    std::vector<int> m_Prompts;
    std::vector<unsigned> m_Sleeps;
};

// "$BODY*HH" with the checksum of BODY (no line end).
inline std::string XNmea(const std::string& body)
{
    unsigned ck = 0;
    for (unsigned char c : body) {
        ck ^= c;
    }
    char tail[8];
    snprintf(tail, sizeof(tail), "*%02X", ck);
    return "$" + body + tail;
}

// A valid RMC at the given speed (knots text).
inline std::string XFixRmc(const std::string& knots, const std::string& lat = "4807.0380", const std::string& ns = "N",
                           const std::string& lon = "01131.0000", const std::string& ew = "E")
{
    return XNmea("GPRMC,123519.00," + std::string("A,") + lat + "," + ns + "," + lon + "," + ew + "," + knots +
                 ",084.4,310717,003.1,W");
}
inline std::string XVoidRmc()
{
    return XNmea("GPRMC,123520.00,V,,,,,,,310717,,,N");
}

// Polls `pred` for up to `seconds`.
inline bool XWaitFor(const std::function<bool()>& pred, double seconds = 20.0)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

// A pseudo-terminal as the receiver's port: the board's /dev/ttyAMA1 links
// to its slave; the test holds the master. The SD manager is on in-memory
// system calls with the board's folder card (mounted by Mount()), or on
// the given system calls.
class CGPSRig {
public:
    explicit CGPSRig(CSDSystem* sys = nullptr) : m_SD(sys != nullptr ? sys : &m_Sys)
    {
        m_Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_Master >= 0 && grantpt(m_Master) == 0 && unlockpt(m_Master) == 0) {
            m_strSlave = ptsname(m_Master);
            if (symlink(m_strSlave.c_str(), m_Board.Path("/dev/ttyAMA1").c_str()) != 0) {
                m_strSlave.clear();
            }
            fcntl(m_Master, F_SETFL, fcntl(m_Master, F_GETFL) | O_NONBLOCK);
        }
        m_GPS.Bind(m_Links.Roles(&m_Card));
    }
    ~CGPSRig()
    {
        m_GPS.CleanUp();
        CloseMaster();
    }
    CGPSRig(const CGPSRig&) = delete;
    CGPSRig& operator=(const CGPSRig&) = delete;

    bool Ok() const { return m_Master >= 0 && !m_strSlave.empty(); }
    void CloseMaster()
    {
        if (m_Master >= 0) {
            close(m_Master);
            m_Master = -1;
        }
    }
    // Writes the lines, each ended by `eol`.
    void Feed(const std::vector<std::string>& lines, const std::string& eol = "\r\n")
    {
        std::string all;
        for (const std::string& l : lines) {
            all += l + eol;
        }
        FeedRaw(all);
    }
    void FeedRaw(const std::string& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(m_Master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p = {m_Master, POLLOUT, 0};
                poll(&p, 1, 100);
            } else {
                return;
            }
        }
    }
    // Everything the camera has sent so far.
    std::string Drain()
    {
        std::string out;
        char buf[512];
        while (true) {
            ssize_t n = read(m_Master, buf, sizeof(buf));
            if (n <= 0) {
                break;
            }
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }
    // A fix at `knots` (unique speed text) and a wait until its speed was sent.
    bool Sync(const std::string& knots, uint32_t kmh)
    {
        const size_t before = CountSpeed(kmh);
        Feed({XFixRmc(knots)});
        return XWaitFor([&] { return CountSpeed(kmh) > before; });
    }
    // Sync, and a wait until the fix's record is saved (the speed is sent
    // before the record is made).
    bool SyncRecord(const std::string& knots, uint32_t kmh)
    {
        return Sync(knots, kmh) && XWaitFor([&] { return Line().find("," + knots + ",") != std::string::npos; });
    }
    size_t CountSpeed(uint32_t kmh)
    {
        size_t n = 0;
        for (uint32_t s : m_Links.Speeds()) {
            n += s == kmh ? 1 : 0;
        }
        return n;
    }
    // The card mounted (first poll: the GPS sees Insert|Mount).
    int Mount() { return m_SD.CheckSDCard(); }
    std::string GpsDir() const { return m_Board.Path("/tmp/mmc0/gps/"); }
    std::string Line()
    {
        char data[GPS_BUFF_SIZE];
        unsigned int len = 0;
        return m_GPS.GetGPSData(data, &len) ? std::string(data, len) : std::string();
    }

    CTestBoard m_Board;
    CFakeSDSystem m_Sys;
    CSDManager m_SD;
    CCameraCard m_Card{&m_SD};
    CRecordingLinks m_Links;
    CGPS m_GPS;
    int m_Master = -1;
    std::string m_strSlave;
};

#endif
