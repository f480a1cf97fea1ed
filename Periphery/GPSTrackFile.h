#ifndef PERIPHERY_GPSTRACKFILE_H
#define PERIPHERY_GPSTRACKFILE_H

#include <cstddef>

#include "Function/types.h"
#include "Periphery/GPSLinks.h"

// The daily track file gps/YYYYMMDD.dat (the UTC date) on the card: opened
// at a fix's record when none is open ("#" as its first line), closed when
// the card becomes unusable or logging pauses. Not locked: the receiver
// calls it under its own lock.
class CGPSTrackFile {
public:
    CGPSTrackFile() = default;
    ~CGPSTrackFile();
    CGPSTrackFile(const CGPSTrackFile&) = delete;
    CGPSTrackFile& operator=(const CGPSTrackFile&) = delete;

    // Appends one record line, opening today's file first when none is open
    // (the card's state bits `cardState`, its mount folder from `card`, the
    // date from `links`).
    void SaveData(const char* line, int cardState, CCardFiles* card, CGPSLinks* links);
    BOOL DisableSaveData();
    // Closes the file; none opens until Resume.
    void Pause();
    void Resume();

private:
    BOOL EnableSaveData(int cardState, CCardFiles* card, CGPSLinks* links);
    static BOOL CreateSaveGPSDataFileName(char* name, size_t size, CCardFiles* card, CGPSLinks* links);

    int m_fdGPSData = -1;
    BOOL m_PauseSaveData = FALSE;
};

#endif
