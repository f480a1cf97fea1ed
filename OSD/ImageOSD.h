#ifndef OSD_IMAGEOSD_H
#define OSD_IMAGEOSD_H

#include "OSD/ImageDataBase.h"
#include "OSD/OSD.h"

// A picture overlay: the built-in logo of its size, used in place.
class CImageOSD : public COSD {
public:
    CImageOSD(emOSDSize size, emImageOSDType type);
    ~CImageOSD() override;

    using COSD::CreateRgn;
    BOOL CreateRgn(unsigned handle) override;
    BOOL DestroyRgn() override;
    BOOL ShowLogo() override;
    BOOL LoadImageDataBase() override;

    const LogoImageDataBaseInfo& GetLogoInfo() const { return m_LogoImgInfo; }

protected:
    LogoImageDataBaseInfo m_LogoImgInfo;
    emImageOSDType m_emImageOSDType;
};

#endif
