#ifndef AVCAPTURE_COMMAVCAPTURE_H
#define AVCAPTURE_COMMAVCAPTURE_H

// The road of a recorded frame:
//   the image sensor's driver (hi3516cv200/sony_imx291/imx291_cmos.cpp or
//   hi3516cv200/panasonic_mn34222/mn34222_cmos.cpp, picked from the strap
//   pins) is registered with the ISP, which runs on its own thread
//   (hi3516cv200/AVCaptureIsp.cpp); the video input feeds the processing
//   group (Vpss.cpp), whose channels are bound to the four encoder channels
//   (VideoEnc.cpp, over the buffer pools of VideoCache.cpp), the microphone
//   the AAC encoder (Audio.cpp, AacEncoder.cpp). The capture thread
//   (CaptureThread.cpp) waits on encoder channels 0 and 3 and the AAC
//   encoder, takes each stream and hands it with its channel row to the
//   sink (CCaptureSink): on the camera the recording engine's
//   CRecord::IncommingPacket, whose road (Record/Record.h) ends in the MP4
//   file on the card.

// The common part of the camera object: the five encoded streams and the
// media objects behind them (buffer pools and the media system, the
// processing group fed from the video input, the four video encoder channels
// bound to its channels), the capture thread that hands every packet to the
// recorder, and the run-time controls (pause, resolution and parking
// switches, audio encoder, analogue output). The SoC-specific subclass
// CAVCapture brings the platform up and down around these steps.
//
// Capture thread and controls: a pause is acknowledged by the thread at the
// top of its cycle; a switch waits for that before it destroys encoders. A
// resume hands the drain of stale packets to the thread while it runs, so
// only one reader ever takes streams. Switches, pause and resume are
// serialised by m_Mutex.

#include <sys/select.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "AVCapture/Audio.h"
#include "AVCapture/CaptureRoles.h"
#include "Function/types.h"
#include "MultiTask/Thread.h"
#include "Platform/MediaTypes.h"
#include "Platform/MpiIsp.h"
#include "Platform/MpiTypes.h"
#include "Platform/MpiVenc.h"
#include "Platform/MpiVi.h"
#include "Platform/MpiVo.h"

class CCommAVCapture : public CThread {
public:
    // Index into the stream table.
    enum emEncodeChn {
        ENCODE_CHN_H264_MAIN = 0,
        ENCODE_CHN_H264_SUB = 1,
        ENCODE_CHN_JPEG_MAIN = 2,
        ENCODE_CHN_JPEG_SUB = 3,
        ENCODE_CHN_AUDIO_AAC = 4,
        ENCODE_CHN_MAX = 5,
    };

    // Sensor and interface modes (the ones this system names).
    enum emSensorMode {
        APTINA_AR0130_DC_720P_30FPS = 0,
        APTINA_9M034_DC_720P_30FPS = 1,
        SONY_IMX122_DC_1080P_30FPS = 5,
        SONY_IMX290_MIPI = 29,
        SONY_IMX122_DC_720P_30FPS = 30,
        SONY_IMX323_DC_1080P_30FPS = 31,
        PANASONIC_MN34222_MIPI_1080P_30FPS = 32,
        OMNIVISION_OV9752_MIPI_720P_30FPS = 33,
        IMAGE_SENSOR_MODE_BUTT = 34,
    };

    // Argument of ResetVencChnAttr.
    struct VencChnChgMode {
        int mode;
        int frmRate;
        int bitRate;
        PIC_SIZE_E resMode;
    };

    CCommAVCapture();
    ~CCommAVCapture() override;

    // The recorder, overlays, prompts, linkages, factory flags and settings
    // it reaches (not owned), before Init.
    void Bind(const CaptureRoles& roles) { m_Roles = roles; }

    // The capture thread.
    void ThreadProc() override;
    virtual BOOL Init() = 0;
    virtual BOOL CleanUp() = 0;
    virtual BOOL SetVideoMirror(int bMirror, int bFlip);
    virtual BOOL FPNCalibrate();

