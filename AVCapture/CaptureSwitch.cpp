// Resolution and parking switches of the main stream: the encoders are
// rebuilt while capture is paused and the thread has seen the pause.

#include <cstdio>

#include "AVCapture/CaptureLinks.h"
#include "AVCapture/CaptureSink.h"
#include "AVCapture/CommAVCapture.h"
#include "Function/XLog.h"
#include "Function/common.h"
#include "PlayAudio/PcmIndex.h"
#include "Record/PauseReasons.h"

namespace {

// The end of a switch: capture and recording go on unless a pause reason
// (the phone's stop, a power cut, a download) holds them; then they stay
// paused and the switch still counts as made.
BOOL XResumeAfterSwitch(CCommAVCapture* capture, CCaptureSink* sink)
{
    BOOL ok = TRUE;
    CPauseReasons::instance()->ResumeIfClear([&] {
        capture->ResumeCapture();
        ok = sink->ResumeCommonRecord();
    });
    return ok;
}

}  // namespace

void CCommAVCapture::RestoreEncoders(const tagChannelConfig& row)
{
    CleanUpVideoEnc();
    {
        std::lock_guard<std::mutex> lock(m_CfgLock);
        m_ChnCfg[ENCODE_CHN_H264_MAIN] = row;
    }
    if (!InitVideoEnc()) {
        XERROR("InitVideoEnc() Error.\n");
    }
}

BOOL CCommAVCapture::ResolutionSwitch(int ResolutionMode)
{
    CGuard guard(m_Mutex);
    if (!m_bOldResolutionSet) {
        OldResolutionMode = m_SensorInputResolution;
        m_bOldResolutionSet = TRUE;
    }
    const PIC_SIZE_E prevMode = OldResolutionMode;
    const PIC_SIZE_E prevInput = m_SensorInputResolution;
    tagChannelConfig prevRow;
    {
        std::lock_guard<std::mutex> lock(m_CfgLock);
        prevRow = m_ChnCfg[ENCODE_CHN_H264_MAIN];
    }
    PIC_SIZE_E res = PIC_HD1080;
    unsigned bitrate = 8192;
    if (ResolutionMode == 0) {
        res = PIC_HD720;
        bitrate = 4096;
        printf("=========PIC_HD720============\n");
    } else if (ResolutionMode == 1) {
        printf("=========PIC_HD1080============\n");
    }
    m_SensorInputResolution = res;
    {
        std::lock_guard<std::mutex> lock(m_CfgLock);
        m_ChnCfg[ENCODE_CHN_H264_MAIN].bitrate = bitrate;
    }
    ResModeSwitchCount += 1;
    if (res == OldResolutionMode) {
        printf("****** NewResolutionMode == OldResolutionMode, Needn't switch ! *******\n");
        return TRUE;
    }
    SIZE_S size = {0, 0};
    if (!GetPicSize(m_enNorm, res, &size)) {
        XERROR("GetPicSize() Error.\n");
        return FALSE;
    }
    CCaptureSink* sink = CCaptureSink::instance();
    sink->SetRecordResolution(res, size.u32Width, size.u32Height);
    {
        std::lock_guard<std::mutex> lock(m_CfgLock);
        m_ChnCfg[ENCODE_CHN_H264_MAIN].res = res;
    }
    if (ResModeSwitchCount <= 1) {
        OldResolutionMode = res;  // start-up: the encoders do not exist yet
        return TRUE;
    }
    SIZE_S prevSize = {0, 0};
    GetPicSize(m_enNorm, prevRow.res, &prevSize);
    if (!sink->PauseAllRecord(TRUE, TRUE)) {
        XERROR("g_Record.PauseAllRecord() Error.\n");
        sink->SetRecordResolution(prevRow.res, prevSize.u32Width, prevSize.u32Height);
        m_SensorInputResolution = prevInput;
        std::lock_guard<std::mutex> lock(m_CfgLock);
        m_ChnCfg[ENCODE_CHN_H264_MAIN] = prevRow;
        return FALSE;
    }
    PauseAndWait();
    CleanUpVideoEnc();
    if (sink->GetParkingFlag()) {
        std::lock_guard<std::mutex> lock(m_CfgLock);
        m_ChnCfg[ENCODE_CHN_H264_MAIN].bitrate = 1024;
    }
    if (!InitVideoEnc()) {
        XERROR("InitVideoEnc() Error.\n");
        // back to the mode that ran before, and capture and recording go on
        OldResolutionMode = prevMode;
        m_SensorInputResolution = prevInput;
        sink->SetRecordResolution(prevRow.res, prevSize.u32Width, prevSize.u32Height);
        RestoreEncoders(prevRow);
        XResumeAfterSwitch(this, sink);
        return FALSE;
    }
    OldResolutionMode = res;
    BOOL ok = TRUE;
    if (!CCaptureLinks::instance()->LayoutOSD(0)) {
        XERROR("g_OSDManager.LayoutOSD Error.\n");
        ok = FALSE;
    }
    if (!XResumeAfterSwitch(this, sink)) {
        XERROR("g_Record.ResumeCommonRecord() Error.\n");
        return FALSE;
    }
    return ok;
}

