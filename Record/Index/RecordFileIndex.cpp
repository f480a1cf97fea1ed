#include "Record/Index/RecordFileIndex.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "Record/Index/RecordFileName.h"

namespace {

// Newer first; equal times keep their chain order (stable).
CRecordFileIndexNode* XMergeSorted(CRecordFileIndexNode* a, CRecordFileIndexNode* b)
{
    CRecordFileIndexNode head;
    CRecordFileIndexNode* tail = &head;
    while (a != nullptr && b != nullptr) {
        if (a->GetRecTime() >= b->GetRecTime()) {
            tail->SetNext(a);
            tail = a;
            a = a->GetNext();
        } else {
            tail->SetNext(b);
            tail = b;
            b = b->GetNext();
        }
    }
    tail->SetNext(a != nullptr ? a : b);
    return head.GetNext();
}

// Stable merge sort of a chain linked through GetNext, `count` nodes long.
CRecordFileIndexNode* XSortChain(CRecordFileIndexNode* chain, int count)
{
    if (count <= 1) {
        if (chain != nullptr) {
            chain->SetNext(nullptr);
        }
        return chain;
    }
    const int half = count / 2;
    CRecordFileIndexNode* second = chain;
    for (int i = 0; i < half; ++i) {
        second = second->GetNext();
    }
    // Sorting the second half first leaves the first half's links intact
    // until it is sorted itself.
    CRecordFileIndexNode* right = XSortChain(second, count - half);
    CRecordFileIndexNode* left = XSortChain(chain, half);
    return XMergeSorted(left, right);
}

// Nodes a search walks before it switches to the sorted array.
constexpr int kWalkLimit = 64;

uint32_t XClampSize(unsigned long size)
{
    return size > 0xFFFFFFFFul ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
}

}  // namespace

CRecordFileIndex::CRecordFileIndex(emRecFileType type)
    : m_lpFileListHead(nullptr),
      m_lpFileListTail(nullptr),
      m_lpFileListRand(nullptr),
      m_RecType(type),
      m_TotalSize(0),
      m_lpMiddleChain(nullptr),
      m_nMiddleCount(0),
      m_nFileCount(0),
      m_nChangeCount(0),
      m_bFinderValid(false)
{
    // The pools of the nodes and their records are made first, so that a
    // static index is deleted before them at exit.
    CRecordFileIndexNodeManager::instance();
    CAssociatedDataManager::instance();
}

CRecordFileIndex::~CRecordFileIndex()
{
    CleanAllFile();
}

BOOL CRecordFileIndex::AddNode(const RECTIME& time, unsigned long size, CRecordFileIndexNode*& node)
{
    CRecordFileIndexNodeManager* pool = CRecordFileIndexNodeManager::instance();
    node = pool != nullptr ? pool->GetNode() : nullptr;
    if (node == nullptr) {
        return 0;
    }
    node->SetRecTime(time);
    node->SetRecSize(XClampSize(size));
    return 1;
}

BOOL CRecordFileIndex::AddRecFile(const RECTIME& time, unsigned duration, int packed, unsigned long size)
{
    return AddRecFile(time, duration, packed, size, 0u);
}

BOOL CRecordFileIndex::AddRecFile(const RECTIME& time, unsigned duration, int packed, unsigned long size,
                                  unsigned trigger)
{
    CRecordFileIndexNode* node;
    if (!AddNode(time, size, node)) {
        return 0;
    }
    const uint32_t bits = static_cast<uint32_t>(packed);
    node->SetRecDuration(duration);
    node->SetRecIndex(static_cast<int>((bits >> 8) & 0xFFu));
    node->SetRecResolution((bits >> 16) == 720 ? 720 : 1080);
    node->SetRecParkingFlag((bits & 1u) ? 1 : 0);
    node->SetRecTrigger(trigger);
    InsertNode(node);
    return 1;
}

