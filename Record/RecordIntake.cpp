#include "Record/RecordIntake.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "Function/common.h"
#include "Platform/BoardRoot.h"

namespace {

// NAL unit types.
const int kNalSliceFirst = 1;  // non-IDR slice (and its data partitions up to 4)
const int kNalSliceLast = 4;
const int kNalIDR = 5;
const int kNalSEI = 6;
const int kNalSPS = 7;
const int kNalPPS = 8;

// Frame-rate print interval, microseconds.
const uint64_t kFpsPrintInterval = 9999999;

const uint32_t kHeaderSlot = CRecordRingBuffer::m_nHeaderSlot;
const uint32_t kLengthPrefix = 4;

void XPutBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Start-code length of a pack: 4 (00 00 00 01) or 3 (00 00 01); 0 without one.
uint32_t XStartCodeLength(const uint8_t* p, uint32_t len)
{
    if (len >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 1) {
        return 4;
    }
    if (len >= 3 && p[0] == 0 && p[1] == 0 && p[2] == 1) {
        return 3;
    }
    return 0;
}

}  // namespace

uint32_t XAdtsHeaderLength(const uint8_t* data, uint32_t len)
{
    if (data == nullptr || len < 7) {
        return 0;
    }
    // Syncword 0xFFF and layer 0.
    if (data[0] != 0xFF || (data[1] & 0xF6) != 0xF0) {
        return 0;
    }
    const uint32_t header = (data[1] & 0x01) ? 7 : 9;
    const uint32_t frameLength = (static_cast<uint32_t>(data[3] & 0x03) << 11) |
                                 (static_cast<uint32_t>(data[4]) << 3) | (static_cast<uint32_t>(data[5]) >> 5);
    const uint32_t rawBlocks = data[6] & 0x03;
    if (rawBlocks != 0 || frameLength != len || frameLength <= header) {
        return 0;
    }
    return header;
}

CRecordIntake::CRecordIntake(CRecordRingBuffer& ring, CRecordPacketSink* sink)
    : m_Ring(ring),
      m_lpSink(sink),
      m_lpfnClock(SystemGetUSCount),
      m_RecordChnH264SpsPps(),
      m_nCachingTime(180),
      m_nTotalVideoFrame(0),
      m_nWillDiscardFrame(0),
      m_fdAAC(-1),
      m_nBadAudio(0),
      m_nFpsCounter(0),
      m_nFpsReference(0),
      m_nParkingFpsCounter(0),
      m_nParkingFpsReference(0)
{
}

CRecordIntake::~CRecordIntake()
{
    if (m_fdAAC >= 0) {
        close(m_fdAAC);
        m_fdAAC = -1;
    }
}

void CRecordIntake::SetClock(XUSClockFunc lpfnClock)
{
    m_lpfnClock = lpfnClock != nullptr ? lpfnClock : SystemGetUSCount;
}

void CRecordIntake::IncommingPacket(void* stream, const tagChannelConfig* config, BOOL bParking)
{
    if (stream == nullptr || config == nullptr) {
        return;
    }
    BOOL bCounted = FALSE;
    if (m_nWillDiscardFrame != 0) {
        if (config->av_type != AVDATA_TYPE_VIDEO) {
            return;
        }
        ++m_nTotalVideoFrame;
        --m_nWillDiscardFrame;
        if (m_nWillDiscardFrame != 0) {
            return;
        }
        bCounted = TRUE;
    }
    if (bParking) {
        EmptyCacheForParking();
    }
    switch (config->av_type) {
    case AVDATA_TYPE_VIDEO:
        IncommingVideo(static_cast<const VENC_STREAM_S*>(stream), config, bParking);
        if (!bCounted) {
            ++m_nTotalVideoFrame;
        }
        break;
    case AVDATA_TYPE_IMAGE:
        IncommingImage(static_cast<const VENC_STREAM_S*>(stream), config, bParking);
        break;
    case AVDATA_TYPE_AUDIO:
        IncommingAudio(static_cast<const AUDIO_STREAM_S*>(stream), config, bParking);
        break;
    default:
        break;
    }
}

