#include "Record/MP4/MP4File.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "Function/XLog.h"
#include "Record/MP4/AssociatedDataReader.h"
#include "Record/MP4/MP4VideoH264Track.h"

namespace {

// emFrameType of an I-frame.
const int kIFrameType = 3;
// AudioSpecificConfig of the recorder's audio: AAC-LC, 8000 Hz, one channel.
const uint8_t kAudioSpecificConfig[2] = {0x15, 0x88};
// Highest frame rate the tables are sized for.
const int kMaxFrameRate = 240;

// Stands for the journal of a resumed file: the muxer writes as it writes
// with one.
class CNoSampleObserver : public CMP4SampleObserver {
public:
    void OnSample(BOOL, uint64_t, uint32_t, uint32_t, BOOL, BOOL) override {}
    void OnLostTime(BOOL, uint32_t) override {}
};
CNoSampleObserver g_NoSampleObserver;

}  // namespace

CMP4File::CMP4File(BOOL bJournal)
    : m_lpJournal(bJournal ? new CMP4Journal() : nullptr),
      m_nJournaledTriggers(0),
      m_lpJournaledRecords(nullptr),
      m_bAcceptNextVideo(TRUE),
      m_bAcceptNextAudio(TRUE),
      m_bTableFullReported(FALSE),
      m_nSeqHanded(0),
      m_nStartSeq(0),
      m_HeldSeq(),
      m_nHeldFirst(0),
      m_nHeldCount(0)
{
}

CMP4File::~CMP4File()
{
    if (m_Flag & emRecordFileFlag_Recording) {
        StopRecord();
    }
}

const char* CMP4File::SetUpTracks(CMP4Muxer* mux, uint32_t timescale, unsigned width, unsigned height,
                                  const tagH264SPSPPS* spspps)
{
    if (!mux->AddVideoTrack(emAVMediaCodecType_H264, timescale, static_cast<int>(width), static_cast<int>(height))) {
        return "AddVideoTrack";
    }
    if (!mux->SetVideoVosData(spspps, sizeof(tagH264SPSPPS))) {
        return "SetVideoVosData";
    }
    if (!mux->AddAudioTrack(emAVMediaCodecType_AAC, 8000, 1, 16, 0)) {
        return "AddAudioTrack";
    }
    if (!mux->SetAudioVosData(kAudioSpecificConfig, sizeof(kAudioSpecificConfig))) {
        return "SetAudioVosData";
    }
    return nullptr;
}

