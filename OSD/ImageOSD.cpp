#include "OSD/ImageOSD.h"

#include <cstdio>
#include <cstring>

#include "Function/ByteOrder.h"
#include "Function/XLog.h"

CImageOSD::CImageOSD(emOSDSize size, emImageOSDType type) : COSD(size), m_LogoImgInfo{0, 0}, m_emImageOSDType(type)
{
}

CImageOSD::~CImageOSD() {}

BOOL CImageOSD::LoadImageDataBase()
{
    const uint8_t* logo = nullptr;
    unsigned size = 0;
    if (m_emImageOSDType == emImageOSDType_Logo) {
        switch (m_emOSDSize) {
        case emOSDSize_Small:
            logo = g_LogoImageDataBase16;
            size = GetLogoImageDataBase16Size();
            break;
        case emOSDSize_Medium:
            logo = g_LogoImageDataBase32;
            size = GetLogoImageDataBase32Size();
            break;
        case emOSDSize_Big:
            logo = g_LogoImageDataBase48;
            size = GetLogoImageDataBase48Size();
            break;
        default:
            break;
        }
    }
    if (logo == nullptr) {
        printf("Invalid Logo Size.\n");
        return FALSE;
    }
    m_LogoImgInfo.width = XGetLE32(logo);
    m_LogoImgInfo.height = XGetLE32(logo + 4);
    if (static_cast<uint64_t>(m_LogoImgInfo.width) * m_LogoImgInfo.height * 2 + sizeof(LogoImageDataBaseInfo) > size) {
        printf("Invalid Logo Size.\n");
        return FALSE;
    }
    m_bmpOSD.enPixelFormat = PIXEL_FORMAT_RGB_1555;
    m_bmpOSD.u32Width = m_LogoImgInfo.width;
    m_bmpOSD.u32Height = m_LogoImgInfo.height;
    // the SDK copies the pixels and never writes them
    m_bmpOSD.pData = const_cast<uint8_t*>(logo + sizeof(LogoImageDataBaseInfo));
    return TRUE;
}

BOOL CImageOSD::CreateRgn(unsigned handle)
{
    if (!LoadImageDataBase()) {
        return FALSE;
    }
    RGN_ATTR_S attr;
    memset(&attr, 0, sizeof(attr));
    attr.enType = OVERLAY_RGN;
    attr.unAttr.stOverlay.enPixelFmt = PIXEL_FORMAT_RGB_1555;
    attr.unAttr.stOverlay.stSize.u32Width = (m_LogoImgInfo.width + 15) & ~15u;
    attr.unAttr.stOverlay.stSize.u32Height = (m_LogoImgInfo.height + 15) & ~15u;
    if (!COSD::CreateRgn(handle, &attr)) {
        return FALSE;
    }
    m_Width = attr.unAttr.stOverlay.stSize.u32Width;
    m_Height = attr.unAttr.stOverlay.stSize.u32Height;
    return TRUE;
}

BOOL CImageOSD::DestroyRgn()
{
    return COSD::DestroyRgn();
}

BOOL CImageOSD::ShowLogo()
{
    if (m_hRgn < 0 || m_bmpOSD.pData == nullptr) {
        return FALSE;
    }
    if (HI_MPI_RGN_SetBitMap(static_cast<RGN_HANDLE>(m_hRgn), &m_bmpOSD) != HI_SUCCESS) {
        XERROR("HI_MPI_RGN_SetBitMap ERROR.\n");
        return FALSE;
    }
    return TRUE;
}
