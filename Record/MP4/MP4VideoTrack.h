#ifndef RECORD_MP4_MP4VIDEOTRACK_H
#define RECORD_MP4_MP4VIDEOTRACK_H

#include "Record/MP4/MP4Track.h"

// A video track: picture size and the video box writers.
class CMP4VideoTrack : public CMP4Track {
public:
    explicit CMP4VideoTrack(int trackID);

    void SetVideoPictureSize(int width, int height) override;
    int GetVideoWidth() const { return m_VideoWidth; }
    int GetVideoHeight() const { return m_VideoHeight; }

protected:
    void WriteTkhdTag() override;
    void WriteHdlrTag() override;
    void WriteMediaHeaderTag() override;
    bool HasSyncSampleTable() const override { return true; }

    int m_VideoWidth;
    int m_VideoHeight;
};

#endif
