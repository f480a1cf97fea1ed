#ifndef RECORD_MEDIADATAINFO_H
#define RECORD_MEDIADATAINFO_H

#include <cstdint>

// One encoded packet as the recording engine caches it and hands it to the
// file writer.
//   video: one NAL unit, a 4-byte big-endian length then the unit;
//   audio: one AAC access unit without its ADTS header;
//   JPEG: the packs of the picture back to back.
struct tagMediaDataInfo {
    uint32_t nFrameSerial;   // the encoder stream's sequence number
    uint64_t nTimestamp;     // encoder time stamp, microseconds
    uint64_t nTimestamp2;    // arrival time, microseconds (SystemGetUSCount)
    int emFrameType;         // 3 I-frame, 4 P-frame (JPEG 3; unused for audio)
    int emAVType;            // 0 audio, 1 video, 2 image
    int emFrameCodec;        // payload type: H.264 96, JPEG 26, AAC 37
    uint32_t nPicWidth;
    uint32_t nPicHeight;
    int nChannel;            // encoder channel
    int nFrameRate;
    uint32_t sample;         // audio sample rate
    uint8_t channel;         // audio channels
    uint8_t bit_width;
    uint8_t res[2];
    uint32_t nDataSize;      // payload bytes
    uint8_t* lpData;         // the payload
    tagMediaDataInfo* lpNext;  // next entry in arrival order
};
typedef tagMediaDataInfo MediaDataInfo;

#endif
