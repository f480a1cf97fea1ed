#include "Record/TimeTypeMapping.h"

#include <cstdint>
#include <cstring>

#include "Function/XLog.h"

CTimeTypeMappingNodeManager::CTimeTypeMappingNodeManager() : m_lpFreeNode(nullptr)
{
    memset(static_cast<void*>(m_NodeBuff), 0, sizeof(m_NodeBuff));
    for (int i = kNodeCount - 1; i >= 0; --i) {
        m_bInUse[i] = false;
        m_NodeBuff[i].next = m_lpFreeNode;
        m_lpFreeNode = &m_NodeBuff[i];
    }
}


int CTimeTypeMappingNodeManager::IndexOf(const TimeTypeMappingNode* node) const
{
    // Addresses compared as integers: a node from elsewhere is not one of
    // the buffer's, whatever its address.
    uintptr_t p = reinterpret_cast<uintptr_t>(node);
    uintptr_t first = reinterpret_cast<uintptr_t>(&m_NodeBuff[0]);
    if (p < first) {
        return -1;
    }
    uintptr_t offset = p - first;
    if (offset % sizeof(TimeTypeMappingNode) != 0 || offset / sizeof(TimeTypeMappingNode) >= kNodeCount) {
        return -1;
    }
    return static_cast<int>(offset / sizeof(TimeTypeMappingNode));
}

TimeTypeMappingNode* CTimeTypeMappingNodeManager::GetNode()
{
    CGuard guard(m_Mutex);
    TimeTypeMappingNode* node = m_lpFreeNode;
    if (node == nullptr) {
        return nullptr;
    }
    m_lpFreeNode = node->next;
    m_bInUse[IndexOf(node)] = true;
    node->lefttime = 0;
    node->next = nullptr;
    return node;
}

void CTimeTypeMappingNodeManager::PutNodeLocked(TimeTypeMappingNode* node)
{
    int i = IndexOf(node);
    if (i < 0 || !m_bInUse[i]) {
        XERROR("Refused trigger node %p: %s.\n", static_cast<void*>(node), i < 0 ? "not from the pool" : "already free");
        return;
    }
    m_bInUse[i] = false;
    node->next = m_lpFreeNode;
    m_lpFreeNode = node;
}

void CTimeTypeMappingNodeManager::PutNode(TimeTypeMappingNode* node)
{
    if (node == nullptr) {
        return;
    }
    CGuard guard(m_Mutex);
    PutNodeLocked(node);
}

void CTimeTypeMappingNodeManager::PutNodeList(TimeTypeMappingNode* list)
{
    if (list == nullptr) {
        return;
    }
    CGuard guard(m_Mutex);
    // At most 112 steps: a corrupt (cyclic) list cannot hold the lock for ever.
    for (int steps = 0; list != nullptr && steps < kNodeCount; ++steps) {
        TimeTypeMappingNode* next = list->next;
        int i = IndexOf(list);
        if (i < 0 || !m_bInUse[i]) {
            XERROR("Refused trigger node %p: %s.\n", static_cast<void*>(list), i < 0 ? "not from the pool" : "already free");
            return;
        }
        PutNodeLocked(list);
        list = next;
    }
}

int CTimeTypeMappingNodeManager::GetFreeCount()
{
    CGuard guard(m_Mutex);
    int n = 0;
    for (TimeTypeMappingNode* p = m_lpFreeNode; p != nullptr && n <= kNodeCount; p = p->next) {
        ++n;
    }
    return n;
}

TimeTypeMappingNode* XGetTimeTypeMappingNode()
{
    CTimeTypeMappingNodeManager* pool = CTimeTypeMappingNodeManager::instance();
    return pool != nullptr ? pool->GetNode() : nullptr;
}

void XPutTimeTypeMappingNodeList(TimeTypeMappingNode* list)
{
    CTimeTypeMappingNodeManager* pool = CTimeTypeMappingNodeManager::instance();
    if (pool != nullptr) {
        pool->PutNodeList(list);
    }
}
