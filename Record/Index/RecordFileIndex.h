#ifndef RECORD_INDEX_RECORDFILEINDEX_H
#define RECORD_INDEX_RECORDFILEINDEX_H

#include <atomic>
#include <cstdint>
#include <vector>

#include "Function/RecTime.h"
#include "Function/types.h"
#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndexNode.h"
#include "Record/RecordTypes.h"

// The in-memory index of one category of files on the card: a doubly linked
// list sorted by start time, newest first, with the bytes all its files take.
// Callers serialise every call (the recording engine's lock); only
// GetTotalSize may be read from anywhere.
class CRecordFileIndex {
public:
    explicit CRecordFileIndex(emRecFileType type);
    ~CRecordFileIndex();
    CRecordFileIndex(const CRecordFileIndex&) = delete;
    CRecordFileIndex& operator=(const CRecordFileIndex&) = delete;

    // A video: `packed` is resolution << 16 | index << 8 | parking (bit 0).
    // 0 when no node can be had.
    BOOL AddRecFile(const RECTIME& time, unsigned duration, int packed, unsigned long size);
    BOOL AddRecFile(const RECTIME& time, unsigned duration, int packed, unsigned long size, unsigned trigger);
    // An image with its type letter.
    BOOL AddRecFile(const RECTIME& time, unsigned duration, char type, int index, unsigned long size);
    // Attach the title image / thumbnail archive of the file; 0 when no
    // file matches.
    BOOL AddRecFileTitle(const RECTIME& time, int index, unsigned long size);
    BOOL AddRecFileTimestamp(const RECTIME& time, int index, unsigned long size);
    // Attaches snapshot records (the node owns them then); 0 when no file
    // matches and the caller keeps the list.
    BOOL AddRecAssociatedData(const RECTIME& time, int index, CAssociatedData* list);

    // The node with this time and index (and, unless `type` is 0, this image
    // type letter), searched from the cursor; null when there is none.
    CRecordFileIndexNode* FindNode(const RECTIME& time, int index, char type = 0);
    void InsertNode(CRecordFileIndexNode* node);
    // Unlinks the node, takes its sizes off the total and gives it and its
    // records back to their pools.
    void RemoveNode(CRecordFileIndexNode* node);

    BOOL DeleteOldestFile(const char* mountPath);
    BOOL DeleteFile(const char* mountPath, const RECTIME& time, int index, char type = 0);
    // Deletes by the name the app shows (the text after the last "/").
    BOOL DeleteFile(const char* mountPath, const char* filename);
    // Deletes oldest files while the total is above `maxFileSize`.
    BOOL DeleteOverflowFile(const char* mountPath, uint64_t maxFileSize);
    // Deletes every file, oldest first; 0 at the first failure.
    BOOL CleanAllFile(const char* mountPath);
    // Empties the index without touching the card.
    void CleanAllFile();

    // The whole list as a document: its length, -1 when `len` is too short,
    // -2 for an unknown category.
    int GetFileInfoAsJSON(char* buff, int len);
    // One file as a whole document; -1 when it is not indexed or `len` is
    // too short.
    int GetFileInfoAsJSON(char* buff, int len, const RECTIME& time, int index, char type = 0);

    uint64_t GetTotalSize() const { return m_TotalSize.load(std::memory_order_relaxed); }
    // Goes up at every change of what the list document shows (files added
    // or removed, companions and records attached, the index emptied).
    uint64_t GetChangeCount() const { return m_nChangeCount; }
    int GetFileCount() const { return m_nFileCount; }
    emRecFileType GetRecType() const { return m_RecType; }
    // Newest and oldest node.
    const CRecordFileIndexNode* GetFileListHead();
    const CRecordFileIndexNode* GetFileListTail();
    // The node the last search stopped on, or null.
    const CRecordFileIndexNode* GetSearchCursor() const { return m_lpFileListRand; }
    void DumpInfo(const char* mountPath);

private:
    BOOL AddNode(const RECTIME& time, unsigned long size, CRecordFileIndexNode*& node);
    // The title image (flag emRecFileFlag_HasTitle) or thumbnail archive
    // (emRecFileFlag_HasTimestamp) of the file at time/index, with its size.
    BOOL AttachCompanion(const RECTIME& time, int index, unsigned long size, int flag);
    // Links the nodes that waited in the middle chain into the list.
    void MergeMiddle();
    // The cursor walk of FindNode. Gives up (0, cursor unchanged) after
    // `limit` nodes when `limit` is above 0; else 1 with the result.
    BOOL WalkFind(const RECTIME& time, int index, char type, int limit, CRecordFileIndexNode*& found);
    // The same result and cursor by binary search over m_Finder; 0 when the
    // array cannot be built.
    BOOL SortedFind(const RECTIME& time, int index, char type, CRecordFileIndexNode*& found);
    void AddTotal(uint64_t add) { m_TotalSize.fetch_add(add, std::memory_order_relaxed); }
    void SubTotal(uint64_t sub) { m_TotalSize.fetch_sub(sub, std::memory_order_relaxed); }
    BOOL DeleteNodeFile(const char* mountPath, CRecordFileIndexNode* node);

    CRecordFileIndexNode* m_lpFileListHead;
    CRecordFileIndexNode* m_lpFileListTail;
    CRecordFileIndexNode* m_lpFileListRand;
    emRecFileType m_RecType;
    // Atomic: the engine reads it without its lock, and a 64-bit load is not
    // one access on a 32-bit CPU.
    std::atomic<uint64_t> m_TotalSize;
    // Nodes that belong strictly between head and tail, newest-added first,
    // not linked yet: sorting them once keeps a scan of thousands of files
    // in any directory order from walking the list per file.
    CRecordFileIndexNode* m_lpMiddleChain;
    int m_nMiddleCount;
    int m_nFileCount;
    uint64_t m_nChangeCount;
    // The list as an array, newest first, built when a search has to walk
    // far (lookups in directory order during a card scan) and dropped at
    // every change of the list.
    std::vector<CRecordFileIndexNode*> m_Finder;
    bool m_bFinderValid;
};

#endif
