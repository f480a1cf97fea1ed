#include "Record/MP4/MP4Muxer.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "Function/SystemTime.h"
#include "Function/XLog.h"
#include "Record/MP4/MP4AudioAACTrack.h"
#include "Record/MP4/MP4SkipBox.h"
#include "Record/MP4/MP4VideoH264Track.h"

namespace {

const int kVideoTrackID = 1;
const int kAudioTrackID = 2;

uint64_t XMP4Now()
{
    return static_cast<uint64_t>(SystemGetSecondCount()) + MP4_EPOCH_OFFSET;
}

// A table of at least `frames` samples, or null with the reason in `err`.
std::unique_ptr<CMovieEntry> XMakeEntry(uint32_t frames, const char** err)
{
    try {
        return std::unique_ptr<CMovieEntry>(new CMovieEntry(frames));
    } catch (const char* text) {
        *err = text;
    } catch (const std::bad_alloc&) {
        *err = "out of memory.\n";
    }
    return nullptr;
}

// A table of at least `frames` samples in `entry` (kept when it is large
// enough); 0, logged, when it cannot be made.
BOOL XEnsureEntry(std::unique_ptr<CMovieEntry>& entry, uint32_t& capacity, uint32_t frames, const char* kind)
{
    if (entry && frames <= capacity) {
        return 1;
    }
    const char* err = "";
    std::unique_ptr<CMovieEntry> e = XMakeEntry(frames, &err);
    if (!e) {
        XERROR("Init %s Entry Error: %s\n", kind, err);
        return 0;
    }
    entry = std::move(e);
    capacity = frames;
    return 1;
}

}  // namespace

CMP4Muxer::CMP4Muxer()
    : m_bHasAudioTrack(FALSE),
      m_emVideoCodec(emAVMediaCodecType_None),
      m_emAudioCodec(emAVMediaCodecType_None),
      m_CreationTime(0),
      m_ModificationTime(0),
      m_MdatPos(kMdatPos),
      m_MdatSize(0),
      m_nTmpAudioBufferLen(0),
      m_lpTmpAudioBuffer(nullptr),
      m_TmpAudioPos(),
      m_nTmpAudioFrames(0),
      m_nTmpAudioDataSize(0),
      m_nTmpAudioDuration(0),
      m_bForceNextVideoTrunk(FALSE),
      m_bVideoBroken(FALSE),
      m_MaxVideoFrames(0),
      m_MaxAudioFrames(0),
      m_AlarmTrigger(0),
      m_lpAlarmAssociatedData(nullptr),
      m_lpObserver(nullptr)
{
}

CMP4Muxer::~CMP4Muxer() = default;

BOOL CMP4Muxer::Init(uint32_t maxVideoFrames, uint32_t maxAudioFrames, uint32_t maxAudioSizeInChunk)
{
    if (!XEnsureEntry(m_lpVideoClusters, m_MaxVideoFrames, maxVideoFrames, "Video") ||
        !XEnsureEntry(m_lpAudioClusters, m_MaxAudioFrames, maxAudioFrames, "Audio")) {
        return 0;
    }
    m_lpVideoClusters->Reset();
    m_lpAudioClusters->Reset();

    m_nTmpAudioFrames = 0;
    m_nTmpAudioDataSize = 0;
    m_nTmpAudioDuration = 0;
    if (!m_lpOriginTmpAudioBuffer || maxAudioSizeInChunk > m_nTmpAudioBufferLen) {
        std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[maxAudioSizeInChunk + 64u]());
        if (!buf) {
            XERROR("Init Audio Temp Buffer Error: out of memory.\n");
            return 0;
        }
        m_lpOriginTmpAudioBuffer = std::move(buf);
        uintptr_t base = reinterpret_cast<uintptr_t>(m_lpOriginTmpAudioBuffer.get());
        m_lpTmpAudioBuffer = m_lpOriginTmpAudioBuffer.get() + (64u - base % 64u) % 64u;
        m_nTmpAudioBufferLen = maxAudioSizeInChunk;
    }
    return 1;
}