BOOL CRecordFileIndex::AddRecFile(const RECTIME& time, unsigned duration, char type, int index, unsigned long size)
{
    CRecordFileIndexNode* node;
    if (!AddNode(time, size, node)) {
        return 0;
    }
    node->SetRecDuration(duration);
    node->SetRecType(type);
    node->SetRecIndex(index);
    InsertNode(node);
    return 1;
}

BOOL CRecordFileIndex::AttachCompanion(const RECTIME& time, int index, unsigned long size, int flag)
{
    CRecordFileIndexNode* node = FindNode(time, index);
    if (node == nullptr) {
        return 0;
    }
    // A second one replaces the first in the total.
    const BOOL title = flag == emRecFileFlag_HasTitle;
    SubTotal(title ? node->GetRecTitleSize() : node->GetRecThumbSize());
    const uint32_t clamped = XClampSize(size);
    if (title) {
        node->SetRecTitleSize(clamped);
    } else {
        node->SetRecThumbSize(clamped);
    }
    node->AddRecFlag(flag);
    AddTotal(clamped);
    ++m_nChangeCount;
    return 1;
}

BOOL CRecordFileIndex::AddRecFileTitle(const RECTIME& time, int index, unsigned long size)
{
    return AttachCompanion(time, index, size, emRecFileFlag_HasTitle);
}

BOOL CRecordFileIndex::AddRecFileTimestamp(const RECTIME& time, int index, unsigned long size)
{
    return AttachCompanion(time, index, size, emRecFileFlag_HasTimestamp);
}

BOOL CRecordFileIndex::AddRecAssociatedData(const RECTIME& time, int index, CAssociatedData* list)
{
    CRecordFileIndexNode* node = FindNode(time, index);
    if (node == nullptr) {
        return 0;
    }
    node->AddAssociatedData(list);
    node->AddRecFlag(emRecFileFlag_HasAssociatedData);
    ++m_nChangeCount;
    return 1;
}

void CRecordFileIndex::InsertNode(CRecordFileIndexNode* node)
{
    if (node == nullptr) {
        return;
    }
    node->SetPrev(nullptr);
    node->SetNext(nullptr);
    if (m_lpFileListHead == nullptr) {
        m_lpFileListHead = node;
        m_lpFileListTail = node;
    } else if (node->GetRecTime() >= m_lpFileListHead->GetRecTime()) {
        node->SetNext(m_lpFileListHead);
        m_lpFileListHead->SetPrev(node);
        m_lpFileListHead = node;
    } else if (node->GetRecTime() <= m_lpFileListTail->GetRecTime()) {
        node->SetPrev(m_lpFileListTail);
        m_lpFileListTail->SetNext(node);
        m_lpFileListTail = node;
    } else {
        // Strictly between tail and head: it can change neither, so it waits
        // until the list is next read.
        node->SetNext(m_lpMiddleChain);
        m_lpMiddleChain = node;
        ++m_nMiddleCount;
    }
    AddTotal(node->GetAllSize());
    ++m_nFileCount;
    ++m_nChangeCount;
    m_bFinderValid = false;
}

void CRecordFileIndex::MergeMiddle()
{
    if (m_lpMiddleChain == nullptr) {
        return;
    }
    // The chain is newest-added first and the sort is stable, so of equal
    // times the newest-added comes first, and each goes in front of the
    // list's nodes of its own time: the order that inserting them one by one
    // in front of the first node not newer would give.
    CRecordFileIndexNode* p = XSortChain(m_lpMiddleChain, m_nMiddleCount);
    m_bFinderValid = false;
    m_lpMiddleChain = nullptr;
    m_nMiddleCount = 0;
    CRecordFileIndexNode* cur = m_lpFileListHead;
    while (p != nullptr) {
        CRecordFileIndexNode* next = p->GetNext();
        while (cur->GetRecTime() > p->GetRecTime()) {
            cur = cur->GetNext();  // stops at the tail at the latest
        }
        CRecordFileIndexNode* before = cur->GetPrev();  // never null: p is older than the head
        p->SetPrev(before);
        p->SetNext(cur);
        before->SetNext(p);
        cur->SetPrev(p);
        p = next;
    }
}

