#ifndef HTTPSERVER_HTTPCMD_WEBBRIDGEPORTS_H
#define HTTPSERVER_HTTPCMD_WEBBRIDGEPORTS_H

#include "AVCapture/CaptureControls.h"
#include "Function/Shell.h"
#include "Function/types.h"
#include "IniConfig/Settings.h"
#include "OSD/SpeedOverlay.h"
#include "Periphery/CardUpkeep.h"
#include "Periphery/SensorTests.h"
#include "Platform/MpiIspTuning.h"
#include "Platform/MpiVenc.h"
#include "Platform/MpiVi.h"
#include "Record/RecordControl.h"
#include "Record/RecordFiles.h"
#include "Record/RecordListCache.h"
#include "Record/RecordTypes.h"
#include "Roles/BootEnv.h"
#include "Roles/CardFiles.h"
#include "Snapshot/SnapshotControl.h"

// What the web bridges alone reach: the recording engine's and the GPS
// receiver's lists, the factory retest, the app's picture, the image
// controls and encoder channel 1.
class CWebBridgePorts {
public:
    virtual ~CWebBridgePorts() = default;

    // ---- lists: the length written, -1 when it does not fit ----
    virtual int GetCommonVideoFileAsJson(char* buf, int len) = 0;
    virtual int GetAlarmVideoFileAsJSON(char* buf, int len) = 0;
    virtual int GetAlarmImgFileAsJSON(char* buf, int len) = 0;
    // A category's list as shared bytes, at most `largest`. Here built anew
    // by the builder above in buffers of 2 MiB and up; the camera's comes
    // from the recording engine, built once per change of its index.
    virtual emListBuild GetFileList(emRecFileType type, size_t largest, RecordListBytes& out);
    virtual int GetGPSFileListAsJSON(char* buf, int len) = 0;

    // ---- factory test ----
    virtual BOOL ForceRetest() = 0;
    virtual BOOL ForceTestDone() = 0;

    // ---- the picture and the image controls ----
    virtual BOOL Capture(unsigned char* buf, unsigned* len) = 0;
    virtual int GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc) = 0;
    virtual BOOL GetLDCAttr(VI_LDC_ATTR_S* attr) = 0;
    virtual BOOL SetLDCAttr(const VI_LDC_ATTR_S* attr) = 0;
    virtual BOOL SetAEAttr(unsigned strategy) = 0;
    virtual BOOL SetUseHighestContrastGamma(int use) = 0;
    virtual BOOL FPNCalibrate() = 0;
    // 15 x 17 zones x 5 bins of 16-bit counts, and 4 threshold bytes.
    virtual int GetAEGlobalHist5Statistics(void* stats, void* histThresh) = 0;

    // ---- encoder channel 1 ----
    virtual int GetVEncFD(int chn) = 0;
    virtual HI_S32 VencQuery(VENC_CHN chn, VENC_CHN_STAT_S* stat) = 0;
    virtual HI_S32 VencGetStream(VENC_CHN chn, VENC_STREAM_S* stream, HI_S32 ms) = 0;
    virtual HI_S32 VencReleaseStream(VENC_CHN chn, VENC_STREAM_S* stream) = 0;
};

// Everything the bridges reach. A bridge whose part is missing fails (-1),
// a list is empty, a pause or resume does nothing.
typedef struct tagWebBridgeRoles {
    CWebBridgePorts* ports;
    CRecordControl* record;
    CRecordFiles* files;
    CSettings* settings;        // the settings file
    CBootEnv* env;
    CCardFiles* card;           // the card's state
    CCardUpkeep* upkeep;        // its space and format
    CSnapshotControl* snapshots;
    CCaptureControls* capture;  // pause, resume, the analogue output
    CSpeedOverlay* speed;
    CSensorTests* sensors;
    CShell* shell;
} WebBridgeRoles;

#endif
