// The packets that leave the cache: writing, and the closing and opening of
// files at I-frames.

#include <cstdio>
#include <cstring>
#include <string>

#include "Function/common.h"
#include "Platform/BoardRoot.h"
#include "Record/Record.h"

namespace {

const unsigned kMaxWriteErrors = 10;

}  // namespace

BOOL CRecord::ProcessPacket(const tagMediaDataInfo* pkt)
{
    if (pkt == nullptr) {
        return FALSE;
    }
    switch (pkt->emAVType) {
    case AVDATA_TYPE_VIDEO:
        if (pkt->emFrameType == AVDATA_TYPE_I_FRAME) {
            CheckPackRecord(0);
            CheckStartRecord(static_cast<time_t>(pkt->nTimestamp / 1000000), pkt);
        }
        if (m_lpRecorder->GetFlag() & emRecordFileFlag_Recording) {
            if (!m_lpRecorder->WriteVideoPacket(pkt) && m_lpRecorder->GetErrorCount() >= kMaxWriteErrors) {
                m_lpRecorder->RmFlag(emRecordFileFlag_Continuous);
                m_lpRecorder->CheckNeedPack(1);
            }
            if (!m_bFactoryTesting) {
                const unsigned counter = m_nLedCounter++;
                if (m_nLedOnOffRate > 0 && counter % static_cast<unsigned>(m_nLedOnOffRate) == 0) {
                    m_bLedState = !m_bLedState;
                    SetLed(m_bLedState);
                }
            }
        }
        break;
    case AVDATA_TYPE_IMAGE:
        if (m_lpRecorder->GetFlag() & emRecordFileFlag_Recording) {
            CheckSaveTitle(pkt);
            if (!m_ParkingFlag.load()) {
                CheckSaveThumb(pkt);
            }
        }
        break;
    case AVDATA_TYPE_AUDIO:
        if ((m_lpRecorder->GetFlag() & emRecordFileFlag_Recording) && !m_lpRecorder->WriteAudioPacket(pkt)) {
            XERROR("WRITE AUDIO PKT TO FILE FRAME ERROR...\n");
        }
        break;
    default:
        break;
    }
    return TRUE;
}

void CRecord::FillFinishInfo(tagRecordFinishInfo& info, BOOL bComplete)
{
    m_strFinishRoot = XBoardPath(m_szSDMountPath);
    m_strFinishTmp = XBoardPath("/tmp");
    memset(&info, 0, sizeof(info));
    info.emType = m_lpRecorder->GetRecordFileType();
    const BOOL alarm = info.emType == emRecordFileType_Alarm;
    info.szMountPath = m_szSDMountPath;
    info.szRootPath = m_strFinishRoot.c_str();
    info.szTmpPath = m_strFinishTmp.c_str();
    info.lpVideoName = alarm ? &m_AlarmRecordFileName : &m_CommonRecordFileName;
    info.lpTitleName = alarm ? &m_AlarmRecordTitleFileName : &m_CommonRecordTitleFileName;
    info.lpThumbName = alarm ? nullptr : &m_CommonRecordThumbFileName;
    info.bHasTitle = m_bTitleWaiting;
    info.bHasThumbs = alarm ? FALSE : m_bThumbsWaiting;
    info.bComplete = bComplete;
    info.nFrames = m_lpRecorder->GetTotalFrames();
    info.nFps = m_lpRecorder->GetFps();
    info.nTotalSize = m_lpRecorder->GetTotalSize();
    info.nTriggers = m_lpRecorder->GetTotalAlarmTrigger();
    info.nResFlag = m_ResFlag;
    info.bParking = m_ParkingFlag.load();
    info.lpCommonIndex = &m_CommonRecordFileIndex;
    info.lpAlarmIndex = &m_AlarmRecordFileIndex;
    info.lpImageIndex = &m_AlarmImageFileIndex;
}

