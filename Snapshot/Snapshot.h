#ifndef SNAPSHOT_SNAPSHOT_H
#define SNAPSHOT_SNAPSHOT_H

// Event images from the large JPEG encoder (logical channel 2, which encodes
// only on request). The thread serves XM_SNAPSHOT requests: the GPS line as
// the picture's user data, prompt 2 when the settings ask for it, exactly one
// picture, saved as DCIM/104snap/LYYYYMMDDhhmmss[(n)].JPG, entered in the
// engine's image index and, when asked, attached to the alarm video.
// Capture() serves the phone app on its own thread with one fresh picture.
//
// One capture lock covers a whole capture, from the user data to the
// release of the stream, the file's name and creation included; m_Mutex
// only guards the card state, so the SD callback never waits behind a capture.

#include <atomic>
#include <cstdint>

#include "Function/RecTime.h"
#include "Function/types.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/Singleton.h"
#include "MultiTask/Thread.h"
#include "Platform/MediaTypes.h"
#include "Snapshot/SnapshotPorts.h"

class CSnapshotManager : public CThread, public CSingleton<CSnapshotManager> {
public:
    enum {
        kMsgQueueSize = 1024,
        kGPSBufferSize = 1024,
        kCaptureTimeoutMs = 2000,
        kMaxNameIndex = 255,  // the highest collision index a card scan reads back
    };

    CSnapshotManager();
    ~CSnapshotManager() override;

    // What it reaches outside itself (not owned), before Init.
    void Bind(const SnapshotRoles& roles) { m_Roles = roles; }

    // Registers the SD callback and starts the thread; 0 (unregistered)
    // when either fails.
    BOOL Init();
    BOOL CleanUp();

    // Posts a request; 0 when the queue is full. `type` is the image letter.
    BOOL Snapshot(int channel, int notify, unsigned long type);
    BOOL PauseSnapshot();
    BOOL ResumeSnapshot();
    // One picture into buffer: `length` gives the room and gets the size.
    // A room of 0 saves a 'U' image instead. 1 or 0.
    BOOL Capture(unsigned char* buffer, unsigned* length);

    static int SDCardStateChange(int state, void* priv);
    void OnSDCardStateChange(int state);

    // The image letter a type stands for: A G M P R V W, else 'U'.
    static char ImageLetter(unsigned long type);
    // "%c%04d%02d%02d%02d%02d%02d[_count][(index)].JPG".
    static void FormatSnapshotName(char* name, size_t size, char letter, const RECTIME& time, int index,
                                   BOOL bCounted, int count);

    void ThreadProc() override;

private:
    // One request of the thread.
    void ProcessSnapshot(uint32_t lpa, char* gps);
    BOOL IsCardUsable();
    BOOL IsRunnable() const;
    // Takes and gives back every picture already waiting (capture lock held).
    void DrainPictures();
    BOOL OpenJpegFd();
    BOOL EnableEnc();
    // Capture lock held.
    BOOL CaptureImage(unsigned char* buffer, unsigned* length, const char* gps, BOOL bNotify, char letter);
    // The first free path from `index` on; 0 without a usable card or folder.
    BOOL CreateSnapshotFileName(char* name, size_t nameSize, char* path, size_t pathSize, int* index,
                                const RECTIME& time, char letter, BOOL bCounted, int count);
    // 1 saved; 0 failed (nothing left behind); -1 the name was taken meanwhile.
    int SaveToFile(const VENC_STREAM_S& stream, const char* gps, BOOL bNotify, char letter, const char* name,
                   const char* path, int index, const RECTIME& time);
    BOOL SaveToBuffer(const VENC_STREAM_S& stream, unsigned char* buffer, unsigned* length);
    BOOL ReleaseStream(VENC_STREAM_S& stream);

    SnapshotRoles m_Roles{};
    int m_SnapChannel;
    int m_SDState;            // m_Mutex
    char m_SDPath[256];       // m_Mutex
    int m_JpegChnFD;          // capture lock
    std::atomic<BOOL> m_PauseSnapshot;
    uint8_t* m_lpTmpBuff;     // capture lock
    unsigned m_nTmpBuffLen;   // capture lock
    BOOL m_bRegistered;
    CMutex m_CaptureMutex;
    // m_Mutex (CThread's) guards m_SDState and m_SDPath.
};

#endif