    // Buffer block size of a picture; 1 with the size, or 0.
    virtual BOOL CalcPicVbBlkSize(VIDEO_NORM_E enNorm, PIC_SIZE_E enPicSize, PIXEL_FORMAT_E enPixFmt,
                                  HI_U32 u32AlignWidth, unsigned& size);
    virtual BOOL InitSDKVideoCache();
    virtual BOOL CleanUpSDKVideoCache();
    virtual BOOL InitImageSensor();
    virtual BOOL CleanUpImageSensor();
    virtual BOOL InitISP() = 0;
    virtual BOOL CleanUpISP() = 0;
    virtual BOOL ISPTuning() = 0;
    virtual BOOL ResetVencChnAttr(int chn, VencChnChgMode* mode);
    virtual BOOL SetRecordMode(int mode);

    // Pollable descriptor of AAC channel 0 (chn 4) or of video channel chn;
    // negative on failure.
    int GetVEncFD(int chn);
    int GetVEncChannelId(int chn);
    BOOL GetChannelResolution(int chn, unsigned& width, unsigned& height);
    BOOL PauseCapture();
    // Drops the packets that waited while paused, then capture goes on;
    // the last SDK status of the drain (0 when capture was not paused).
    HI_S32 ResumeCapture();
    BOOL EnableAudioEnc(int enable);
    BOOL SyncEncPTS();
    void SetAEAttr(ISP_AE_STRATEGY_E strategy);
    void SetUseHighestContrastGamma(BOOL bUse);
    // Main stream 720p (0) or 1080p (other values).
    BOOL ResolutionSwitch(int ResolutionMode);
    void SetParkingMonitoringEnable(int enable);
    void SetParkingMonitoringTimeThreshlod(unsigned seconds);
    // Enters (not 0) or leaves parking time-lapse.
    BOOL ParkingMonitoringEnable(int enable);
    // The parking settings (threshold in minutes) and a channel's output
    // frame rate, as the motion sensors read them.
    BOOL GetParkingMonitoringEnable() const { return m_EnableParkingMonitor.load(); }
    unsigned GetParkingMonitoringTimeThreshold() const { return m_ParkingTimeThreshold.load(); }
    unsigned GetChannelFps(int chn);
    BOOL StartVO();
    BOOL StopVO();
    static BOOL GetVOParam(VO_INTF_SYNC_E enIntfSync, unsigned* width, unsigned* height, unsigned* frameRate);
    BOOL SetLDCAttr(const VI_LDC_ATTR_S* attr);
    BOOL GetLDCAttr(VI_LDC_ATTR_S* attr);

    // Width and height of a picture-size code (the first five rows by norm);
    // 0 for a code without a row.
    static BOOL GetPicSize(VIDEO_NORM_E enNorm, PIC_SIZE_E enPicSize, SIZE_S* pstSize);

    BOOL InitVPSS();
    BOOL CleanUpVPSS();
    BOOL GetH264ChnAttr(VIDEO_NORM_E enNorm, unsigned vi_fps, PIC_SIZE_E enPicSize, emStreamRCType rc,
                        unsigned bitrate, unsigned fps, unsigned gop, VENC_CHN_ATTR_S& attr);
    BOOL GetJpegChnAttr(VIDEO_NORM_E enNorm, PIC_SIZE_E enPicSize, VENC_CHN_ATTR_S& attr);
    BOOL InitVideoEnc();
    BOOL CleanUpVideoEnc();
    // Audio codec, input and output of m_AudioCapture, and their clean-ups.
    BOOL InitSDKAudioIO();
    BOOL CleanUpSDKAudioIO();

    // Speaker volume 0..20 (0 mutes the speaker without touching the codec).
    BOOL SetVolume(int volume);
    BOOL GetIsOutputVolumeMute();
    // Microphone mute on the codec; always 1 ("ioctl err!" for a failed request).
    BOOL AudioInputMuteEnable();
    BOOL AudioInputMuteDisable();

protected:
    // Analogue output: device, channel and the bound input channel (-1: none).
    struct tagVoCfg {
        int voDev;
        int voChn;
        int bindViChn;
    };

