#ifndef RECORD_MP4_MP4AUDIOTRACK_H
#define RECORD_MP4_MP4AUDIOTRACK_H

#include <cstdint>

#include "Record/MP4/MP4Track.h"

// An audio track: channel and sample format and the audio box writers.
class CMP4AudioTrack : public CMP4Track {
public:
    explicit CMP4AudioTrack(int trackID);

    void SetAudioInfo(int channels, int sampleSize, int frameSize) override;
    // Bits per second over the track's samples; 0 for a track of no duration.
    uint32_t ComputeAvgBitrate() const;

protected:
    void WriteTkhdTag() override;
    void WriteHdlrTag() override;
    void WriteMediaHeaderTag() override;
    bool HasSyncSampleTable() const override { return false; }

    int m_Channel;
    int m_SampleSize;
    int m_FrameSize;
};

#endif
