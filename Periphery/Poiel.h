#ifndef PERIPHERY_POIEL_H
#define PERIPHERY_POIEL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "Function/types.h"

// A point in decimal degrees: longitude, latitude.
typedef struct _poielPoint_t {
    float x;
    float y;
} Point_t;

// One point of interest with its attributes in the attribute file's order.
typedef struct __poielInfo_t__ {
    int pointId;
    Point_t piont;
    int meshId;
    int owner;
    int featCode;
    int roadId;
    char sol;
    int16_t azimuth;
    int limit;
    int16_t speech;
} PoielInfo_t;

typedef struct _poielInfoList_t {
    PoielInfo_t poielInfo;
    struct _poielInfoList_t* pNext;
} PoielInfoList_t;

// Reads a point list from a MapInfo pair: the MIF file's "Point" lines give
// the coordinates, the MID file's lines (one per point, in order) the nine
// comma-separated attributes.
class CPoielInfo {
public:
    // Longest text line read; longer lines lose their tail. A line holding
    // a NUL byte is a bad one: ignored in the MIF, and a point whose MIF or
    // MID line is bad is skipped.
    enum { kMaxLineLen = 255 };

    CPoielInfo();
    ~CPoielInfo();
    CPoielInfo(const CPoielInfo&) = delete;
    CPoielInfo& operator=(const CPoielInfo&) = delete;

    // /root/poiel/Poiel.mid and Poiel.mif under the board root.
    BOOL Init();
    BOOL OpenFile(const char* fnameMid, const char* fnameMif);
    BOOL ParseFile(FILE* fp_mid, FILE* fp_mif);
    // Copies `text` up to the first `delimiter[0]` (or its end) into `seg`
    // (at most segSize - 1 characters, spaces left out, terminated); `rest`
    // gets the character after the delimiter, or null at the end. FALSE for
    // a null or empty text.
    BOOL ParseLine(const char* text, char* seg, size_t segSize, const char** rest, const char* delimiter);

    PoielInfoList_t* InitPoielInfoList(const PoielInfo_t* info);
    BOOL AddPoielInfoList(PoielInfoList_t* head, const PoielInfo_t* info);
    void DestroyPoielInfoList(PoielInfoList_t* head);
    // The first point at exactly (x, y), or null.
    PoielInfoList_t* FindPoielInfoList(PoielInfoList_t* head, float x, float y);
    void PrintPoielInfoList(const PoielInfoList_t* head);
    // NMEA degrees × 100 + minutes to decimal degrees. FALSE for a value that
    // is no such coordinate (not finite, beyond 180 degrees, or with 60
    // minutes or more); the outputs are then left alone.
    BOOL GPSCoordinateToMap(float gpsX, float gpsY, float* mapX, float* mapY);

    PoielInfoList_t* GetPoielInfoList() const { return m_PoielInfoListHead; }
    const char* GetDelimiter() const { return m_Delimiter; }

private:
    // The nine attributes of one MID line; missing ones stay 0.
    void ParseAttributes(const char* line, PoielInfo_t* info);
    BOOL AppendPoint(const PoielInfo_t* info);

    PoielInfoList_t* m_PoielInfoListHead;
    char m_Delimiter[8];
};

#endif
