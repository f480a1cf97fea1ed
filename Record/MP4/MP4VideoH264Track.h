#ifndef RECORD_MP4_MP4VIDEOH264TRACK_H
#define RECORD_MP4_MP4VIDEOH264TRACK_H

#include <cstdint>

#include "Record/MP4/MP4Types.h"
#include "Record/MP4/MP4VideoTrack.h"

// An H.264 video track: the avc1 sample entry with its avcC.
class CMP4VideoH264Track : public CMP4VideoTrack {
public:
    explicit CMP4VideoH264Track(int trackID);

    // Takes a whole tagH264SPSPPS (len is not used). Refuses (0) an SPS
    // shorter than 4 bytes, an empty PPS or either longer than 128 bytes.
    BOOL SetVosData(const void* data, int len) override;

    struct tagVosData {
        uint8_t sps[MP4_VOS_UNIT_MAX];
        int sps_size;
        uint8_t pps[MP4_VOS_UNIT_MAX];
        int pps_size;
    };
    const tagVosData& GetVosData() const { return m_VosData; }

    // Whether the parameter sets can go into an avcC.
    static BOOL IsValidSpsPps(const tagH264SPSPPS* spspps);

protected:
    void WriteVideoTag() override;

private:
    tagVosData m_VosData;
};

#endif
