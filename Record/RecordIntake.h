#ifndef RECORD_RECORDINTAKE_H
#define RECORD_RECORDINTAKE_H

// The recording engine's entrance: turns the encoder's stream records into
// self-contained cache entries (H.264 units with big-endian length prefixes,
// whole JPEG pictures, raw AAC access units), holds the H.264 parameter sets
// aside, discards the first frames after start-up and drains the cache into
// the engine once more than the caching time of video is held (or, oldest
// first, as far as a new entry needs room in a full ring). In parking
// mode every packet is handed on at once. Not locked: the engine's lock
// guards every call.

#include <cstdint>

#include "Function/types.h"
#include "Platform/MediaTypes.h"
#include "Record/MP4/MP4Types.h"
#include "Record/MediaDataInfo.h"
#include "Record/RingBuffer.h"

// Microsecond clock for the arrival times of the entries.
typedef uint64_t (*XUSClockFunc)();

class CRecordIntake {
public:
    // `ring` and `sink` belong to the engine and outlive the intake.
    CRecordIntake(CRecordRingBuffer& ring, CRecordPacketSink* sink);
    ~CRecordIntake();
    CRecordIntake(const CRecordIntake&) = delete;
    CRecordIntake& operator=(const CRecordIntake&) = delete;

    // One stream: VENC_STREAM_S for video and JPEG, AUDIO_STREAM_S for audio.
    void IncommingPacket(void* stream, const tagChannelConfig* config, BOOL bParking);
    // Hands every cached entry up to the last video frame to the sink.
    void FlushRingBuffer();

    // Video frames to throw away before recording begins (fps x 2 at start).
    void SetWillDiscardFrame(uint32_t nFrames) { m_nWillDiscardFrame = nFrames; }
    uint32_t GetWillDiscardFrame() const { return m_nWillDiscardFrame; }
    // Video frames held back before entries leave the cache (0 in parking).
    void SetCachingTime(uint32_t nFrames) { m_nCachingTime = nFrames; }
    uint32_t GetCachingTime() const { return m_nCachingTime; }
    uint32_t GetTotalVideoFrame() const { return m_nTotalVideoFrame; }
    const tagH264SPSPPS& GetSpsPps() const { return m_RecordChnH264SpsPps; }
    void SetClock(XUSClockFunc lpfnClock);

    // Raw AAC dump of every audio stream, ADTS headers included (factory test).
    BOOL StartRecordAAC(const char* filename);
    BOOL StopRecordAAC();
    // Prints the video frame count; 1 when any video has arrived.
    BOOL ImageSensorActive() const;

private:
    struct tagVideoUnit {
        const uint8_t* lpUnit;  // NAL header byte on
        uint32_t nUnitLen;      // without start code
        int nNalType;
    };

    void IncommingVideo(const VENC_STREAM_S* stream, const tagChannelConfig* config, BOOL bParking);
    void IncommingImage(const VENC_STREAM_S* stream, const tagChannelConfig* config, BOOL bParking);
    void IncommingAudio(const AUDIO_STREAM_S* stream, const tagChannelConfig* config, BOOL bParking);
    void KeepParamSet(const tagVideoUnit& unit);
    void PutVideoToRingBuffer(const tagVideoUnit& unit, const VENC_PACK_S& pack, uint32_t serial,
                              BOOL bAddBeLenPrefix, const tagChannelConfig* config);
    void HandVideoOn(const tagVideoUnit& unit, const VENC_PACK_S& pack, uint32_t serial,
                     const tagChannelConfig* config);
    void FillVideoHeader(tagMediaDataInfo* entry, uint32_t serial, uint64_t pts, int frameType,
                         const tagChannelConfig* config) const;
    void FillAudioHeader(tagMediaDataInfo* entry, const AUDIO_STREAM_S* stream,
                         const tagChannelConfig* config) const;
    // A ring slot of `total` bytes; while there is none the oldest entries
    // go to the sink first. Null only when it does not fit an empty ring.
    tagMediaDataInfo* ReserveMakingRoom(uint32_t total, BOOL& bWrapped);
    tagMediaDataInfo* PlaceEntry(uint64_t payload, BOOL bParking, tagMediaDataInfo& stackEntry, uint8_t*& data,
                                 const char* ringLabel, const char* cacheLabel);
    // A placed entry of `size` bytes at `data`: to the sink at once when
    // parking, else committed to the ring.
    void Deliver(tagMediaDataInfo* entry, uint8_t* data, uint32_t size, BOOL bParking);
    void CountFrameRate(uint64_t now, uint32_t& counter, uint64_t& reference);
    void EmptyCacheForParking();
    void Drain(BOOL bFlush);

    CRecordRingBuffer& m_Ring;
    CRecordPacketSink* m_lpSink;
    XUSClockFunc m_lpfnClock;
    tagH264SPSPPS m_RecordChnH264SpsPps;
    uint32_t m_nCachingTime;
    uint32_t m_nTotalVideoFrame;
    uint32_t m_nWillDiscardFrame;
    int m_fdAAC;
    uint32_t m_nBadAudio;          // refused audio streams, for the error line
    uint32_t m_nFpsCounter;        // frame-rate print, normal path
    uint64_t m_nFpsReference;
    uint32_t m_nParkingFpsCounter; // frame-rate print, parking path
    uint64_t m_nParkingFpsReference;
};

// Length of the ADTS header of one whole AAC frame: 7, or 9 with CRC; 0 when
// `data` is not exactly one ADTS frame with one raw data block.
uint32_t XAdtsHeaderLength(const uint8_t* data, uint32_t len);

#endif