BOOL CMP4File::StartRecord(const char* filename, int timescale, int framerate, unsigned width, unsigned height,
                           const TimeTypeMappingNode* duration, unsigned thumbGranularity, emRecordFileType type,
                           const tagH264SPSPPS* spspps)
{
    if (filename == nullptr || timescale <= 0 || framerate <= 0 || framerate > kMaxFrameRate) {
        XERROR("StartRecord() refuses timescale %d, frame rate %d\n", timescale, framerate);
        return 0;
    }
    if (!CMP4VideoH264Track::IsValidSpsPps(spspps)) {
        XERROR("StartRecord() refuses the parameter sets (SPS %u, PPS %u bytes)\n", spspps ? spspps->sps_len : 0u,
               spspps ? spspps->pps_len : 0u);
        return 0;
    }
    // A file still open is finished rather than lost.
    if (m_Flag & emRecordFileFlag_Recording) {
        StopRecord();
    }

    const uint32_t fps = static_cast<uint32_t>(framerate);
    if (!PrepareMuxer(fps)) {
        return 0;
    }
    CMP4Muxer* mux = m_lpMP4Muxer.get();
    if (!mux->WriteHeader(filename)) {
        XERROR("WriteHeader() error...\n");
        return 0;
    }
    const char* failed = SetUpTracks(mux, static_cast<uint32_t>(timescale), width, height, spspps);
    if (failed != nullptr) {
        XERROR("%s() error...\n", failed);
        // Nothing will be written to it: close it now.
        mux->Close();
        return 0;
    }

    ResetFileCounters(framerate, type);
    m_Flag |= emRecordFileFlag_NeedTitle;
    SetDurationTime(duration);
    m_ThumbGranularity = static_cast<int>(thumbGranularity);
    m_LeftThumb = static_cast<int>(thumbGranularity);

    if (m_lpJournal) {
        tagMP4JournalHeader h;
        h.fileType = static_cast<uint8_t>(type == emRecordFileType_Alarm ? 1 : 0);
        h.fps = fps;
        h.timescale = static_cast<uint32_t>(timescale);
        h.width = width;
        h.height = height;
        h.creationTime = mux->GetCreationTime();
        const char* slash = strrchr(filename, '/');
        h.name = slash != nullptr ? slash + 1 : filename;
        h.sps.assign(spspps->sps, spspps->sps + spspps->sps_len);
        h.pps.assign(spspps->pps, spspps->pps + spspps->pps_len);
        const BOOL alarm = type == emRecordFileType_Alarm;
        const BOOL begun = m_lpJournal->Begin(filename, mux->GetFD(), h, m_nStartSeq, alarm ? m_totalTriggerType : 0,
                                              alarm ? m_lpAssociatedDataListHead : nullptr);
        mux->SetSampleObserver(begun ? m_lpJournal.get() : nullptr);
        // The head holds the alarm state as it is now.
        m_nJournaledTriggers = m_totalTriggerType;
        m_lpJournaledRecords = m_lpAssociatedDataListHead;
    }
    m_nStartSeq = 0;

    printf("*********************************************************\n");
    return 1;
}

BOOL CMP4File::MakeSpsPps(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps, tagH264SPSPPS& out)
{
    memset(&out, 0, sizeof(out));
    if (sps.size() > sizeof(out.sps) || pps.size() > sizeof(out.pps)) {
        return 0;
    }
    memcpy(out.sps, sps.data(), sps.size());
    out.sps_len = static_cast<uint32_t>(sps.size());
    memcpy(out.pps, pps.data(), pps.size());
    out.pps_len = static_cast<uint32_t>(pps.size());
    return 1;
}

BOOL CMP4File::PrepareMuxer(uint32_t fps)
{
    // The tables grow with the frame rate of every new file, with room for
    // the frames until the next I-frame after the pack limit.
    const uint32_t maxVideoFrames = fps * (kMaxSecondsPerFile + kTableMarginSeconds);
    const bool first = !m_lpMP4Muxer;
    if (first) {
        m_lpMP4Muxer.reset(new CMP4Muxer());
    }
    if (!m_lpMP4Muxer->Init(maxVideoFrames, kMaxAudioFrames, kMaxAudioBytesInChunk)) {
        if (first) {
            m_lpMP4Muxer.reset();
        }
        return 0;
    }
    return 1;
}

void CMP4File::ResetFileCounters(int framerate, emRecordFileType type)
{
    m_emRecordFileType = type;
    m_Flag |= emRecordFileFlag_Recording;
    m_Flag &= ~(emRecordFileFlag_StartNext | emRecordFileFlag_Pack | emRecordFileFlag_NeedThumb |
                emRecordFileFlag_NeedTitle);
    m_Fps = framerate;
    m_MaxLimitFrames = static_cast<unsigned>(framerate) * kMaxSecondsPerFile;
    m_RecFileTime.value = 0;
    m_RecFileIndex = 0;
    m_FirstFrameTime = 0;
    m_LastVideoFrameSerial = m_LastAudioFrameSerial = 0;
    m_TotalFrames = m_LeftFrames = 0;
    m_curTriggerType = m_totalTriggerType = 0;
    m_Context++;
    m_Errors = 0;
    m_TotalSize = 0;
    ReleaseAssociatedData();
    ReleaseTypeMappings();
    m_LastFrameTime = 0;
    m_TotalIFrames = 0;
    m_bAcceptNextVideo = TRUE;
    m_bAcceptNextAudio = TRUE;
    m_bTableFullReported = FALSE;
    m_nSeqHanded = 0;
    m_nHeldFirst = 0;
    m_nHeldCount = 0;
}

