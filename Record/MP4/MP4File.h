#ifndef RECORD_MP4_MP4FILE_H
#define RECORD_MP4_MP4FILE_H

// The recording engine's file writer over one long-lived MP4 muxer.

#include <cstdint>
#include <memory>

#include "Function/types.h"
#include "Record/MP4/MP4Journal.h"
#include "Record/MP4/MP4JournalReader.h"
#include "Record/MP4/MP4Muxer.h"
#include "Record/MP4/MP4Types.h"
#include "Record/MediaDataInfo.h"
#include "Record/RecordFileBase.h"

class CMP4File : public CRecordFile {
public:
    // With bJournal, every file is recorded with its recovery journal beside
    // it (MP4Journal.h); the files themselves are the same either way.
    explicit CMP4File(BOOL bJournal = TRUE);
    // A file still being recorded is finished first.
    ~CMP4File() override;

    // Opens `filename` (a path of this machine, as the engine built it).
    // Refuses parameter sets without profile bytes (SPS under 4 bytes), an
    // empty PPS or units over 128 bytes, before any file is created.
    BOOL StartRecord(const char* filename, int timescale, int framerate, unsigned width, unsigned height,
                     const TimeTypeMappingNode* duration, unsigned thumbGranularity, emRecordFileType type,
                     const tagH264SPSPPS* spspps) override;
    // 1 when the packet was taken or dropped (a repeated serial, a full
    // table, which asks for a pack, or a frame other than a key frame after
    // a lost one); 0 when not recording or on a write error. Only frames in
    // the file are counted.
    BOOL WriteAudioPacket(const tagMediaDataInfo* pkt) override;
    BOOL WriteVideoPacket(const tagMediaDataInfo* pkt) override;
    uint64_t GetFileSize() override;
    // 1 when the file was finished and synced; 0 when none was open or its
    // trailer could not be written.
    BOOL StopRecord() override;

    void SetRecoveryStart(uint64_t firstSeq) override;
    void SetRecoveryInfo(int resFlag, BOOL bParking, int titleIndex) override;
    void DropRecoveryData() override;
    BOOL SetRecoveryDriven() override;
    void CollectRecoveryData() override;
    BOOL WriteRecoveryData() override;
    uint64_t GetDurableSeq() override;

    // Continues the file at `filename` that was cut off before its trailer
    // (the card scan): reopened after the samples `journal` names, with its
    // tables, frame count, triggers and snapshot records as the journal
    // gives them. Packets written next follow those samples as they would
    // have followed them while recording; StopRecord finishes the file.
    BOOL ResumeRecord(const char* filename, const tagMP4JournalContent& journal);

    // Cached packets numbered up to GetReachedAll() are in the file or were
    // dropped, and so are the video packets up to GetReachedVideo(); audio
    // in between is still held for the next run.
    uint64_t GetReachedAll() const;
    uint64_t GetReachedVideo() const { return m_nSeqHanded; }

    const CMP4Muxer* GetMuxer() const { return m_lpMP4Muxer.get(); }
    // The journal keeper, null without one.
    CMP4Journal* GetJournal() { return m_lpJournal.get(); }

    // The tracks of a recorded file on a muxer holding an open file: H.264
    // video with the stream's parameter sets, and the AAC track. The name of
    // the step that failed, or null.
    static const char* SetUpTracks(CMP4Muxer* mux, uint32_t timescale, unsigned width, unsigned height,
                                   const tagH264SPSPPS* spspps);
    // The parameter sets of `sps` and `pps` bytes; 0 when either is too long.
    static BOOL MakeSpsPps(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps, tagH264SPSPPS& out);

    // Frames a file is packed at per frame of rate, and the table margin
    // beyond that (seconds of frames, several GOPs of up to 4 s).
    static constexpr uint32_t kMaxSecondsPerFile = 256;
    static constexpr uint32_t kTableMarginSeconds = 8;
    static constexpr uint32_t kMaxAudioFrames = 12800;
    static constexpr uint32_t kMaxAudioBytesInChunk = 1048576;
    // Video sample duration (the engine's timescale is fps x 3000) and AAC frame length.
    static constexpr uint32_t kVideoSampleDuration = 3000;
    static constexpr uint32_t kAudioSampleDuration = 1024;

private:
    // Journals the alarm file's triggers and snapshot records when they changed.
    void JournalAlarmState();
    // The tables for a file at `fps`; 0 when they cannot be made.
    BOOL PrepareMuxer(uint32_t fps);
    // The counts and flags of a file just opened.
    void ResetFileCounters(int framerate, emRecordFileType type);
    // Held audio numbers: those written meanwhile leave the front until
    // `held` are left.
    void ForgetWrittenAudio(int held);
    void NoteHanded(const tagMediaDataInfo* pkt);

    std::unique_ptr<CMP4Muxer> m_lpMP4Muxer;
    std::unique_ptr<CMP4Journal> m_lpJournal;
    uint32_t m_nJournaledTriggers;
    const CAssociatedData* m_lpJournaledRecords;
    // The next packet is taken whatever its serial (new file, or after a repeat).
    BOOL m_bAcceptNextVideo;
    BOOL m_bAcceptNextAudio;
    // The pack request for a full table is printed once per file.
    BOOL m_bTableFullReported;
    // Cache numbers of the packets handed in: the newest, and those of the
    // audio frames the muxer still holds, oldest first.
    uint64_t m_nSeqHanded;
    uint64_t m_nStartSeq;  // first packet of the file StartRecord opens next
    uint64_t m_HeldSeq[CMP4Muxer::kMaxTmpAudioFrames];
    int m_nHeldFirst;
    int m_nHeldCount;
};

#endif