void CMP4Muxer::ResetFileState()
{
    m_bForceNextVideoTrunk = FALSE;
    m_bVideoBroken = FALSE;
    if (m_lpVideoClusters) {
        m_lpVideoClusters->Reset();
    }
    if (m_lpAudioClusters) {
        m_lpAudioClusters->Reset();
    }
    m_nTmpAudioFrames = 0;
    m_nTmpAudioDataSize = 0;
    m_nTmpAudioDuration = 0;
    m_bHasAudioTrack = FALSE;
    m_MdatSize = 0;
    m_AlarmTrigger = 0;
    m_lpAlarmAssociatedData = nullptr;
}

void CMP4Muxer::WriteFtypAndFree()
{
    PutBE32(36);
    PutTag("ftyp");
    PutTag("isom");
    PutBE32(0x00000200);
    PutTag("isom");
    PutTag("iso2");
    PutTag("avc1");
    PutTag("mp41");
    PutTag("mp42");
    PutBE32(12);
    PutTag("free");
    PutTag("#*Q#");
    PutBE32(8);
    PutTag("free");
    PutBE32(0);  // mdat size, written at the trailer
    PutTag("mdat");
}

BOOL CMP4Muxer::WriteHeader(const char* filename)
{
    // A file left open by a failed trailer must not carry its samples over.
    ResetFileState();
    if (Open(filename, FALSE) != 0) {
        return 0;
    }
    WriteFtypAndFree();
    if (!FlushBuffer() || HasIOError()) {
        Close();
        return 0;
    }
    m_CreationTime = XMP4Now();
    m_ModificationTime = m_CreationTime;
    m_MdatPos = kMdatPos;
    return 1;
}

BOOL CMP4Muxer::AddTrack(BOOL bVideo, emAVMediaCodecType codec, uint32_t timescale)
{
    if (codec == emAVMediaCodecType_None || timescale == 0) {
        return 0;
    }
    std::unique_ptr<CMP4Track>& track = bVideo ? m_lpVideoTrack : m_lpAudioTrack;
    emAVMediaCodecType& current = bVideo ? m_emVideoCodec : m_emAudioCodec;
    if (codec != current || !track) {
        // One codec of each kind: H.264 video, AAC audio.
        if (codec != (bVideo ? emAVMediaCodecType_H264 : emAVMediaCodecType_AAC)) {
            return 0;
        }
        if (bVideo) {
            track.reset(new CMP4VideoH264Track(kVideoTrackID));
        } else {
            track.reset(new CMP4AudioAACTrack(kAudioTrackID));
        }
        current = codec;
    }
    track->SetLanguage("und");
    track->SetTimeScale(timescale);
    std::unique_ptr<CMovieEntry>& clusters = bVideo ? m_lpVideoClusters : m_lpAudioClusters;
    if (clusters) {
        clusters->Reset();
    }
    return 1;
}

BOOL CMP4Muxer::AddVideoTrack(emAVMediaCodecType codec, uint32_t timescale, int width, int height)
{
    if (!AddTrack(1, codec, timescale)) {
        return 0;
    }
    m_lpVideoTrack->SetVideoPictureSize(width, height);
    return 1;
}

BOOL CMP4Muxer::AddAudioTrack(emAVMediaCodecType codec, uint32_t timescale, int channels, int sampleSize,
                              int frameSize)
{
    if (!AddTrack(0, codec, timescale)) {
        return 0;
    }
    m_lpAudioTrack->SetAudioInfo(channels, sampleSize, frameSize);
    return 1;
}

BOOL CMP4Muxer::SetVideoVosData(const void* data, int len)
{
    return m_lpVideoTrack ? m_lpVideoTrack->SetVosData(data, len) : 0;
}

BOOL CMP4Muxer::SetAudioVosData(const void* data, int len)
{
    return m_lpAudioTrack ? m_lpAudioTrack->SetVosData(data, len) : 0;
}

BOOL CMP4Muxer::IsVideoTableFull() const
{
    return !m_lpVideoClusters || m_lpVideoClusters->GetFreeEntrys() == 0;
}

BOOL CMP4Muxer::IsAudioTableFull() const
{
    // Held frames enter the table when they are written.
    return !m_lpAudioClusters ||
           m_lpAudioClusters->GetFreeEntrys() <= static_cast<uint32_t>(m_nTmpAudioFrames);
}

