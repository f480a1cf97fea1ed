#ifndef TESTS_AVCAPTURE_CAPTURERIG_H
#define TESTS_AVCAPTURE_CAPTURERIG_H

// The camera brought up for real on a fresh simulated board, with a sink
// that keeps every packet's description and thread, and links and settings
// of the test's own.

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "AVCapture/CaptureRoles.h"
#include "AVCapture/hi3516cv200/AVCapture.h"
#include "Periphery/GPIO.h"
#include "Platform/AudioSim.h"
#include "Platform/MediaSim.h"
#include "Platform/host/audio/AcodecModel.h"
#include "Platform/host/devices/MipiModel.h"
#include "tests/support/FakeRoles.h"
#include "tests/support/TestBoard.h"

// One packet as the sink saw it.
struct tagSinkPacket {
    tagChannelConfig row;
    pid_t tid;
    uint64_t pts;       // first pack's (video) or the stream's (audio) time stamp
    uint64_t arrivalUs; // wall clock
    BOOL bIdr;          // a video stream holding an IDR unit
};

inline uint64_t XTestWallUs()
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

class CTestSink : public CCaptureSink, public CRecordControl {
public:
    BOOL Init(int fps, int gop, unsigned width, unsigned height) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Init = std::make_tuple(fps, gop, width, height);
        m_nInits++;
        return m_bInitResult;
    }
    BOOL CleanUp() override
    {
        m_nCleanUps++;
        return TRUE;
    }
    void IncommingPacket(void* stream, const tagChannelConfig* config) override
    {
        tagSinkPacket p;
        p.row = *config;
        p.tid = static_cast<pid_t>(syscall(SYS_gettid));
        p.arrivalUs = XTestWallUs();
        p.pts = 0;
        p.bIdr = FALSE;
        if (config->av_type == AVDATA_TYPE_AUDIO) {
            p.pts = static_cast<AUDIO_STREAM_S*>(stream)->u64TimeStamp;
        } else {
            const VENC_STREAM_S* st = static_cast<VENC_STREAM_S*>(stream);
            if (st->u32PackCount > 0) {
                p.pts = st->pstPack[0].u64PTS;
            }
            for (uint32_t i = 0; i < st->u32PackCount; ++i) {
                const VENC_PACK_S& pk = st->pstPack[i];
                if (pk.u32Len > 4 && (pk.pu8Addr[4] & 0x1F) == 5) {
                    p.bIdr = TRUE;
                }
            }
        }
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Packets.push_back(p);
    }
    BOOL PauseAllRecord(BOOL bFlushBuffer, BOOL bImmediately) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Pauses.emplace_back(bFlushBuffer, bImmediately);
        m_bPaused = TRUE;
        return m_bPauseResult;
    }
    BOOL ResumeCommonRecord() override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_nResumes++;
        m_bPaused = FALSE;
        return TRUE;
    }
    BOOL StopAllRecord(BOOL, BOOL) override { return TRUE; }
    void SetRecordResolution(PIC_SIZE_E res, unsigned width, unsigned height) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Resolutions.emplace_back(res, width, height);
    }
    void SetParkingMode(BOOL bParking) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_ParkingModes.push_back(bParking);
        m_bParking = bParking;
    }
    BOOL GetParkingFlag() override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_bParking;
    }

    void Reset()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Init = std::make_tuple(0, 0, 0u, 0u);
        m_nInits = 0;
        m_nCleanUps = 0;
        m_bInitResult = TRUE;
        m_bPauseResult = TRUE;
        m_bPaused = FALSE;
        m_bParking = FALSE;
        m_nResumes = 0;
        m_Packets.clear();
        m_Pauses.clear();
        m_Resolutions.clear();
        m_ParkingModes.clear();
    }

    std::vector<tagSinkPacket> Packets()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Packets;
    }
    // Packets of one row.
    std::vector<tagSinkPacket> Packets(int row)
    {
        std::vector<tagSinkPacket> out;
        for (const tagSinkPacket& p : Packets()) {
            if (p.row.channel_id == row) {
                out.push_back(p);
            }
        }
        return out;
    }
    size_t Count(int row) { return Packets(row).size(); }
    // Waits until row `row` has more than `count` packets.
    bool WaitBeyond(int row, size_t count, int ms = 20000)
    {
        for (int i = 0; i < ms / 10; ++i) {
            if (Count(row) > count) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::vector<std::pair<BOOL, BOOL>> Pauses()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Pauses;
    }
    std::vector<std::tuple<PIC_SIZE_E, unsigned, unsigned>> Resolutions()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Resolutions;
    }
    std::vector<BOOL> ParkingModes()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_ParkingModes;
    }
    BOOL IsPaused()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_bPaused;
    }
    int Resumes()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_nResumes;
    }

    std::mutex m_Lock;
    std::tuple<int, int, unsigned, unsigned> m_Init{0, 0, 0, 0};
    int m_nInits = 0;
    std::atomic<int> m_nCleanUps{0};
    BOOL m_bInitResult = TRUE;
    BOOL m_bPauseResult = TRUE;
    BOOL m_bPaused = FALSE;
    BOOL m_bParking = FALSE;
    int m_nResumes = 0;
    std::vector<tagSinkPacket> m_Packets;
    std::vector<std::pair<BOOL, BOOL>> m_Pauses;
    std::vector<std::tuple<PIC_SIZE_E, unsigned, unsigned>> m_Resolutions;
    std::vector<BOOL> m_ParkingModes;
};

