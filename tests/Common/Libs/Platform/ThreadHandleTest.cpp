#include "Brindle/base/SyncObjects.h"
#include "Platform/WinError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <pthread.h>

namespace {

constexpr DWORD PatienceMs = 30000;

struct Shared {
    HANDLE release = nullptr; // manual-reset event the thread waits on
    HANDLE mutex = nullptr;   // taken and kept when set
    std::atomic<DWORD> idInside{0};
    char name[32] = {};
    unsigned exitCode = 0;
    ~Shared()
    {
        CloseHandle(release);
        CloseHandle(mutex);
    }
};

unsigned ThreadBody(void* arg)
{
    auto* s = static_cast<Shared*>(arg);
    s->idInside = GetCurrentThreadId();
    pthread_getname_np(pthread_self(), s->name, sizeof s->name);
    if (s->mutex != nullptr)
        WaitForSingleObject(s->mutex, PatienceMs);
    if (s->release != nullptr)
        WaitForSingleObject(s->release, PatienceMs);
    return s->exitCode;
}

} // namespace

TEST(ThreadHandle, IsSignalledOnlyOnceTheThreadHasEndedAndStaysSo)
{
    Shared s;
    s.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    s.exitCode = 77;
    DWORD id = 0;
    HANDLE thread = BeginThread(&ThreadBody, &s, "handle-test", &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);

    // A wait for any of several objects reports the thread when it ends.
    Brindle::CHandle other{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE both[2] = {other, thread};
    SetEvent(s.release);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, PatienceMs), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0); // manual: still signalled
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 77u);
    EXPECT_EQ(id, s.idInside.load());
    EXPECT_STREQ(s.name, "handle-test");

    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
}

TEST(ThreadHandle, ClosingEveryHandleWhileTheThreadRunsIsSafe)
{
    Shared s;
    s.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = BeginThread(&ThreadBody, &s, nullptr, nullptr);
    ASSERT_NE(thread, nullptr);
    Brindle::CHandle watch{DuplicateKernelHandle(thread)};
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(s.release);
    EXPECT_EQ(WaitForSingleObject(watch, PatienceMs), WAIT_OBJECT_0);
}

TEST(ThreadHandle, MutexLeftOwnedIsAbandonedBeforeTheThreadCountsAsEnded)
{
    Shared s;
    s.mutex = CreateMutexA(nullptr, FALSE, nullptr);
    Brindle::CHandle thread{BeginThread(&ThreadBody, &s, "owner", nullptr)};
    ASSERT_NE(static_cast<HANDLE>(thread), nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, PatienceMs), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s.mutex, 0), WAIT_ABANDONED);
    // The abandoned state is reported once; ownership is ours now.
    EXPECT_TRUE(ReleaseMutex(s.mutex));
    EXPECT_EQ(WaitForSingleObject(s.mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(s.mutex));
}

// Names are cut to the fifteen bytes a thread's name holds.
TEST(ThreadHandle, IsNoEventNeedsAStartFunctionAndHasAShortName)
{
    EXPECT_EQ(BeginThread(nullptr, nullptr, "x", nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    Shared s;
    Brindle::CHandle thread{BeginThread(&ThreadBody, &s, "a-very-long-thread-name", nullptr)};
    ASSERT_NE(static_cast<HANDLE>(thread), nullptr);
    EXPECT_FALSE(SetEvent(thread));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    Brindle::CHandle event{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeThread(event, &code));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    ASSERT_EQ(WaitForSingleObject(thread, PatienceMs), WAIT_OBJECT_0);
    EXPECT_STREQ(s.name, "a-very-long-thr");
}