void CRecordIntake::EmptyCacheForParking()
{
    // Parking packets are assembled at the ring start; what the flush before
    // parking left behind (audio and JPEG after the last video frame) goes.
    if (!m_Ring.IsEmpty()) {
        printf("EMPTY RING CACHE FOR PARKING(VIDEO=%u,IMAGE=%u,AUDIO=%u)\n", m_Ring.GetCachedVideoFrame(),
               m_Ring.GetCachedImageFrame(), m_Ring.GetCachedAudioFrame());
        m_Ring.Clear();
    }
}

void CRecordIntake::IncommingVideo(const VENC_STREAM_S* stream, const tagChannelConfig* config, BOOL bParking)
{
    if (stream->pstPack == nullptr) {
        return;
    }
    for (uint32_t i = 0; i < stream->u32PackCount; ++i) {
        const VENC_PACK_S& pack = stream->pstPack[i];
        if (pack.pu8Addr == nullptr || pack.u32Len <= 4) {
            continue;
        }
        const uint32_t sc = XStartCodeLength(pack.pu8Addr, pack.u32Len);
        if (sc == 0 || pack.u32Len <= sc) {
            XERROR("H264 PACK WITHOUT START CODE(SEQ=%u, PACK=%u, LEN=%u) DROPPED\n", stream->u32Seq, i,
                   pack.u32Len);
            continue;
        }
        tagVideoUnit unit;
        unit.lpUnit = pack.pu8Addr + sc;
        unit.nUnitLen = pack.u32Len - sc;
        if (unit.lpUnit[0] & 0x80) {
            XERROR("H264 UNIT WITH FORBIDDEN BIT(SEQ=%u, PACK=%u) DROPPED\n", stream->u32Seq, i);
            continue;
        }
        unit.nNalType = unit.lpUnit[0] & 0x1F;
        if (unit.nNalType == kNalSPS || unit.nNalType == kNalPPS || unit.nNalType == kNalSEI) {
            KeepParamSet(unit);
            continue;
        }
        if (unit.nNalType != kNalIDR && (unit.nNalType < kNalSliceFirst || unit.nNalType > kNalSliceLast)) {
            // Access-unit delimiters, filler, end of sequence and the like.
            continue;
        }
        if (bParking) {
            HandVideoOn(unit, pack, stream->u32Seq, config);
        } else {
            PutVideoToRingBuffer(unit, pack, stream->u32Seq, TRUE, config);
        }
    }
}

void CRecordIntake::KeepParamSet(const tagVideoUnit& unit)
{
    const uint32_t capacity = sizeof(m_RecordChnH264SpsPps.sps);
    uint8_t* dst = nullptr;
    uint32_t* dstLen = nullptr;
    const char* name = "";
    switch (unit.nNalType) {
    case kNalSPS:
        dst = m_RecordChnH264SpsPps.sps;
        dstLen = &m_RecordChnH264SpsPps.sps_len;
        name = "SPS";
        break;
    case kNalPPS:
        dst = m_RecordChnH264SpsPps.pps;
        dstLen = &m_RecordChnH264SpsPps.pps_len;
        name = "PPS";
        break;
    default:
        if (unit.nUnitLen > capacity) {
            return;  // an SEI that does not fit is of no use to the files
        }
        dst = m_RecordChnH264SpsPps.cei;
        dstLen = &m_RecordChnH264SpsPps.cei_len;
        break;
    }
    if (unit.nUnitLen > capacity) {
        XERROR("%s OF %u BYTES REFUSED(MAX=%u), THE PREVIOUS ONE IS KEPT\n", name, unit.nUnitLen, capacity);
        return;
    }
    memcpy(dst, unit.lpUnit, unit.nUnitLen);
    *dstLen = unit.nUnitLen;
}

