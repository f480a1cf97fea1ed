#ifndef TESTS_HTTPSERVER_FAKEWEBPORTS_H
#define TESTS_HTTPSERVER_FAKEWEBPORTS_H

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Periphery/SDManager.h"
#include "tests/HttpServer/CameraWebRoles.h"

// Recording fakes of what the bridges reach; the rest is the camera's.
class CFakeWebPorts : public CCameraWebRoles {
public:
    std::mutex lock;
    std::vector<std::string> calls;
    // Lists: the text each builder writes (-1 when it does not fit).
    std::string commonList = "{\"common\":[]}";
    int listBuilds = 0;
    int sdState = emSDState_Insert | emSDState_Mount;
    BOOL result = TRUE;  // what the BOOL methods answer
    int formatResult = 0;
    BOOL setEnvResult = TRUE;
    BOOL saveEnvResult = TRUE;
    std::string envValue = "v";
    bool envSet = true;
    BOOL captureResult = TRUE;
    std::string jpeg = std::string("\xff\xd8\xff\xd9", 4);
    int captures = 0;
    std::vector<std::string> shellLines;
    // Encoder channel 1: frames of packs.
    std::deque<std::vector<std::string>> frames;
    int vencFd = XVencPipe()[0];

    // One pipe for every fake: the live descriptor is kept once fetched.
    static int* XVencPipe()
    {
        static int s_Pipe[2] = {-1, -1};
        if (s_Pipe[0] < 0 && pipe2(s_Pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
            s_Pipe[0] = s_Pipe[1] = -1;
        }
        return s_Pipe;
    }
    CFakeWebPorts()
    {
        char b[64];
        while (read(XVencPipe()[0], b, sizeof(b)) > 0) {
        }
    }
    // A frame of channel 1; the descriptor is readable while frames wait.
    void Push(const std::vector<std::string>& frame)
    {
        std::lock_guard<std::mutex> g(lock);
        frames.push_back(frame);
        const char b = 1;
        (void)!write(XVencPipe()[1], &b, 1);
    }
    size_t Waiting()
    {
        std::lock_guard<std::mutex> g(lock);
        return frames.size();
    }

    void Call(const std::string& what)
    {
        std::lock_guard<std::mutex> g(lock);
        calls.push_back(what);
    }
    int Count(const std::string& what)
    {
        std::lock_guard<std::mutex> g(lock);
        int n = 0;
        for (const auto& c : calls) {
            n += c == what ? 1 : 0;
        }
        return n;
    }

    int GetCommonVideoFileAsJson(char* buf, int len) override
    {
        ++listBuilds;
        if (static_cast<int>(commonList.size()) + 1 > len) {
            return -1;
        }
        memcpy(buf, commonList.c_str(), commonList.size() + 1);
        return static_cast<int>(commonList.size());
    }
    int GetAlarmVideoFileAsJSON(char* buf, int len) override
    {
        const std::string s = "{\"alarm\":[]}";
        memcpy(buf, s.c_str(), std::min<size_t>(s.size() + 1, static_cast<size_t>(len)));
        return static_cast<int>(s.size());
    }
    int GetAlarmImgFileAsJSON(char* buf, int len) override
    {
        const std::string s = "{\"image\":[]}";
        memcpy(buf, s.c_str(), std::min<size_t>(s.size() + 1, static_cast<size_t>(len)));
        return static_cast<int>(s.size());
    }
    // The lists through the builders above, as a port without a cache builds them.
    emListBuild GetFileList(emRecFileType type, size_t largest, RecordListBytes& out) override
    {
        return CWebBridgePorts::GetFileList(type, largest, out);
    }
    BOOL DeleteCommonVideoFile(const char* n) override { Call(std::string("delc ") + n); return result; }
    BOOL DeleteAlarmVideoFile(const char* n) override { Call(std::string("dela ") + n); return result; }
    BOOL DeleteAlarmImgFile(const char* n) override { Call(std::string("deli ") + n); return result; }
    BOOL CleanAllCommonVideoFile() override { Call("cleanc"); return result; }
    BOOL CleanAllAlarmVideoFile() override { Call("cleana"); return result; }
    BOOL CleanAllAlarmImgFile() override { Call("cleani"); return result; }
    BOOL SetFileSpaceQuotaOnSD(unsigned, unsigned, unsigned) override { Call("quota"); return result; }
    BOOL PauseAllRecord(BOOL, BOOL bImmediately) override
    {
        Call(bImmediately ? "pause" : "pause-late");
        return TRUE;
    }
    BOOL ResumeCommonRecord() override
    {
        Call("resume");
        return TRUE;
    }
    BOOL ForceRetest() override { return result; }
    BOOL ForceTestDone() override { return result; }
    BOOL SetEnv(const char*, const char* value) override
    {
        Call(value != nullptr ? "setenv" : "delenv");
        return setEnvResult;
    }
    BOOL SaveEnvData() override { Call("saveenv"); return saveEnvResult; }
    BOOL GetEnvValue(const char*, std::string& value) override
    {
        value = envValue;
        return envSet;
    }
    int GetSDState() override { return sdState; }
    BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) override
    {
        *total = 100;
        *freeBytes = 40;
        return result;
    }
    int Format() override { Call("format"); return formatResult; }
    BOOL Capture(unsigned char* buf, unsigned* len) override
    {
        ++captures;
        if (!captureResult || jpeg.size() > *len) {
            return FALSE;
        }
        memcpy(buf, jpeg.data(), jpeg.size());
        *len = static_cast<unsigned>(jpeg.size());
        return TRUE;
    }
    BOOL PauseSnapshot() override
    {
        Call("snap-pause");
        return TRUE;
    }
    BOOL ResumeSnapshot() override { Call("snap-resume"); return TRUE; }
    void PauseCapture() override { Call("cap-pause"); }
    void ResumeCapture() override { Call("cap-resume"); }
    BOOL SetDisplayGPSSpeedOSD(int) override { return result; }
    BOOL StartVO() override { return result; }
    int GetVEncFD(int chn) override { return chn == 1 ? vencFd : -1; }
    HI_S32 VencQuery(VENC_CHN chn, VENC_CHN_STAT_S* stat) override
    {
        std::lock_guard<std::mutex> g(lock);
        if (chn != 1) {
            return -1;
        }
        stat->u32CurPacks = frames.empty() ? 0 : static_cast<HI_U32>(frames.front().size());
        return HI_SUCCESS;
    }
    HI_S32 VencGetStream(VENC_CHN, VENC_STREAM_S* stream, HI_S32) override
    {
        std::lock_guard<std::mutex> g(lock);
        if (frames.empty() || stream->u32PackCount < frames.front().size()) {
            return -1;
        }
        std::vector<std::string>& f = frames.front();
        for (size_t i = 0; i < f.size(); ++i) {
            stream->pstPack[i].pu8Addr = reinterpret_cast<uint8_t*>(&f[i][0]);
            stream->pstPack[i].u32Len = static_cast<uint32_t>(f[i].size());
        }
        stream->u32PackCount = static_cast<uint32_t>(f.size());
        ++held;
        return HI_SUCCESS;
    }
    HI_S32 VencReleaseStream(VENC_CHN, VENC_STREAM_S*) override
    {
        std::lock_guard<std::mutex> g(lock);
        frames.pop_front();
        --held;
        char b;
        (void)!read(XVencPipe()[0], &b, 1);
        return HI_SUCCESS;
    }
    int ExecCommand2(const char* cmd, std::vector<std::string>& lines) override
    {
        Call(std::string("sh ") + cmd);
        lines = shellLines;
        return 0;
    }
    void SyncFS() override { Call("sync"); }

    int held = 0;
};

// NAL units with 4-byte start codes.
inline std::string XNal(int header, size_t payload)
{
    std::string s("\0\0\0\1", 4);
    s += static_cast<char>(header);
    s.append(payload, '\x42');
    return s;
}

#endif
