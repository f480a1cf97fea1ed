#include "OSD/TextOSD.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "Function/XLog.h"
#include "OSD/ImageDataBase.h"

namespace {

unsigned RoundUp16(unsigned v)
{
    return (v + 15) & ~15u;
}

}  // namespace

CTextOSD::CTextOSD(emOSDSize size, emTextOSDType type)
    : COSD(size), m_emTextOSDType(type), m_ImgDB(nullptr), m_CurOSDImgMemAlign(0)
{
    memset(m_CurOSDStrInfo, 0, sizeof(m_CurOSDStrInfo));
}

CTextOSD::~CTextOSD()
{
    free(m_bmpOSD.pData);
    m_bmpOSD.pData = nullptr;
    delete m_ImgDB;
}

BOOL CTextOSD::LoadImageDataBase()
{
    if (m_ImgDB != nullptr) {
        return TRUE;
    }
    const void* data = nullptr;
    unsigned size = 0;
    switch (m_emOSDSize) {
    case emOSDSize_Small:
        data = g_CharImageDataBase16;
        size = GetCharImageDataBase16Size();
        break;
    case emOSDSize_Medium:
        data = g_CharImageDataBase32;
        size = GetCharImageDataBase32Size();
        break;
    case emOSDSize_Big:
        data = g_CharImageDataBase48;
        size = GetCharImageDataBase48Size();
        break;
    default:
        XERROR("XXXXXXXXXXXXXXXXXXXX");
        return FALSE;
    }
    CCharImageDataBase* db = new (std::nothrow) CCharImageDataBase;
    if (db == nullptr) {
        XERROR("out of memory on build image database.\n");
        return FALSE;
    }
    if (!db->ParseData(data, size)) {
        delete db;
        return FALSE;
    }
    m_ImgDB = db;
    return TRUE;
}

unsigned CTextOSD::GetOSDCharMaxWidth(const uint16_t* text, int chars)
{
    if (text == nullptr || !LoadImageDataBase()) {
        return 0;
    }
    unsigned widest = 0;
    for (int i = 0; i < chars; ++i) {
        const CharImageDataBaseInfoData* g = m_ImgDB->FindData(text[i]);
        if (g != nullptr && g->info.width > widest) {
            widest = g->info.width;
        }
    }
    return widest;
}

unsigned CTextOSD::GetOSDTextCharMaxWidth(const void* wideText, int chars)
{
    if (wideText == nullptr || chars <= 0) {
        return 0;
    }
    const wchar_t* w = static_cast<const wchar_t*>(wideText);
    uint16_t narrow[kMaxChars];
    const int n = chars < kMaxChars ? chars : kMaxChars;
    for (int i = 0; i < n; ++i) {
        narrow[i] = static_cast<uint16_t>(w[i]);
    }
    return GetOSDCharMaxWidth(narrow, n);
}

unsigned CTextOSD::WidestOf(const char* s)
{
    uint16_t text[kMaxChars];
    int n = 0;
    for (; s[n] != '\0' && n < kMaxChars; ++n) {
        text[n] = static_cast<unsigned char>(s[n]);
    }
    return GetOSDCharMaxWidth(text, n);
}

BOOL CTextOSD::CreateRgn(unsigned handle)
{
    if (!LoadImageDataBase()) {
        return FALSE;
    }
    const unsigned height = RoundUp16(m_ImgDB->GetMaxHeight());
    unsigned width = m_Width;
    switch (m_emTextOSDType) {
    case emTextOSDType_Timestamp:
        width = RoundUp16(14 * WidestOf("0123456789") + 2 * WidestOf("-") + WidestOf(" ") + 2 * WidestOf(":"));
        break;
    case emTextOSDType_GPSSpeed:
        width = RoundUp16(3 * WidestOf("0123456789") + WidestOf(" ") + WidestOf("k") + WidestOf("m") +
                          WidestOf("/") + WidestOf("h"));
        break;
    default:
        break;
    }
    RGN_ATTR_S attr;
    memset(&attr, 0, sizeof(attr));
    attr.enType = OVERLAY_RGN;
    attr.unAttr.stOverlay.enPixelFmt = PIXEL_FORMAT_RGB_1555;
    attr.unAttr.stOverlay.u32BgColor = 0;
    attr.unAttr.stOverlay.stSize.u32Width = width;
    attr.unAttr.stOverlay.stSize.u32Height = height;
    if (!COSD::CreateRgn(handle, &attr)) {
        return FALSE;
    }
    m_Width = width;
    m_Height = height;
    free(m_bmpOSD.pData);
    m_bmpOSD.enPixelFormat = PIXEL_FORMAT_RGB_1555;
    m_bmpOSD.u32Width = m_Width;
    m_bmpOSD.u32Height = m_Height;
    m_bmpOSD.pData = calloc(static_cast<size_t>(Stride()) * m_Height, 1);
    memset(m_CurOSDStrInfo, 0, sizeof(m_CurOSDStrInfo));
    m_CurOSDImgMemAlign = 0;
    if (m_bmpOSD.pData == nullptr) {
        XERROR("out of memory in prepare osd bmp buffer.\n");
        return FALSE;
    }
    return TRUE;
}

