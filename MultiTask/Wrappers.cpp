#include "MultiTask/Wrappers.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <new>

int locker_create(locker_t* locker)
{
    pthread_mutexattr_t attr;
    int ret = pthread_mutexattr_init(&attr);
    if (ret != 0) {
        return ret;
    }
    ret = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    if (ret == 0) {
        ret = pthread_mutex_init(locker, &attr);
    }
    pthread_mutexattr_destroy(&attr);
    return ret;
}

int locker_destroy(locker_t* locker)
{
    return pthread_mutex_destroy(locker);
}

int locker_lock(locker_t* locker)
{
    return pthread_mutex_lock(locker);
}

int locker_unlock(locker_t* locker)
{
    return pthread_mutex_unlock(locker);
}

int semaphore_create(semaphore_t* sem, const char* name, long value)
{
    if (value < 0 || value > static_cast<long>(SEM_VALUE_MAX)) {
        return EINVAL;
    }
    if (name == nullptr || name[0] == '\0') {
        sem_t* s = static_cast<sem_t*>(malloc(sizeof(sem_t)));
        if (s == nullptr) {
            return ENOMEM;
        }
        if (sem_init(s, 0, static_cast<unsigned>(value)) != 0) {
            int err = errno;
            free(s);
            return err;
        }
        sem->semaphore = s;
        sem->name[0] = '\0';
        return 0;
    }

    size_t len = strnlen(name, sizeof(sem->name));
    if (len >= sizeof(sem->name)) {
        return ENAMETOOLONG;
    }
    sem_t* s = sem_open(name, O_CREAT | O_EXCL | O_RDWR, 0777, static_cast<unsigned>(value));
    if (s == SEM_FAILED) {
        return errno;
    }
    sem->semaphore = s;
    memcpy(sem->name, name, len);
    sem->name[len] = '\0';
    return 0;
}

int semaphore_destroy(semaphore_t* sem)
{
    if (sem->semaphore == nullptr) {
        return -1;
    }
    int ret = 0;
    if (sem->name[0] != '\0') {
        ret = sem_close(sem->semaphore);
        if (ret == 0) {
            ret = sem_unlink(sem->name);
        }
    } else {
        ret = sem_destroy(sem->semaphore);
        free(sem->semaphore);
    }
    sem->semaphore = nullptr;
    sem->name[0] = '\0';
    return ret == 0 ? 0 : -1;
}

int semaphore_wait(semaphore_t* sem)
{
    return sem_wait(sem->semaphore) == 0 ? 0 : -1;
}

int semaphore_trywait(semaphore_t* sem)
{
    return sem_trywait(sem->semaphore) == 0 ? 0 : -1;
}

int semaphore_post(semaphore_t* sem)
{
    return sem_post(sem->semaphore) == 0 ? 0 : -1;
}

namespace {

struct ThreadStart {
    int (*func)(void*);
    void* param;
};

void* ThreadTrampoline(void* arg)
{
    ThreadStart start = *static_cast<ThreadStart*>(arg);
    delete static_cast<ThreadStart*>(arg);
    start.func(start.param);
    return nullptr;
}

}  // namespace

int thread_create(thread_t* thread, int (*func)(void*), void* param)
{
    ThreadStart* start = new (std::nothrow) ThreadStart{func, param};
    if (start == nullptr) {
        return ENOMEM;
    }
    int ret = pthread_create(thread, nullptr, ThreadTrampoline, start);
    if (ret != 0) {
        delete start;
    }
    return ret;
}

int thread_destroy(thread_t thread)
{
    if (thread_isself(thread)) {
        return pthread_detach(thread);
    }
    return pthread_join(thread, nullptr);
}

thread_t thread_self()
{
    return pthread_self();
}

int thread_isself(thread_t thread)
{
    return pthread_equal(thread, pthread_self());
}

int thread_getid(thread_t thread, int* id)
{
    // The handle may be an integer or a pointer type; take its low bits.
    unsigned long value = 0;
    memcpy(&value, &thread, sizeof(thread) < sizeof(value) ? sizeof(thread) : sizeof(value));
    *id = static_cast<int>(value);
    return 0;
}