BOOL CMP4File::ResumeRecord(const char* filename, const tagMP4JournalContent& journal)
{
    const tagMP4JournalHeader& h = journal.header;
    tagH264SPSPPS spspps;
    if (filename == nullptr || h.fps == 0 || h.fps > static_cast<uint32_t>(kMaxFrameRate) ||
        !MakeSpsPps(h.sps, h.pps, spspps)) {
        return 0;
    }
    if (m_Flag & emRecordFileFlag_Recording) {
        StopRecord();
    }
    if (!PrepareMuxer(h.fps)) {
        return 0;
    }
    CMP4Muxer* mux = m_lpMP4Muxer.get();
    if (!mux->ReopenForTrailer(filename, static_cast<int64_t>(journal.dataEnd), h.creationTime)) {
        XERROR("[RECOVER] %s cannot be opened for its index.\n", filename);
        return 0;
    }
    const char* failed = SetUpTracks(mux, h.timescale, h.width, h.height, &spspps);
    if (failed != nullptr) {
        XERROR("[RECOVER] %s: %s() failed.\n", filename, failed);
        mux->Close();
        return 0;
    }
    BOOL bLastAudio = FALSE;
    for (const tagMP4JournalSample& e : journal.samples) {
        const BOOL video = e.kind == emMP4JournalEntry_Video || e.kind == emMP4JournalEntry_VideoLost;
        if (e.kind == emMP4JournalEntry_Video || e.kind == emMP4JournalEntry_Audio) {
            mux->RestoreSample(video, e.offset, e.size, e.duration, (e.flags & MP4_JOURNAL_FLAG_KEY) ? 1 : 0,
                               (e.flags & MP4_JOURNAL_FLAG_FORCE_CHUNK) ? 1 : 0);
            bLastAudio = !video;
        } else {
            mux->RestoreLostTime(video, e.duration);
        }
    }
    // An audio run last: the next video sample starts a chunk, as it would have.
    mux->SetForceNextVideoChunk(bLastAudio);
    mux->SetSampleObserver(&g_NoSampleObserver);
    const emRecordFileType type = h.fileType == 1 ? emRecordFileType_Alarm : emRecordFileType_Common;
    ResetFileCounters(static_cast<int>(h.fps), type);
    m_TotalFrames = journal.videoSamples;
    m_TotalIFrames = journal.videoKeyFrames;
    if (type == emRecordFileType_Alarm) {
        m_totalTriggerType = journal.alarmMask;
        const uint32_t count = static_cast<uint32_t>(journal.snapshots.size() / tagMP4JournalLimits::kSnapshotBytes);
        CAssociatedData* records = nullptr;
        if (count > 0 && !CAssociatedDataReader::DecodeRecords(journal.snapshots.data(), count, &records)) {
            printf("[RECOVER] %s: the %u snapshot records are refused.\n", filename, count);
        }
        SetAssociatedData(records);
    }
    return 1;
}

uint64_t CMP4File::GetReachedAll() const
{
    // Packets handed on at once (parking) have no number and are not counted.
    return m_nHeldCount > 0 ? m_HeldSeq[m_nHeldFirst] - 1 : m_nSeqHanded;
}

void CMP4File::ForgetWrittenAudio(int held)
{
    while (m_nHeldCount > (held > 0 ? held : 0)) {
        m_nHeldFirst = (m_nHeldFirst + 1) % CMP4Muxer::kMaxTmpAudioFrames;
        --m_nHeldCount;
    }
}

void CMP4File::NoteHanded(const tagMediaDataInfo* pkt)
{
    if (pkt->nSeq > m_nSeqHanded) {
        m_nSeqHanded = pkt->nSeq;
    }
}

BOOL CMP4File::SetRecoveryDriven()
{
    if (!m_lpJournal) {
        return 0;
    }
    m_lpJournal->SetDriven(TRUE);
    return 1;
}

