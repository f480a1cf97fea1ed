#ifndef RECORD_MP4_MP4TYPES_H
#define RECORD_MP4_MP4TYPES_H

// Shared definitions of the MP4 writer: codec kinds, the H.264 parameter sets
// handed to a new file, and the fixed movie timescale.

#include <cstdint>
#include <cstring>

#include "Function/types.h"

enum emAVMediaCodecType {
    emAVMediaCodecType_None = 0,
    emAVMediaCodecType_H264 = 1,
    emAVMediaCodecType_AAC = 2,
};

// Capacity of each parameter-set copy.
#define MP4_VOS_UNIT_MAX 128

// The H.264 parameter sets of the stream, each a whole NAL unit from its
// header byte on, without start code. Only the SPS and PPS reach the file.
struct tagH264SPSPPS {
    uint8_t sps[MP4_VOS_UNIT_MAX];
    uint32_t sps_len;
    uint8_t pps[MP4_VOS_UNIT_MAX];
    uint32_t pps_len;
    uint8_t cei[MP4_VOS_UNIT_MAX];
    uint32_t cei_len;
};
typedef tagH264SPSPPS H264SPSPPS;

static_assert(sizeof(tagH264SPSPPS) == 396, "tagH264SPSPPS is handed over as 396 bytes");

// Shortest SPS that carries profile, constraint flags and level after its header byte.
#define MP4_SPS_MIN_LEN 4

// Ticks per second of the movie (mvhd) and of every tkhd duration.
#define MP4_MOVIE_TIMESCALE 1000u

// Seconds between 1904-01-01 and 1970-01-01.
#define MP4_EPOCH_OFFSET 2082844800ull

// `duration` ticks of `from` per second expressed in ticks of `to` per second,
// truncated, without 64-bit overflow; 0 when `from` is 0.
inline uint64_t XMP4Rescale(uint64_t duration, uint32_t from, uint32_t to)
{
    if (from == 0) {
        return 0;
    }
    return (duration / from) * to + (duration % from) * to / from;
}

// Copies one parameter set or decoder config (at most MP4_VOS_UNIT_MAX
// bytes, checked by the caller) and gives its length.
inline int XMP4CopyVosUnit(uint8_t (&dst)[MP4_VOS_UNIT_MAX], const void* src, size_t len)
{
    if (len > 0) {
        memcpy(dst, src, len);
    }
    return static_cast<int>(len);
}

#endif
