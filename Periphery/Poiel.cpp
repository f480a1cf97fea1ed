#include "Periphery/Poiel.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "Function/common.h"
#include "Platform/BoardRoot.h"

namespace {

enum emLineRead { emLine_End, emLine_Good, emLine_Bad };

// One text line of at most CPoielInfo::kMaxLineLen characters, without its
// line end; the tail of a longer line is read and dropped. A line holding a
// NUL byte is read whole and reported bad, its text left without the NULs.
emLineRead XReadLine(FILE* fp, char* line, size_t size)
{
    const ssize_t got = XReadTextLine(fp, line, size);
    if (got < 0) {
        return emLine_End;
    }
    const size_t stored = static_cast<size_t>(got);
    size_t n = 0;
    for (size_t i = 0; i < stored; ++i) {
        if (line[i] != '\0') {
            line[n++] = line[i];
        }
    }
    line[n] = '\0';
    const emLineRead result = n == stored ? emLine_Good : emLine_Bad;
    while (n > 0 && line[n - 1] == '\r') {
        line[--n] = '\0';
    }
    return result;
}

// A number wrapped in one character on each side ("\"12\""); 0 otherwise.
int XWrappedInt(const char* field)
{
    char open = 0;
    char close = 0;
    int value = 0;
    if (sscanf(field, "%c%d%c", &open, &value, &close) < 2) {
        return 0;
    }
    return value;
}

// NMEA degrees x 100 + minutes to decimal degrees; FALSE unless the value is
// finite, at most 180 degrees either side and its minutes below 60.
BOOL XNmeaToDegrees(float value, float* degrees)
{
    const double v = value;
    if (!std::isfinite(v) || std::fabs(v) > 18000.0) {
        return FALSE;
    }
    const double whole = std::trunc(v / 100.0);
    const double minutes = v - whole * 100.0;
    const double result = whole + minutes / 60.0;
    if (std::fabs(minutes) >= 60.0) {
        return FALSE;
    }
    *degrees = static_cast<float>(result);
    return TRUE;
}

}  // namespace

CPoielInfo::CPoielInfo() : m_PoielInfoListHead(nullptr)
{
    memset(m_Delimiter, 0, sizeof(m_Delimiter));
}

CPoielInfo::~CPoielInfo()
{
    DestroyPoielInfoList(m_PoielInfoListHead);
    m_PoielInfoListHead = nullptr;
}

BOOL CPoielInfo::Init()
{
    const std::string mid = XBoardPath("/root/poiel/Poiel.mid");
    const std::string mif = XBoardPath("/root/poiel/Poiel.mif");
    if (!OpenFile(mid.c_str(), mif.c_str())) {
        XERROR("open file error.\n");
        return FALSE;
    }
    return TRUE;
}

BOOL CPoielInfo::OpenFile(const char* fnameMid, const char* fnameMif)
{
    FILE* mid = fnameMid != nullptr ? fopen(fnameMid, "r") : nullptr;
    FILE* mif = fnameMif != nullptr ? fopen(fnameMif, "r") : nullptr;
    if (mid == nullptr || mif == nullptr) {
        XERROR("fopen() error !\n");
        printf("fnameMid: %s\n fnameMif: %s\n", fnameMid != nullptr ? fnameMid : "(null)",
               fnameMif != nullptr ? fnameMif : "(null)");
        if (mid != nullptr) {
            fclose(mid);
        }
        if (mif != nullptr) {
            fclose(mif);
        }
        return FALSE;
    }
    const BOOL ok = ParseFile(mid, mif);
    fclose(mid);
    fclose(mif);
    return ok;
}

BOOL CPoielInfo::ParseLine(const char* text, char* seg, size_t segSize, const char** rest, const char* delimiter)
{
    if (text == nullptr || *text == '\0' || seg == nullptr || segSize == 0) {
        return FALSE;
    }
    const char stop = (delimiter != nullptr) ? delimiter[0] : '\0';
    size_t n = 0;
    const char* p = text;
    while (*p != '\0' && (stop == '\0' || *p != stop)) {
        if (*p != ' ' && n + 1 < segSize) {
            seg[n++] = *p;
        }
        ++p;
    }
    seg[n] = '\0';
    if (rest != nullptr) {
        *rest = (*p != '\0') ? p + 1 : nullptr;
    }
    return TRUE;
}

void CPoielInfo::ParseAttributes(const char* line, PoielInfo_t* info)
{
    char field[kMaxLineLen + 1];
    const char* p = line;
    for (int i = 0; i < 9 && p != nullptr; ++i) {
        const char* next = nullptr;
        if (!ParseLine(p, field, sizeof(field), &next, ",")) {
            break;
        }
        switch (i) {
        case 0: info->pointId = atoi(field); break;
        case 1: info->meshId = atoi(field); break;
        case 2: info->owner = atoi(field); break;
        case 3: info->featCode = XWrappedInt(field); break;
        case 4: info->roadId = atoi(field); break;
        case 5: info->sol = static_cast<char>(atoi(field)); break;
        case 6: info->azimuth = static_cast<int16_t>(XWrappedInt(field)); break;
        case 7: info->limit = XWrappedInt(field); break;
        case 8: info->speech = static_cast<int16_t>(XWrappedInt(field)); break;
        default: break;
        }
        p = next;
    }
}