BOOL CRecord::CheckPackRecord(BOOL bForcePack)
{
    CGuard guard(m_Mutex);
    const BOOL bWasRecording = (m_lpRecorder->GetFlag() & emRecordFileFlag_Recording) != 0;
    m_lpRecorder->CheckNeedPack(bForcePack);
    const BOOL bTrailer = m_lpRecorder->CheckPack();
    const BOOL bClosed = bWasRecording && !(m_lpRecorder->GetFlag() & emRecordFileFlag_Recording);
    if (!bClosed) {
        if (m_lpRecorder->GetFlag() & emRecordFileFlag_Pack) {
            printf("PACK ERR\n");
            return FALSE;
        }
        return TRUE;
    }
    printf("PROCESSING FILE NAME...\n");
    tagRecordFinishInfo info;
    FillFinishInfo(info, bTrailer);
    m_bTitleWaiting = FALSE;
    m_bThumbsWaiting = FALSE;

    CAssociatedData* records = nullptr;
    if (info.emType == emRecordFileType_Alarm) {
        // Decide what follows the alarm file.
        XPutTimeTypeMappingNodeList(m_lpPrevRecordFileLeftDuration);
        m_lpPrevRecordFileLeftDuration = nullptr;
        int maxLeft = 0;
        int leftFrames = 0;
        m_lpRecorder->GetLeftFrames(m_lpPrevRecordFileLeftDuration, maxLeft, leftFrames);
        m_lpRecorder->GetAssociatedData(records, TRUE);
        int left = leftFrames < maxLeft ? leftFrames : maxLeft;
        m_AlarmRecordLeftTime = left;
        if (left < m_RecordChnFps) {
            ResetNextRecordToCommon();
            if (m_lpRecorder->GetFlag() & emRecordFileFlag_Continuous) {
                m_lpRecorder->AddFlag(emRecordFileFlag_StartNext);
            }
        } else {
            m_emNextRecordFileType = emRecordFileType_Alarm;
            MergeRecordAssociatedDataToNext(records);
        }
    }
    info.lpAssociatedData = records;
    if (!IsCardUsable() || !FetchMountPath()) {
        // The file keeps its recording name; the next card scan removes it.
        XDeleteWaitingImages(info);
        XPutAssociatedDataList(info.lpAssociatedData);
        return FALSE;
    }
    if (!m_lpFinisher) {
        XDeleteWaitingImages(info);
        XPutAssociatedDataList(info.lpAssociatedData);
    } else {
        m_lpFinisher->FinishRecordFile(info);
    }
    // Finished or given up: nothing is left for the card scan to recover.
    m_lpRecorder->DropRecoveryData();
    return TRUE;
}

void CRecord::ResetNextRecordToCommon()
{
    m_AlarmRecordLeftTime = 0;
    m_emNextRecordFileType = emRecordFileType_Common;
    XPutTimeTypeMappingNodeList(m_lpPrevRecordFileLeftDuration);
    m_lpPrevRecordFileLeftDuration = nullptr;
    XPutTimeTypeMappingNodeList(m_lpNextRecordFileDuration);
    m_lpNextRecordFileDuration = nullptr;
    XPutAssociatedDataList(m_lpNextRecordFileAssociatedData);
    m_lpNextRecordFileAssociatedData = nullptr;
}

BOOL CRecord::CheckStartRecord(time_t t, const tagMediaDataInfo* pkt)
{
    const int flags = m_lpRecorder->GetFlag();
    if ((flags & (emRecordFileFlag_Paused | emRecordFileFlag_Stopped)) || !(flags & emRecordFileFlag_StartNext)) {
        return FALSE;
    }
    CGuard guard(m_Mutex);
    if (!IsCardUsable() || !FetchMountPath()) {
        return FALSE;
    }
    const std::string root = XBoardPath(m_szSDMountPath);
    char name[RECORD_NAME_BUF_SIZE] = {0};
    // The file carries the picture of the I-frame that opens it, which may
    // still be of the size before a resolution switch.
    const unsigned width = pkt->nPicWidth != 0 ? pkt->nPicWidth : m_RecordChnWidth;
    const unsigned height = pkt->nPicHeight != 0 ? pkt->nPicHeight : m_RecordChnHeight;
    const tagH264SPSPPS& spspps = m_Intake.GetSpsPps();
    CRecordFileName* fileName = nullptr;
    m_lpRecorder->SetRecoveryStart(pkt->nSeq);
    if (m_emNextRecordFileType == emRecordFileType_Alarm) {
        fileName = &m_AlarmRecordFileName;
        if (!fileName->CreateFileName(root.c_str(), RECORD_DIR_ALARM_VIDEO, "MP4", t, 0, name)) {
            return FALSE;
        }
        MergeRecordDurationToNext(m_lpPrevRecordFileLeftDuration);
        XPutTimeTypeMappingNodeList(m_lpPrevRecordFileLeftDuration);
        m_lpPrevRecordFileLeftDuration = nullptr;
        if (!m_lpRecorder->StartRecord(name, m_TimeScale, m_RecordChnFps, width, height, m_lpNextRecordFileDuration,
                                       m_CommonRecordThumbGranularity, emRecordFileType_Alarm, &spspps)) {
            XPutTimeTypeMappingNodeList(m_lpNextRecordFileDuration);
            m_lpNextRecordFileDuration = nullptr;
            XPutAssociatedDataList(m_lpNextRecordFileAssociatedData);
            m_lpNextRecordFileAssociatedData = nullptr;
            XERROR("Start Alarm Record Error...\n");
            return FALSE;
        }
        if (m_lpNextRecordFileAssociatedData != nullptr) {
            m_lpRecorder->SetAssociatedData(m_lpNextRecordFileAssociatedData);
            m_lpNextRecordFileAssociatedData = nullptr;
        }
    } else {
        fileName = &m_CommonRecordFileName;
        if (!fileName->CreateFileName(root.c_str(), RECORD_DIR_COMMON_VIDEO, "MP4", t, 0, name)) {
            return FALSE;
        }
        XPutTimeTypeMappingNodeList(m_lpNextRecordFileDuration);
        m_lpNextRecordFileDuration = XGetTimeTypeMappingNode();
        if (m_lpNextRecordFileDuration == nullptr) {
            XERROR("GetNode Err...\n");
            return FALSE;
        }
        m_lpNextRecordFileDuration->lefttime = static_cast<int>(m_CommonRecordDuration);
        m_lpNextRecordFileDuration->trigger = emRecordTriggerType_Common;
        m_lpNextRecordFileDuration->next = nullptr;
        if (!m_lpRecorder->StartRecord(name, m_TimeScale, m_RecordChnFps, width, height, m_lpNextRecordFileDuration,
                                       m_CommonRecordThumbGranularity, m_emNextRecordFileType, &spspps)) {
            XPutTimeTypeMappingNodeList(m_lpNextRecordFileDuration);
            m_lpNextRecordFileDuration = nullptr;
            XERROR("Start Common Record Error...\n");
            return FALSE;
        }
    }
    XPutTimeTypeMappingNodeList(m_lpNextRecordFileDuration);
    m_lpNextRecordFileDuration = nullptr;
    m_lpRecorder->SetFileNameInfo(fileName->GetFileNameTime(), fileName->GetFileNameIndex());
    m_nOpenFirstSeq = pkt->nSeq;
    m_AlarmRecordLeftTime = 0;
    m_bTitleWaiting = FALSE;
    m_bThumbsWaiting = FALSE;
    m_ResFlag = height == 720 ? 720 : 1080;
    m_lpRecorder->SetRecoveryInfo(m_ResFlag, m_ParkingFlag.load(), -1);
    if (m_lpSpill) {
        // The new file's names and its journal's head on the card at once:
        // a cut before the next period would find no trace of it.
        m_lpSpill->FlushSoon();
    }
    printf("STARTING RECORD [%s]...\n", name);
    return TRUE;
}

