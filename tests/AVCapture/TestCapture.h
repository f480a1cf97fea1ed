#ifndef TESTS_AVCAPTURE_TESTCAPTURE_H
#define TESTS_AVCAPTURE_TESTCAPTURE_H

// The camera object with its members open to the tests. The ISP and input
// steps (the SoC bring-up's own) are stood in for here by the plain chain of
// the media tests, so the processing group and encoders see live pictures.

#include <thread>

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "Platform/MediaSim.h"
#include "tests/Platform/MediaChain.h"

class CTestAVCapture : public CAVCapture {
public:
    explicit CTestAVCapture(BOOL bPlaceholders = TRUE) : m_Chain(bPlaceholders) {}
    ~CTestAVCapture() override
    {
        m_Chain.Down();
    }

    BOOL Init() override { return FALSE; }
    BOOL CleanUp() override { return TRUE; }
    BOOL InitISP() override { return m_Chain.Isp() == HI_SUCCESS && m_Chain.Input() == HI_SUCCESS; }
    BOOL CleanUpISP() override { return TRUE; }
    BOOL ISPTuning() override { return TRUE; }
    void ThreadProc() override {}

    // Pools, ISP and input, processing group, encoders; manual pictures.
    BOOL UpToEncoders()
    {
        XMediaSimSetManual(TRUE);
        return InitSDKVideoCache() && InitISP() && InitVPSS() && InitVideoEnc();
    }

    using CCommAVCapture::m_ChnCfg;
    using CCommAVCapture::m_ChnNum;
    using CCommAVCapture::m_enNorm;
    using CCommAVCapture::m_PxlFmt;
    using CCommAVCapture::m_SensorInputResolution;
    using CCommAVCapture::m_VencBindChn;
    using CCommAVCapture::m_VencChn;
    using CCommAVCapture::m_VencGrp;
    using CCommAVCapture::m_VpssChn;
    using CCommAVCapture::m_VpssGrp;

private:
    CTestMediaChain m_Chain;
};

// A CCommAVCapture with the base class's own pool sizing and sensor hooks.
class CTestCommAVCapture : public CCommAVCapture {
public:
    CTestCommAVCapture() { XMediaSimReset(); }
    ~CTestCommAVCapture() override { XMediaSimReset(); }
    BOOL Init() override { return FALSE; }
    BOOL CleanUp() override { return TRUE; }
    BOOL InitISP() override { return TRUE; }
    BOOL CleanUpISP() override { return TRUE; }
    BOOL ISPTuning() override { return TRUE; }
    void ThreadProc() override {}
    using CCommAVCapture::m_ChnCfg;
    using CCommAVCapture::m_SensorInputResolution;
};

#endif
