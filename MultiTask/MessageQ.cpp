#include "MultiTask/MessageQ.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace {

uint64_t MonotonicMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

struct timespec ClockAfter(clockid_t clock, uint64_t ms)
{
    struct timespec ts;
    clock_gettime(clock, &ts);
    ts.tv_sec += static_cast<time_t>(ms / 1000u);
    ts.tv_nsec += static_cast<long>(ms % 1000u) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

// Longest single wait for the mutex on the wall clock, so that a change of
// the wall clock shifts a limited wait by at most this much.
const uint64_t kLockSliceMs = 10;

}  // namespace

const uint32_t MessageQ::MESSAGEQ_WAIT_FOREVER;

MessageQ::MessageQ()
    : available(FALSE), mtxReady(FALSE), condReady(FALSE), cattrReady(FALSE)
{
}

MessageQ::~MessageQ()
{
    for (MSG_NODE_T& node : q) {
        free(&node);
    }
    q.clear();
    if (condReady) {
        pthread_cond_destroy(&cond);
    }
    if (cattrReady) {
        pthread_condattr_destroy(&cattr);
    }
    if (mtxReady) {
        pthread_mutex_destroy(&mtx);
    }
}

ERR_CODE_E MessageQ::init()
{
    if (mtxReady) {
        return FAILED;
    }
    if (pthread_mutex_init(&mtx, nullptr) != 0) {
        return FAILED;
    }
    mtxReady = TRUE;
    if (pthread_condattr_init(&cattr) != 0) {
        return FAILED;
    }
    cattrReady = TRUE;
    if (pthread_condattr_setclock(&cattr, CLOCK_MONOTONIC) != 0) {
        return FAILED;
    }
    if (pthread_cond_init(&cond, &cattr) != 0) {
        return FAILED;
    }
    condReady = TRUE;
    return SUCCEED;
}

ERR_CODE_E MessageQ::open()
{
    if (lock(MESSAGEQ_WAIT_FOREVER) != SUCCEED) {
        return FAILED;
    }
    clearLocked();
    available = TRUE;
    unlock();
    return SUCCEED;
}

ERR_CODE_E MessageQ::close()
{
    if (lock(MESSAGEQ_WAIT_FOREVER) != SUCCEED) {
        return FAILED;
    }
    available = FALSE;
    clearLocked();
    unlock();
    pthread_cond_broadcast(&cond);
    return SUCCEED;
}

ERR_CODE_E MessageQ::send(MSG_TYPE_E type, void* msg, int size, uint32_t waitMs)
{
    MSG_NODE_T node;
    node.type = type;
    node.msg = nullptr;
    node.size = 0;
    if (type == MSG_TYPE_ADD) {
        if (msg == nullptr || size <= 0) {
            return FAILED;
        }
        node.msg = malloc(static_cast<size_t>(size));
        if (node.msg == nullptr) {
            return FAILED;
        }
        memcpy(node.msg, msg, static_cast<size_t>(size));
        node.size = size;
    } else if (type != MSG_TYPE_EXIT) {
        return FAILED;
    }

    if (lock(waitMs) != SUCCEED) {
        free(&node);
        return FAILED;
    }
    if (!available) {
        unlock();
        free(&node);
        return FAILED;
    }
    q.push_back(node);
    unlock();
    pthread_cond_broadcast(&cond);
    return SUCCEED;
}

ERR_CODE_E MessageQ::recv(MSG_NODE_T* msg, uint32_t waitMs)
{
    if (msg == nullptr) {
        return FAILED;
    }
    if (lockcond(waitMs) != SUCCEED) {
        return FAILED;
    }
    *msg = q.front();
    q.pop_front();
    unlock();
    return SUCCEED;
}

ERR_CODE_E MessageQ::free(MSG_NODE_T* msg)
{
    if (msg == nullptr) {
        return FAILED;
    }
    if (msg->msg != nullptr) {
        ::free(msg->msg);
        msg->msg = nullptr;
    }
    msg->size = 0;
    return SUCCEED;
}

void MessageQ::clear()
{
    if (lock(MESSAGEQ_WAIT_FOREVER) != SUCCEED) {
        return;
    }
    clearLocked();
    unlock();
}

void MessageQ::clearLocked()
{
    for (MSG_NODE_T& node : q) {
        free(&node);
    }
    q.clear();
}

ERR_CODE_E MessageQ::lock(uint32_t waitMs)
{
    if (!condReady) {  // init() has not run, or failed
        return FAILED;
    }
    if (waitMs == MESSAGEQ_WAIT_FOREVER) {
        return pthread_mutex_lock(&mtx) == 0 ? SUCCEED : FAILED;
    }
    if (pthread_mutex_trylock(&mtx) == 0) {
        return SUCCEED;
    }
    if (waitMs == 0) {
        return FAILED;
    }
    // The mutex only times out on the wall clock: wait in short slices and
    // keep the limit on the monotonic clock.
    const uint64_t start = MonotonicMs();
    for (;;) {
        uint64_t elapsed = MonotonicMs() - start;
        if (elapsed >= waitMs) {
            return FAILED;
        }
        uint64_t slice = waitMs - elapsed;
        if (slice > kLockSliceMs) {
            slice = kLockSliceMs;
        }
        struct timespec deadline = ClockAfter(CLOCK_REALTIME, slice);
        int ret = pthread_mutex_timedlock(&mtx, &deadline);
        if (ret == 0) {
            return SUCCEED;
        }
        if (ret != ETIMEDOUT && ret != EINTR) {
            return FAILED;
        }
    }
}

ERR_CODE_E MessageQ::lockcond(uint32_t waitMs)
{
    const uint64_t start = MonotonicMs();
    struct timespec deadline;
    if (waitMs != MESSAGEQ_WAIT_FOREVER && waitMs != 0) {
        deadline = ClockAfter(CLOCK_MONOTONIC, waitMs);
    }
    if (lock(waitMs) != SUCCEED) {
        return FAILED;
    }
    for (;;) {
        if (!available) {
            unlock();
            return FAILED;
        }
        if (!q.empty()) {
            return SUCCEED;
        }
        if (waitMs == 0) {
            unlock();
            return FAILED;
        }
        if (waitMs == MESSAGEQ_WAIT_FOREVER) {
            pthread_cond_wait(&cond, &mtx);
            continue;
        }
        if (MonotonicMs() - start >= waitMs) {
            unlock();
            return FAILED;
        }
        pthread_cond_timedwait(&cond, &mtx, &deadline);
    }
}

ERR_CODE_E MessageQ::unlock()
{
    if (!mtxReady) {
        return FAILED;
    }
    return pthread_mutex_unlock(&mtx) == 0 ? SUCCEED : FAILED;
}
