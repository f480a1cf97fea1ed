#include "Record/Record.h"

#include <cstdio>
#include <cstring>

#include "Function/common.h"
#include "IniConfig/IniConfig.h"
#include "Periphery/GPIO.h"
#include "Platform/BoardRoot.h"
#include "Platform/SchedReset.h"
#include "Record/MP4/MP4File.h"
#include "Record/RecordPacker.h"

namespace {

const int kRecorderStartFlags =
    emRecordFileFlag_Continuous | emRecordFileFlag_Stopped | emRecordFileFlag_Paused;

// A percentage of the card from the settings; the default when the store is
// not loaded or holds no percentage.
unsigned XQuotaSetting(const char* key, unsigned def)
{
    const int v = CIniConfig::instance()->GetInt("storageset", key, static_cast<int>(def));
    return (v < 0 || v > 100) ? def : static_cast<unsigned>(v);
}

// Makes the pools of index nodes, snapshot records and trigger nodes: a
// function-local static made before the engine is deleted after it at exit.
void XKeepRecordPools()
{
    CRecordFileIndexNodeManager::instance();
    CAssociatedDataManager::instance();
    CTimeTypeMappingNodeManager::instance();
}

}  // namespace

// The pools the engine takes from are made while it is, so that they are
// deleted after it at exit.
CRecord::CRecord() : CRecord(new CMP4File(), new CRecordSDCard(), new CRecordPacker())
{
    // The process's engine keeps its open file's recovery data on the card.
    EnableSpill();
}


CRecord::CRecord(CRecordFile* lpRecorder, CRecordCard* lpCard, CRecordFinisher* lpFinisher, uint32_t nRingSize)
    : m_RecordResolution(PIC_HD1080),
      m_ParkingFlag(FALSE),
      m_SDState(0),
      m_szSDMountPath(),
      m_lpRecorder(lpRecorder),
      m_lpCard(lpCard),
      m_lpFinisher(lpFinisher),
      m_emNextRecordFileType(emRecordFileType_Common),
      m_lpNextRecordFileDuration(nullptr),
      m_lpPrevRecordFileLeftDuration(nullptr),
      m_lpNextRecordFileAssociatedData(nullptr),
      m_TimeScale(90000),
      m_RecordChnFps(30),
      m_RecordChnGop(30),
      m_RecordChnWidth(1920),
      m_RecordChnHeight(1080),
      m_nSensorFps(30),
      m_AlarmPreRecordTime(150),
      m_AlarmRecordDelayTime(150),
      m_AlarmRecordLeftTime(0),
      m_CommonRecordDuration(5400),
      m_CommonRecordThumbGranularity(600),
      m_ResFlag(1080),
      m_CommonRecordFileIndex(emRecFileType_CommonVideo),
      m_AlarmRecordFileIndex(emRecFileType_AlarmVideo),
      m_AlarmImageFileIndex(emRecFileType_AlarmImage),
      m_nMaxCommonVideoSize(~0ULL),
      m_nMaxAlarmVideoSize(~0ULL),
      m_nMaxAlarmImageSize(~0ULL),
      m_nCommonVideoOnSDQuota(65),
      m_nAlarmVideoOnSDQuota(30),
      m_nAlarmImageOnSDQuota(5),
      m_Ring(nRingSize),
      m_Intake(m_Ring, this),
      m_bFactoryTesting(FALSE),
      m_nLedOnOffRate(30),
      m_nLedCounter(0),
      m_bLedState(FALSE),
      m_bTitleWaiting(FALSE),
      m_bThumbsWaiting(FALSE),
      m_bCallbackRegistered(FALSE),
      m_CanbeRecord(FALSE),
      m_nOpenFirstSeq(0)
{
    XKeepRecordPools();
    m_Intake.SetCachingTime(30 * 6);
    if (m_lpRecorder) {
        m_lpRecorder->SetFlag(kRecorderStartFlags);
    }
}

CRecord::~CRecord()
{
    // The flusher goes before anything it reads.
    m_lpSpill.reset();
    // The card side may be gone already at exit: CleanUp unregisters first.
    // The pools were made before the engine and are still there.
    if (m_lpRecorder && (m_lpRecorder->GetFlag() & emRecordFileFlag_Recording)) {
        m_lpRecorder->StopRecord();
    }
    ReleasePoolObjects();
}

void CRecord::ReleasePoolObjects()
{
    ResetNextRecordToCommon();
    if (m_lpRecorder) {
        CAssociatedData* records = nullptr;
        m_lpRecorder->GetAssociatedData(records, TRUE);
        XPutAssociatedDataList(records);
    }
    CleanAllFileIndex();
}

