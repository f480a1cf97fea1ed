#include "Record/Index/AssociatedData.h"

#include <cstdio>
#include <cstring>

#include "Record/Index/JsonText.h"
#include "Record/RecordTypes.h"

void CAssociatedData::Init()
{
    m_RecType[0] = '\0';
    m_RecType[1] = '\0';
    m_RecTime.value = 0;
    m_RecIndex = 0;
    memset(m_GPSPosition, 0, sizeof(m_GPSPosition));
    m_lpNext = nullptr;
}

void CAssociatedData::CopyFrom(const CAssociatedData& other)
{
    if (&other == this) {
        return;
    }
    memcpy(m_RecType, other.m_RecType, sizeof(m_RecType));
    m_RecType[1] = '\0';
    m_RecTime = other.m_RecTime;
    m_RecIndex = other.m_RecIndex;
    SetGPSPosition(other.m_GPSPosition, sizeof(other.m_GPSPosition));
}

void CAssociatedData::SetGPSPosition(const char* text, size_t maxLen)
{
    memset(m_GPSPosition, 0, sizeof(m_GPSPosition));
    if (text == nullptr) {
        return;
    }
    size_t n = 0;
    while (n < maxLen && n < sizeof(m_GPSPosition) - 1 && text[n] != '\0') {
        ++n;
    }
    memcpy(m_GPSPosition, text, n);
}

int CAssociatedData::GetFileInfoAsJSON(char* buff, int len) const
{
    if (buff == nullptr || len < 128) {
        return -1;
    }
    char position[XJsonEscapedMax(kGPSPositionSize) + 1];
    if (XJsonEscape(position, sizeof(position), m_GPSPosition, sizeof(m_GPSPosition)) < 0) {
        return -1;
    }
    const char letter = XGetShownTypeLetter(m_RecType[0]);
    int n;
    if (m_RecIndex != 0) {
        n = snprintf(buff, static_cast<size_t>(len), "{\"image\":\"%c%04u%02u%02u%02u%02u%02u(%d).JPG\",\"position\":\"%s\"}",
                     letter, m_RecTime.year() + 2000, m_RecTime.month(), m_RecTime.day(), m_RecTime.hour(),
                     m_RecTime.minute(), m_RecTime.second(), m_RecIndex, position);
    } else {
        n = snprintf(buff, static_cast<size_t>(len), "{\"image\":\"%c%04u%02u%02u%02u%02u%02u.JPG\",\"position\":\"%s\"}",
                     letter, m_RecTime.year() + 2000, m_RecTime.month(), m_RecTime.day(), m_RecTime.hour(),
                     m_RecTime.minute(), m_RecTime.second(), position);
    }
    if (n < 0 || n >= len) {
        buff[0] = '\0';
        return -1;
    }
    return n;
}

void XPutAssociatedDataList(CAssociatedData* list)
{
    if (list == nullptr) {
        return;
    }
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    if (pool != nullptr) {
        pool->PutNodeList(list);
    }
}
