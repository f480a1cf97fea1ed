#ifndef OSD_CHARIMAGEDATABASE_H
#define OSD_CHARIMAGEDATABASE_H

#include <cstddef>
#include <cstdint>
#include <map>

#include "Function/types.h"
#include "OSD/ImageDataBase.h"

// One glyph: its header, copied, and its pixel rows inside the set's array.
struct CharImageDataBaseInfoData {
    CharImageDataBaseInfo info;
    const uint8_t* data;
};

typedef std::map<uint16_t, CharImageDataBaseInfoData*> CHARIMGDB_T;

// A glyph set parsed into a map by UTF-16 code. Owns its records.
class CCharImageDataBase {
public:
    CCharImageDataBase();
    ~CCharImageDataBase();
    CCharImageDataBase(const CCharImageDataBase&) = delete;
    CCharImageDataBase& operator=(const CCharImageDataBase&) = delete;

    // Adds every record of data[0..size-1]; a later record of a code replaces
    // an earlier one. 0 on a record cut short or no memory.
    BOOL ParseData(const void* data, unsigned size);
    // The glyph of the code, else that of "?", else that of U+FF1F, else null.
    const CharImageDataBaseInfoData* FindData(uint16_t code) const;

    unsigned GetMaxWidth() const { return m_MaxWidth; }
    unsigned GetMaxHeight() const { return m_MaxHeight; }
    size_t GetCount() const { return m_ImageDB.size(); }

private:
    CHARIMGDB_T m_ImageDB;
    unsigned m_MaxWidth;
    unsigned m_MaxHeight;
};

#endif
