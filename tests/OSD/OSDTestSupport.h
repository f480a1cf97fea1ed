#ifndef TESTS_OSD_OSDTESTSUPPORT_H
#define TESTS_OSD_OSDTESTSUPPORT_H

// The overlay manager with its members open to the tests, channel sizes the
// tests set, and the region state of the simulated board.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "FactoryTest/FactoryTest.h"
#include "OSD/OSDManager.h"
#include "OSD/TextOSD.h"
#include "Platform/RgnSim.h"
#include "support/TestBoard.h"

class CTestOSDManager : public COSDManager {
public:
    using COSDManager::m_bGPSModuleActive;
    using COSDManager::m_bShowSpeedOSD;
    using COSDManager::m_CurOSDSpeed;
    using COSDManager::m_LogoOSD;
    using COSDManager::m_ModelOSD;
    using COSDManager::m_Speed;
    using COSDManager::m_TimestampOSD;
};

// Channel sizes as the capture pipeline gives them.
struct tagTestSizes {
    unsigned w[4] = {1920, 640, 1920, 176};
    unsigned h[4] = {1080, 480, 1080, 120};
};
inline tagTestSizes& XTestSizes()
{
    static tagTestSizes s;
    return s;
}
inline BOOL XTestChannelResolution(int chn, unsigned& w, unsigned& h)
{
    w = XTestSizes().w[chn];
    h = XTestSizes().h[chn];
    return TRUE;
}

// The overlays' sources: the sizes the tests set (or the encoders' own), and
// the model of the boot environment as on the camera.
class CTestOSDSources : public COSDSources {
public:
    explicit CTestOSDSources(bool bEncoderSizes = false) : m_bEncoderSizes(bEncoderSizes) {}
    BOOL GetChannelResolution(int chn, unsigned& w, unsigned& h) override
    {
        return m_bEncoderSizes ? XEncoderChannelSize(chn, w, h) : XTestChannelResolution(chn, w, h);
    }
    BOOL GetModelString(char* model, size_t size) override
    {
        return CFactoryTest::instance()->GetModelString(model, size);
    }

private:
    bool m_bEncoderSizes;
};

// The model in the boot environment (null or "": none).
inline void XTestSetModel(const char* model)
{
    CFactoryTest* f = CFactoryTest::instance();
    testing::internal::CaptureStdout();
    f->Init();
    testing::internal::GetCapturedStdout();
    f->SetEnv("devmodel", model == nullptr ? "" : model);
}

inline tagRgnSimInfo XTestRgn(RGN_HANDLE h)
{
    tagRgnSimInfo info;
    XRgnSimInfo(h, &info);
    return info;
}

// Display attributes of a region on a channel; bShow -1 when not attached.
struct tagTestPlace {
    int x;
    int y;
    int show;
    unsigned layer;
};
inline tagTestPlace XTestPlace(RGN_HANDLE h, int chn)
{
    for (const tagRgnSimAttach& a : XTestRgn(h).attach) {
        if (a.chn == chn) {
            const OVERLAY_CHN_ATTR_S& o = a.attr.unChnAttr.stOverlayChn;
            return {o.stPoint.s32X, o.stPoint.s32Y, a.attr.bShow, o.u32Layer};
        }
    }
    return {0, 0, -1, 0};
}

inline BOOL XTestWaitFor(const std::function<bool()>& cond, int ms = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) {
            return FALSE;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return TRUE;
}

// Bitmaps handed over, checked against the Python renderer in one run.
class CTestRenderCheck {
public:
    explicit CTestRenderCheck(const CTestBoard& board) : m_Dir(board.Dir()) {}

    // The last bitmap of handle h should show `text` in the `size`-px set.
    void Expect(RGN_HANDLE h, int size, const std::string& text)
    {
        const tagRgnSimInfo info = XTestRgn(h);
        ASSERT_TRUE(info.bCreated) << h;
        const std::string file = m_Dir + "/bitmap" + std::to_string(m_nCount++) + ".raw";
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(info.bitmap.data()), static_cast<std::streamsize>(info.bitmap.size()));
        m_strManifest += std::string(DASHCAM_SOURCE_DIR) + "/OSD/data/CharImageDataBase" + std::to_string(size) +
                         ".bin|" + std::to_string(info.u32BmpWidth) + "|" + std::to_string(info.u32BmpHeight) + "|" +
                         file + "|" + text + "\n";
    }

    void Run()
    {
        const std::string manifest = m_Dir + "/manifest.txt";
        std::ofstream(manifest) << m_strManifest;
        int status = -1;
        const std::string out = XTestRun(std::string(DASHCAM_PYTHON " ") + DASHCAM_SOURCE_DIR +
                                             "/tests/OSD/osd_render.py check " + manifest,
                                         &status);
        EXPECT_EQ(0, status) << out;
        EXPECT_NE(std::string::npos, out.find("\"ok\": true")) << out;
    }

private:
    std::string m_Dir;
    std::string m_strManifest;
    int m_nCount = 0;
};

#endif