CRecordFileIndexNode* CRecordFileIndex::FindNode(const RECTIME& time, int index, char type)
{
    MergeMiddle();
    if (m_lpFileListHead == nullptr) {
        m_lpFileListRand = nullptr;
        return nullptr;
    }
    CRecordFileIndexNode* found = nullptr;
    if (WalkFind(time, index, type, kWalkLimit, found) || SortedFind(time, index, type, found)) {
        return found;
    }
    WalkFind(time, index, type, 0, found);
    return found;
}

BOOL CRecordFileIndex::WalkFind(const RECTIME& time, int index, char type, int limit, CRecordFileIndexNode*& found)
{
    auto matches = [&](const CRecordFileIndexNode* n) {
        return n->GetRecTime() == time && n->GetRecIndex() == index && (type == 0 || n->GetRecType() == type);
    };
    int steps = 0;
    auto tooFar = [&] { return limit > 0 && ++steps > limit; };
    // A match: the cursor stays on it.
    auto take = [&](CRecordFileIndexNode* n) -> BOOL {
        m_lpFileListRand = n;
        found = n;
        return 1;
    };
    found = nullptr;
    CRecordFileIndexNode* cur = m_lpFileListRand != nullptr ? m_lpFileListRand : m_lpFileListHead;
    if (time < cur->GetRecTime()) {
        // Older than the cursor: toward the tail.
        for (CRecordFileIndexNode* n = cur->GetNext(); n != nullptr; n = n->GetNext()) {
            if (tooFar()) {
                return 0;
            }
            if (n->GetRecTime() < time) {
                m_lpFileListRand = n;
                return 1;
            }
            if (matches(n)) {
                return take(n);
            }
        }
        m_lpFileListRand = nullptr;
        return 1;
    }
    // From the cursor toward the head.
    CRecordFileIndexNode* n = cur;
    for (; n != nullptr; n = n->GetPrev()) {
        if (tooFar()) {
            return 0;
        }
        if (n->GetRecTime() > time) {
            break;
        }
        if (matches(n)) {
            return take(n);
        }
    }
    // Nodes of the same second may also stand behind the cursor.
    if (cur->GetRecTime() == time) {
        for (CRecordFileIndexNode* m = cur->GetNext(); m != nullptr && m->GetRecTime() == time; m = m->GetNext()) {
            if (tooFar()) {
                return 0;
            }
            if (matches(m)) {
                return take(m);
            }
        }
    }
    m_lpFileListRand = n;
    return 1;
}

BOOL CRecordFileIndex::SortedFind(const RECTIME& time, int index, char type, CRecordFileIndexNode*& found)
{
    found = nullptr;
    if (!m_bFinderValid) {
        try {
            m_Finder.clear();
            m_Finder.reserve(static_cast<size_t>(m_nFileCount));
            for (CRecordFileIndexNode* n = m_lpFileListHead; n != nullptr; n = n->GetNext()) {
                m_Finder.push_back(n);
            }
        } catch (const std::bad_alloc&) {
            m_Finder.clear();
            return 0;
        }
        m_bFinderValid = true;
    }
    // Newest first: the run of the key's second is [first, last).
    auto first = std::lower_bound(m_Finder.begin(), m_Finder.end(), time,
                                  [](const CRecordFileIndexNode* n, const RECTIME& t) { return n->GetRecTime() > t; });
    auto last = std::upper_bound(first, m_Finder.end(), time,
                                 [](const RECTIME& t, const CRecordFileIndexNode* n) { return t > n->GetRecTime(); });
    for (auto it = first; it != last; ++it) {
        CRecordFileIndexNode* n = *it;
        if (n->GetRecIndex() == index && (type == 0 || n->GetRecType() == type)) {
            m_lpFileListRand = n;
            found = n;
            return 1;
        }
    }
    // Where the walk would have stopped: past the run in its direction.
    const CRecordFileIndexNode* cur = m_lpFileListRand != nullptr ? m_lpFileListRand : m_lpFileListHead;
    if (time < cur->GetRecTime()) {
        m_lpFileListRand = last != m_Finder.end() ? *last : nullptr;
    } else {
        m_lpFileListRand = first != m_Finder.begin() ? *(first - 1) : nullptr;
    }
    return 1;
}