void CRecordIntake::FillVideoHeader(tagMediaDataInfo* entry, uint32_t serial, uint64_t pts, int frameType,
                                    const tagChannelConfig* config) const
{
    memset(entry, 0, sizeof(*entry));
    entry->nFrameSerial = serial;
    entry->nTimestamp = pts;
    entry->nTimestamp2 = m_lpfnClock();
    entry->emFrameType = frameType;
    entry->emAVType = static_cast<int>(config->av_type);
    entry->emFrameCodec = static_cast<int>(config->enc);
    entry->nPicWidth = config->width;
    entry->nPicHeight = config->height;
    entry->nChannel = config->channel_id;
    entry->nFrameRate = static_cast<int>(config->fps);
}

void CRecordIntake::FillAudioHeader(tagMediaDataInfo* entry, const AUDIO_STREAM_S* stream,
                                    const tagChannelConfig* config) const
{
    memset(entry, 0, sizeof(*entry));
    entry->nFrameSerial = stream->u32Seq;
    entry->nTimestamp = stream->u64TimeStamp;
    entry->nTimestamp2 = m_lpfnClock();
    entry->emAVType = static_cast<int>(config->av_type);
    entry->emFrameCodec = static_cast<int>(config->enc);
    entry->nChannel = config->channel_id;
    entry->sample = config->sample;
    entry->channel = config->channel;
    entry->bit_width = config->bit_width;
}

void CRecordIntake::CountFrameRate(uint64_t now, uint32_t& counter, uint64_t& reference)
{
    ++counter;
    if (reference == 0) {
        reference = now;
        counter = 0;
        return;
    }
    if (now > reference && now - reference > kFpsPrintInterval) {
        const long double fps = static_cast<long double>(counter) * 1000000.0L /
                                static_cast<long double>(now - reference);
        printf("MAIN H264 FPS=%.2Lf\n", fps);
        reference = now;
        counter = 0;
    }
}

void CRecordIntake::PutVideoToRingBuffer(const tagVideoUnit& unit, const VENC_PACK_S& pack, uint32_t serial,
                                         BOOL bAddBeLenPrefix, const tagChannelConfig* config)
{
    const uint32_t prefix = bAddBeLenPrefix ? kLengthPrefix : 0;
    const uint64_t payload = static_cast<uint64_t>(unit.nUnitLen) + prefix;
    const uint64_t total = payload + kHeaderSlot;
    BOOL bWrapped = FALSE;
    tagMediaDataInfo* entry =
        total <= m_Ring.GetSize() ? ReserveMakingRoom(static_cast<uint32_t>(total), bWrapped) : nullptr;
    if (entry == nullptr) {
        XERROR("DROP VIDEO DATA(SIZE=%u, TOTAL=%u).\n", unit.nUnitLen, static_cast<uint32_t>(total));
        return;
    }
    const int frameType = unit.nNalType == kNalIDR ? AVDATA_TYPE_I_FRAME : AVDATA_TYPE_P_FRAME;
    FillVideoHeader(entry, serial, pack.u64PTS, frameType, config);
    uint8_t* data = reinterpret_cast<uint8_t*>(entry) + kHeaderSlot;
    entry->nDataSize = static_cast<uint32_t>(payload);
    entry->lpData = data;
    if (prefix != 0) {
        XPutBE32(data, unit.nUnitLen);
    }
    memcpy(data + prefix, unit.lpUnit, unit.nUnitLen);
    m_Ring.Commit(entry);
    CountFrameRate(entry->nTimestamp2, m_nFpsCounter, m_nFpsReference);
    Drain(FALSE);
}