BOOL CRecord::Init(int fps, int gop, unsigned width, unsigned height)
{
    if (fps <= 0) {
        XERROR("Init: frame rate %d refused\n", fps);
        return FALSE;
    }
    {
        CGuard guard(m_Mutex);
        m_RecordChnFps = fps;
        m_nSensorFps = fps;
        m_RecordChnGop = gop;
        m_RecordChnWidth = width;
        m_RecordChnHeight = height;
        m_TimeScale = fps * 3000;
        m_AlarmPreRecordTime = static_cast<unsigned>(fps) * 5;
        m_AlarmRecordDelayTime = static_cast<unsigned>(fps) * 5;
        m_CommonRecordDuration = static_cast<unsigned>(fps) * 180;
        m_CommonRecordThumbGranularity = static_cast<unsigned>(fps) * 20;
        m_Intake.SetWillDiscardFrame(static_cast<uint32_t>(fps) * 2);
        m_nLedOnOffRate = fps;
        m_nCommonVideoOnSDQuota = XQuotaSetting("commonvideoonsdquota", 65);
        m_nAlarmVideoOnSDQuota = XQuotaSetting("alarmvideoonsdquota", 30);
        m_nAlarmImageOnSDQuota = XQuotaSetting("alarmimageonsdquota", 5);
    }
    if (!m_lpCard) {
        return FALSE;
    }
    m_lpCard->SetRecordClient(this);
    m_bCallbackRegistered = m_lpCard->RegisterStateCallback(SDCardStateChange, this);
    return m_bCallbackRegistered;
}

BOOL CRecord::CleanUp()
{
    if (m_lpCard) {
        if (m_bCallbackRegistered) {
            m_lpCard->UnregisterStateCallback(SDCardStateChange, this);
            m_bCallbackRegistered = FALSE;
        }
        m_lpCard->SetRecordClient(nullptr);
    }
    if (m_lpSpill) {
        m_lpSpill->Stop();
    }
    CGuard guard(m_Mutex);
    if (m_lpRecorder && (m_lpRecorder->GetFlag() & emRecordFileFlag_Recording)) {
        m_lpRecorder->StopRecord();
    }
    if (m_lpSpill) {
        // The open file has its trailer: the cache has nothing to add to it.
        m_lpSpill->Close(TRUE);
    }
    // Nothing taken from a pool outlives the shut-down step: the indexes are
    // empty and the pending triggers and records are back before any static
    // object is deleted.
    ReleasePoolObjects();
    return TRUE;
}

int CRecord::SDCardStateChange(int state, void* priv)
{
    if (priv != nullptr) {
        static_cast<CRecord*>(priv)->OnSDCardStateChange(state);
    }
    return 0;
}

BOOL CRecord::IsCardUsable() const
{
    return XSDStateWritable(m_SDState.load()) ? TRUE : FALSE;
}

BOOL CRecord::FetchMountPath()
{
    if (m_szSDMountPath[0] != '\0') {
        return TRUE;
    }
    char path[sizeof(m_szSDMountPath) + 1] = {0};
    if (!m_lpCard || !m_lpCard->GetMountPath(path, sizeof(path)) || path[0] == '\0' ||
        strlen(path) >= sizeof(m_szSDMountPath)) {
        m_szSDMountPath[0] = '\0';
        return FALSE;
    }
    strcpy(m_szSDMountPath, path);
    return TRUE;
}

int CRecord::OnSDCardStateChange(int state)
{
    CGuard guard(m_Mutex);
    m_SDState = state;
    printf("IN CRecord SD STATE CALLBACK...\n");
    CleanAllFileIndex();
    if (!((state & emSDState_Insert) && (state & emSDState_Mount))) {
        // The card is going away: nothing may stay open on it, so the
        // unmount can succeed.
        m_CanbeRecord = FALSE;
        CloseForLostCard();
        if (m_lpSpill) {
            m_lpSpill->Close(FALSE);
        }
        if (m_lpRecorder) {
            m_lpRecorder->AddFlag(emRecordFileFlag_Stopped);
            m_lpRecorder->RmFlag(emRecordFileFlag_Continuous);
        }
        m_szSDMountPath[0] = '\0';
        return 0;
    }
    m_szSDMountPath[0] = '\0';
    if (FetchMountPath() && m_lpFinisher) {
        const std::string root = XBoardPath(m_szSDMountPath);
        m_lpFinisher->ScanCard(root.c_str(), m_CommonRecordFileIndex, m_AlarmRecordFileIndex,
                               m_AlarmImageFileIndex);
        m_CommonRecordFileIndex.DumpInfo(m_szSDMountPath);
        m_AlarmRecordFileIndex.DumpInfo(m_szSDMountPath);
        m_AlarmImageFileIndex.DumpInfo(m_szSDMountPath);
    }
    if (!IsCardUsable()) {
        m_CanbeRecord = FALSE;
        CloseForLostCard();
        if (m_lpSpill) {
            m_lpSpill->Close(FALSE);
        }
        StopAllRecord(0, 1);
        return 0;
    }
    if (m_lpSpill && m_szSDMountPath[0] != '\0') {
        // After the scan, which took what the last spill held.
        m_lpSpill->Open(XBoardPath(m_szSDMountPath).c_str(), m_Ring.GetHeadSeq(), m_Ring.GetSize() / 2);
    }
    UpdateByteLimits();
    StartCommonRecord();
    m_CanbeRecord = TRUE;
    return 0;
}

