#include "OSD/OSDManager.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "Function/XLog.h"
#include "IniConfig/IniConfig.h"
#include "OSD/ImageOSD.h"
#include "OSD/TextOSD.h"
#include "OSD/TimestampProducer.h"
#include "Platform/MpiVenc.h"

namespace {

const emOSDSize kTextSize[4] = {emOSDSize_Medium, emOSDSize_Small, emOSDSize_Medium, emOSDSize_Small};
const emOSDSize kLogoSize[4] = {emOSDSize_Big, emOSDSize_Medium, emOSDSize_Big, emOSDSize_Medium};

unsigned Down16(unsigned v)
{
    return v & ~15u;
}

unsigned Up16(unsigned v)
{
    return (v + 15) & ~15u;
}

// The overlay is on a channel (and so can be moved).
BOOL Attached(const COSD* o)
{
    return o != nullptr && o->GetHandle() >= 0 && o->GetBoundChannel() >= 0;
}

// Widens a narrow text byte by byte; at most 64 characters.
int Widen(const char* s, uint16_t* out)
{
    int n = 0;
    for (; s[n] != '\0' && n < CTextOSD::kMaxChars; ++n) {
        out[n] = static_cast<unsigned char>(s[n]);
    }
    return n;
}

}  // namespace

COSDManager::COSDManager()
    : CThread(FALSE, 32, 0),
      m_forceshowspeed(0),
      m_CurOSDSpeed(999999),
      m_bShowSpeedOSD(0),
      m_bGPSModuleActive(0),
      m_lpSources(nullptr)
{
    for (int i = 0; i < 4; ++i) {
        m_TimestampOSD[i] = nullptr;
        m_Speed[i] = nullptr;
        m_LogoOSD[i] = nullptr;
        m_ModelOSD[i] = nullptr;
    }
}

COSDManager::~COSDManager()
{
    DestroyThread(TRUE);
    DeleteOverlays();
}

void COSDManager::DeleteOverlays()
{
    for (int i = 0; i < 4; ++i) {
        delete m_TimestampOSD[i];
        delete m_Speed[i];
        delete m_LogoOSD[i];
        delete m_ModelOSD[i];
        m_TimestampOSD[i] = nullptr;
        m_Speed[i] = nullptr;
        m_LogoOSD[i] = nullptr;
        m_ModelOSD[i] = nullptr;
    }
}

BOOL COSDManager::GetChannelResolution(int chn, unsigned& width, unsigned& height)
{
    width = 0;
    height = 0;
    if (chn < 0 || chn > 3) {
        return FALSE;
    }
    if (m_lpSources != nullptr) {
        return m_lpSources->GetChannelResolution(chn, width, height);
    }
    return XEncoderChannelSize(chn, width, height);
}

BOOL XEncoderChannelSize(int chn, unsigned& width, unsigned& height)
{
    VENC_CHN_ATTR_S attr;
    if (HI_MPI_VENC_GetChnAttr(chn, &attr) != HI_SUCCESS) {
        return FALSE;
    }
    if (attr.stVeAttr.enType == PT_H264) {
        width = attr.stVeAttr.stAttrH264e.u32PicWidth;
        height = attr.stVeAttr.stAttrH264e.u32PicHeight;
    } else {
        width = attr.stVeAttr.stAttrJpeg.u32PicWidth;
        height = attr.stVeAttr.stAttrJpeg.u32PicHeight;
    }
    return TRUE;
}