BOOL CCommAVCapture::ParkingMonitoringEnable(int enable)
{
    CGuard guard(m_Mutex);
    CCaptureSink* sink = CCaptureSink::instance();
    CCaptureLinks* links = CCaptureLinks::instance();
    if (!m_bLastParkingSet) {
        LastParkingFlag = sink->GetParkingFlag();
        m_bLastParkingSet = TRUE;
    }
    const BOOL paused = LastParkingFlag ? sink->PauseAllRecord(FALSE, TRUE) : sink->PauseAllRecord(TRUE, TRUE);
    if (!paused) {
        XERROR("g_Record.PauseAllRecord() Error.\n");
        return FALSE;
    }
    PauseAndWait();
    CleanUpVideoEnc();
    printf("===========ParkingEnable: %d==========LastParkingFlag: %d===========\n", enable, LastParkingFlag);
    const unsigned fps = static_cast<unsigned>(m_nSensorInputFrameRate);
    if (enable != 0) {
        {
            std::lock_guard<std::mutex> lock(m_CfgLock);
            tagChannelConfig& row = m_ChnCfg[ENCODE_CHN_H264_MAIN];
            row.fps = 1;
            row.gop = 1;
            row.bitrate = 1024;
        }
        sink->SetParkingMode(TRUE);
        if (links->GetParkingVoiceCfg() == 1) {
            links->PlayAudio(PCM_START_PARKING_MONITOR);
        }
        if (links->GetSnapshotAssociateVideoCfg() == 1) {
            links->LinkageConfig(emAlarmType_Gesture, 0, emLinkageType_Record);
            links->LinkageConfig(emAlarmType_Manual, 0, emLinkageType_Record);
        }
        links->LinkageConfig(emAlarmType_Accelerate, 0, emLinkageType_Record);
        links->LinkageConfig(emAlarmType_TrafficReport, 0, emLinkageType_Record);
    } else {
        {
            std::lock_guard<std::mutex> lock(m_CfgLock);
            tagChannelConfig& row = m_ChnCfg[ENCODE_CHN_H264_MAIN];
            row.fps = fps;
            row.gop = fps;
            row.bitrate = 8192;
        }
        sink->SetParkingMode(FALSE);
        if (links->GetParkingVoiceCfg() == 1) {
            links->PlayAudio(PCM_EXIT_PARKING_MONITOR);
        }
        links->LinkageConfig(emAlarmType_Accelerate, emLinkageType_Record, 0);
        links->LinkageConfig(emAlarmType_TrafficReport, emLinkageType_Record, 0);
        if (links->GetSnapshotAssociateVideoCfg() == 1) {
            links->LinkageConfig(emAlarmType_Gesture, emLinkageType_Record, 0);
            links->LinkageConfig(emAlarmType_Manual, emLinkageType_Record, 0);
        }
    }
    if (!InitVideoEnc()) {
        XERROR("InitVideoEnc() Error.\n");
        XResumeAfterSwitch(this, sink);
        return FALSE;
    }
    BOOL ok = TRUE;
    if (!links->LayoutOSD()) {
        XERROR("g_OSDManager.LayoutOSD Error.\n");
        ok = FALSE;
    }
    if (!XResumeAfterSwitch(this, sink)) {
        XERROR("g_Record.ResumeCommonRecord() Error.\n");
        return FALSE;
    }
    if (ok) {
        LastParkingFlag = sink->GetParkingFlag();
    }
    return ok;
}
