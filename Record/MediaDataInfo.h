#ifndef RECORD_MEDIADATAINFO_H
#define RECORD_MEDIADATAINFO_H

// One encoded packet as the recording engine caches and writes it.

#include <cstdint>

#include "Platform/MediaTypes.h"

enum emAVData_Frame_Type {
    AVDATA_TYPE_I_FRAME = 3,
    AVDATA_TYPE_P_FRAME = 4,
};

struct tagMediaDataInfo {
    uint32_t nFrameSerial;     // the stream's sequence number
    uint64_t nTimestamp;       // encoder time stamp, microseconds
    uint64_t nTimestamp2;      // arrival time, microseconds (monotonic)
    int emFrameType;           // emAVData_Frame_Type; JPEG entries are I; unused for audio
    int emAVType;              // AVData_Type
    int emFrameCodec;          // payload type: H.264 96, JPEG 26, AAC 37
    uint32_t nPicWidth;        // video and JPEG
    uint32_t nPicHeight;
    int nChannel;              // encoder channel
    int nFrameRate;
    uint32_t sample;           // audio format
    uint8_t channel;
    uint8_t bit_width;
    uint8_t res[2];
    uint64_t nSeq;             // place in the cache's arrival order (0 when never cached)
    uint32_t nDataSize;        // payload bytes
    uint8_t* lpData;           // payload
    tagMediaDataInfo* lpNext;  // next entry in arrival order
};
typedef tagMediaDataInfo MediaDataInfo;

#endif
