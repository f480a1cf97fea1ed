#include "HttpServer/IniReports.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <cstdint>

#include "HttpServer/httpcmd/HttpCmd.h"

CReplyText::CReplyText(char* buf, size_t capacity) : m_lpBuf(buf), m_nCapacity(capacity), m_nLength(0), m_bOk(true)
{
    if (m_lpBuf != nullptr && m_nCapacity > 0) {
        m_lpBuf[0] = '\0';
    } else {
        m_bOk = false;
    }
}

bool CReplyText::Add(const char* format, ...)
{
    if (!m_bOk) {
        return false;
    }
    va_list ap;
    va_start(ap, format);
    const int n = vsnprintf(m_lpBuf + m_nLength, m_nCapacity - m_nLength, format, ap);
    va_end(ap);
    if (n < 0 || static_cast<size_t>(n) >= m_nCapacity - m_nLength) {
        m_lpBuf[m_nLength] = '\0';  // the piece that did not fit is taken back
        m_bOk = false;
        return false;
    }
    m_nLength += static_cast<size_t>(n);
    return true;
}

namespace {

// Share of the card in percent; long double throughout, as printed.
long double XShare(uint64_t used, uint64_t total)
{
    if (total == 0) {
        return 0.0L;
    }
    return static_cast<long double>(used) * 100.0L / static_cast<long double>(total);
}

void XAddUsed(CReplyText& text, const char* key, uint64_t used, uint64_t total)
{
    char size[24];
    format_space_as_str(&used, size);
    text.Add(",\"%s\":\"[%4.2Lf%%]%s\"", key, XShare(used, total), size);
}

}  // namespace

int XStorageReport(char* buf, size_t capacity)
{
    int state = 0;
    uint64_t total = 0;
    uint64_t freeBytes = 0;
    uint64_t common = 0;
    uint64_t alarm = 0;
    uint64_t image = 0;
    uint32_t commonQuota = 65;
    uint32_t alarmQuota = 30;
    uint32_t imageQuota = 5;
    GetSDInfo(&state, &total, &freeBytes);
    GetFileSize(&common, &alarm, &image);
    GetFileSpaceQuotaOnSD(&commonQuota, &alarmQuota, &imageQuota);

    CReplyText text(buf, capacity);
    text.Add("{\"cmd\":\"getstorageinfo\",\"success\":true,\"ret\":0,\"msg\":\"\"");
    text.Add(",\"sdstate\":%d", state);
    char space[24];
    format_space_as_str(&total, space);
    text.Add(",\"totalspace\":\"%s\"", space);
    format_space_as_str(&freeBytes, space);
    text.Add(",\"freespace\":\"%s\"", space);
    XAddUsed(text, "commonvideoused", common, total);
    XAddUsed(text, "alarmvideoused", alarm, total);
    XAddUsed(text, "amarmimageused", image, total);
    text.Add(",\"commonvideoquota\":%u,\"alarmvideoquota\":%u,\"alarmimagequota\":%u", commonQuota, alarmQuota,
             imageQuota);
    text.Add("}");
    return text.Result();
}

int XExposureReport(char* buf, size_t capacity)
{
    ISP_EXP_INFO_S info;
    memset(&info, 0, sizeof(info));
    int minExpTime = 0;
    int curDrc = 0;
    GetExposureInfo(&info, &minExpTime, &curDrc);

    CReplyText text(buf, capacity);
    text.Add("{\"cmd\":\"getexposureinfo\",\"success\":true,\"ret\":0,\"msg\":\"\",\"expTime\":%u,\"aGain\":%u,"
             "\"dGain\":%u,\"ispDGain\":%u,\"exp\":%u,\"avgLum\":%u,\"isMax\":%d,\"minExpTime\":%d,\"curDrc\":%d,"
             "\"hist256\":[[%u]",
             info.u32ExpTime, info.u32AGain, info.u32DGain, info.u32ISPDGain, info.u32Exposure,
             static_cast<unsigned>(info.u8AveLum), static_cast<int>(info.bExposureIsMAX), minExpTime, curDrc,
             info.u32AE_Hist256Value[0]);
    for (size_t i = 1; i < 256; ++i) {
        text.Add(",[%u]", info.u32AE_Hist256Value[i]);
    }
    text.Add("],\"hist5\":[[%u]", static_cast<unsigned>(info.u16AE_Hist5Value[0]));
    for (size_t i = 1; i < 5; ++i) {
        text.Add(",[%u]", static_cast<unsigned>(info.u16AE_Hist5Value[i]));
    }
    text.Add("]}");
    return text.Result();
}

int XZoneHistogramReport(char* buf, size_t capacity)
{
    const int kRows = 15;
    const int kColumns = 17;
    const int kBins = 5;
    HI_U16 stats[kRows][kColumns][kBins];
    HI_U8 thresholds[4];
    memset(stats, 0, sizeof(stats));
    memset(thresholds, 0, sizeof(thresholds));
    GetAEGlobalHist5Statistics(stats, thresholds);

    CReplyText text(buf, capacity);
    text.Add("{\"cmd\":\"getaeglobalhist5statistics\",\"success\":true,\"ret\":0,\"msg\":\"\",\"hist5thresh\":[%u",
             static_cast<unsigned>(thresholds[0]));
    for (int i = 1; i < 4; ++i) {
        text.Add(",%u", static_cast<unsigned>(thresholds[i]));
    }
    text.Add("]");
    for (int b = 0; b < kBins; ++b) {
        text.Add(",\"hist5_%d\":[", b + 1);
        for (int r = 0; r < kRows; ++r) {
            text.Add(r == 0 ? "[" : ",[");
            for (int c = 0; c < kColumns; ++c) {
                text.Add(c == 0 ? "%u" : ",%u", static_cast<unsigned>(stats[r][c][b]));
            }
            text.Add("]");
        }
        text.Add("]");
    }
    text.Add("}");
    return text.Result();
}

void format_space_as_str(uint64_t* bytes, char* out)
{
    const uint64_t n = *bytes;
    const long double v = static_cast<long double>(n);
    if (n > 1073741823ULL) {
        snprintf(out, 24, "%.2Lf GB", v / 1073741824.0L);
    } else if (n > 1048575ULL) {
        snprintf(out, 24, "%.2Lf MB", v / 1048576.0L);
    } else if (n > 1023ULL) {
        snprintf(out, 24, "%.2Lf KB", v / 1024.0L);
    } else {
        snprintf(out, 24, "%llu B", static_cast<unsigned long long>(n));
    }
}
