#include "MultiTask/TaskQue.h"

#include <stdio.h>
#include <string.h>

#include <new>

// Semaphore accounting as in CMsgQue: a waiting taker takes a count first and
// retries when the queue turns out empty; a non-waiting one takes a count only
// when one is there (so it never blocks), and does so under the mutex together
// with the unlink. Counts may then exceed the queue (a waiter retries) but a
// queued task always has a count once its producer has posted.

CTaskNode::CTaskNode() : m_lpNext(nullptr)
{
    memset(&m_Task, 0, sizeof(m_Task));
}

CTaskNode::~CTaskNode()
{
}

CTaskNodeManager::CTaskNodeManager()
    : m_Semaphore(0),
      m_UsedTaskNode(0),
      m_lpOriginalTaskList(nullptr),
      m_lpUsedTaskHead(nullptr),
      m_lpUsedTaskTail(nullptr),
      m_lpFreeTaskList(nullptr)
{
}

CTaskNodeManager::~CTaskNodeManager()
{
    CTaskNode* block = m_lpOriginalTaskList;
    while (block != nullptr) {
        CTaskNode* next = block->m_lpNext;
        delete[] block;
        block = next;
    }
}

CTaskNode* CTaskNodeManager::AllocTask()
{
    CTaskNode* block = new (std::nothrow) CTaskNode[emTaskGroup];
    if (block == nullptr) {
        return nullptr;
    }
    block[0].m_lpNext = m_lpOriginalTaskList;
    m_lpOriginalTaskList = block;
    for (int i = emTaskGroup - 1; i >= 2; i--) {
        block[i].m_lpNext = m_lpFreeTaskList;
        m_lpFreeTaskList = &block[i];
    }
    CTaskNode* node = &block[1];
    memset(&node->m_Task, 0, sizeof(node->m_Task));
    node->m_lpNext = nullptr;
    return node;
}

CTaskNode* CTaskNodeManager::GetFreeTask()
{
    CGuard guard(m_Mutex);
    CTaskNode* node = m_lpFreeTaskList;
    if (node == nullptr) {
        return AllocTask();
    }
    m_lpFreeTaskList = node->m_lpNext;
    memset(&node->m_Task, 0, sizeof(node->m_Task));
    node->m_lpNext = nullptr;
    return node;
}

void CTaskNodeManager::PutFreeTask(CTaskNode* lpNode)
{
    if (lpNode == nullptr) {
        return;
    }
    CGuard guard(m_Mutex);
    lpNode->m_lpNext = m_lpFreeTaskList;
    m_lpFreeTaskList = lpNode;
}

void CTaskNodeManager::PutUsedTask(CTaskNode* lpNode, int priority)
{
    {
        CGuard guard(m_Mutex);
        if (priority == TASK_PRIORITY_HIGHTEST) {
            lpNode->m_lpNext = m_lpUsedTaskHead;
            m_lpUsedTaskHead = lpNode;
            if (m_lpUsedTaskTail == nullptr) {
                m_lpUsedTaskTail = lpNode;
            }
        } else {
            lpNode->m_lpNext = nullptr;
            if (m_lpUsedTaskTail == nullptr) {
                m_lpUsedTaskHead = lpNode;
            } else {
                m_lpUsedTaskTail->m_lpNext = lpNode;
            }
            m_lpUsedTaskTail = lpNode;
        }
        m_UsedTaskNode++;
    }
    m_Semaphore.Post();
}

CTaskNode* CTaskNodeManager::GetUsedTask(BOOL bWait)
{
    for (;;) {
        if (bWait && m_Semaphore.Wait() != 0) {
            return nullptr;
        }
        CTaskNode* node = nullptr;
        {
            CGuard guard(m_Mutex);
            node = m_lpUsedTaskHead;
            if (node != nullptr) {
                m_lpUsedTaskHead = node->m_lpNext;
                if (m_lpUsedTaskHead == nullptr) {
                    m_lpUsedTaskTail = nullptr;
                }
                node->m_lpNext = nullptr;
                m_UsedTaskNode--;
                if (!bWait) {
                    m_Semaphore.TryWait();
                }
            }
        }
        if (node == nullptr) {
            if (bWait) {
                continue;  // a count without a task: wait again
            }
            return nullptr;
        }
        return node;
    }
}

