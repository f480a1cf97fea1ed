#ifndef RECORD_H264PARAMSETS_H
#define RECORD_H264PARAMSETS_H

#include <cstdint>

// The H.264 parameter sets of the recorded stream, each a whole NAL unit from
// its header byte on, without start code; handed to every new file.
struct tagH264SPSPPS {
    uint8_t sps[128];
    uint32_t sps_len;
    uint8_t pps[128];
    uint32_t pps_len;
    uint8_t cei[128];
    uint32_t cei_len;
};
typedef tagH264SPSPPS H264SPSPPS;

#endif
