#ifndef PERIPHERY_GPSFILELIST_H
#define PERIPHERY_GPSFILELIST_H

#include <time.h>

#include <cstdint>

// One kept track file, by its date; deleting a node deletes the rest of
// its chain.
class CGPSFile {
public:
    CGPSFile(unsigned year, unsigned month, unsigned day);
    ~CGPSFile();
    CGPSFile(const CGPSFile&) = delete;
    CGPSFile& operator=(const CGPSFile&) = delete;

    struct {
        uint32_t day : 5;
        uint32_t month : 4;
        uint32_t year : 23;
    } m_FileName;
    CGPSFile* m_lpNext;
};

// The track files of the card's gps/ folder as the app lists them: today's
// and those of the seven days before it; older ones and names that are no
// date are deleted while the folder is read. Not locked: the receiver
// calls it under its own lock.
class CGPSFileList {
public:
    CGPSFileList() = default;
    ~CGPSFileList();
    CGPSFileList(const CGPSFileList&) = delete;
    CGPSFileList& operator=(const CGPSFileList&) = delete;

    void Clear();
    // Adds the kept files of folder `dir` (a board path ending in '/') as of `now`.
    void Scan(const char* dir, time_t now);
    // {"gpsfolder":"gps","gpsdata":[...]}: its length, or -1 when `size`
    // is too small.
    int Json(char* buf, int size) const;

private:
    enum { kKeepDays = 7 };

    CGPSFile* m_lpFiles = nullptr;
};

#endif