CTaskNode* CTaskNodeManager::GetUsedTask(unsigned int priv, BOOL bWait)
{
    for (;;) {
        if (bWait && m_Semaphore.Wait() != 0) {
            return nullptr;
        }
        CTaskNode* node = nullptr;
        BOOL empty = FALSE;
        {
            CGuard guard(m_Mutex);
            empty = m_lpUsedTaskHead == nullptr;
            CTaskNode* prev = nullptr;
            for (CTaskNode* cur = m_lpUsedTaskHead; cur != nullptr; prev = cur, cur = cur->m_lpNext) {
                if (cur->m_Task.priv != priv) {
                    continue;
                }
                if (prev == nullptr) {
                    m_lpUsedTaskHead = cur->m_lpNext;
                } else {
                    prev->m_lpNext = cur->m_lpNext;
                }
                if (m_lpUsedTaskTail == cur) {
                    m_lpUsedTaskTail = prev;
                }
                cur->m_lpNext = nullptr;
                m_UsedTaskNode--;
                if (!bWait) {
                    m_Semaphore.TryWait();
                }
                node = cur;
                break;
            }
        }
        if (node == nullptr) {
            if (bWait) {
                if (empty) {
                    continue;
                }
                m_Semaphore.Post();  // the count belongs to a task left queued
            }
            return nullptr;
        }
        return node;
    }
}

unsigned int CTaskNodeManager::GetUsedTaskNodeCount()
{
    CGuard guard(m_Mutex);
    return m_UsedTaskNode;
}

unsigned int CTaskNodeManager::GetTaskBlockCount()
{
    CGuard guard(m_Mutex);
    unsigned int count = 0;
    for (CTaskNode* block = m_lpOriginalTaskList; block != nullptr; block = block->m_lpNext) {
        count++;
    }
    return count;
}

CTaskQue::CTaskQue(unsigned int maxTasks)
    : m_nMaxTasks(maxTasks), m_lpTaskNodeManager(new CTaskNodeManager())
{
}

CTaskQue::~CTaskQue()
{
    delete m_lpTaskNodeManager;
}

TaskToken_t CTaskQue::PutTask(TASK* lpTask, int priority)
{
    // The manager's mutex is recursive: holding it here makes the capacity
    // test and the insertion one step for concurrent producers.
    CGuard guard(m_lpTaskNodeManager->m_Mutex);
    if (m_lpTaskNodeManager->GetUsedTaskNodeCount() > m_nMaxTasks) {
        printf("CTaskQue::PutTask() Max Tasks Reached.\n");
        return nullptr;
    }
    CTaskNode* node = m_lpTaskNodeManager->GetFreeTask();
    if (node == nullptr) {
        printf("CTaskQue::PutTask() Get Free Node Failed.\n");
        return nullptr;
    }
    memcpy(&node->m_Task, lpTask, sizeof(TASK));
    m_lpTaskNodeManager->PutUsedTask(node, priority);
    return node;
}

BOOL CTaskQue::GetTask(TASK* lpTask, BOOL bWait)
{
    CTaskNode* node = m_lpTaskNodeManager->GetUsedTask(bWait);
    if (node == nullptr) {
        if (bWait) {
            printf("CTaskQue::GetTask() Error.\n");
        }
        return FALSE;
    }
    memcpy(lpTask, &node->m_Task, sizeof(TASK));
    m_lpTaskNodeManager->PutFreeTask(node);
    return TRUE;
}

BOOL CTaskQue::RemoveTaskByPrivData(unsigned int priv, SPECTASKPROC proc)
{
    for (;;) {
        CTaskNode* node = m_lpTaskNodeManager->GetUsedTask(priv, FALSE);
        if (node == nullptr) {
            break;
        }
        if (proc != nullptr) {
            proc(&node->m_Task);
        }
        m_lpTaskNodeManager->PutFreeTask(node);
    }
    return TRUE;
}

unsigned int CTaskQue::GetTaskCount()
{
    return m_lpTaskNodeManager->GetUsedTaskNodeCount();
}

unsigned int CTaskQue::GetTaskBlockCount()
{
    return m_lpTaskNodeManager->GetTaskBlockCount();
}
