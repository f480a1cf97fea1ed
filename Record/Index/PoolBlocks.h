#ifndef RECORD_INDEX_POOLBLOCKS_H
#define RECORD_INDEX_POOLBLOCKS_H

#include <new>

#include "MultiTask/Mutex.h"

// A pool of objects allocated 256 at a time and never shrunk; the blocks are
// freed with the pool. T provides Init() (reset), GetNext() and SetNext(),
// the link that the free list shares with the objects' own lists.
template <typename T>
class CPoolBlocks {
public:
    static constexpr int kBlockObjects = 256;

    CPoolBlocks() = default;
    ~CPoolBlocks();
    CPoolBlocks(const CPoolBlocks&) = delete;
    CPoolBlocks& operator=(const CPoolBlocks&) = delete;

    // A reset object, or null when no memory is left for a new block.
    T* GetNode();
    // Gives one object back; null is ignored.
    void PutNode(T* obj);
    // Gives back the chain head..tail (linked through GetNext); ignored when
    // either end is missing.
    void PutNode(T* head, T* tail);
    // Gives back a whole list up to its last object.
    void PutNodeList(T* list);

    // Objects on the free list and objects allocated (diagnostics).
    int GetFreeCount();
    int GetAllocatedCount();

private:
    // One allocated block; m_Next is the link allocated before it.
    class COriginalBufferArray {
    public:
        T* m_BufferArray;
        COriginalBufferArray* m_Next;
    };

    T* Alloc();

    T* m_lpFreeNode = nullptr;
    COriginalBufferArray* m_lpOrigBuff = nullptr;
    CMutex m_Mutex;
};

template <typename T>
CPoolBlocks<T>::~CPoolBlocks()
{
    while (m_lpOrigBuff != nullptr) {
        COriginalBufferArray* link = m_lpOrigBuff;
        m_lpOrigBuff = link->m_Next;
        delete[] link->m_BufferArray;
        delete link;
    }
    m_lpFreeNode = nullptr;
}

template <typename T>
T* CPoolBlocks<T>::GetNode()
{
    CGuard guard(m_Mutex);
    if (m_lpFreeNode == nullptr) {
        return Alloc();
    }
    T* obj = m_lpFreeNode;
    m_lpFreeNode = obj->GetNext();
    obj->Init();
    return obj;
}

template <typename T>
T* CPoolBlocks<T>::Alloc()
{
    T* block = new (std::nothrow) T[kBlockObjects];
    if (block == nullptr) {
        return nullptr;
    }
    COriginalBufferArray* link = new (std::nothrow) COriginalBufferArray;
    if (link == nullptr) {
        delete[] block;
        return nullptr;
    }
    link->m_BufferArray = block;
    link->m_Next = m_lpOrigBuff;
    m_lpOrigBuff = link;
    // 255 down to 1 go on the free list, 255 first; 0 is handed out.
    T* free = m_lpFreeNode;
    for (int i = 1; i < kBlockObjects; ++i) {
        block[i].SetNext(free);
        free = &block[i];
    }
    m_lpFreeNode = free;
    block[0].SetNext(nullptr);
    return &block[0];
}

template <typename T>
void CPoolBlocks<T>::PutNode(T* obj)
{
    if (obj == nullptr) {
        return;
    }
    CGuard guard(m_Mutex);
    obj->SetNext(m_lpFreeNode);
    m_lpFreeNode = obj;
}

template <typename T>
void CPoolBlocks<T>::PutNode(T* head, T* tail)
{
    if (head == nullptr || tail == nullptr) {
        return;
    }
    CGuard guard(m_Mutex);
    tail->SetNext(m_lpFreeNode);
    m_lpFreeNode = head;
}

template <typename T>
void CPoolBlocks<T>::PutNodeList(T* list)
{
    if (list == nullptr) {
        return;
    }
    T* last = list;
    while (last->GetNext() != nullptr) {
        last = last->GetNext();
    }
    PutNode(list, last);
}

template <typename T>
int CPoolBlocks<T>::GetFreeCount()
{
    CGuard guard(m_Mutex);
    int n = 0;
    for (T* p = m_lpFreeNode; p != nullptr; p = p->GetNext()) {
        ++n;
    }
    return n;
}

template <typename T>
int CPoolBlocks<T>::GetAllocatedCount()
{
    CGuard guard(m_Mutex);
    int n = 0;
    for (COriginalBufferArray* p = m_lpOrigBuff; p != nullptr; p = p->m_Next) {
        n += kBlockObjects;
    }
    return n;
}

#endif
