#ifndef OSD_OSD_H
#define OSD_OSD_H

#include <cstdint>

#include "Function/types.h"
#include "Platform/MpiRgn.h"

enum emOSDSize {
    emOSDSize_Small = 0,   // 16-px glyphs, 16-px logo
    emOSDSize_Medium = 1,  // 32 px
    emOSDSize_Big = 2,     // 48 px
};

enum emTextOSDType {
    emTextOSDType_Def = 0,
    emTextOSDType_Timestamp = 1,
    emTextOSDType_GPSSpeed = 2,
    emTextOSDType_Model = 3,
};

enum emImageOSDType {
    emImageOSDType_Logo = 0,
    emImageOSDType_SubLogo = 1,
    emImageOSDType_BetaTest = 2,
    emImageOSDType_TimeIcon = 3,
    emImageOSDType_SpeedIcon = 4,
};

// One overlay: an SDK region, its place on one encoder channel and the
// bitmap handed to it.
class COSD {
public:
    explicit COSD(emOSDSize size);
    virtual ~COSD();
    COSD(const COSD&) = delete;
    COSD& operator=(const COSD&) = delete;

    virtual BOOL CreateRgn(unsigned handle) = 0;
    // Detaches and destroys the region; nothing without one.
    virtual BOOL DestroyRgn();
    virtual BOOL ShowString(const uint16_t* text, int chars);
    virtual BOOL ShowLogo();
    virtual unsigned GetOSDCharMaxWidth(const uint16_t* text, int chars);
    virtual BOOL LoadImageDataBase();

    unsigned GetX() const { return m_X; }
    unsigned GetY() const { return m_Y; }
    unsigned GetWidth() const { return m_Width; }
    unsigned GetHeight() const { return m_Height; }
    void GetSize(unsigned& w, unsigned& h) const
    {
        w = m_Width;
        h = m_Height;
    }
    void SetWidth(unsigned w) { m_Width = w; }
    emOSDSize GetOSDSize() const { return m_emOSDSize; }
    int GetHandle() const { return m_hRgn; }
    int GetBoundChannel() const { return m_BoundVencChn; }
    BOOL IsDisplayed() const { return m_bEnable; }

    BOOL CreateRgn(unsigned handle, const RGN_ATTR_S* attr);
    BOOL SetPostion(unsigned x, unsigned y);
    BOOL EnableDisplay(BOOL bEnable);
    BOOL AttchToChannel(int chn, int x, int y, int bInvCol, unsigned layer, int alpha, int bEnable);

protected:
    emOSDSize m_emOSDSize;
    int m_hRgn;
    unsigned m_X;
    unsigned m_Y;
    unsigned m_Width;
    unsigned m_Height;
    BOOL m_bEnable;
    int m_BoundVencChn;
    BITMAP_S m_bmpOSD;
};

#endif