void CRecordFileIndex::RemoveNode(CRecordFileIndexNode* node)
{
    if (node == nullptr) {
        return;
    }
    MergeMiddle();
    m_bFinderValid = false;
    ++m_nChangeCount;
    if (m_lpFileListRand == node) {
        m_lpFileListRand = nullptr;
    }
    CRecordFileIndexNode* prev = node->GetPrev();
    CRecordFileIndexNode* next = node->GetNext();
    if (prev != nullptr) {
        prev->SetNext(next);
    } else if (m_lpFileListHead == node) {
        m_lpFileListHead = next;
    }
    if (next != nullptr) {
        next->SetPrev(prev);
    } else if (m_lpFileListTail == node) {
        m_lpFileListTail = prev;
    }
    SubTotal(node->GetAllSize());
    --m_nFileCount;
    node->ReleaseAssociatedDataNode();
    node->SetPrev(nullptr);
    node->SetNext(nullptr);
    CRecordFileIndexNodeManager* pool = CRecordFileIndexNodeManager::instance();
    if (pool != nullptr) {
        pool->PutNode(node);
    }
}

BOOL CRecordFileIndex::DeleteNodeFile(const char* mountPath, CRecordFileIndexNode* node)
{
    // Companions deleted before a failure leave the node with smaller sizes.
    const uint64_t before = node->GetAllSize();
    const BOOL ok = node->DeleteFile(mountPath, m_RecType);
    SubTotal(before - node->GetAllSize());
    ++m_nChangeCount;  // a failed deletion may have taken companions
    if (ok) {
        RemoveNode(node);
    }
    return ok;
}

BOOL CRecordFileIndex::DeleteOldestFile(const char* mountPath)
{
    MergeMiddle();
    if (m_lpFileListTail == nullptr) {
        return 0;
    }
    if (!DeleteNodeFile(mountPath, m_lpFileListTail)) {
        printf("DELETE OLDEST FILE ERROR.\n");
        return 0;
    }
    return 1;
}

BOOL CRecordFileIndex::DeleteFile(const char* mountPath, const RECTIME& time, int index, char type)
{
    CRecordFileIndexNode* node = FindNode(time, index, type);
    if (node == nullptr) {
        printf("Not Find Node Index...\n");
        return 0;
    }
    return DeleteNodeFile(mountPath, node);
}

BOOL CRecordFileIndex::DeleteFile(const char* mountPath, const char* filename)
{
    if (filename == nullptr) {
        return 0;
    }
    const bool isImage = m_RecType == emRecFileType_AlarmImage;
    const char* base = strrchr(filename, '/');
    base = base != nullptr ? base + 1 : filename;
    RecFileNameFields fields;
    const bool fits = strnlen(filename, RECORD_NAME_BUF_SIZE) < RECORD_NAME_BUF_SIZE;
    if (!fits || !XParseRecFileName(base, isImage ? emRecFileNameKind_Image : emRecFileNameKind_Video,
                                    isImage ? "JPG" : "MP4", fields)) {
        if (!isImage) {
            printf("Filename(%.255s) not match rules.\n", base);
        }
        return 0;
    }
    if (isImage) {
        return DeleteFile(mountPath, fields.time, fields.index, fields.type);
    }
    CRecordFileIndexNode* node = FindNode(fields.time, fields.index);
    if (node == nullptr) {
        printf("Not Find Node Index...\n");
        return 0;
    }
    // A card from an older camera can hold two videos of one key that differ
    // in duration or suffixes: the one of the name asked for goes.
    CRecordFileIndexNode* first = node;
    while (first->GetPrev() != nullptr && first->GetPrev()->GetRecTime() == fields.time) {
        first = first->GetPrev();
    }
    for (CRecordFileIndexNode* n = first; n != nullptr && n->GetRecTime() == fields.time; n = n->GetNext()) {
        char name[RECORD_NAME_BUF_SIZE];
        if (n->GetRecIndex() == fields.index && n->GetFileName(name, "MP4", TRUE) && strcasecmp(name, base) == 0) {
            node = n;
            break;
        }
    }
    return DeleteNodeFile(mountPath, node);
}

