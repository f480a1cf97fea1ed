#include "Record/RecordFileBase.h"

#include <cinttypes>
#include <climits>
#include <cstdio>

#include "Function/XLog.h"

namespace {

constexpr int kDefaultFps = 30;
constexpr int kDefaultThumbGranularity = 600;
// Video frames a file holds at most, per frame of rate.
constexpr unsigned kMaxLimitFramesPerFps = 256;

int XClampFrames(int64_t v)
{
    if (v > INT_MAX) {
        return INT_MAX;
    }
    if (v < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(v);
}

}  // namespace

CRecordFile::CRecordFile(int flag)
    : m_Flag(flag),
      m_emRecordFileType(emRecordFileType_Common),
      m_RecFileTime{0},
      m_RecFileIndex(0),
      m_FirstFrameTime(0),
      m_LastVideoFrameSerial(0),
      m_LastAudioFrameSerial(0),
      m_TotalFrames(0),
      m_LeftFrames(0),
      m_Fps(kDefaultFps),
      m_ThumbGranularity(kDefaultThumbGranularity),
      m_LeftThumb(kDefaultThumbGranularity),
      m_Context(0),
      m_Errors(0),
      m_MaxLimitFrames(kDefaultFps * kMaxLimitFramesPerFps),
      m_pTimeTypeMappingsHead(nullptr),
      m_curTriggerType(0),
      m_totalTriggerType(0),
      m_lpAssociatedDataListHead(nullptr),
      m_lpAssociatedDataListTail(nullptr),
      m_TotalSize(0),
      m_LastFrameTime(0),
      m_TotalIFrames(0)
{
    // Made first, so that a static recorder is deleted before them at exit.
    CTimeTypeMappingNodeManager::instance();
    CAssociatedDataManager::instance();
}

CRecordFile::~CRecordFile()
{
    ReleaseTypeMappings();
    ReleaseAssociatedData();
}

void CRecordFile::CheckNeedPack(BOOL bImmediately)
{
    if ((m_Flag & emRecordFileFlag_Recording) == 0) {
        return;
    }
    if (bImmediately || m_LeftFrames < m_Fps || m_TotalFrames >= m_MaxLimitFrames) {
        m_Flag |= emRecordFileFlag_Pack;
    }
}

BOOL CRecordFile::CheckPack()
{
    if ((m_Flag & emRecordFileFlag_Pack) == 0) {
        return 0;
    }
    printf("PACKING(SIZE=%" PRIu64 ", TOTAL=%u, LEFT=%d)...\n", GetFileSize(), m_TotalFrames, m_LeftFrames);
    return StopRecord();
}

BOOL CRecordFile::AddTypeMapping(emRecordTriggerType trigger, unsigned duration)
{
    if (trigger == emRecordTriggerType_Common && m_emRecordFileType != emRecordFileType_Common) {
        return 0;
    }
    const int lefttime = XClampFrames(static_cast<int64_t>(duration));
    TimeTypeMapping* prev = nullptr;
    for (TimeTypeMapping* n = m_pTimeTypeMappingsHead; n != nullptr; prev = n, n = n->next) {
        if (n->trigger == trigger) {
            if (prev == nullptr) {
                m_pTimeTypeMappingsHead = n->next;
            } else {
                prev->next = n->next;
            }
            n->next = nullptr;
            n->lefttime = lefttime;
            return AddTypeMapping(n);
        }
    }
    TimeTypeMapping* node = XGetTimeTypeMappingNode();
    if (node == nullptr) {
        return 0;
    }
    node->lefttime = lefttime;
    node->trigger = trigger;
    return AddTypeMapping(node);
}

BOOL CRecordFile::AddTypeMapping(TimeTypeMappingNode* node)
{
    if (node == nullptr) {
        return 0;
    }
    // In front of the first node that runs at least as long.
    TimeTypeMapping** link = &m_pTimeTypeMappingsHead;
    while (*link != nullptr && (*link)->lefttime < node->lefttime) {
        link = &(*link)->next;
    }
    node->next = *link;
    *link = node;
    m_curTriggerType |= static_cast<unsigned>(node->trigger);
    m_totalTriggerType |= static_cast<uint32_t>(node->trigger);
    SetDurationTime(node->lefttime > 0 ? static_cast<unsigned>(node->lefttime) : 0u);
    return 1;
}

void CRecordFile::CheckTypeMapping(int passedTime)
{
    if (passedTime <= 0) {
        return;
    }
    TimeTypeMapping** link = &m_pTimeTypeMappingsHead;
    while (*link != nullptr) {
        TimeTypeMapping* n = *link;
        n->lefttime = XClampFrames(static_cast<int64_t>(n->lefttime) - passedTime);
        if (n->lefttime <= 0) {
            *link = n->next;
            n->next = nullptr;
            m_curTriggerType &= ~static_cast<unsigned>(n->trigger);
            XPutTimeTypeMappingNodeList(n);
        } else {
            link = &n->next;
        }
    }
}

void CRecordFile::GetLeftFrames(TimeTypeMapping*& lpList, int& nMaxLeft, int& nLeftFrames)
{
    lpList = nullptr;
    nMaxLeft = 0;
    TimeTypeMapping* tail = nullptr;
    for (const TimeTypeMapping* n = m_pTimeTypeMappingsHead; n != nullptr; n = n->next) {
        TimeTypeMapping* copy = XGetTimeTypeMappingNode();
        if (copy == nullptr) {
            XERROR("GetNode Error.\n");
            break;
        }
        copy->lefttime = n->lefttime;
        copy->trigger = n->trigger;
        if (tail == nullptr) {
            lpList = copy;
        } else {
            tail->next = copy;
        }
        tail = copy;
        if (n->lefttime > nMaxLeft) {
            nMaxLeft = n->lefttime;
        }
    }
    nLeftFrames = m_LeftFrames;
}

void CRecordFile::SetDurationTime(unsigned duration)
{
    // Signed comparison: a file that ran past its end (negative left
    // frames) must still be extended.
    const int64_t want = duration;
    if (static_cast<int64_t>(m_LeftFrames) >= want) {
        return;
    }
    m_LeftFrames = XClampFrames(want < m_Fps ? m_Fps : want);
    printf("[RECORD TIME]m_LeftFrames=%d m_TotalFrames=%d(set=%d) \n", m_LeftFrames,
           XClampFrames(static_cast<int64_t>(m_TotalFrames)), XClampFrames(want));
}

void CRecordFile::SetDurationTime(const TimeTypeMapping* list)
{
    // A pool list never holds more nodes than the pool: stop at that many
    // should it have been linked into a loop.
    int steps = 0;
    for (const TimeTypeMapping* n = list; n != nullptr && steps < CTimeTypeMappingNodeManager::kNodeCount;
         n = n->next, ++steps) {
        AddTypeMapping(n->trigger, n->lefttime > 0 ? static_cast<unsigned>(n->lefttime) : 0u);
    }
}

void CRecordFile::SetAssociatedData(CAssociatedData* list)
{
    CAssociatedData* last = XPrependAssociatedDataList(list, m_lpAssociatedDataListHead);
    if (last == nullptr) {
        return;
    }
    if (m_lpAssociatedDataListHead == nullptr) {
        m_lpAssociatedDataListTail = last;
    }
    m_lpAssociatedDataListHead = list;
}

void CRecordFile::GetAssociatedData(CAssociatedData*& lpHead, BOOL bReset)
{
    lpHead = m_lpAssociatedDataListHead;
    if (bReset) {
        m_lpAssociatedDataListHead = nullptr;
        m_lpAssociatedDataListTail = nullptr;
    }
}

unsigned CRecordFile::GetFileNameDuration() const
{
    if (m_Fps <= 0) {
        return 0;
    }
    const uint64_t fps = static_cast<uint64_t>(m_Fps);
    return static_cast<unsigned>((static_cast<uint64_t>(m_TotalFrames) + fps - 1) / fps);
}

void CRecordFile::ReleaseTypeMappings()
{
    XPutTimeTypeMappingNodeList(m_pTimeTypeMappingsHead);
    m_pTimeTypeMappingsHead = nullptr;
    m_curTriggerType = 0;
}

void CRecordFile::ReleaseAssociatedData()
{
    XPutAssociatedDataList(m_lpAssociatedDataListHead);
    m_lpAssociatedDataListHead = nullptr;
    m_lpAssociatedDataListTail = nullptr;
}