void CRecordIntake::HandVideoOn(const tagVideoUnit& unit, const VENC_PACK_S& pack, uint32_t serial,
                                const tagChannelConfig* config)
{
    const uint64_t payload = static_cast<uint64_t>(unit.nUnitLen) + kLengthPrefix;
    uint8_t* data = payload <= m_Ring.GetSize() ? m_Ring.Scratch(static_cast<uint32_t>(payload)) : nullptr;
    if (data == nullptr) {
        XERROR("DROP VIDEO DATA(SIZE=%u, TOTAL=%u).\n", unit.nUnitLen,
               static_cast<uint32_t>(payload + kHeaderSlot));
        return;
    }
    tagMediaDataInfo entry;
    const int frameType = unit.nNalType == kNalIDR ? AVDATA_TYPE_I_FRAME : AVDATA_TYPE_P_FRAME;
    FillVideoHeader(&entry, serial, pack.u64PTS, frameType, config);
    XPutBE32(data, unit.nUnitLen);
    memcpy(data + kLengthPrefix, unit.lpUnit, unit.nUnitLen);
    entry.nDataSize = static_cast<uint32_t>(payload);
    entry.lpData = data;
    entry.lpNext = nullptr;
    CountFrameRate(entry.nTimestamp2, m_nParkingFpsCounter, m_nParkingFpsReference);
    if (m_lpSink != nullptr) {
        m_lpSink->ProcessPacket(&entry);
    }
}

tagMediaDataInfo* CRecordIntake::ReserveMakingRoom(uint32_t total, BOOL& bWrapped)
{
    // The pre-record window shrinks rather than new packets being lost.
    tagMediaDataInfo* entry = m_Ring.Reserve(total, bWrapped);
    while (entry == nullptr && m_Ring.DrainOldest(m_lpSink)) {
        entry = m_Ring.Reserve(total, bWrapped);
    }
    return entry;
}

// Where an entry of `payload` bytes goes: a slot of the ring or, in parking
// mode, the ring's scratch area with its header on the caller's stack. Null
// when there is no room; `data` then stays null.
tagMediaDataInfo* CRecordIntake::PlaceEntry(uint64_t payload, BOOL bParking, tagMediaDataInfo& stackEntry,
                                            uint8_t*& data, const char* ringLabel, const char* cacheLabel)
{
    data = nullptr;
    const uint64_t total = payload + kHeaderSlot;
    if (total > m_Ring.GetSize()) {
        return nullptr;
    }
    if (bParking) {
        data = m_Ring.Scratch(static_cast<uint32_t>(payload));
        return data != nullptr ? &stackEntry : nullptr;
    }
    BOOL bWrapped = FALSE;
    tagMediaDataInfo* entry = ReserveMakingRoom(static_cast<uint32_t>(total), bWrapped);
    if (entry == nullptr) {
        return nullptr;
    }
    if (bWrapped) {
        printf("RINGING(%s)....\n", ringLabel);
    }
    if (m_Ring.IsEmpty()) {
        printf("INIT RING CACHE(%s)\n", cacheLabel);
    }
    data = reinterpret_cast<uint8_t*>(entry) + kHeaderSlot;
    return entry;
}

void CRecordIntake::Deliver(tagMediaDataInfo* entry, uint8_t* data, uint32_t size, BOOL bParking)
{
    entry->nDataSize = size;
    entry->lpData = data;
    entry->lpNext = nullptr;
    if (bParking) {
        if (m_lpSink != nullptr) {
            m_lpSink->ProcessPacket(entry);
        }
    } else {
        m_Ring.Commit(entry);
    }
}

void CRecordIntake::IncommingImage(const VENC_STREAM_S* stream, const tagChannelConfig* config, BOOL bParking)
{
    if (stream->pstPack == nullptr || stream->u32PackCount == 0) {
        return;
    }
    uint64_t payload = 0;
    for (uint32_t i = 0; i < stream->u32PackCount; ++i) {
        if (stream->pstPack[i].pu8Addr != nullptr) {
            payload += stream->pstPack[i].u32Len;
        }
    }
    if (payload == 0) {
        return;
    }
    const uint64_t total = payload + kHeaderSlot;
    tagMediaDataInfo stackEntry;
    uint8_t* data = nullptr;
    tagMediaDataInfo* entry = PlaceEntry(payload, bParking, stackEntry, data, "JPEG", "IMAGE");
    if (entry == nullptr) {
        XERROR("DROP JPEG DATA(SIZE=%u, TOTAL=%u).\n", static_cast<uint32_t>(payload),
               static_cast<uint32_t>(total));
        return;
    }
    FillVideoHeader(entry, stream->u32Seq, stream->pstPack[0].u64PTS, AVDATA_TYPE_I_FRAME, config);
    uint8_t* out = data;
    for (uint32_t i = 0; i < stream->u32PackCount; ++i) {
        const VENC_PACK_S& pack = stream->pstPack[i];
        if (pack.pu8Addr != nullptr && pack.u32Len != 0) {
            memcpy(out, pack.pu8Addr, pack.u32Len);
            out += pack.u32Len;
        }
    }
    Deliver(entry, data, static_cast<uint32_t>(payload), bParking);
}