BOOL CMP4Muxer::WriteSample(const uint8_t* data, uint32_t size, int64_t* pos)
{
    *pos = URLFTell();
    if (*pos < 0 || (data == nullptr && size > 0)) {
        return 0;
    }
    if (PutData(data, size, FALSE)) {
        return 1;
    }
    // Nothing of a failed sample stays: the next write starts where it began.
    ClearIOError();
    if (URLFSeek(*pos, 0) != *pos) {
        return 0;
    }
    TruncateHere();
    ClearIOError();
    if (URLFTell() != *pos) {
        // The position is lost: the trailer must fail.
        m_bIOError = TRUE;
    }
    return 0;
}

BOOL CMP4Muxer::WriteVideoPacket(const uint8_t* data, uint32_t size, uint32_t duration, BOOL bIFrame)
{
    if (!IsOpen() || !m_lpVideoTrack || IsVideoTableFull()) {
        return 0;
    }
    // After a lost frame the next ones cannot be decoded: wait for a key frame.
    if (m_bVideoBroken && !bIFrame) {
        KeepLostVideoTime(duration);
        return 0;
    }
    const BOOL bHeldTooLong = m_lpObserver != nullptr && m_nTmpAudioFrames > 0 && m_lpAudioTrack &&
                              m_nTmpAudioDuration * 1000u >=
                                  static_cast<uint64_t>(m_lpAudioTrack->GetTimeScale()) * kMaxHeldAudioMs;
    if ((bIFrame || bHeldTooLong) && m_bHasAudioTrack && !FlushTmpAudioData()) {
        m_bVideoBroken = TRUE;
        KeepLostVideoTime(duration);
        return 0;
    }
    int64_t pos = 0;
    if (!WriteSample(data, size, &pos)) {
        m_bVideoBroken = TRUE;
        KeepLostVideoTime(duration);
        return 0;
    }
    m_MdatSize += size;
    m_lpVideoClusters->UpdateEntrys(static_cast<uint64_t>(pos), size, duration, bIFrame, m_bForceNextVideoTrunk);
    if (m_lpObserver != nullptr) {
        m_lpObserver->OnSample(TRUE, static_cast<uint64_t>(pos), size, duration, bIFrame, m_bForceNextVideoTrunk);
    }
    m_bForceNextVideoTrunk = FALSE;
    m_bVideoBroken = FALSE;
    return 1;
}

BOOL CMP4Muxer::WriteAudioPacket(const uint8_t* data, uint32_t size, uint32_t duration)
{
    if (!IsOpen() || !m_lpAudioTrack || !m_lpTmpAudioBuffer || IsAudioTableFull() ||
        size > m_nTmpAudioBufferLen || (data == nullptr && size > 0)) {
        return 0;
    }
    if (static_cast<uint64_t>(m_nTmpAudioDataSize) + size > m_nTmpAudioBufferLen ||
        m_nTmpAudioFrames >= kMaxTmpAudioFrames) {
        if (!FlushTmpAudioData()) {
            KeepLostAudioTime(duration);
            return 0;
        }
    }
    if (size > 0) {
        memcpy(m_lpTmpAudioBuffer + m_nTmpAudioDataSize, data, size);
    }
    tagTmpAudioPos& held = m_TmpAudioPos[m_nTmpAudioFrames];
    held.pos = static_cast<uint32_t>(m_nTmpAudioDataSize);
    held.size = size;
    held.duration = duration;
    m_nTmpAudioFrames++;
    m_nTmpAudioDataSize += static_cast<int>(size);
    m_nTmpAudioDuration += duration;
    m_bHasAudioTrack = TRUE;
    return 1;
}

void CMP4Muxer::KeepLostVideoTime(uint32_t duration)
{
    if (m_lpVideoClusters->AddToLastDuration(duration) && m_lpObserver != nullptr) {
        m_lpObserver->OnLostTime(TRUE, duration);
    }
}

void CMP4Muxer::KeepLostAudioTime(uint32_t duration)
{
    // Held frames come after the table's last sample.
    if (m_nTmpAudioFrames > 0) {
        uint32_t& last = m_TmpAudioPos[m_nTmpAudioFrames - 1].duration;
        last = duration > 0xFFFFFFFFu - last ? 0xFFFFFFFFu : last + duration;
        m_nTmpAudioDuration += duration;
        return;
    }
    if (m_lpAudioClusters->AddToLastDuration(duration) && m_lpObserver != nullptr) {
        m_lpObserver->OnLostTime(FALSE, duration);
    }
}

