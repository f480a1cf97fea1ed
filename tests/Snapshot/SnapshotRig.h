#ifndef TESTS_SNAPSHOT_SNAPSHOTRIG_H
#define TESTS_SNAPSHOT_SNAPSHOTRIG_H

// The snapshot manager on the simulated media layer's JPEG channel 2 (the
// camera object's own encoder set-up, pictures pumped by a thread), in
// front of a real recording engine on the board's card folder. Only channel
// 2 takes pictures; the others are stopped.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Function/SystemTime.h"
#include "IniConfig/IniConfig.h"
#include "Platform/MediaSim.h"
#include "Platform/MpiVenc.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordFileTestSupport.h"
#include "Record/RecordPacker.h"
#include "Record/RecordTestCard.h"
#include "Snapshot/Snapshot.h"
#include "support/CardRig.h"
#include "support/TestBoard.h"
#include "tests/AVCapture/TestCapture.h"

// The test's card, engine, GPS line and prompt list.
class CTestSnapshotPorts : public CSnapshotPorts, public CCardFiles, public CPrompts {
public:
    CTestSnapshotPorts(CFolderCard* card, CRecord* engine) : m_lpCard(card), m_lpEngine(engine) {}

    BOOL RegisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_lpfn = fun;
        m_lpPriv = priv;
        return m_bRegisterOk;
    }
    BOOL UnregisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (fun != m_lpfn || priv != m_lpPriv) {
            return FALSE;
        }
        m_lpfn = nullptr;
        return TRUE;
    }
    BOOL GetSDMountPath(char* path, size_t size) override { return m_lpCard->GetMountPath(path, size); }
    int GetSDState() override { return 0; }
    SnapshotRoles Roles() { return {this, this, this}; }
    int GetVEncFD(int chn) override
    {
        ++m_nFdFetches;
        return HI_MPI_VENC_GetFd(chn);
    }
    BOOL GetGPSData(char* buff, unsigned* length) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (!m_bGPS || *length == 0) {
            return FALSE;
        }
        const size_t n = std::min<size_t>(m_strGPS.size(), *length);
        memcpy(buff, m_strGPS.data(), n);
        *length = static_cast<unsigned>(n);
        return TRUE;
    }
    void PlayPrompt(int index) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Prompts.push_back(index);
    }
    BOOL AddAlarmImgIndex(const RECTIME& time, char type, int index, unsigned long size) override
    {
        ++m_nIndexAdds;
        return m_lpEngine->AddAlarmImgIndex(time, type, index, size);
    }
    BOOL SetAssociatedData(CAssociatedData* lpData) override
    {
        ++m_nRecords;
        return m_lpEngine->SetAssociatedData(lpData);
    }

    // The SD manager's round: the engine's callback, then the snapshot's.
    void NotifyCard(int state)
    {
        m_lpCard->Notify(state);
        SD_STATE_CALLBACK_FUN fn;
        void* priv;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            fn = m_lpfn;
            priv = m_lpPriv;
        }
        if (fn != nullptr) {
            fn(state, priv);
        }
    }
    void SetGPS(const std::string* line)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bGPS = line != nullptr;
        m_strGPS = line != nullptr ? *line : "";
    }
    std::vector<int> Prompts()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Prompts;
    }
    void ClearPrompts()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Prompts.clear();
    }

    std::atomic<int> m_nFdFetches{0};
    std::atomic<int> m_nIndexAdds{0};
    std::atomic<int> m_nRecords{0};
    BOOL m_bRegisterOk = TRUE;

private:
    CFolderCard* m_lpCard;
    CRecord* m_lpEngine;
    std::mutex m_Mutex;
    SD_STATE_CALLBACK_FUN m_lpfn = nullptr;
    void* m_lpPriv = nullptr;
    bool m_bGPS = false;
    std::string m_strGPS;
    std::vector<int> m_Prompts;
};

// Pumps pictures every few milliseconds until stopped.
class CPicturePump {
public:
    CPicturePump()
    {
        m_Thread = std::thread([this] {
            while (m_bRun) {
                XMediaSimPump(1);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~CPicturePump() { Stop(); }
    void Stop()
    {
        m_bRun = false;
        if (m_Thread.joinable()) {
            m_Thread.join();
        }
    }

private:
    std::atomic<bool> m_bRun{true};
    std::thread m_Thread;
};

const int kUsableCard = emSDState_Insert | emSDState_Mount;

class CSnapshotRig {
public:
    // cardMB > 0: the board's card is a real ext2 image of that size on the
    // card rig, made before any thread starts (check CardRig()).
    explicit CSnapshotRig(BOOL bPlaceholders = TRUE, unsigned cardMB = 0)
        : m_lpCardRig(cardMB > 0 && CCardRig::Unavailable().empty() ? new CCardRig(m_Board, cardMB) : nullptr),
          m_Cap(bPlaceholders)
    {
        EXPECT_TRUE(CIniConfig::instance()->Init());
        testing::internal::CaptureStdout();
        m_bMediaOk = m_Cap.UpToEncoders();
        testing::internal::GetCapturedStdout();
        for (int k : {0, 1, 3}) {
            HI_MPI_VENC_StopRecvPic(k);
        }
        m_lpCard = new CFolderCard();
        m_lpEngine.reset(new CRecord(new CMP4File(), m_lpCard, new CRecordPacker()));
        m_lpEngine->Init(30, 30, 320, 240);
        m_lpPorts.reset(new CTestSnapshotPorts(m_lpCard, m_lpEngine.get()));
        m_lpManager.reset(new CSnapshotManager());
        m_lpManager->Bind(m_lpPorts->Roles());
        m_lpPump.reset(new CPicturePump());
    }
    ~CSnapshotRig()
    {
        m_lpManager.reset();
        m_lpPump.reset();
        m_lpEngine->CleanUp();
        m_lpEngine.reset();
    }

    BOOL Ok() const { return m_bMediaOk; }
    // Pictures channel 2 gave back so far.
    static uint64_t Released()
    {
        tagMediaSimVenc v;
        return XMediaSimVencInfo(2, &v) ? v.u64Released : 0;
    }
    // Waits (up to 30 s) until channel 2 gave back `n` pictures in all.
    static bool WaitReleased(uint64_t n)
    {
        for (int i = 0; i < 30000; ++i) {
            if (Released() >= n) {
                return true;
            }
            XSleep(1);
        }
        return false;
    }
    std::string SnapDir() const { return m_Board.Path("/tmp/mmc0/DCIM/104snap"); }
    std::vector<std::string> Snaps() const { return XRecListDir(SnapDir()); }
    // The engine's image list as the app gets it.
    std::string ImageList()
    {
        std::vector<char> buf(1 << 16);
        const int n = m_lpEngine->GetAlarmImgFileAsJSON(buf.data(), static_cast<int>(buf.size()));
        return n < 0 ? std::string() : std::string(buf.data(), static_cast<size_t>(n));
    }

    CTestBoard m_Board;
    std::unique_ptr<CCardRig> m_lpCardRig;
    CTestAVCapture m_Cap;
    BOOL m_bMediaOk = FALSE;
    CFolderCard* m_lpCard = nullptr;
    std::unique_ptr<CRecord> m_lpEngine;
    std::unique_ptr<CTestSnapshotPorts> m_lpPorts;
    std::unique_ptr<CSnapshotManager> m_lpManager;
    std::unique_ptr<CPicturePump> m_lpPump;
};

#endif
