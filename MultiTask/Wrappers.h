#ifndef MULTITASK_WRAPPERS_H
#define MULTITASK_WRAPPERS_H

#include <pthread.h>
#include <semaphore.h>

typedef pthread_mutex_t locker_t;

typedef struct tagSemaphore {
    sem_t* semaphore;
    char name[256];  // empty for an unnamed semaphore
} semaphore_t;

typedef pthread_t thread_t;

// Mutex wrappers: 0 or an error number. locker_create makes a recursive mutex.
int locker_create(locker_t* locker);
int locker_destroy(locker_t* locker);
int locker_lock(locker_t* locker);
int locker_unlock(locker_t* locker);

// semaphore_create: 0 or an error number. A null or empty name makes an
// unnamed, process-private semaphore; a name opens a new named one
// (create-exclusive, mode 0777). Names of 256 characters or more are refused
// with ENAMETOOLONG.
int semaphore_create(semaphore_t* sem, const char* name, long value);
// The others: 0 or -1.
int semaphore_destroy(semaphore_t* sem);
int semaphore_wait(semaphore_t* sem);
int semaphore_trywait(semaphore_t* sem);
int semaphore_post(semaphore_t* sem);

// pthread_create with default attributes running func(param); 0 or an error number.
int thread_create(thread_t* thread, int (*func)(void*), void* param);
// Detaches the thread when called by it, joins it otherwise.
int thread_destroy(thread_t thread);
thread_t thread_self();
// Non-zero when the caller is `thread`.
int thread_isself(thread_t thread);
// Stores the handle value (truncated to int) as the id; returns 0.
int thread_getid(thread_t thread, int* id);

#endif