void CRecord::CloseForLostCard()
{
    // An alarm pending for the lost card does not open a file on the next one.
    ResetNextRecordToCommon();
    if (!m_lpRecorder || !(m_lpRecorder->GetFlag() & emRecordFileFlag_Recording)) {
        return;
    }
    printf("CARD GONE, CLOSING THE RECORD FILE AT ONCE...\n");
    const BOOL bComplete = m_lpRecorder->StopRecord();
    tagRecordFinishInfo info;
    FillFinishInfo(info, bComplete);
    XDeleteWaitingImages(info);
    m_bTitleWaiting = FALSE;
    m_bThumbsWaiting = FALSE;
    if (info.emType == emRecordFileType_Alarm) {
        CAssociatedData* records = nullptr;
        m_lpRecorder->GetAssociatedData(records, TRUE);
        XPutAssociatedDataList(records);
    }
}

void CRecord::ContinueRecord(int clearedFlag)
{
    CGuard guard(m_Mutex);
    m_lpRecorder->RmFlag(clearedFlag);
    if (IsCardUsable()) {
        m_lpRecorder->AddFlag(emRecordFileFlag_Continuous);
        if (!(m_lpRecorder->GetFlag() & emRecordFileFlag_Recording)) {
            m_lpRecorder->AddFlag(emRecordFileFlag_StartNext);
        }
    }
}

void CRecord::HaltRecord(int setFlag, BOOL bFlushBuffer, BOOL bImmediately)
{
    CGuard guard(m_Mutex);
    if (bFlushBuffer) {
        m_Intake.FlushRingBuffer();
    }
    m_lpRecorder->AddFlag(setFlag);
    m_lpRecorder->RmFlag(emRecordFileFlag_Continuous);
    CheckPackRecord(bImmediately);
}

BOOL CRecord::StartCommonRecord()
{
    ContinueRecord(emRecordFileFlag_Stopped);
    printf("STARTING COMMON RECORD...\n");
    return TRUE;
}

BOOL CRecord::ResumeCommonRecord()
{
    ContinueRecord(emRecordFileFlag_Paused);
    printf("RESUME COMMON RECORD...\n");
    return TRUE;
}

BOOL CRecord::StopAllRecord(BOOL bFlushBuffer, BOOL bImmediately)
{
    HaltRecord(emRecordFileFlag_Stopped, bFlushBuffer, bImmediately);
    return TRUE;
}

BOOL CRecord::PauseAllRecord(BOOL bFlushBuffer, BOOL bImmediately)
{
    HaltRecord(emRecordFileFlag_Paused, bFlushBuffer, bImmediately);
    return TRUE;
}

int CRecord::GetIsPauseRecord()
{
    CGuard guard(m_Mutex);
    return m_lpRecorder->GetFlag() & (emRecordFileFlag_Paused | emRecordFileFlag_Stopped);
}

int CRecord::GetRecorderFlag()
{
    CGuard guard(m_Mutex);
    return m_lpRecorder->GetFlag();
}

int CRecord::GetResFlag()
{
    CGuard guard(m_Mutex);
    return m_ResFlag;
}

void CRecord::GetByteLimits(uint64_t& common, uint64_t& alarm, uint64_t& image)
{
    CGuard guard(m_Mutex);
    common = m_nMaxCommonVideoSize;
    alarm = m_nMaxAlarmVideoSize;
    image = m_nMaxAlarmImageSize;
}

void CRecord::SetFactoryTesting(BOOL bTesting)
{
    CGuard guard(m_Mutex);
    m_bFactoryTesting = bTesting;
}

void CRecord::SetLedOnOffRate(int frames)
{
    CGuard guard(m_Mutex);
    m_nLedOnOffRate = frames;
}

