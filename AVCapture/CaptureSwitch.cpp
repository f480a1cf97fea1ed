// Resolution and parking switches of the main stream: the encoders are
// rebuilt while capture is paused and the thread has seen the pause.

#include <cstdio>

#include "AVCapture/CommAVCapture.h"
#include "Function/XLog.h"
#include "Function/common.h"
#include "PlayAudio/PcmIndex.h"
#include "Record/PauseReasons.h"

namespace {

// The end of a switch: capture and recording go on unless a pause reason
// (the phone's stop, a power cut, a download) holds them; then they stay
// paused and the switch still counts as made.
BOOL XResumeAfterSwitch(CCommAVCapture* capture, CRecordControl* record)
{
    BOOL ok = TRUE;
    CPauseReasons::instance()->ResumeIfClear([&] {
        capture->ResumeCapture();
        ok = record != nullptr && record->ResumeCommonRecord();
    });
    return ok;
}

// The recorder's resolution, when there is a recorder.
void XRecordResolution(CCaptureSink* sink, PIC_SIZE_E res, const SIZE_S& size)
{
    if (sink != nullptr) {
        sink->SetRecordResolution(res, size.u32Width, size.u32Height);
    }
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
    CCaptureSink* sink = m_Roles.sink;
    XRecordResolution(sink, res, size);
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
    if (!PauseRecorder(TRUE, TRUE)) {
        XERROR("g_Record.PauseAllRecord() Error.\n");
        XRecordResolution(sink, prevRow.res, prevSize);
        m_SensorInputResolution = prevInput;
        std::lock_guard<std::mutex> lock(m_CfgLock);
        m_ChnCfg[ENCODE_CHN_H264_MAIN] = prevRow;
        return FALSE;
    }
    PauseAndWait();
    CleanUpVideoEnc();
    if (RecorderParking()) {
        std::lock_guard<std::mutex> lock(m_CfgLock);
        m_ChnCfg[ENCODE_CHN_H264_MAIN].bitrate = 1024;
    }
    if (!InitVideoEnc()) {
        XERROR("InitVideoEnc() Error.\n");
        // back to the mode that ran before, and capture and recording go on
        OldResolutionMode = prevMode;
        m_SensorInputResolution = prevInput;
        XRecordResolution(sink, prevRow.res, prevSize);
        RestoreEncoders(prevRow);
        XResumeAfterSwitch(this, m_Roles.record);
        return FALSE;
    }
    OldResolutionMode = res;
    BOOL ok = TRUE;
    if (m_Roles.overlays == nullptr || !m_Roles.overlays->LayoutOSD(0)) {
        XERROR("g_OSDManager.LayoutOSD Error.\n");
        ok = FALSE;
    }
    if (!XResumeAfterSwitch(this, m_Roles.record)) {
        XERROR("g_Record.ResumeCommonRecord() Error.\n");
        return FALSE;
    }
    return ok;
}

BOOL CCommAVCapture::ParkingMonitoringEnable(int enable)
{
    CGuard guard(m_Mutex);
    CCaptureSink* sink = m_Roles.sink;
    if (!m_bLastParkingSet) {
        LastParkingFlag = RecorderParking();
        m_bLastParkingSet = TRUE;
    }
    const BOOL paused = LastParkingFlag ? PauseRecorder(FALSE, TRUE) : PauseRecorder(TRUE, TRUE);
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
        if (sink != nullptr) {
            sink->SetParkingMode(TRUE);
        }
        if (ParkingVoice()) {
            m_Roles.prompts->PlayPrompt(PCM_START_PARKING_MONITOR);
        }
        if (SnapshotAssociatesVideo()) {
            ChangeLinkage(emAlarmType_Gesture, 0, emLinkageType_Record);
            ChangeLinkage(emAlarmType_Manual, 0, emLinkageType_Record);
        }
        ChangeLinkage(emAlarmType_Accelerate, 0, emLinkageType_Record);
        ChangeLinkage(emAlarmType_TrafficReport, 0, emLinkageType_Record);
    } else {
        {
            std::lock_guard<std::mutex> lock(m_CfgLock);
            tagChannelConfig& row = m_ChnCfg[ENCODE_CHN_H264_MAIN];
            row.fps = fps;
            row.gop = fps;
            row.bitrate = 8192;
        }
        if (sink != nullptr) {
            sink->SetParkingMode(FALSE);
        }
        if (ParkingVoice()) {
            m_Roles.prompts->PlayPrompt(PCM_EXIT_PARKING_MONITOR);
        }
        ChangeLinkage(emAlarmType_Accelerate, emLinkageType_Record, 0);
        ChangeLinkage(emAlarmType_TrafficReport, emLinkageType_Record, 0);
        if (SnapshotAssociatesVideo()) {
            ChangeLinkage(emAlarmType_Gesture, emLinkageType_Record, 0);
            ChangeLinkage(emAlarmType_Manual, emLinkageType_Record, 0);
        }
    }
    if (!InitVideoEnc()) {
        XERROR("InitVideoEnc() Error.\n");
        XResumeAfterSwitch(this, m_Roles.record);
        return FALSE;
    }
    BOOL ok = TRUE;
    if (m_Roles.overlays == nullptr || !m_Roles.overlays->LayoutOSD()) {
        XERROR("g_OSDManager.LayoutOSD Error.\n");
        ok = FALSE;
    }
    if (!XResumeAfterSwitch(this, m_Roles.record)) {
        XERROR("g_Record.ResumeCommonRecord() Error.\n");
        return FALSE;
    }
    if (ok) {
        LastParkingFlag = RecorderParking();
    }
    return ok;
}