void CRecord::CheckSaveTitle(const tagMediaDataInfo* pkt)
{
    if (!(m_lpRecorder->GetFlag() & emRecordFileFlag_NeedTitle)) {
        return;
    }
    m_lpRecorder->RmFlag(emRecordFileFlag_NeedTitle);
    const BOOL alarm = m_lpRecorder->GetRecordFileType() == emRecordFileType_Alarm;
    CRecordFileName& title = alarm ? m_AlarmRecordTitleFileName : m_CommonRecordTitleFileName;
    const CRecordFileName& video = alarm ? m_AlarmRecordFileName : m_CommonRecordFileName;
    const std::string tmp = XBoardPath("/tmp");
    char name[RECORD_NAME_BUF_SIZE] = {0};
    if (!title.CreateFileName(tmp.c_str(), nullptr, "JPG", video.GetFileNameTime(), name)) {
        return;
    }
    m_bTitleWaiting = TRUE;
    m_lpRecorder->SetRecoveryInfo(m_ResFlag, m_ParkingFlag.load(), title.GetFileNameIndex());
    if (XSaveRecordImage(name, pkt->lpData, pkt->nDataSize, FALSE)) {
        printf("SAVED TITLE IMAGE %s\n", name);
    }
}

void CRecord::CheckSaveThumb(const tagMediaDataInfo* pkt)
{
    if (m_lpRecorder->GetRecordFileType() != emRecordFileType_Common ||
        !(m_lpRecorder->GetFlag() & emRecordFileFlag_NeedThumb)) {
        return;
    }
    m_lpRecorder->RmFlag(emRecordFileFlag_NeedThumb);
    // Both sides in the writer's 32-bit milliseconds, so the offset stays
    // right when that clock wraps.
    const uint32_t now = static_cast<uint32_t>(pkt->nTimestamp2 / 1000);
    const uint32_t offset = now - static_cast<uint32_t>(m_lpRecorder->GetStartTime());
    const std::string tmp = XBoardPath("/tmp");
    char name[RECORD_NAME_BUF_SIZE] = {0};
    if (!m_CommonRecordThumbFileName.CreateFileName(tmp.c_str(), nullptr, "JPG", m_CommonRecordFileName.GetFileNameTime(),
                                                    m_CommonRecordFileName.GetFileNameIndex(), offset, name)) {
        return;
    }
    m_bThumbsWaiting = TRUE;
    XSaveRecordImage(name, pkt->lpData, pkt->nDataSize, TRUE);
}
