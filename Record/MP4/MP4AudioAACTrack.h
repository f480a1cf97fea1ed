#ifndef RECORD_MP4_MP4AUDIOAACTRACK_H
#define RECORD_MP4_MP4AUDIOAACTRACK_H

#include <cstdint>

#include "Record/MP4/MP4AudioTrack.h"
#include "Record/MP4/MP4Types.h"

// An AAC audio track: the mp4a sample entry with its esds.
class CMP4AudioAACTrack : public CMP4AudioTrack {
public:
    explicit CMP4AudioAACTrack(int trackID);

    // Stores the AudioSpecificConfig; refuses (0) more than 128 bytes or a
    // negative length.
    BOOL SetVosData(const void* data, int len) override;

    struct tagSpecificInfo {
        uint8_t szInfo[MP4_VOS_UNIT_MAX];
        int size;
    };
    const tagSpecificInfo& GetSpecificInfo() const { return m_SpecificInfo; }

protected:
    void WriteAudioTag() override;

private:
    void WriteEsdsTag();

    tagSpecificInfo m_SpecificInfo;
};

#endif