BOOL COSDManager::Init()
{
    CleanUp();  // an earlier run's thread and regions, outside the lock the thread takes
    std::lock_guard<std::recursive_mutex> lock(m_OSDLock);
    DeleteOverlays();
    for (int i = 0; i < 4; ++i) {
        m_TimestampOSD[i] = new (std::nothrow) CTextOSD(kTextSize[i], emTextOSDType_Timestamp);
        m_Speed[i] = new (std::nothrow) CTextOSD(kTextSize[i], emTextOSDType_GPSSpeed);
        m_LogoOSD[i] = new (std::nothrow) CImageOSD(kLogoSize[i], emImageOSDType_Logo);
        if (m_TimestampOSD[i] == nullptr || m_Speed[i] == nullptr || m_LogoOSD[i] == nullptr) {
            DeleteOverlays();
            return FALSE;
        }
    }

    // the model, at most 31 characters whatever the boot environment holds
    char model[32] = {0};
    uint16_t modelText[CTextOSD::kMaxChars];
    int modelChars = 0;
    if (m_lpSources != nullptr && m_lpSources->GetModelString(model, sizeof(model))) {
        printf("MODEL = %s\n", model);
        modelChars = Widen(model, modelText);
        for (int i = 0; i < 4; ++i) {
            CTextOSD* m = new (std::nothrow) CTextOSD(kTextSize[i], emTextOSDType_Model);
            if (m == nullptr) {
                DeleteOverlays();
                return FALSE;
            }
            m_ModelOSD[i] = m;
            if (m->LoadImageDataBase()) {
                m->SetWidth(m->GetOSDCharMaxWidth(modelText, modelChars) * static_cast<unsigned>(modelChars));
            }
            if (m->GetWidth() == 0) {
                // no glyph of the model in the set: no region can hold it
                for (COSD*& o : m_ModelOSD) {
                    delete o;
                    o = nullptr;
                }
                modelChars = 0;
                break;
            }
        }
    }
    const BOOL bModel = m_ModelOSD[0] != nullptr;

    BOOL ok = TRUE;
    for (int i = 0; i < 4 && ok; ++i) {
        ok = m_TimestampOSD[i]->CreateRgn(static_cast<unsigned>(i));
    }
    for (int i = 0; i < 4 && ok; ++i) {
        ok = m_Speed[i]->CreateRgn(static_cast<unsigned>(4 + i));
    }
    for (int i = 0; i < 4 && ok; ++i) {
        ok = m_LogoOSD[i]->CreateRgn(static_cast<unsigned>(8 + i));
    }
    for (int i = 0; i < 4 && ok && bModel; ++i) {
        ok = m_ModelOSD[i]->CreateRgn(static_cast<unsigned>(12 + i));
    }
    if (!ok) {
        XERROR("INIT OSD ERROR.\n");
        CleanUp();
        return FALSE;
    }

    for (int chn = 0; chn < 3; ++chn) {
        unsigned W = 0;
        unsigned H = 0;
        GetChannelResolution(chn, W, H);
        COSD* ts = m_TimestampOSD[chn];
        COSD* mo = m_ModelOSD[chn];
        unsigned total = ts->GetWidth();
        unsigned tallest = ts->GetHeight();
        if (mo != nullptr) {
            total += mo->GetWidth();
            tallest = mo->GetHeight() > tallest ? mo->GetHeight() : tallest;
        }
        // a group larger than the channel starts at its edge
        unsigned x = total < W ? Down16((W - total) / 2) : 0;
        const unsigned y = tallest < H ? Down16(H - tallest) : 0;
        if (mo != nullptr) {
            mo->AttchToChannel(chn, static_cast<int>(x), static_cast<int>(y), 0, 0, 128, 1);
            mo->ShowString(modelText, modelChars);
            x += mo->GetWidth();
        }
        x = Up16(x);
        ts->AttchToChannel(chn, static_cast<int>(x), static_cast<int>(y), 0, 3, 128, 1);
        m_Speed[chn]->AttchToChannel(chn, 0, 64, 0, 4, 128, 0);
        m_LogoOSD[chn]->AttchToChannel(chn, chn == 1 ? 24 : 48, chn == 1 ? 16 : 32, 0, 0, 128, 1);
        m_LogoOSD[chn]->ShowLogo();
    }
    // the thumbnail channel: all hidden, the model not attached
    m_LogoOSD[3]->AttchToChannel(3, 0, 0, 0, 0, 128, 0);
    m_LogoOSD[3]->ShowLogo();
    const unsigned y1 = Up16(m_LogoOSD[3]->GetHeight());
    m_TimestampOSD[3]->AttchToChannel(3, 0, static_cast<int>(y1), 0, 3, 128, 0);
    const unsigned y2 = y1 + (y1 + Up16(m_TimestampOSD[3]->GetHeight()));
    m_Speed[3]->AttchToChannel(3, 0, static_cast<int>(y2), 0, 4, 128, 0);

    m_bShowSpeedOSD = CIniConfig::instance()->GetInt("funcset", "enablegpsspeedosd", 1) != 0 ? 1 : 0;
    return CreateThread(0);
}