BOOL CMP4Muxer::FlushTmpAudioData()
{
    if (m_nTmpAudioFrames == 0) {
        return 1;
    }
    int64_t pos = 0;
    if (!WriteSample(m_lpTmpAudioBuffer, static_cast<uint32_t>(m_nTmpAudioDataSize), &pos)) {
        return 0;
    }
    m_MdatSize += static_cast<uint64_t>(m_nTmpAudioDataSize);
    for (int i = 0; i < m_nTmpAudioFrames; ++i) {
        const tagTmpAudioPos& held = m_TmpAudioPos[i];
        // A run right after the previous one (no video between) continues its chunk.
        BOOL chunkStart = (i == 0 && !m_bForceNextVideoTrunk) ? TRUE : FALSE;
        m_lpAudioClusters->UpdateEntrys(static_cast<uint64_t>(pos) + held.pos, held.size, held.duration, chunkStart,
                                        FALSE);
        if (m_lpObserver != nullptr) {
            m_lpObserver->OnSample(FALSE, static_cast<uint64_t>(pos) + held.pos, held.size, held.duration, chunkStart,
                                   FALSE);
        }
    }
    m_nTmpAudioFrames = 0;
    m_nTmpAudioDataSize = 0;
    m_nTmpAudioDuration = 0;
    // The next video sample does not follow the previous one in the file.
    m_bForceNextVideoTrunk = TRUE;
    return 1;
}

BOOL CMP4Muxer::ReopenForTrailer(const char* filename, int64_t dataEnd, uint64_t creationTime)
{
    ResetFileState();
    if (dataEnd < kMdatPos + 8 || OpenExisting(filename) != 0) {
        return 0;
    }
    if (URLFSeek(dataEnd, 0) != dataEnd) {
        Close();
        return 0;
    }
    m_CreationTime = creationTime;
    m_ModificationTime = creationTime;
    m_MdatPos = kMdatPos;
    return 1;
}

BOOL CMP4Muxer::RestoreSample(BOOL bVideo, uint64_t offset, uint32_t size, uint32_t duration, BOOL bChunkStart,
                              BOOL bForceChunk)
{
    CMovieEntry* table = bVideo ? m_lpVideoClusters.get() : m_lpAudioClusters.get();
    if (!IsOpen() || table == nullptr || !table->UpdateEntrys(offset, size, duration, bChunkStart, bForceChunk)) {
        return 0;
    }
    m_MdatSize += size;
    if (!bVideo) {
        m_bHasAudioTrack = TRUE;
    }
    return 1;
}

BOOL CMP4Muxer::RestoreLostTime(BOOL bVideo, uint32_t duration)
{
    CMovieEntry* table = bVideo ? m_lpVideoClusters.get() : m_lpAudioClusters.get();
    return IsOpen() && table != nullptr && table->AddToLastDuration(duration);
}

BOOL CMP4Muxer::WriteMdatSize(int64_t moovPos)
{
    int64_t payload = moovPos - (kMdatPos + 8);
    if (payload < 0) {
        return 0;
    }
    uint64_t n = static_cast<uint64_t>(payload);
    if (n + 8 <= 0xFFFFFFFFull) {
        if (URLFSeek(kMdatPos, 0) != kMdatPos || !PutBE32(static_cast<uint32_t>(n + 8))) {
            return 0;
        }
    } else {
        // One 16-byte large header over the 8-byte free box.
        if (URLFSeek(kMdatPos - 8, 0) != kMdatPos - 8 || !PutBE32(1) || !PutTag("mdat") || !PutBE64(n + 16)) {
            return 0;
        }
    }
    return URLFSeek(moovPos, 0) == moovPos;
}

void CMP4Muxer::WriteSkipTag()
{
    int64_t pos = BeginBox("skip");
    if (m_AlarmTrigger != 0) {
        PutBE32(16);
        PutTag("altg");
        PutBE32(0);
        PutBE32(m_AlarmTrigger);
    }
    if (m_lpAlarmAssociatedData != nullptr) {
        XMP4WriteAsctBox(this, m_lpAlarmAssociatedData);
    }
    UpdateSize(pos);
}