void CRecord::CleanAllFileIndex()
{
    CGuard guard(m_Mutex);
    m_CommonRecordFileIndex.CleanAllFile();
    m_AlarmRecordFileIndex.CleanAllFile();
    m_AlarmImageFileIndex.CleanAllFile();
    for (CRecordListCache& cache : m_ListCache) {
        cache.Drop();
    }
}

BOOL CRecord::CheckOverflowFile()
{
    CGuard guard(m_Mutex);
    if (!IsCardUsable() || !FetchMountPath()) {
        return FALSE;
    }
    const std::string root = XBoardPath(m_szSDMountPath);
    if (!m_AlarmRecordFileIndex.DeleteOverflowFile(root.c_str(), m_nMaxAlarmVideoSize)) {
        XERROR("Delete overflow alarm video file failed.\n");
    }
    if (!m_AlarmImageFileIndex.DeleteOverflowFile(root.c_str(), m_nMaxAlarmImageSize)) {
        XERROR("Delete overflow alarm image file failed.\n");
    }
    return TRUE;
}

BOOL CRecord::DeleteOldestCommonRecordFile()
{
    return ChangeCardFiles(emRecFileType_CommonVideo, emCardFilesChange_DeleteOldest, nullptr);
}

void CRecord::SetRecordResolution(PIC_SIZE_E res, unsigned width, unsigned height)
{
    CGuard guard(m_Mutex);
    m_RecordChnWidth = width;
    m_RecordChnHeight = height;
    m_RecordResolution.store(res);
}

void CRecord::SetParkingMode(BOOL bParking)
{
    CGuard guard(m_Mutex);
    const int fps = bParking ? 1 : m_nSensorFps;
    m_RecordChnFps = fps;
    m_RecordChnGop = fps;
    m_TimeScale = fps * 3000;
    m_Intake.SetCachingTime(bParking ? 0 : static_cast<uint32_t>(fps) * 6);
    m_AlarmPreRecordTime = bParking ? 0 : static_cast<unsigned>(fps) * 5;
    m_AlarmRecordDelayTime = bParking ? 0 : static_cast<unsigned>(fps) * 5;
    m_CommonRecordDuration = static_cast<unsigned>(fps) * 180;
    m_nLedOnOffRate = fps;
    m_ParkingFlag = bParking ? TRUE : FALSE;
}

void CRecord::IncommingPacket(void* stream, const tagChannelConfig* config)
{
    // Shell commands run from this thread (the thumbnail archive) must not
    // inherit its real-time priority.
    static thread_local bool s_bSchedChecked = false;
    if (!s_bSchedChecked) {
        s_bSchedChecked = true;
        XResetSchedOnFork();
    }
    CGuard guard(m_Mutex);
    m_Intake.IncommingPacket(stream, config, m_ParkingFlag.load());
}

void CRecord::FlushRingBuffer()
{
    CGuard guard(m_Mutex);
    m_Intake.FlushRingBuffer();
}

BOOL CRecord::StartRecordAAC(const char* filename)
{
    CGuard guard(m_Mutex);
    return m_Intake.StartRecordAAC(filename);
}

BOOL CRecord::StopRecordAAC()
{
    CGuard guard(m_Mutex);
    return m_Intake.StopRecordAAC();
}

BOOL CRecord::ImageSensorActive()
{
    CGuard guard(m_Mutex);
    return m_Intake.ImageSensorActive();
}

void CRecord::SetFinisher(CRecordFinisher* lpFinisher)
{
    CGuard guard(m_Mutex);
    m_lpFinisher.reset(lpFinisher);
}

void CRecord::SetPacketClock(XUSClockFunc lpfnClock)
{
    CGuard guard(m_Mutex);
    m_Intake.SetClock(lpfnClock);
}

BOOL CRecord::EnableSpill()
{
    CGuard guard(m_Mutex);
    if (m_lpSpill) {
        return TRUE;
    }
    if (!m_lpRecorder || !m_lpRecorder->SetRecoveryDriven()) {
        return FALSE;
    }
    m_lpSpill.reset(new CRecordSpill(this, m_Mutex));
    return TRUE;
}

BOOL CRecord::FlushRecoveryData()
{
    return m_lpSpill ? m_lpSpill->Flush() : TRUE;
}

void CRecord::SetRecoveryPeriod(unsigned ms)
{
    if (m_lpSpill) {
        m_lpSpill->SetPeriod(ms);
    }
}

void CRecord::SetLed(BOOL bOn)
{
    CGPIOManager::instance()->Write(RECORD_LED_GPIO, bOn ? 1 : 0);
}