void CRecordIntake::IncommingAudio(const AUDIO_STREAM_S* stream, const tagChannelConfig* config, BOOL bParking)
{
    if (stream->pStream == nullptr || stream->u32Len == 0) {
        return;
    }
    if (m_fdAAC >= 0 && FullWrite(m_fdAAC, stream->pStream, stream->u32Len) != static_cast<ssize_t>(stream->u32Len)) {
        XERROR("WRITE AAC DUMP FAILED(LEN=%u)\n", stream->u32Len);
    }
    if (stream->u32Len < 8) {
        return;
    }
    const uint32_t header = XAdtsHeaderLength(stream->pStream, stream->u32Len);
    if (header == 0) {
        if (m_nBadAudio++ % 256 == 0) {
            XERROR("AUDIO STREAM IS NOT ONE ADTS FRAME(LEN=%u, REFUSED=%u), DROPPED\n", stream->u32Len,
                   m_nBadAudio);
        }
        return;
    }
    const uint32_t payload = stream->u32Len - header;
    const uint64_t total = static_cast<uint64_t>(payload) + kHeaderSlot;
    tagMediaDataInfo stackEntry;
    uint8_t* data = nullptr;
    tagMediaDataInfo* entry = PlaceEntry(payload, bParking, stackEntry, data, "AUDIO", "AUDIO");
    if (entry == nullptr) {
        XERROR("DROP AUDIO DATA(LEN=%u, TOTAL=%u).\n", stream->u32Len, static_cast<uint32_t>(total));
        return;
    }
    FillAudioHeader(entry, stream, config);
    memcpy(data, stream->pStream + header, payload);
    Deliver(entry, data, payload, bParking);
}

void CRecordIntake::Drain(BOOL bFlush)
{
    const tagMediaDataInfo* tail = m_Ring.GetTail();
    if (m_Ring.Drain(m_lpSink, bFlush ? 0 : m_nCachingTime)) {
        printf("RING BUFFER TAIL REACHED(TOTAL=%u,LEFT=%d,TAIL=%p,FLUSH=%d)\n", m_nTotalVideoFrame,
               static_cast<int>(m_Ring.GetCachedVideoFrame()), static_cast<const void*>(tail), bFlush);
    }
}

void CRecordIntake::FlushRingBuffer()
{
    Drain(TRUE);
}

BOOL CRecordIntake::StartRecordAAC(const char* filename)
{
    if (m_fdAAC >= 0) {
        return TRUE;
    }
    if (filename == nullptr) {
        return FALSE;
    }
    m_fdAAC = open(XBoardPath(filename).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fdAAC < 0) {
        XERROR("OPEN FILE %s FAILED\n", filename);
        return FALSE;
    }
    return TRUE;
}

BOOL CRecordIntake::StopRecordAAC()
{
    if (m_fdAAC >= 0) {
        // Linux releases the descriptor even when close reports an error.
        close(m_fdAAC);
        m_fdAAC = -1;
    }
    return TRUE;
}

BOOL CRecordIntake::ImageSensorActive() const
{
    printf("TOTAL VIDEO FRAME = %u\n", m_nTotalVideoFrame);
    return m_nTotalVideoFrame != 0;
}
