#ifndef OSD_IMAGEDATABASE_H
#define OSD_IMAGEDATABASE_H

// The built-in glyph sets and logos (generated into OSD/data/ by
// gen_osd_data.py from strokes.txt).
//
// A glyph set is a plain sequence of records, little-endian: utf8[4], utf16,
// width, height, mem_align (u16 each), then height rows of mem_align bytes of
// ARGB1555 pixels. A logo is width and height (u32 each) followed by
// width x height ARGB1555 pixels.

#include <cstdint>

extern const unsigned char g_CharImageDataBase16[17788];
extern const unsigned char g_CharImageDataBase32[69244];
extern const unsigned char g_CharImageDataBase48[150960];
extern const unsigned char g_LogoImageDataBase16[1416];
extern const unsigned char g_LogoImageDataBase32[6024];
extern const unsigned char g_LogoImageDataBase48[13832];

struct CharImageDataBaseInfo {
    uint8_t utf8[4];
    uint16_t utf16;
    uint16_t width;
    uint16_t height;
    uint16_t mem_align;
};
static_assert(sizeof(CharImageDataBaseInfo) == 12, "glyph header is 12 bytes");

struct LogoImageDataBaseInfo {
    uint32_t width;
    uint32_t height;
};

unsigned GetCharImageDataBase16Size();
unsigned GetCharImageDataBase32Size();
unsigned GetCharImageDataBase48Size();
unsigned GetLogoImageDataBase16Size();
unsigned GetLogoImageDataBase32Size();
unsigned GetLogoImageDataBase48Size();
// Sub-logo sets are not carried; their sizes only.
unsigned GetSubLogoImageDataBase16Size();
unsigned GetSubLogoImageDataBase32Size();
unsigned GetSubLogoImageDataBase48Size();

#endif
