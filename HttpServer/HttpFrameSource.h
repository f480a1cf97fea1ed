#ifndef HTTPSERVER_HTTPFRAMESOURCE_H
#define HTTPSERVER_HTTPFRAMESOURCE_H

// The live sub-stream as the engine sees it: the encoder's pollable
// descriptor and its frames (Annex-B H.264, one frame per call).
class CHttpFrameSource {
public:
    virtual ~CHttpFrameSource() = default;
    // Readable when a frame is ready; -1 when there is none.
    virtual int SubStreamFd() = 0;
    // Copies the next frame into buffer: its length, 0 when none is ready,
    // below 0 on failure. With bWaitIDR the queued frames are dropped and it
    // waits (about 1.5 s) for a frame starting with an IDR picture.
    virtual int SubStreamData(char* buffer, int capacity, int bWaitIDR) = 0;
};

#endif