    // Drops any earlier media state, then brings pools 1 to 3 (block sizes
    // and counts) and the media system up.
    static BOOL InitPools(const unsigned size[3], const unsigned count[3]);

    // Capture thread steps.
    void CaptureLoop(const int fds[3], int maxfd);
    void EndCapture();
    // Non-blocking drain of AAC channel 0, then of video channels 0 and 3.
    static HI_S32 DrainStreams();
    static HI_S32 DrainAudio();
    // Sets the pause and, while the thread runs, waits until it has seen it.
    void PauseAndWait();
    BOOL OnCaptureThread();
    // Rebuilds the encoders after a failed switch with the row given.
    void RestoreEncoders(const tagChannelConfig& row);
    // The bound parts, with the answers of a missing one.
    int Setting(const char* key, int default_int);
    BOOL PauseRecorder(BOOL bFlushBuffer, BOOL bImmediately);
    BOOL RecorderParking();
    void ChangeLinkage(emAlarmType alarm, unsigned add, unsigned remove);
    // The parking prompts are on (and there is a player for them).
    BOOL ParkingVoice();
    BOOL SnapshotAssociatesVideo();

    CaptureRoles m_Roles{};

    // Switch state of the process.
    static PIC_SIZE_E OldResolutionMode;
    static BOOL m_bOldResolutionSet;
    static int ResModeSwitchCount;
    static int LastParkingFlag;
    static BOOL m_bLastParkingSet;

    VIDEO_NORM_E m_enNorm;
    int m_nSensorInputFrameRate;
    int m_ChnNum;                        // video encoder channels created
    emSensorMode m_SensorMode;           // the detected sensor (set by the SoC class)
    PIC_SIZE_E m_SensorInputResolution;  // the processing group's input
    PIXEL_FORMAT_E m_PxlFmt;
    int m_InputSensors;                  // input devices, also input channels
    std::atomic<BOOL> m_bMirror;  // set by a control thread, read by the capture thread
    std::atomic<BOOL> m_bFlip;
    ROTATE_E m_enRotate;
    pthread_t m_ISPThead;
    emStreamRCType m_RCType;
    int m_VpssGrp;
    int m_VpssChn[8];                    // processing channels set up, -1 unused
    int m_VencGrp[4];
    int m_VencChn[4];                    // encoder channels created, -1 none
    int m_VencBindChn[4];                // processing channel bound to each encoder, -1 none
    tagChannelConfig m_ChnCfg[ENCODE_CHN_MAX];
    uint8_t* m_lpTmpFrmBuff;             // pack records of the capture thread
    unsigned m_TmpFrmBuffLen;
    std::atomic<BOOL> m_isoutputvolumemute;  // read by the prompt player
    std::atomic<BOOL> m_PauseCapture;
    std::atomic<ISP_AE_STRATEGY_E> m_AeStrategy;
    std::atomic<BOOL> m_UseHighestContrastGamma;
    std::atomic<BOOL> m_EnableAudioIn;
    fd_set m_FdsAVChnRead;               // the capture thread's own
    tagVoCfg m_VoCfg;
    std::atomic<BOOL> m_EnableParkingMonitor;      // set from the web and app threads
    std::atomic<unsigned> m_ParkingTimeThreshold;
    int m_RecordMode;
    int m_RecordFraRate;
    int m_RecordRes;
    int m_RecordBitrate;
    CAudioCapture m_AudioCapture;

    // Between the capture thread and the controls, under m_StateLock.
    std::mutex m_StateLock;
    std::condition_variable m_StateCond;
    BOOL m_bCaptureRunning;              // the thread is inside its loop
    pthread_t m_CaptureSelf;
    BOOL m_bPauseAcked;                  // the thread has seen the pause
    BOOL m_bDrainRequest;                // a resume waits for the thread's drain
    HI_S32 m_DrainStatus;
    BOOL m_bAudioEncInSet;               // the AAC encoder is read
    // Row changes made while the thread may read the row.
    std::mutex m_CfgLock;
};

// The base sensor hooks of the common class: do nothing, return 0.
extern "C" int sensor_register_callback(void);
extern "C" int sensor_unregister_callback(void);

#endif
