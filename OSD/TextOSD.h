#ifndef OSD_TEXTOSD_H
#define OSD_TEXTOSD_H

#include "OSD/CharImageDataBase.h"
#include "OSD/OSD.h"

// A text overlay drawn from a glyph set into its own bitmap, incrementally:
// characters equal to the ones already drawn are kept.
class CTextOSD : public COSD {
public:
    enum { kMaxChars = 64 };

    struct tagOSDStrInfo {
        uint16_t utf16;
        unsigned charWidth;
        unsigned memalign;
    };

    CTextOSD(emOSDSize size, emTextOSDType type);
    ~CTextOSD() override;

    using COSD::CreateRgn;
    BOOL CreateRgn(unsigned handle) override;
    BOOL DestroyRgn() override;
    // Draws up to 64 characters; 0 on a character without a glyph (nothing
    // handed over) or when the SDK refuses the bitmap.
    BOOL ShowString(const uint16_t* text, int chars) override;
    unsigned GetOSDCharMaxWidth(const uint16_t* text, int chars) override;
    BOOL LoadImageDataBase() override;
    // The same over a wide (32-bit) string, narrowed to UTF-16.
    unsigned GetOSDTextCharMaxWidth(const void* wideText, int chars);

    emTextOSDType GetTextOSDType() const { return m_emTextOSDType; }

protected:
    // Widest glyph among the characters of an ASCII string.
    unsigned WidestOf(const char* s);
    // Bytes per bitmap row.
    unsigned Stride() const { return (2 * m_Width + 3) & ~3u; }

    emTextOSDType m_emTextOSDType;
    CCharImageDataBase* m_ImgDB;
    tagOSDStrInfo m_CurOSDStrInfo[kMaxChars];
    unsigned m_CurOSDImgMemAlign;
};

#endif
