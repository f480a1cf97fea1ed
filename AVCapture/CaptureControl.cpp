// Run-time controls of the camera object: descriptors, pause and resume,
// the audio encoder's place in the capture set, time stamps, ISP settings,
// mirror and lens correction.

#include <sys/time.h>

#include <cstdio>

#include "AVCapture/CommAVCapture.h"
#include "Function/XLog.h"
#include "Platform/Aenc.h"
#include "Platform/MpiSys.h"
#include "Platform/MpiVenc.h"
#include "Platform/MpiVi.h"

int CCommAVCapture::GetVEncFD(int chn)
{
    if (chn == ENCODE_CHN_AUDIO_AAC) {
        return HI_MPI_AENC_GetFd(0);
    }
    return HI_MPI_VENC_GetFd(chn);
}

int CCommAVCapture::GetVEncChannelId(int chn)
{
    if (chn < 0 || chn >= ENCODE_CHN_MAX) {
        return -1;
    }
    return m_ChnCfg[chn].channel_id;
}

BOOL CCommAVCapture::GetChannelResolution(int chn, unsigned& width, unsigned& height)
{
    if (chn < 0 || chn > ENCODE_CHN_JPEG_SUB) {
        return FALSE;
    }
    VIDEO_NORM_E norm;
    PIC_SIZE_E res;
    {
        // only the fields a switch changes under the lock
        std::lock_guard<std::mutex> lock(m_CfgLock);
        norm = m_ChnCfg[chn].tv_norm;
        res = m_ChnCfg[chn].res;
    }
    SIZE_S size = {0, 0};
    if (!GetPicSize(norm, res, &size)) {
        return FALSE;
    }
    width = size.u32Width;
    height = size.u32Height;
    return TRUE;
}

BOOL CCommAVCapture::OnCaptureThread()
{
    return m_bCaptureRunning && pthread_equal(m_CaptureSelf, pthread_self()) != 0;
}

BOOL CCommAVCapture::PauseCapture()
{
    CGuard guard(m_Mutex);
    std::lock_guard<std::mutex> lock(m_StateLock);
    m_PauseCapture = TRUE;
    return TRUE;
}

void CCommAVCapture::PauseAndWait()
{
    std::unique_lock<std::mutex> lock(m_StateLock);
    m_PauseCapture = TRUE;
    if (!m_bCaptureRunning || OnCaptureThread()) {
        return;
    }
    // the thread sees the pause at the top of its cycle, within one select timeout
    m_StateCond.wait(lock, [this] { return m_bPauseAcked || !m_bCaptureRunning; });
}

HI_S32 CCommAVCapture::ResumeCapture()
{
    CGuard guard(m_Mutex);
    std::unique_lock<std::mutex> lock(m_StateLock);
    if (!m_PauseCapture) {
        return HI_SUCCESS;  // nothing waited unread
    }
    if (m_bCaptureRunning && !OnCaptureThread()) {
        // the thread drains before its next select: one reader only
        m_bDrainRequest = TRUE;
        m_StateCond.notify_all();
        m_StateCond.wait(lock, [this] { return !m_bDrainRequest || !m_bCaptureRunning; });
        if (!m_bDrainRequest) {
            return m_DrainStatus;
        }
        m_bDrainRequest = FALSE;  // the thread ended meanwhile
    }
    const HI_S32 ret = DrainStreams();
    m_bPauseAcked = FALSE;
    m_PauseCapture = FALSE;
    return ret;
}

BOOL CCommAVCapture::EnableAudioEnc(int enable)
{
    CGuard guard(m_Mutex);
    const BOOL bWanted = enable != 0 ? TRUE : FALSE;
    {
        std::lock_guard<std::mutex> lock(m_StateLock);
        if (m_bAudioEncInSet == bWanted) {
            m_EnableAudioIn = bWanted;
            return TRUE;
        }
    }
    if (GetVEncFD(ENCODE_CHN_AUDIO_AAC) < 0) {
        return FALSE;
    }
    // the capture thread drains and adds, or removes, at its next cycle
    std::lock_guard<std::mutex> lock(m_StateLock);
    m_bAudioEncInSet = bWanted;
    m_EnableAudioIn = bWanted;
    return TRUE;
}

BOOL CCommAVCapture::SyncEncPTS()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    const HI_U64 us = static_cast<HI_U64>(tv.tv_sec) * 1000000u + static_cast<HI_U64>(tv.tv_usec);
    HI_MPI_SYS_SyncPts(us);
    return TRUE;
}

void CCommAVCapture::SetAEAttr(ISP_AE_STRATEGY_E strategy)
{
    m_AeStrategy = strategy;
}

void CCommAVCapture::SetUseHighestContrastGamma(BOOL bUse)
{
    m_UseHighestContrastGamma = bUse;
}

void CCommAVCapture::SetParkingMonitoringEnable(int enable)
{
    m_EnableParkingMonitor = enable != 0 ? TRUE : FALSE;
}

void CCommAVCapture::SetParkingMonitoringTimeThreshlod(unsigned seconds)
{
    m_ParkingTimeThreshold = seconds;
}

BOOL CCommAVCapture::SetVideoMirror(int bMirror, int bFlip)
{
    m_bMirror = bMirror;
    m_bFlip = bFlip;
    for (int i = 0; i < m_InputSensors; ++i) {
        VI_CHN_ATTR_S attr;
        HI_S32 ret = HI_MPI_VI_GetChnAttr(i, &attr);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VI_GetChnAttr(%d) failed with %#x\n", i, static_cast<unsigned>(ret));
            return FALSE;
        }
        attr.bMirror = bMirror != 0 ? 1 : 0;
        attr.bFlip = bFlip != 0 ? 1 : 0;
        ret = HI_MPI_VI_SetChnAttr(i, &attr);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VI_SetChnAttr(%d) failed with %#x\n", i, static_cast<unsigned>(ret));
            return FALSE;
        }
    }
    return TRUE;
}

BOOL CCommAVCapture::FPNCalibrate()
{
    return FALSE;
}

BOOL CCommAVCapture::ResetVencChnAttr(int, VencChnChgMode*)
{
    return TRUE;
}

BOOL CCommAVCapture::SetRecordMode(int)
{
    return TRUE;
}

BOOL CCommAVCapture::SetLDCAttr(const VI_LDC_ATTR_S* attr)
{
    return HI_MPI_VI_SetLDCAttr(0, attr) == HI_SUCCESS ? TRUE : FALSE;
}

BOOL CCommAVCapture::GetLDCAttr(VI_LDC_ATTR_S* attr)
{
    return HI_MPI_VI_GetLDCAttr(0, attr) == HI_SUCCESS ? TRUE : FALSE;
}
