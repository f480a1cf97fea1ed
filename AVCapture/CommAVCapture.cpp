#include "AVCapture/CommAVCapture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Function/XLog.h"

extern "C" int sensor_register_callback(void)
{
    return 0;
}

extern "C" int sensor_unregister_callback(void)
{
    return 0;
}

namespace {

tagChannelConfig Row(PAYLOAD_TYPE_E enc, emStreamRCType rc, PIC_SIZE_E res, unsigned bitrate, unsigned qp,
                     unsigned gop, unsigned viFps, unsigned fps, VIDEO_NORM_E norm, BOOL autoEnc, int channel,
                     AVData_Type av)
{
    tagChannelConfig c;
    memset(&c, 0, sizeof(c));
    c.enc = enc;
    c.rc = rc;
    c.res = res;
    c.bitrate = bitrate;
    c.qp = qp;
    c.gop = gop;
    c.vi_fps = viFps;
    c.fps = fps;
    c.tv_norm = norm;
    c.auto_enc = autoEnc;
    c.channel_id = channel;
    c.av_type = av;
    return c;
}

}  // namespace

CCommAVCapture::CCommAVCapture()
    : CThread(FALSE, 0, 0),
      m_enNorm(VIDEO_ENCODING_MODE_NTSC),
      m_nSensorInputFrameRate(m_enNorm == VIDEO_ENCODING_MODE_NTSC ? 30 : 25),
      m_ChnNum(0),
      m_SensorMode(PANASONIC_MN34222_MIPI_1080P_30FPS),
      m_SensorInputResolution(PIC_HD1080),
      m_PxlFmt(PIXEL_FORMAT_YUV_SEMIPLANAR_420),
      m_InputSensors(1),
      m_bMirror(TRUE),
      m_bFlip(TRUE),
      m_enRotate(ROTATE_NONE),
      m_ISPThead(0),
      m_RCType(RCTYPE_CBR),
      m_VpssGrp(0),
      m_lpTmpFrmBuff(nullptr),
      m_TmpFrmBuffLen(512),
      m_isoutputvolumemute(FALSE),
      m_PauseCapture(FALSE),
      m_AeStrategy(AE_EXP_HIGHLIGHT_PRIOR),
      m_UseHighestContrastGamma(FALSE),
      m_EnableAudioIn(TRUE),
      m_VoCfg{-1, -1, -1},
      m_EnableParkingMonitor(FALSE),
      m_ParkingTimeThreshold(3),
      m_RecordMode(1),
      m_RecordFraRate(0),
      m_RecordRes(0),
      m_RecordBitrate(0),
      m_bCaptureRunning(FALSE),
      m_CaptureSelf(),
      m_bPauseAcked(FALSE),
      m_bDrainRequest(FALSE),
      m_DrainStatus(HI_SUCCESS),
      m_bAudioEncInSet(TRUE)
{
    FD_ZERO(&m_FdsAVChnRead);
    for (int& c : m_VpssChn) {
        c = -1;
    }
    for (int i = 0; i < 4; ++i) {
        m_VencGrp[i] = -1;
        m_VencChn[i] = -1;
        m_VencBindChn[i] = -1;
    }
    const unsigned fps = static_cast<unsigned>(m_nSensorInputFrameRate);
    m_ChnCfg[ENCODE_CHN_H264_MAIN] = Row(PT_H264, RCTYPE_CBR, PIC_HD1080, 8192, 0, fps, fps, fps, m_enNorm, TRUE, 0,
                                         AVDATA_TYPE_VIDEO);
    m_ChnCfg[ENCODE_CHN_H264_SUB] = Row(PT_H264, RCTYPE_CBR, PIC_VGA, 1024, 0, 25, fps, 25, m_enNorm, TRUE, 1,
                                        AVDATA_TYPE_VIDEO);
    m_ChnCfg[ENCODE_CHN_JPEG_MAIN] = Row(PT_JPEG, RCTYPE_CBR, PIC_HD1080, 0, 90, 0, fps, 5, m_enNorm, FALSE, 2,
                                         AVDATA_TYPE_IMAGE);
    m_ChnCfg[ENCODE_CHN_JPEG_SUB] = Row(PT_JPEG, RCTYPE_CBR, PIC_QCIF, 0, 90, 0, fps, 1, m_enNorm, TRUE, 3,
                                        AVDATA_TYPE_IMAGE);
    m_ChnCfg[ENCODE_CHN_AUDIO_AAC] = Row(PT_AAC, RCTYPE_CBR, PIC_QCIF, 0, 0, 0, 0, 0, VIDEO_ENCODING_MODE_PAL, FALSE,
                                         4, AVDATA_TYPE_AUDIO);
}

PIC_SIZE_E CCommAVCapture::OldResolutionMode = PIC_HD1080;
BOOL CCommAVCapture::m_bOldResolutionSet = FALSE;
int CCommAVCapture::ResModeSwitchCount = 0;
int CCommAVCapture::LastParkingFlag = 0;
BOOL CCommAVCapture::m_bLastParkingSet = FALSE;

CCommAVCapture::~CCommAVCapture()
{
    free(m_lpTmpFrmBuff);
    m_lpTmpFrmBuff = nullptr;
}

int CCommAVCapture::Setting(const char* key, int default_int)
{
    return m_Roles.settings != nullptr ? m_Roles.settings->GetInt("funcset", key, default_int) : default_int;
}

BOOL CCommAVCapture::PauseRecorder(BOOL bFlushBuffer, BOOL bImmediately)
{
    return m_Roles.record != nullptr && m_Roles.record->PauseAllRecord(bFlushBuffer, bImmediately);
}

BOOL CCommAVCapture::RecorderParking()
{
    return m_Roles.record != nullptr && m_Roles.record->GetParkingFlag();
}

void CCommAVCapture::ChangeLinkage(emAlarmType alarm, unsigned add, unsigned remove)
{
    if (m_Roles.linkages != nullptr) {
        m_Roles.linkages->LinkageConfig(alarm, add, remove);
    }
}

BOOL CCommAVCapture::ParkingVoice()
{
    return m_Roles.prompts != nullptr && m_Roles.settings != nullptr && m_Roles.settings->GetParkingVoiceCfg() == 1;
}

BOOL CCommAVCapture::SnapshotAssociatesVideo()
{
    return m_Roles.settings != nullptr && m_Roles.settings->GetSnapshotAssociateVideoCfg() == 1;
}

BOOL CCommAVCapture::InitImageSensor()
{
    int ret = sensor_register_callback();
    if (ret != 0) {
        XERROR("sensor_register_callback() failed with %#x\n", ret);
        return FALSE;
    }
    printf("Init Sensor OK...\n");
    return TRUE;
}

BOOL CCommAVCapture::CleanUpImageSensor()
{
    sensor_unregister_callback();
    printf("CleanUp Sensor OK...\n");
    return TRUE;
}