BOOL COSDManager::CleanUp()
{
    // the thread (and its producer) first: a tick must not draw into freed bitmaps
    DestroyThread(TRUE);
    std::lock_guard<std::recursive_mutex> lock(m_OSDLock);
    for (int i = 0; i < 4; ++i) {
        COSD* all[4] = {m_TimestampOSD[i], m_Speed[i], m_LogoOSD[i], m_ModelOSD[i]};
        for (COSD* o : all) {
            if (o != nullptr) {
                o->DestroyRgn();
            }
        }
    }
    return TRUE;
}

BOOL COSDManager::LayoutOSD()
{
    return LayoutOSD(m_bGPSModuleActive && m_bShowSpeedOSD);
}

BOOL COSDManager::LayoutOSD(int bHasSpeedOSD)
{
    std::lock_guard<std::recursive_mutex> lock(m_OSDLock);
    BOOL ok = TRUE;
    for (int chn = 0; chn < 4; ++chn) {
        COSD* mo = Attached(m_ModelOSD[chn]) ? m_ModelOSD[chn] : nullptr;
        COSD* ts = Attached(m_TimestampOSD[chn]) ? m_TimestampOSD[chn] : nullptr;
        COSD* sp = Attached(m_Speed[chn]) ? m_Speed[chn] : nullptr;
        unsigned total = 0;
        unsigned tallest = 0;
        for (COSD* o : {mo, ts, bHasSpeedOSD ? sp : nullptr}) {
            if (o != nullptr) {
                total += o->GetWidth();
                tallest = o->GetHeight() > tallest ? o->GetHeight() : tallest;
            }
        }
        if (!bHasSpeedOSD && sp != nullptr && !sp->EnableDisplay(0)) {
            ok = FALSE;
        }
        unsigned x = 0;
        unsigned y = 0;
        if (chn < 3) {
            unsigned W = 0;
            unsigned H = 0;
            GetChannelResolution(chn, W, H);
            x = total < W ? Down16((W - total) / 2) : 0;
            y = tallest < H ? Down16(H - tallest) : 0;
        }
        if (mo != nullptr) {
            if (!mo->SetPostion(x, y)) {
                ok = FALSE;
            }
            if (chn == 3) {
                y += Down16(mo->GetHeight());
            } else {
                x += mo->GetWidth();
            }
        }
        x = Up16(x);
        if (ts != nullptr && !ts->SetPostion(x, y)) {
            ok = FALSE;
        }
        if (bHasSpeedOSD && sp != nullptr) {
            if (ts != nullptr) {
                if (chn == 3) {
                    y += Down16(ts->GetHeight());
                } else {
                    x += ts->GetWidth();
                }
            }
            x = Up16(x);
            if (!sp->SetPostion(x, y) || !sp->EnableDisplay(1)) {
                ok = FALSE;
            }
        }
    }
    return ok;
}

BOOL COSDManager::SetDisplayGPSSpeedOSD(int bDisplay)
{
    if (bDisplay != m_bShowSpeedOSD) {
        SendMsg(XM_DISPLAY_GPS_SPEED_OSD, static_cast<unsigned>(bDisplay), 0, MSG_PRIORITY_NORMAL);
    }
    return TRUE;
}

BOOL COSDManager::DrawText(COSD* const osd[4], const char* text)
{
    uint16_t wide[CTextOSD::kMaxChars];
    const int n = Widen(text, wide);
    std::lock_guard<std::recursive_mutex> lock(m_OSDLock);
    BOOL ok = TRUE;
    for (int chn = 0; chn < 3; ++chn) {
        if (osd[chn] == nullptr || !osd[chn]->ShowString(wide, n)) {
            ok = FALSE;
        }
    }
    return ok;
}