BOOL CRecordFileIndex::DeleteOverflowFile(const char* mountPath, uint64_t maxFileSize)
{
    while (GetTotalSize() > maxFileSize) {
        if (!DeleteOldestFile(mountPath)) {
            return 0;
        }
    }
    return 1;
}

BOOL CRecordFileIndex::CleanAllFile(const char* mountPath)
{
    MergeMiddle();
    while (m_lpFileListTail != nullptr) {
        if (!DeleteOldestFile(mountPath)) {
            return 0;
        }
    }
    return 1;
}

void CRecordFileIndex::CleanAllFile()
{
    MergeMiddle();
    if (m_lpFileListHead != nullptr) {
        for (CRecordFileIndexNode* n = m_lpFileListHead; n != nullptr; n = n->GetNext()) {
            n->ReleaseAssociatedDataNode();
        }
        CRecordFileIndexNodeManager* pool = CRecordFileIndexNodeManager::instance();
        if (pool != nullptr) {
            pool->PutNode(m_lpFileListHead, m_lpFileListTail);
        }
    }
    m_lpFileListHead = nullptr;
    m_lpFileListTail = nullptr;
    m_lpFileListRand = nullptr;
    m_TotalSize.store(0, std::memory_order_relaxed);
    m_nFileCount = 0;
    ++m_nChangeCount;
    m_bFinderValid = false;
    m_Finder.clear();
}

int CRecordFileIndex::GetFileInfoAsJSON(char* buff, int len)
{
    const char* head = XGetRecFileIndexHead(m_RecType);
    if (head == nullptr) {
        return -2;
    }
    if (buff == nullptr || len <= 0) {
        return -1;
    }
    buff[0] = '\0';
    const int headLen = static_cast<int>(strlen(head));
    if (len < headLen + 2) {
        return -1;
    }
    memcpy(buff, head, static_cast<size_t>(headLen) + 1);
    int n = headLen;
    MergeMiddle();
    for (const CRecordFileIndexNode* node = m_lpFileListHead; node != nullptr; node = node->GetNext()) {
        if (node != m_lpFileListHead) {
            if (len - n < 2) {
                return -1;
            }
            buff[n++] = ',';
            buff[n] = '\0';
        }
        int w = node->GetFileInfoAsJSON(buff + n, len - n, m_RecType, 0);
        if (w < 0) {
            return -1;
        }
        n += w;
    }
    if (len - n <= 2) {
        return -1;
    }
    memcpy(buff + n, "]}", 3);
    return n + 2;
}

int CRecordFileIndex::GetFileInfoAsJSON(char* buff, int len, const RECTIME& time, int index, char type)
{
    if (XGetRecFileIndexHead(m_RecType) == nullptr) {
        return -2;
    }
    const CRecordFileIndexNode* node = FindNode(time, index, type);
    if (node == nullptr) {
        printf("FIND ERROR[%04d/%04d/%04d %02d:%02d:%02d (%d)].\n", static_cast<int>(time.year()) + 2000,
               static_cast<int>(time.month()), static_cast<int>(time.day()), static_cast<int>(time.hour()),
               static_cast<int>(time.minute()), static_cast<int>(time.second()), index);
        return -1;
    }
    return node->GetFileInfoAsJSON(buff, len, m_RecType, 1);
}

const CRecordFileIndexNode* CRecordFileIndex::GetFileListHead()
{
    MergeMiddle();
    return m_lpFileListHead;
}

const CRecordFileIndexNode* CRecordFileIndex::GetFileListTail()
{
    MergeMiddle();
    return m_lpFileListTail;
}

void CRecordFileIndex::DumpInfo(const char* mountPath)
{
    (void)mountPath;
}
