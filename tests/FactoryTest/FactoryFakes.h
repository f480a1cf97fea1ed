#ifndef TESTS_FACTORYTEST_FACTORYFAKES_H
#define TESTS_FACTORYTEST_FACTORYFAKES_H

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "FactoryTest/FactoryPorts.h"
#include "support/FakeRoles.h"

// Links of the factory test to a card folder, pins and a call log of its own;
// the motion sensors and the GPS receiver are not there.
class CFakeFactoryPorts : public CFactoryPorts,
                          public CCardFiles,
                          public CPins,
                          public CPrompts,
                          public CTestSensorTests,
                          public CTestCaptureControls,
                          public CTestShell {
public:
    std::mutex lock;
    std::string mountPath;  // with its trailing '/'; empty: no card
    int sdState = 0;
    std::map<int, int> pins;
    std::vector<std::string> calls;
    int registrations = 0;
    int commandStatus = 0;
    std::atomic<int> factoryTesting{0};
    std::atomic<int> aacOpen{0};

    void Log(const std::string& s)
    {
        std::lock_guard<std::mutex> g(lock);
        calls.push_back(s);
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> g(lock);
        return calls;
    }
    int Pin(int gpio)
    {
        std::lock_guard<std::mutex> g(lock);
        return pins.count(gpio) ? pins[gpio] : -1;
    }

    BOOL ImageSensorActive() override { return TRUE; }
    void SetFactoryTesting(BOOL b) override
    {
        factoryTesting = b;
        Log("SetFactoryTesting " + std::to_string(b));
    }
    BOOL StartRecordAAC(const char* f) override
    {
        ++aacOpen;
        Log(std::string("StartRecordAAC ") + f);
        return TRUE;
    }
    BOOL StopRecordAAC() override
    {
        if (aacOpen > 0) {
            --aacOpen;
        }
        Log("StopRecordAAC");
        return TRUE;
    }
    void SetLedOnOffRate(int frames) override { Log("SetLedOnOffRate " + std::to_string(frames)); }
    int GetSDState() override
    {
        std::lock_guard<std::mutex> g(lock);
        return sdState;
    }
    BOOL GetSDMountPath(char* path, size_t size) override
    {
        std::lock_guard<std::mutex> g(lock);
        if (mountPath.empty() || mountPath.size() + 1 > size) {
            return FALSE;
        }
        snprintf(path, size, "%s", mountPath.c_str());
        return TRUE;
    }
    BOOL RegisterSDStateCallback(int (*)(int, void*), void*) override
    {
        std::lock_guard<std::mutex> g(lock);
        ++registrations;
        return TRUE;
    }
    BOOL UnregisterSDStateCallback(int (*)(int, void*), void*) override { return TRUE; }
    BOOL ReadGpio(int gpio, int& value) override
    {
        std::lock_guard<std::mutex> g(lock);
        if (!pins.count(gpio)) {
            return FALSE;
        }
        value = pins[gpio];
        return TRUE;
    }
    BOOL WriteGpio(int gpio, int value) override
    {
        std::lock_guard<std::mutex> g(lock);
        pins[gpio] = value;
        return TRUE;
    }
    void PlayPrompt(int index) override { Log("PCM " + std::to_string(index)); }
    BOOL GPSModuleActive() override { return FALSE; }
    BOOL EnableAudioEnc(BOOL b) override
    {
        Log("EnableAudioEnc " + std::to_string(b));
        return TRUE;
    }
    BOOL StopVO() override
    {
        Log("StopVO");
        return TRUE;
    }
    int RunCommand(const char* cmd) override
    {
        Log(std::string("RUN ") + cmd);
        return commandStatus;
    }

    // Every role of the factory test from this double.
    FactoryRoles Roles() { return {this, this, this, this, this, this, this}; }
};

#endif
