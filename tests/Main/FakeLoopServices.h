#ifndef TESTS_MAIN_FAKELOOPSERVICES_H
#define TESTS_MAIN_FAKELOOPSERVICES_H

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "Main/LoopServices.h"
#include "support/FakeRoles.h"

// Test double of the loop's services and roles: scripted pin readings,
// settable answers, and a log of every action in call order.
class CFakeLoopServices : public CLoopServices,
                          public CPins,
                          public CTestSettings,
                          public CCaptureAudio,
                          public CPrompts,
                          public CRecordControl,
                          public CSnapshotControl,
                          public CShell,
                          public CCardUpkeep,
                          public CFactoryState {
public:
    // This double in every part; no card (no SD manager) unless m_bHasSD.
    LoopRoles Roles()
    {
        return {this, this, this, this, this, this, this, this, m_bHasSD ? this : nullptr, this};
    }

    // Readings returned by the next Read calls of a pin, then its level.
    // A reading or level of -1 makes Read fail.
    std::map<int, std::deque<int>> m_Script;
    std::map<int, int> m_Level{{0, 0}, {80, 1}};
    std::map<int, int> m_Pins;        // last level written per pin

    int m_iVolume = 13;
    BOOL m_bHasSD = TRUE;
    std::vector<int> m_SDStates{3};   // CheckSDCard results in turn, then the last
    BOOL m_bFormatting = FALSE;
    BOOL m_bNoSpace = FALSE;
    BOOL m_bCardCheckFailed = FALSE;
    BOOL m_bRtcWork = TRUE;
    BOOL m_bLedStatus = FALSE;
    BOOL m_bBurnIn = FALSE;
    BOOL m_bTestOK = FALSE;
    BOOL m_bCheckModel = FALSE;
    int m_iUpdateRequests = 0;

    std::vector<std::string> m_Events;
    int m_iSDChecks = 0;
    int m_iFreeSpaceChecks = 0;
    BOOL m_bQuit = FALSE;

    std::vector<int> Prompts() const
    {
        std::vector<int> p;
        for (const std::string& e : m_Events) {
            if (e.rfind("PCM ", 0) == 0) {
                p.push_back(std::stoi(e.substr(4)));
            }
        }
        return p;
    }
    int Count(const std::string& event) const
    {
        int n = 0;
        for (const std::string& e : m_Events) {
            n += e == event;
        }
        return n;
    }

    BOOL ReadGpio(int gpio, int& value) override
    {
        int r;
        std::deque<int>& s = m_Script[gpio];
        if (!s.empty()) {
            r = s.front();
            s.pop_front();
        } else {
            r = m_Level.count(gpio) ? m_Level[gpio] : 0;
        }
        if (r < 0) {
            return FALSE;
        }
        value = r;
        return TRUE;
    }
    BOOL WriteGpio(int gpio, int value) override
    {
        m_Pins[gpio] = value ? 1 : 0;
        Log("Write " + std::to_string(gpio) + " " + std::to_string(value));
        return TRUE;
    }
    void SleepMs(unsigned ms) override { Log("Sleep " + std::to_string(ms)); }

    int GetInt(const char* section, const char* key, int default_int) override
    {
        if (std::string(section) == "funcset" && std::string(key) == "volume") {
            return m_iVolume;
        }
        return default_int;
    }
    BOOL OpenFuncSetting() override { return Log("OpenFuncSetting"); }
    BOOL SaveFuncSetting() override { return Log("SaveFuncSetting"); }
    BOOL ResetIniConfig() override { return Log("ResetIniConfig"); }
    BOOL SetVolume(int volume) override { return Log("SetVolume " + std::to_string(volume)); }
    BOOL GetIsOutputVolumeMute() override { return FALSE; }
    void AudioInputMuteEnable() override {}
    void AudioInputMuteDisable() override {}
    void PlayPrompt(int index) override { Log("PCM " + std::to_string(index)); }

    BOOL PauseAllRecord(BOOL flush, BOOL closeNow) override
    {
        return Log("PauseAllRecord " + std::to_string(flush) + " " + std::to_string(closeNow));
    }
    BOOL ResumeCommonRecord() override { return Log("ResumeCommonRecord"); }
    BOOL StopAllRecord(BOOL flush, BOOL closeNow) override
    {
        return Log("StopAllRecord " + std::to_string(flush) + " " + std::to_string(closeNow));
    }
    BOOL GetParkingFlag() override { return FALSE; }
    void PauseGpsSaveData() override { Log("PauseGps"); }
    void ResumeGpsSaveData() override { Log("ResumeGps"); }
    BOOL PauseSnapshot() override { return Log("PauseSnapshot"); }
    BOOL ResumeSnapshot() override { return Log("ResumeSnapshot"); }
    void SyncFS() override { Log("SyncFS"); }
    void HoldForPowerLine(const std::function<void()>& pause) override { pause(); }
    void ReleasePowerLine(const std::function<void()>& resume) override { resume(); }

    int CheckSDCard() override
    {
        size_t i = static_cast<size_t>(m_iSDChecks++);
        return m_SDStates[i < m_SDStates.size() ? i : m_SDStates.size() - 1];
    }
    void CheckSDCardFreeSpace() override { ++m_iFreeSpaceChecks; }
    BOOL GetFormatStatusFlag() override { return m_bFormatting; }
    BOOL GetNoSpaceFlag() override { return m_bNoSpace; }
    BOOL GetDiskSpaceInfo(uint64_t*, uint64_t*) override { return FALSE; }
    int Format() override { return -1; }
    void SetFormatStatusFlag(BOOL) override {}
    BOOL GetCardCheckFailed() override { return m_bCardCheckFailed; }

    BOOL IsRtcWork() override { return m_bRtcWork; }
    BOOL GetLedStatus() override { return m_bLedStatus; }
    BOOL DeleteAccessAuthFile() override { return Log("DeleteAccessAuthFile"); }
    BOOL GetBurnInTesting() override { return m_bBurnIn; }
    BOOL GetFactoryTestOK() override { return m_bTestOK; }
    BOOL GetFactoryCheckModel() override { return m_bCheckModel; }
    BOOL GetFactoryTesting() override { return FALSE; }
    BOOL GetForceFactoryTest() override { return FALSE; }

    int RunCommand(const char* cmd) override
    {
        Log(std::string("Run ") + cmd);
        return 0;
    }
    int ExecCommand2(const char*, std::vector<std::string>& lines) override
    {
        lines.clear();
        return 0;
    }
    void RequestQuit() override
    {
        m_bQuit = TRUE;
        Log("Quit");
    }
    BOOL TakeUpdateRequest() override
    {
        if (m_iUpdateRequests == 0) {
            return FALSE;
        }
        --m_iUpdateRequests;
        return TRUE;
    }

private:
    BOOL Log(const std::string& e)
    {
        m_Events.push_back(e);
        return TRUE;
    }
};

#endif