// Settings from a map (a missing key gives the caller's default), and the
// overlay, prompt and alarm calls kept in order.
class CTestLinks : public CCaptureOverlays,
                   public CPrompts,
                   public CAlarmLinkages,
                   public CTestFactoryState,
                   public CTestSettings {
public:
    BOOL LayoutOSD(int chn) override
    {
        Note("LayoutOSD(" + std::to_string(chn) + ")");
        return m_bLayoutResult;
    }
    BOOL LayoutOSD() override
    {
        Note("LayoutOSD()");
        return m_bLayoutResult;
    }
    void PlayPrompt(int index) override { Note("PlayAudio(" + std::to_string(index) + ")"); }
    BOOL LinkageConfig(emAlarmType alarm, unsigned add, unsigned remove) override
    {
        Note("LinkageConfig(" + std::to_string(alarm) + "," + std::to_string(add) + "," + std::to_string(remove) +
             ")");
        return TRUE;
    }
    BOOL GetFactoryTesting() override { return m_bFactoryTesting; }
    BOOL GetFactoryTestOK() override { return m_bFactoryTestOK; }
    int GetInt(const char* section, const char* key, int default_int) override
    {
        auto it = m_Settings.find(std::string(section) + "/" + key);
        return it == m_Settings.end() ? default_int : it->second;
    }

    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Calls;
    }
    void ClearCalls()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Calls.clear();
    }

    std::map<std::string, int> m_Settings;
    std::atomic<BOOL> m_bLayoutResult{TRUE};
    BOOL m_bFactoryTesting = FALSE;
    BOOL m_bFactoryTestOK = FALSE;

private:
    void Note(const std::string& call)
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Calls.push_back(call);
    }
    std::mutex m_Lock;
    std::vector<std::string> m_Calls;
};

// The camera with its state open to the tests; its tuning steps counted.
class CRigCapture : public CAVCapture {
public:
    CRigCapture()
    {
        // the switches' process state starts afresh for every camera of the tests
        m_bOldResolutionSet = FALSE;
        ResModeSwitchCount = 0;
        LastParkingFlag = 0;
        m_bLastParkingSet = FALSE;
    }
    BOOL ISPTuning() override
    {
        m_nTunings++;
        return CAVCapture::ISPTuning();
    }
    BOOL CaptureRunning()
    {
        std::lock_guard<std::mutex> lock(m_StateLock);
        return m_bCaptureRunning;
    }
    BOOL PauseAcked()
    {
        std::lock_guard<std::mutex> lock(m_StateLock);
        return m_bPauseAcked;
    }
    pthread_t CaptureThread() { return m_CaptureSelf; }
    tagChannelConfig Row(int row)
    {
        std::lock_guard<std::mutex> lock(m_CfgLock);
        return m_ChnCfg[row];
    }

    std::atomic<int> m_nTunings{0};
    using CAVCapture::m_EnableAudioIn;
    using CAVCapture::m_EnableParkingMonitor;
    using CAVCapture::m_ISPThead;
    using CAVCapture::m_ParkingTimeThreshold;
    using CAVCapture::m_SensorInputResolution;
    using CAVCapture::m_SensorMode;
    using CAVCapture::m_PauseCapture;
};

// A fresh board with idle media, the test's sink and links plugged in;
// everything back at the end.
class CaptureRig : public testing::Test {
protected:
    void SetUp() override
    {
        CGPIOManager::instance()->CleanUp();  // map the new board's registers
        XMediaSimReset();
        XAudioSimReset();
        CAcodecModel::instance()->ResetModel();
        CMipiModel::instance()->ResetModel();
        m_Sink.Reset();
        m_Links.ClearCalls();
        m_Links.m_Settings.emplace("funcset/res_mode", 1);  // as the settings file has it
    }
    void TearDown() override
    {
        if (m_lpCapture != nullptr) {
            m_lpCapture->CleanUp();
            delete m_lpCapture;
            m_lpCapture = nullptr;
        }
        XMediaSimUsePlaceholders(FALSE);
        XMediaSimSetDump(FALSE);
        XMediaSimReset();
        XAudioSimReset();
        CAcodecModel::instance()->ResetModel();
        CMipiModel::instance()->ResetModel();
        CGPIOManager::instance()->CleanUp();
    }

    CRigCapture* Camera()
    {
        if (m_lpCapture == nullptr) {
            m_lpCapture = new CRigCapture;
            m_lpCapture->Bind(Roles());
        }
        return m_lpCapture;
    }

    // The test's sink and links in every part.
    CaptureRoles Roles() { return {&m_Sink, &m_Sink, &m_Links, &m_Links, &m_Links, &m_Links, &m_Links}; }

    // Init with the standard and error output kept; Init's result.
    BOOL InitCaptured(std::string* out)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const BOOL ok = Camera()->Init();
        std::string text = testing::internal::GetCapturedStdout();
        text += testing::internal::GetCapturedStderr();
        if (out != nullptr) {
            *out = text;
        }
        return ok;
    }

    // Polls `cond` every 10 ms for up to `ms`.
    static bool WaitFor(const std::function<bool()>& cond, int ms = 20000)
    {
        for (int i = 0; i < ms / 10; ++i) {
            if (cond()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return cond();
    }

    CTestBoard m_Board;
    CTestSink m_Sink;
    CTestLinks m_Links;
    CRigCapture* m_lpCapture = nullptr;
};

#endif