void CMP4Muxer::WriteMvhdTag()
{
    uint64_t own = static_cast<uint64_t>(m_lpVideoClusters->GetDuration());
    uint64_t duration = XMP4Rescale(own, m_lpVideoTrack->GetTimeScale(), MP4_MOVIE_TIMESCALE);
    bool v1 = own >= kMovieVersion1Duration || duration >= kMovieVersion1Duration;
    static const uint32_t kMatrix[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};

    PutBE32(v1 ? 120 : 108);
    PutTag("mvhd");
    PutByte(v1 ? 1 : 0);
    PutBE24(0);
    if (v1) {
        PutBE64(m_CreationTime);
        PutBE64(m_ModificationTime);
        PutBE32(MP4_MOVIE_TIMESCALE);
        PutBE64(duration);
    } else {
        PutBE32(static_cast<uint32_t>(m_CreationTime));
        PutBE32(static_cast<uint32_t>(m_ModificationTime));
        PutBE32(MP4_MOVIE_TIMESCALE);
        PutBE32(static_cast<uint32_t>(duration));
    }
    PutBE32(0x00010000);  // rate
    PutBE16(0x0100);      // volume
    PutZeros(10);
    for (uint32_t v : kMatrix) {
        PutBE32(v);
    }
    PutZeros(24);
    PutBE32(m_bHasAudioTrack ? 3 : 2);
}

int64_t CMP4Muxer::WriteMoovTag()
{
    if (!m_lpVideoTrack || !m_lpVideoClusters) {
        return 0;
    }
    int64_t pos = URLFTell();
    if (pos < 0) {
        return 0;
    }
    PutBE32(0);
    PutTag("moov");
    WriteMvhdTag();
    m_lpVideoTrack->SetTimes(m_CreationTime, m_ModificationTime);
    if (m_lpVideoTrack->WriteTrakTag(this, m_lpVideoClusters.get()) <= 0) {
        return 0;
    }
    if (m_bHasAudioTrack) {
        if (!m_lpAudioTrack) {
            return 0;
        }
        m_lpAudioTrack->SetTimes(m_CreationTime, m_ModificationTime);
        if (m_lpAudioTrack->WriteTrakTag(this, m_lpAudioClusters.get()) <= 0) {
            return 0;
        }
    }
    return UpdateSize(pos);
}

BOOL CMP4Muxer::WriteTrailer(int64_t* totalSize)
{
    if (!IsOpen()) {
        ResetFileState();
        return 0;
    }
    BOOL ok = TRUE;
    m_ModificationTime = XMP4Now();
    // Held audio that cannot be written is dropped; the index still goes out
    // so that the file stays readable, but the trailer counts as failed.
    if (m_bHasAudioTrack && !FlushTmpAudioData()) {
        ok = FALSE;
        uint64_t lost = 0;
        for (int i = 0; i < m_nTmpAudioFrames; ++i) {
            lost += m_TmpAudioPos[i].duration;
        }
        m_nTmpAudioFrames = 0;
        m_nTmpAudioDataSize = 0;
        m_nTmpAudioDuration = 0;
        m_lpAudioClusters->AddToLastDuration(lost > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(lost));
    }
    int64_t moovPos = URLFTell();
    printf("MOOV POS = %lld\n", static_cast<long long>(moovPos));
    if (moovPos < kMdatPos + 8 || HasIOError()) {
        ok = FALSE;
    } else {
        if (!WriteMdatSize(moovPos)) {
            ok = FALSE;
        }
        if (m_AlarmTrigger != 0 || m_lpAlarmAssociatedData != nullptr) {
            WriteSkipTag();
        }
        if (WriteMoovTag() <= 0) {
            ok = FALSE;
        }
        if (!FlushBuffer() || HasIOError()) {
            ok = FALSE;
        }
        // Bytes of a failed last write may lie beyond the end of moov.
        if (ok && !TruncateHere()) {
            ok = FALSE;
        }
        // The file must hold its moov before it is renamed to its final name.
        if (!SyncFile()) {
            ok = FALSE;
        }
    }
    if (totalSize != nullptr) {
        int64_t size = URLFSize();
        *totalSize = size > 0 ? size : 0;
    }
    if (Close() != 0) {
        ok = FALSE;
    }
    ResetFileState();
    return ok;
}