void CMP4File::CollectRecoveryData()
{
    if (m_lpJournal) {
        m_lpJournal->Collect(GetReachedAll(), GetReachedVideo());
    }
}

BOOL CMP4File::WriteRecoveryData()
{
    return m_lpJournal ? m_lpJournal->WriteCollected() : 1;
}

uint64_t CMP4File::GetDurableSeq()
{
    uint64_t seq = 0;
    return m_lpJournal && (m_Flag & emRecordFileFlag_Recording) && m_lpJournal->GetDurableReached(seq) ? seq : 0;
}

void CMP4File::JournalAlarmState()
{
    if (!m_lpJournal || m_emRecordFileType != emRecordFileType_Alarm ||
        (m_totalTriggerType == m_nJournaledTriggers && m_lpAssociatedDataListHead == m_lpJournaledRecords)) {
        return;
    }
    m_nJournaledTriggers = m_totalTriggerType;
    m_lpJournaledRecords = m_lpAssociatedDataListHead;
    m_lpJournal->SetAlarmState(m_totalTriggerType, m_lpAssociatedDataListHead);
}

void CMP4File::SetRecoveryStart(uint64_t firstSeq)
{
    m_nStartSeq = firstSeq;
}

void CMP4File::SetRecoveryInfo(int resFlag, BOOL bParking, int titleIndex)
{
    if (m_lpJournal && (m_Flag & emRecordFileFlag_Recording)) {
        m_lpJournal->SetNames(resFlag, bParking, titleIndex);
    }
}

void CMP4File::DropRecoveryData()
{
    if (m_lpJournal) {
        m_lpJournal->Remove();
    }
}

BOOL CMP4File::WriteVideoPacket(const tagMediaDataInfo* pkt)
{
    if (!m_lpMP4Muxer || (m_Flag & emRecordFileFlag_Recording) == 0 || pkt == nullptr) {
        return 0;
    }
    NoteHanded(pkt);
    if (!m_bAcceptNextVideo && pkt->nFrameSerial <= m_LastVideoFrameSerial) {
        // A repeat (or an encoder restart): drop it and take the next one.
        m_LastVideoFrameSerial = 0;
        m_LastAudioFrameSerial = 0;
        m_bAcceptNextVideo = TRUE;
        m_bAcceptNextAudio = TRUE;
        return 1;
    }
    if (m_lpMP4Muxer->IsVideoTableFull()) {
        // Not a write error: the engine closes the file at the next I-frame.
        if (!m_bTableFullReported) {
            XERROR("video table full (%u frames): packing\n", m_TotalFrames);
            m_bTableFullReported = TRUE;
        }
        m_Flag |= emRecordFileFlag_Pack;
        return 1;
    }
    m_LastVideoFrameSerial = pkt->nFrameSerial;
    m_bAcceptNextVideo = FALSE;
    const BOOL bIFrame = pkt->emFrameType == kIFrameType ? TRUE : FALSE;
    if (!bIFrame && m_lpMP4Muxer->IsVideoBroken()) {
        // Not a write error: it depends on a lost frame and waits for the key
        // frame. The muxer refuses it and keeps its time in the track.
        m_lpMP4Muxer->WriteVideoPacket(pkt->lpData, pkt->nDataSize, kVideoSampleDuration, bIFrame);
        return 1;
    }
    const BOOL bWritten = m_lpMP4Muxer->WriteVideoPacket(pkt->lpData, pkt->nDataSize, kVideoSampleDuration, bIFrame);
    ForgetWrittenAudio(m_lpMP4Muxer->GetHeldAudioFrames());
    if (!bWritten) {
        XERROR("MP4 WriteVideoPacket() failed!\n");
        m_Errors++;
        return 0;
    }
    // Only frames in the file count towards its length.
    if (m_TotalFrames == 0) {
        m_FirstFrameTime = static_cast<unsigned>(pkt->nTimestamp2 / 1000);
    }
    m_TotalFrames++;
    m_LeftFrames--;
    CheckTypeMapping(1);
    m_LastFrameTime = static_cast<unsigned>(pkt->nTimestamp2 / 1000);
    if (bIFrame) {
        m_TotalIFrames++;
    }
    JournalAlarmState();
    if (m_emRecordFileType == emRecordFileType_Common) {
        if (--m_LeftThumb <= 0) {
            m_LeftThumb = m_ThumbGranularity;
            m_Flag |= emRecordFileFlag_NeedThumb;
        }
    }
    return 1;
}

