#ifndef MULTITASK_MESSAGEQ_H
#define MULTITASK_MESSAGEQ_H

#include <pthread.h>

#include <cstdint>
#include <deque>

#include "Function/types.h"

typedef enum {
    MSG_TYPE_EXIT = 1,  // stop marker, no payload
    MSG_TYPE_ADD = 2,   // message with payload
} MSG_TYPE_E;

typedef enum {
    SUCCEED = 0,
    FAILED = -1,
} ERR_CODE_E;

typedef struct _msg_node_t {
    MSG_TYPE_E type;
    void* msg;  // heap copy of the payload; null for MSG_TYPE_EXIT
    int size;   // payload bytes
} MSG_NODE_T;

// Unbounded FIFO of copied payloads, with millisecond limits on sending and
// receiving measured on the monotonic clock. Limits: MESSAGEQ_WAIT_FOREVER
// waits as long as needed, 0 does not wait, anything else at most that long.
class MessageQ {
public:
    static const uint32_t MESSAGEQ_WAIT_FOREVER = 0xFFFFFFFFu;

    typedef std::deque<MSG_NODE_T> MSGQUEUE;

    MessageQ();
    ~MessageQ();  // releases the payloads still queued

    MessageQ(const MessageQ&) = delete;
    MessageQ& operator=(const MessageQ&) = delete;

    // Once, before anything else: the mutex and the monotonic condition variable.
    ERR_CODE_E init();
    // Empties the queue and makes it available.
    ERR_CODE_E open();
    // Unavailable, emptied; waiting receivers return FAILED.
    ERR_CODE_E close();

    ERR_CODE_E send(MSG_TYPE_E type, void* msg, int size, uint32_t waitMs);
    // The caller owns msg->msg afterwards and releases it with free().
    ERR_CODE_E recv(MSG_NODE_T* msg, uint32_t waitMs);
    ERR_CODE_E free(MSG_NODE_T* msg);
    // Removes every queued message, releasing the payloads.
    void clear();

    ERR_CODE_E lock(uint32_t waitMs);
    // lock() that also waits, within the same limit, for a queued message.
    // Holds the mutex on success only.
    ERR_CODE_E lockcond(uint32_t waitMs);
    ERR_CODE_E unlock();

private:
    void clearLocked();

    MSGQUEUE q;
    pthread_mutex_t mtx;
    pthread_cond_t cond;
    pthread_condattr_t cattr;
    BOOL available;

    BOOL mtxReady;
    BOOL condReady;
    BOOL cattrReady;
};

#endif