BOOL CPoielInfo::AppendPoint(const PoielInfo_t* info)
{
    if (m_PoielInfoListHead == nullptr) {
        m_PoielInfoListHead = InitPoielInfoList(info);
        return m_PoielInfoListHead != nullptr;
    }
    return AddPoielInfoList(m_PoielInfoListHead, info);
}

BOOL CPoielInfo::ParseFile(FILE* fp_mid, FILE* fp_mif)
{
    if (fp_mid == nullptr || fp_mif == nullptr) {
        XERROR("fp_mid or fp_mif is null !\n");
        return FALSE;
    }
    char line[kMaxLineLen + 1];
    char midLine[kMaxLineLen + 1];
    char field[kMaxLineLen + 1];
    for (emLineRead got; (got = XReadLine(fp_mif, line, sizeof(line))) != emLine_End;) {
        const char* p = line;
        while (*p == ' ') {
            ++p;
        }
        if (strncmp(p, "Delimiter", 9) == 0 && got == emLine_Good) {
            const char* rest = nullptr;
            if (ParseLine(p, field, sizeof(field), &rest, " ") && rest != nullptr &&
                ParseLine(rest, field, sizeof(field), &rest, " ")) {
                snprintf(m_Delimiter, sizeof(m_Delimiter), "%.3s", field);
            }
        } else if (strncmp(p, "Point", 5) == 0) {
            // A bad point still takes its attribute line: the next point keeps its own.
            const emLineRead attributes = XReadLine(fp_mid, midLine, sizeof(midLine));
            if (got != emLine_Good || attributes != emLine_Good) {
                continue;  // a bad line, or no attributes: the point is skipped
            }
            PoielInfo_t info;
            memset(&info, 0, sizeof(info));
            const char* rest = nullptr;
            ParseLine(p, field, sizeof(field), &rest, " ");  // "Point"
            if (rest != nullptr && ParseLine(rest, field, sizeof(field), &rest, " ")) {
                info.piont.x = strtof(field, nullptr);
                if (rest != nullptr && ParseLine(rest, field, sizeof(field), &rest, " ")) {
                    info.piont.y = strtof(field, nullptr);
                }
            }
            ParseAttributes(midLine, &info);
            if (!AppendPoint(&info)) {
                return FALSE;
            }
        }
    }
    PrintPoielInfoList(m_PoielInfoListHead);
    return TRUE;
}

PoielInfoList_t* CPoielInfo::InitPoielInfoList(const PoielInfo_t* info)
{
    PoielInfoList_t* node = new (std::nothrow) PoielInfoList_t;
    if (node == nullptr) {
        XERROR("malloc error.\n");
        return nullptr;
    }
    node->poielInfo = *info;
    node->pNext = nullptr;
    return node;
}

BOOL CPoielInfo::AddPoielInfoList(PoielInfoList_t* head, const PoielInfo_t* info)
{
    if (head == nullptr) {
        return FALSE;
    }
    PoielInfoList_t* node = InitPoielInfoList(info);
    if (node == nullptr) {
        return FALSE;
    }
    PoielInfoList_t* tail = head;
    while (tail->pNext != nullptr) {
        tail = tail->pNext;
    }
    tail->pNext = node;
    return TRUE;
}

void CPoielInfo::DestroyPoielInfoList(PoielInfoList_t* head)
{
    while (head != nullptr) {
        PoielInfoList_t* next = head->pNext;
        delete head;
        head = next;
    }
}

PoielInfoList_t* CPoielInfo::FindPoielInfoList(PoielInfoList_t* head, float x, float y)
{
    if (head == nullptr) {
        XERROR("PoielInfoList phead is null .\n");
        return nullptr;
    }
    for (PoielInfoList_t* n = head; n != nullptr; n = n->pNext) {
        if (n->poielInfo.piont.x == x && n->poielInfo.piont.y == y) {
            return n;
        }
    }
    printf("NOT FOUND !\n");
    return nullptr;
}

void CPoielInfo::PrintPoielInfoList(const PoielInfoList_t* head)
{
    for (const PoielInfoList_t* n = head; n != nullptr; n = n->pNext) {
        const PoielInfo_t& i = n->poielInfo;
        printf("%f  %f  %d  %d  %d  %d  %d  %d  %d  %d  %d \n", static_cast<double>(i.piont.x),
               static_cast<double>(i.piont.y), i.pointId, i.meshId, i.owner, i.featCode, i.roadId, i.sol,
               i.azimuth, i.limit, i.speech);
    }
}

BOOL CPoielInfo::GPSCoordinateToMap(float gpsX, float gpsY, float* mapX, float* mapY)
{
    if (mapX == nullptr || mapY == nullptr) {
        XERROR("mapX or mapY is null.\n");
        return FALSE;
    }
    float x = 0;
    float y = 0;
    if (!XNmeaToDegrees(gpsX, &x) || !XNmeaToDegrees(gpsY, &y)) {
        XERROR("gpsX or gpsY is no coordinate: %f %f\n", static_cast<double>(gpsX), static_cast<double>(gpsY));
        return FALSE;
    }
    *mapX = x;
    *mapY = y;
    return TRUE;
}
