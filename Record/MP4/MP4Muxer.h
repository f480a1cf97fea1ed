#ifndef RECORD_MP4_MP4MUXER_H
#define RECORD_MP4_MP4MUXER_H

// Writes one MP4 file forward: header, samples straight into mdat (audio
// held and written in runs before video key frames), then at the trailer
// the mdat size, the private skip box of alarm files and moov.
//
// Layout: ftyp (36), free (12, "#*Q#"), free (8, room for a 64-bit mdat
// header), mdat header at 56, payload from 64, [skip], moov.

#include <cstdint>
#include <memory>

#include "Function/types.h"
#include "Record/MP4/ByteIOFile.h"
#include "Record/MP4/MP4MovieEntry.h"
#include "Record/MP4/MP4Track.h"
#include "Record/MP4/MP4Types.h"

class CAssociatedData;

// Told of every sample entered in a table (with the arguments of its
// CMovieEntry::UpdateEntrys) and of lost time added to a track's last
// sample; a replay of the same calls rebuilds the same tables.
class CMP4SampleObserver {
public:
    virtual ~CMP4SampleObserver() = default;
    virtual void OnSample(BOOL bVideo, uint64_t offset, uint32_t size, uint32_t duration, BOOL bChunkStart,
                          BOOL bForceChunk) = 0;
    virtual void OnLostTime(BOOL bVideo, uint32_t duration) = 0;
};

class CMP4Muxer : public CByteIOFile {
public:
    CMP4Muxer();
    ~CMP4Muxer() override;

    // (Re)creates a table only when the new capacity is larger, resets both
    // tables and empties the holding buffer (reallocated only when too small).
    BOOL Init(uint32_t maxVideoFrames, uint32_t maxAudioFrames, uint32_t maxAudioSizeInChunk);
    // Opens a new file and writes everything up to the mdat header. A file
    // still open from a failed trailer is closed first.
    BOOL WriteHeader(const char* filename);
    BOOL AddVideoTrack(emAVMediaCodecType codec, uint32_t timescale, int width, int height);
    BOOL AddAudioTrack(emAVMediaCodecType codec, uint32_t timescale, int channels, int sampleSize, int frameSize);
    BOOL SetVideoVosData(const void* data, int len);
    BOOL SetAudioVosData(const void* data, int len);

    // 1 when the sample is in the file and its table, 0 otherwise (nothing of
    // it stays in the file). After a lost sample, frames other than key
    // frames are refused until a key frame is written. The time of a sample
    // lost in a failed write, or refused for waiting on a key frame, is added
    // to the previous sample of its track, so later samples keep their times;
    // a loss before the first sample of a track leaves no time.
    BOOL WriteVideoPacket(const uint8_t* data, uint32_t size, uint32_t duration, BOOL bIFrame);
    BOOL WriteAudioPacket(const uint8_t* data, uint32_t size, uint32_t duration);
    // Finishes, syncs and closes the file; 1 only when every byte of the
    // trailer reached the file. The file is closed in both cases.
    BOOL WriteTrailer(int64_t* totalSize);

    // With an observer (null: none), held audio also goes out before a video
    // sample once it spans kMaxHeldAudioMs, so that it reaches the file
    // within that time whatever the GOP.
    void SetSampleObserver(CMP4SampleObserver* observer) { m_lpObserver = observer; }

    // Recovery of a file cut off before its trailer: reopens `filename`
    // (kept as it is) with the tables emptied, the creation time given and
    // the write position at `dataEnd`, the end of the samples kept; the
    // tracks must be set up as for a new file. The samples are entered
    // again with RestoreSample / RestoreLostTime, then WriteTrailer writes
    // the boxes over whatever lies beyond `dataEnd`.
    BOOL ReopenForTrailer(const char* filename, int64_t dataEnd, uint64_t creationTime);
    BOOL RestoreSample(BOOL bVideo, uint64_t offset, uint32_t size, uint32_t duration, BOOL bChunkStart,
                       BOOL bForceChunk);
    BOOL RestoreLostTime(BOOL bVideo, uint32_t duration);
    // After the samples are entered again: whether the next video sample
    // starts a chunk (the last sample entered was audio).
    void SetForceNextVideoChunk(BOOL bForce) { m_bForceNextVideoTrunk = bForce; }