BOOL COSDManager::ShowTimestamp()
{
    const time_t now = time(nullptr);
    struct tm t;
    if (gmtime_r(&now, &t) == nullptr) {
        return FALSE;
    }
    char text[64];
    snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
             t.tm_hour, t.tm_min, t.tm_sec);
    return DrawText(m_TimestampOSD, text);
}

BOOL COSDManager::ShowTimestamp(const tagRECTIME* rec)
{
    if (rec == nullptr) {
        return FALSE;
    }
    char text[64];
    snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", rec->year() + 2000, rec->month(), rec->day(),
             rec->hour(), rec->minute(), rec->second());
    return DrawText(m_TimestampOSD, text);
}

BOOL COSDManager::ShowSpeed(unsigned speed, int forceshow)
{
    std::lock_guard<std::recursive_mutex> lock(m_OSDLock);
    if (speed == m_CurOSDSpeed && !forceshow) {
        return TRUE;
    }
    char text[32];
    if (speed > 999) {  // 0xFFFFFFFF: no speed
        snprintf(text, sizeof(text), "- km/h");
    } else {
        snprintf(text, sizeof(text), "%u km/h", speed);
    }
    const BOOL ok = DrawText(m_Speed, text);
    m_CurOSDSpeed = speed;
    return ok;
}

BOOL COSDManager::UpdateOSD(int type, unsigned, unsigned lpa)
{
    switch (type) {
    case 0:
        return ShowTimestamp();
    case 1:
        return ShowSpeed(lpa, 0);
    default:
        return FALSE;
    }
}

BOOL COSDManager::GetOSDPostion(int chn, const COSD* osd, unsigned supportWidth, emAlignType align, unsigned& x,
                                unsigned& y)
{
    unsigned W = 0;
    unsigned H = 0;
    if (osd == nullptr || !GetChannelResolution(chn, W, H)) {
        return FALSE;
    }
    const unsigned w = osd->GetWidth() < W ? osd->GetWidth() : W;
    const unsigned h = osd->GetHeight() < H ? osd->GetHeight() : H;
    if (supportWidth == 0 || supportWidth > w) {
        supportWidth = w;
    }
    y = H < h ? 0 : Down16(H - h);
    switch (align) {
    case emAlign_Center:
        x = Down16((W - supportWidth) / 2);
        return TRUE;
    case emAlign_Right:
        x = W > supportWidth ? Down16(W - supportWidth - 1) : 0;
        return TRUE;
    case emAlign_Left:
        x = 16;
        return TRUE;
    default:
        return FALSE;
    }
}

void COSDManager::ThreadProc()
{
    CTimestampProducer* producer = CTimestampProducer::instance();
    producer->SetTarget(this);
    producer->CreateThread(0);
    XMSG msg;
    while (m_bLoop) {
        if (!RecvMsg(&msg, TRUE)) {
            fprintf(stderr, "COSDManager thread RecvMsg() error.quiting thread...\n");
            break;
        }
        if (msg.msg == XM_QUIT) {
            break;
        }
        switch (msg.msg) {
        case XM_GPS_SPEED:
            if (m_bShowSpeedOSD) {
                const BOOL force = m_forceshowspeed;
                ShowSpeed(msg.lpa, force);
                if (force) {
                    m_forceshowspeed = 0;
                }
            }
            break;
        case XM_GPS_MODULE_ACTIVE:
            m_bGPSModuleActive = msg.wpa != 0 ? 1 : 0;
            break;
        case XM_DISPLAY_GPS_SPEED_OSD:
            m_bShowSpeedOSD = msg.wpa != 0 ? 1 : 0;
            LayoutOSD(m_bGPSModuleActive && m_bShowSpeedOSD);
            break;
        case XM_UPDATE_TIMESTAMP:
            ShowTimestamp();
            break;
        case XM_UPDATE_TIMESTAMP2: {
            tagRECTIME rec;
            rec.value = msg.lpa;
            ShowTimestamp(&rec);
            break;
        }
        default:
            break;
        }
    }
    producer->DestroyThread(TRUE);
    producer->SetTarget(nullptr);
    printf("COSDManager thread quiting...\n");
}