BOOL CMP4File::WriteAudioPacket(const tagMediaDataInfo* pkt)
{
    if (!m_lpMP4Muxer || (m_Flag & emRecordFileFlag_Recording) == 0 || pkt == nullptr) {
        return 0;
    }
    NoteHanded(pkt);
    if (!m_bAcceptNextAudio && pkt->nFrameSerial <= m_LastAudioFrameSerial) {
        return 1;
    }
    if (m_lpMP4Muxer->IsAudioTableFull()) {
        if (!m_bTableFullReported) {
            XERROR("audio table full: packing\n");
            m_bTableFullReported = TRUE;
        }
        m_Flag |= emRecordFileFlag_Pack;
        return 1;
    }
    m_LastAudioFrameSerial = pkt->nFrameSerial;
    m_bAcceptNextAudio = FALSE;
    if (!m_lpMP4Muxer->WriteAudioPacket(pkt->lpData, pkt->nDataSize, kAudioSampleDuration)) {
        ForgetWrittenAudio(m_lpMP4Muxer->GetHeldAudioFrames());
        XERROR("MP4 WriteAudioPacket() failed!\n");
        m_Errors++;
        return 0;
    }
    // Held now, behind whatever the muxer wrote to make room.
    ForgetWrittenAudio(m_lpMP4Muxer->GetHeldAudioFrames() - 1);
    if (pkt->nSeq != 0 && m_nHeldCount < CMP4Muxer::kMaxTmpAudioFrames) {
        m_HeldSeq[(m_nHeldFirst + m_nHeldCount) % CMP4Muxer::kMaxTmpAudioFrames] = pkt->nSeq;
        ++m_nHeldCount;
    }
    return 1;
}

uint64_t CMP4File::GetFileSize()
{
    if (!m_lpMP4Muxer || (m_Flag & emRecordFileFlag_Recording) == 0 || !m_lpMP4Muxer->IsOpen()) {
        return 0;
    }
    int64_t pos = m_lpMP4Muxer->URLFTell();
    return pos > 0 ? static_cast<uint64_t>(pos) : 0;
}

BOOL CMP4File::StopRecord()
{
    if ((m_Flag & emRecordFileFlag_Recording) == 0 || !m_lpMP4Muxer) {
        return 0;
    }
    if (m_emRecordFileType == emRecordFileType_Alarm) {
        m_lpMP4Muxer->SetAlarmTrigger(m_totalTriggerType);
        m_lpMP4Muxer->SetAssociatedData(m_lpAssociatedDataListHead);
    }
    if (m_lpJournal) {
        // The trailer makes the file whole; the journal stays until the
        // file is finished (DropRecoveryData).
        m_lpJournal->End();
        m_lpMP4Muxer->SetSampleObserver(nullptr);
    }
    const BOOL ok = m_lpMP4Muxer->WriteTrailer(&m_TotalSize);
    if (!ok) {
        XERROR("WriteTrailer() failed!\n");
    }
    m_Flag &= ~(emRecordFileFlag_Recording | emRecordFileFlag_Pack | emRecordFileFlag_NeedTitle |
                emRecordFileFlag_NeedThumb);
    if (m_Flag & emRecordFileFlag_Continuous) {
        m_Flag |= emRecordFileFlag_StartNext;
    }
    printf("PACK[FRAMES=%u,IFRAMES=%u,LEFT=%d,DURATION=%u(ms)]\n", m_TotalFrames, m_TotalIFrames, m_LeftFrames,
           m_LastFrameTime - m_FirstFrameTime);
    return ok;
}