    void SetAlarmTrigger(uint32_t mask) { m_AlarmTrigger = mask; }
    void SetAssociatedData(const CAssociatedData* list) { m_lpAlarmAssociatedData = list; }

    // A video sample was lost: frames other than key frames are refused.
    BOOL IsVideoBroken() const { return m_bVideoBroken; }
    // The table would refuse the next sample: the file must be packed.
    BOOL IsVideoTableFull() const;
    BOOL IsAudioTableFull() const;

    BOOL IsOpen() const { return m_Fd >= 0; }
    BOOL HasAudioTrack() const { return m_bHasAudioTrack; }
    uint64_t GetMdatSize() const { return m_MdatSize; }
    // Seconds since 1904 stamped by WriteHeader.
    uint64_t GetCreationTime() const { return m_CreationTime; }
    // Audio frames held for the next run.
    int GetHeldAudioFrames() const { return m_nTmpAudioFrames; }
    const CMovieEntry* GetVideoClusters() const { return m_lpVideoClusters.get(); }
    const CMovieEntry* GetAudioClusters() const { return m_lpAudioClusters.get(); }
    const CMP4Track* GetVideoTrack() const { return m_lpVideoTrack.get(); }
    const CMP4Track* GetAudioTrack() const { return m_lpAudioTrack.get(); }

    // Offset of the mdat header.
    static constexpr int64_t kMdatPos = 56;
    // Frames and bytes the audio holding buffer takes before it is written.
    static constexpr int kMaxTmpAudioFrames = 256;
    // mvhd uses version 1 from these summed video durations (own timescale).
    static constexpr uint64_t kMovieVersion1Duration = 0xFFFFFFFFull;
    // Longest run of held audio when an observer is set (the camera's GOP
    // of one second holds a little over a second at most).
    static constexpr uint32_t kMaxHeldAudioMs = 1250;

private:
    struct tagTmpAudioPos {
        uint32_t pos;
        uint32_t size;
        uint32_t duration;
    };

    // The track of the kind for `codec` (made anew when the codec changes)
    // with its language and timescale, its sample tables emptied.
    BOOL AddTrack(BOOL bVideo, emAVMediaCodecType codec, uint32_t timescale);
    BOOL FlushTmpAudioData();
    void KeepLostVideoTime(uint32_t duration);
    void KeepLostAudioTime(uint32_t duration);
    BOOL WriteSample(const uint8_t* data, uint32_t size, int64_t* pos);
    void WriteFtypAndFree();
    BOOL WriteMdatSize(int64_t moovPos);
    void WriteSkipTag();
    int64_t WriteMoovTag();
    void WriteMvhdTag();
    void ResetFileState();

    std::unique_ptr<CMP4Track> m_lpVideoTrack;
    std::unique_ptr<CMovieEntry> m_lpVideoClusters;
    std::unique_ptr<CMP4Track> m_lpAudioTrack;
    std::unique_ptr<CMovieEntry> m_lpAudioClusters;
    BOOL m_bHasAudioTrack;
    emAVMediaCodecType m_emVideoCodec;
    emAVMediaCodecType m_emAudioCodec;
    uint64_t m_CreationTime;
    uint64_t m_ModificationTime;
    int64_t m_MdatPos;
    uint64_t m_MdatSize;
    uint32_t m_nTmpAudioBufferLen;
    std::unique_ptr<uint8_t[]> m_lpOriginTmpAudioBuffer;
    uint8_t* m_lpTmpAudioBuffer;
    tagTmpAudioPos m_TmpAudioPos[kMaxTmpAudioFrames];
    int m_nTmpAudioFrames;
    int m_nTmpAudioDataSize;
    uint64_t m_nTmpAudioDuration;
    // Set by every audio run: the next video sample starts a chunk. A run
    // that finds it still set joins the previous run's chunk.
    BOOL m_bForceNextVideoTrunk;
    // A video sample was lost: other frames are refused until a key frame.
    BOOL m_bVideoBroken;
    uint32_t m_MaxVideoFrames;
    uint32_t m_MaxAudioFrames;
    uint32_t m_AlarmTrigger;
    const CAssociatedData* m_lpAlarmAssociatedData;
    CMP4SampleObserver* m_lpObserver;
};

#endif
