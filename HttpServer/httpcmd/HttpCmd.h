#ifndef HTTPSERVER_HTTPCMD_HTTPCMD_H
#define HTTPSERVER_HTTPCMD_HTTPCMD_H

#include <cstdint>

#include "HttpServer/httpcmd/ProductInfoBridge.h"
#include "Platform/MpiIspTuning.h"
#include "Platform/MpiVi.h"
#include "Record/RecordListCache.h"
#include "Record/RecordTypes.h"

// The web server's bridges to the application: plain functions, 0 for
// success and -1 for failure unless told otherwise.

// Lists: the length written, -1 when it does not fit or the card is not usable.
int GetCommonVideoJson(char* buf, int len);
int GetAlarmVideoJson(char* buf, int len);
int GetAlarmJpgJson(char* buf, int len);
int GetGPSDataFileJson(char* buf, int len);
// A recording list as shared bytes, at most `largest` (CRecord::GetFileList).
emListBuild GetRecordFileList(emRecFileType type, size_t largest, RecordListBytes& out);
// Raw text of the settings file: its byte count or -1.
int GetIniConfig(char* buf, int len);

int DeleteAlarmVideoFile(const char* filename);
int DeleteCommonVideoFile(const char* filename);
int DeleteAlarmImageFile(const char* filename);
int CleanAllCommonVideoFile();
int CleanAllAlarmVideoFile();
int CleanAllAlarmImgFile();

int ForceFactoryTest();
int ForceFactoryTestDone();
// -1 when the variable cannot be set, -2 when saving failed, else 0.
int SetUbootEnv(const char* name, const char* value, int save);
// A copy of the value owned by the bridge, valid until its next call; null
// when unset.
const char* GetUbootEnv(const char* name);

// The card's emSDState bits; 0 without a card.
int GetSDCardState();
// The state is always written; 0/-1 of the space query.
int GetSDInfo(int* state, uint64_t* totalspace, uint64_t* freespace);
int GetFileSize(uint64_t* commonvideo, uint64_t* alarmvideo, uint64_t* alarmimage);
int GetFileSpaceQuotaOnSD(uint32_t* commonvideo, uint32_t* alarmvideo, uint32_t* alarmimage);
int SetFileSpaceQuotaOnSD(uint32_t commonvideo, uint32_t alarmvideo, uint32_t alarmimage);
// 0, -1 no card, -2 unmount failed, -3 format failed.
int FormatSD();
// buff_len: the capacity on entry, the JPEG's length on return.
int CaptureMainImage(char* buff, uint32_t* buff_len);

int GetExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc);
int GetDisplaySpeedOSD(int* display);
int SetDisplaySpeedOSD(int display);
int EnableCVBSOutput();
int DisableCVBSOutput();
int GetLDCAttr(VI_LDC_ATTR_S* attr);
int SetLDCAttr(VI_LDC_ATTR_S* attr);
int SetAEAttr(uint32_t strategy);
int SetUseHighestContrastGamma(int use);
int FPNCalibration();
int GetIRSensorParam(uint32_t* initvalue, uint32_t* threshold, uint32_t* curvalue, uint32_t* maxvalue,
                     uint32_t* minvalue);
int SetIRSensorParam(uint32_t initvalue, uint32_t threshold);
int CorrectIRSensor();
int GetGSensorParam(float* threshold);
int SetGSensorParam(float threshold);
// Pollable descriptor of encoder channel 1, below 0 on failure.
int GetSubStreamEncFD();

// Stubs: no effect, -1.
int SwitchToTrainMode();
int SwitchToWakeupMode();
int StartVoiceTrain(int index, const char* name, uint32_t linkage);
int ContinueVoiceTrain();
int RestartVoiceTrain();
int CancelVoiceTrain(int continous);
int VoiceTrainDone();
int GetHWVoiceWakeUpInfoAsJSON(char* jsonbuff, int* bufflen);
int GetAEGlobalHist5Statistics(void* stats, void* histThresh);
int SetCSCAttr();
int GetCSCAttr();

// The web command's pause of recording, capture and snapshots (one hold of
// its own among the pause reasons), and its release.
void PauseRecord();
int ResumeRecord();
// One hold per speed-test download, and its release.
void PauseRecordForSpeedTest();
void ResumeRecordForSpeedTest();

// Wi-Fi texts: valid until the next call of the same bridge; null when the
// tool printed no usable line.
const char* GetWifiMacStr();
const char* GetWifiSignalLevelStr();

// Live sub-stream of encoder channel 1: bytes copied, 0 when nothing is
// ready, -1 when the pack table cannot be had. init: drop what is queued and
// wait (about 1.5 s) for a frame starting with an IDR picture.
int GetH264SubStreamData(char* buff, int buff_len, int init);
// One frame (SPS, PPS and slices, no SEI); a frame larger than buff_len is
// dropped (0). With no buffer the frame is only taken (1).
int GetFrame(uint8_t* buff, int buff_len, int* idr);

#endif
