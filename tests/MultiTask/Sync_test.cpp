// Wrappers, CMutex, CGuard, CSemaphore and the fatal check, on one thread.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>
#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <string>

#include "MultiTask/Mutex.h"
#include "MultiTask/Semaphore.h"
#include "MultiTask/Verify.h"
#include "MultiTask/Wrappers.h"

namespace {

TEST(Locker, IsRecursive)
{
    locker_t locker;
    ASSERT_EQ(0, locker_create(&locker));
    EXPECT_EQ(0, locker_lock(&locker));
    EXPECT_EQ(0, locker_lock(&locker)) << "a second lock by the owner does not deadlock";
    EXPECT_EQ(0, locker_unlock(&locker));
    EXPECT_EQ(0, locker_unlock(&locker));
    EXPECT_NE(0, locker_unlock(&locker)) << "unlocking a free recursive mutex is an error";
    EXPECT_EQ(0, locker_destroy(&locker));
}

TEST(Mutex, EnterLeaveNestAndGuardReleases)
{
    CMutex mutex;
    EXPECT_TRUE(mutex.Enter());
    EXPECT_TRUE(mutex.Enter());
    EXPECT_TRUE(mutex.Leave());
    EXPECT_TRUE(mutex.Leave());
    EXPECT_FALSE(mutex.Leave()) << "not held any more";
    {
        CGuard outer(mutex);
        CGuard inner(mutex);
    }
    EXPECT_FALSE(mutex.Leave()) << "both guards left";
}

TEST(UnnamedSemaphore, CountsAndTryWait)
{
    semaphore_t sem;
    ASSERT_EQ(0, semaphore_create(&sem, nullptr, 2));
    EXPECT_STREQ("", sem.name);
    EXPECT_EQ(0, semaphore_trywait(&sem));
    EXPECT_EQ(0, semaphore_wait(&sem));
    EXPECT_EQ(-1, semaphore_trywait(&sem));
    EXPECT_EQ(0, semaphore_post(&sem));
    EXPECT_EQ(0, semaphore_wait(&sem));
    EXPECT_EQ(0, semaphore_destroy(&sem));

    ASSERT_EQ(0, semaphore_create(&sem, "", 0)) << "an empty name means unnamed";
    EXPECT_STREQ("", sem.name);
    EXPECT_EQ(-1, semaphore_trywait(&sem));
    EXPECT_EQ(0, semaphore_destroy(&sem));
}

TEST(UnnamedSemaphore, RefusesCountsOutOfRange)
{
    semaphore_t sem;
    EXPECT_EQ(EINVAL, semaphore_create(&sem, nullptr, -1));
#if LONG_MAX > SEM_VALUE_MAX  // a count above the maximum fits a long only where long is wider
    EXPECT_EQ(EINVAL, semaphore_create(&sem, nullptr, static_cast<long>(SEM_VALUE_MAX) + 1));
#endif
}

std::string UniqueName(const char* tag)
{
    return "/dashcam-test-" + std::string(tag) + "-" + std::to_string(getpid());
}

TEST(NamedSemaphore, ExclusiveCreateKeepsNameAndUnlinksOnDestroy)
{
    const std::string name = UniqueName("sem");
    sem_unlink(name.c_str());
    semaphore_t sem;
    ASSERT_EQ(0, semaphore_create(&sem, name.c_str(), 1));
    EXPECT_EQ(name, sem.name);

    semaphore_t again;
    EXPECT_EQ(EEXIST, semaphore_create(&again, name.c_str(), 0)) << "create-exclusive";

    EXPECT_EQ(0, semaphore_wait(&sem));
    EXPECT_EQ(-1, semaphore_trywait(&sem));
    EXPECT_EQ(0, semaphore_post(&sem));
    EXPECT_EQ(0, semaphore_destroy(&sem));

    // Unlinked: the name can be created anew.
    ASSERT_EQ(0, semaphore_create(&again, name.c_str(), 0));
    EXPECT_EQ(-1, semaphore_trywait(&again)) << "a new semaphore with the new count";
    EXPECT_EQ(0, semaphore_destroy(&again));
}

struct NameLengthCase {
    size_t length;  // characters after the leading '/'
    int result;
};

class NamedSemaphoreLength : public testing::TestWithParam<NameLengthCase> {};

// The name buffer holds 255 characters and the terminator; longer names are
// refused rather than cut.
TEST_P(NamedSemaphoreLength, Bounded)
{
    const NameLengthCase& c = GetParam();
    std::string name = "/" + std::string(c.length, 'n');
    semaphore_t sem;
    memset(&sem, 0x5A, sizeof(sem));
    int ret = semaphore_create(&sem, name.c_str(), 0);
    if (c.result == 0 && ret == 0) {
        EXPECT_EQ(name, sem.name);
        EXPECT_EQ(0, semaphore_destroy(&sem));
        return;
    }
    if (c.result == 0) {
        // The system may have a shorter limit of its own; never a cut name.
        EXPECT_EQ(ENAMETOOLONG, ret);
        return;
    }
    EXPECT_EQ(c.result, ret);
}

INSTANTIATE_TEST_SUITE_P(Lengths, NamedSemaphoreLength,
                         testing::Values(NameLengthCase{10, 0}, NameLengthCase{250, 0},
                                         NameLengthCase{255, ENAMETOOLONG}, NameLengthCase{300, ENAMETOOLONG},
                                         NameLengthCase{4096, ENAMETOOLONG}));

TEST(Semaphore, WaitTryWaitPost)
{
    CSemaphore sem(1);
    EXPECT_EQ(0, sem.Wait());
    EXPECT_EQ(-1, sem.TryWait());
    EXPECT_EQ(0, sem.Post());
    EXPECT_EQ(0, sem.Post());
    EXPECT_EQ(0, sem.TryWait());
    EXPECT_EQ(0, sem.Wait());
    EXPECT_EQ(-1, sem.TryWait());
}

TEST(ThreadWrappers, SelfAndId)
{
    thread_t self = thread_self();
    EXPECT_TRUE(thread_isself(self));
    int id = 0;
    EXPECT_EQ(0, thread_getid(self, &id));
    int again = 1;
    EXPECT_EQ(0, thread_getid(pthread_self(), &again));
    EXPECT_EQ(id, again);
}

using VerifyDeathTest = testing::Test;

TEST_F(VerifyDeathTest, FailedCheckAbortsNamingTheExpression)
{
    // A program running under an emulator cannot re-execute itself.
    if (getenv("GTEST_DEATH_TEST_STYLE") == nullptr) {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    int ret = 12;
    EXPECT_DEATH(MULTITASK_VERIFY(0 == ret), "0 == ret");
    ret = 0;
    MULTITASK_VERIFY(0 == ret);  // holds: nothing happens
}

TEST_F(VerifyDeathTest, SemaphoreCreationFailureIsFatal)
{
    // A program running under an emulator cannot re-execute itself.
    if (getenv("GTEST_DEATH_TEST_STYLE") == nullptr) {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    EXPECT_DEATH({ CSemaphore sem(-1); }, "0 == ret");
}

}  // namespace
