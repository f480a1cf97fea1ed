#ifndef RECORD_TIMETYPEMAPPING_H
#define RECORD_TIMETYPEMAPPING_H

#include "Function/types.h"
#include "MultiTask/Mutex.h"
#include "Record/Index/PoolInstance.h"
#include "Record/RecordTypes.h"

// One trigger still running and the video frames it keeps the file open.
// Lists are sorted by lefttime, smallest first.
struct tagTimeTypeMappingNode {
    int lefttime;
    emRecordTriggerType trigger;
    tagTimeTypeMappingNode* next;
};
typedef tagTimeTypeMappingNode TimeTypeMappingNode;
typedef tagTimeTypeMappingNode TimeTypeMapping;

// The fixed pool of 112 nodes that every trigger list takes its nodes from.
class CTimeTypeMappingNodeManager : public CSingleton<CTimeTypeMappingNodeManager> {
public:
    static constexpr int kNodeCount = 112;

    // A node with lefttime 0 and no successor (its trigger keeps its old
    // value), or null when all are in use.
    TimeTypeMappingNode* GetNode();
    // Gives one node back. Nodes that are not from this pool or already free
    // are refused with an error line.
    void PutNode(TimeTypeMappingNode* node);
    // Gives a whole list back; null does nothing.
    void PutNodeList(TimeTypeMappingNode* list);

    // Nodes on the free list (diagnostics).
    int GetFreeCount();

    CTimeTypeMappingNodeManager(const CTimeTypeMappingNodeManager&) = delete;
    CTimeTypeMappingNodeManager& operator=(const CTimeTypeMappingNodeManager&) = delete;

private:
    CTimeTypeMappingNodeManager();
    ~CTimeTypeMappingNodeManager() = default;

    // Index of `node` in the buffer, or -1 when it is not one of ours.
    int IndexOf(const TimeTypeMappingNode* node) const;
    // Pushes one node; the caller holds the lock.
    void PutNodeLocked(TimeTypeMappingNode* node);

    friend class CSingleton<CTimeTypeMappingNodeManager>;

    TimeTypeMappingNode* m_lpFreeNode;
    TimeTypeMappingNode m_NodeBuff[kNodeCount];
    bool m_bInUse[kNodeCount];
    CMutex m_Mutex;
};

// Shorthands that do nothing (or give null) once the pool is gone.
TimeTypeMappingNode* XGetTimeTypeMappingNode();
void XPutTimeTypeMappingNodeList(TimeTypeMappingNode* list);

#endif