BOOL CTextOSD::DestroyRgn()
{
    const BOOL ok = COSD::DestroyRgn();
    free(m_bmpOSD.pData);
    m_bmpOSD.pData = nullptr;
    delete m_ImgDB;
    m_ImgDB = nullptr;
    memset(m_CurOSDStrInfo, 0, sizeof(m_CurOSDStrInfo));
    m_CurOSDImgMemAlign = 0;
    return ok;
}

BOOL CTextOSD::ShowString(const uint16_t* text, int chars)
{
    if (m_hRgn < 0 || m_bmpOSD.pData == nullptr || m_ImgDB == nullptr || text == nullptr) {
        return FALSE;
    }
    if (chars > kMaxChars) {
        chars = kMaxChars;
    }
    uint8_t* bmp = static_cast<uint8_t*>(m_bmpOSD.pData);
    const unsigned stride = Stride();
    unsigned pos = 0;
    unsigned used = 0;
    int i = 0;
    // characters already in the bitmap stay
    while (i < chars && m_CurOSDStrInfo[i].utf16 != 0 && m_CurOSDStrInfo[i].utf16 == text[i]) {
        pos += m_CurOSDStrInfo[i].memalign;
        used += m_CurOSDStrInfo[i].charWidth;
        ++i;
    }
    for (; i < chars; ++i) {
        const CharImageDataBaseInfoData* g = m_ImgDB->FindData(text[i]);
        if (g == nullptr) {
            XERROR("[OSD] UNKNOW ERROR\n");
            // what lies past pos is stale: forget it, but clear it next time
            memset(&m_CurOSDStrInfo[i], 0, sizeof(tagOSDStrInfo) * static_cast<size_t>(kMaxChars - i));
            if (pos > m_CurOSDImgMemAlign) {
                m_CurOSDImgMemAlign = pos;
            }
            return FALSE;
        }
        const unsigned align = g->info.mem_align;
        if (used + g->info.width > m_Width || pos + align > stride) {
            break;
        }
        used += g->info.width;
        const unsigned h = g->info.height < m_Height ? g->info.height : m_Height;
        const unsigned top = (m_Height - h) / 2;
        for (unsigned row = 0; row < m_Height; ++row) {
            uint8_t* dst = bmp + static_cast<size_t>(row) * stride + pos;
            if (row >= top && row < top + h) {
                memcpy(dst, g->data + static_cast<size_t>(row - top) * align, align);
            } else {
                memset(dst, 0, align);
            }
        }
        m_CurOSDStrInfo[i].utf16 = text[i];
        m_CurOSDStrInfo[i].charWidth = g->info.width;
        m_CurOSDStrInfo[i].memalign = align;
        pos += align;
    }
    if (i < kMaxChars) {
        memset(&m_CurOSDStrInfo[i], 0, sizeof(tagOSDStrInfo) * static_cast<size_t>(kMaxChars - i));
    }
    if (pos < m_CurOSDImgMemAlign) {
        for (unsigned row = 0; row < m_Height; ++row) {
            memset(bmp + static_cast<size_t>(row) * stride + pos, 0, m_CurOSDImgMemAlign - pos);
        }
    }
    m_CurOSDImgMemAlign = pos;
    const HI_S32 r = HI_MPI_RGN_SetBitMap(static_cast<RGN_HANDLE>(m_hRgn), &m_bmpOSD);
    if (r != HI_SUCCESS) {
        XERROR("HI_MPI_RGN_SetBitMap ERROR.\n");
        return FALSE;
    }
    return TRUE;
}
