#include "Brindle/base/SyncObjects.h"
#include "Platform/WinError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

TEST(KernelHandles, ClosedHandleIsNeverReusedOrClosedTwiceAndADuplicateKeepsTheObject)
{
    HANDLE a = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(CloseHandle(a));
    EXPECT_FALSE(CloseHandle(a));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    Brindle::CHandle b{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    EXPECT_NE(a, static_cast<HANDLE>(b));
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_FAILED);

    // The object lives until its last handle closes.
    HANDLE named = CreateEventA(nullptr, TRUE, FALSE, "dup-test-event");
    HANDLE copy = DuplicateKernelHandle(named);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(named, copy);
    CloseHandle(named);
    EXPECT_TRUE(SetEvent(copy));
    EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
    HANDLE c = OpenEventA(EVENT_ALL_ACCESS, FALSE, "dup-test-event");
    EXPECT_NE(c, nullptr);
    CloseHandle(c);
    CloseHandle(copy);
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "dup-test-event"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(KernelHandles, NamesAreSharedWithinTheProcessAndTyped)
{
    Brindle::CHandle e1{CreateEventA(nullptr, FALSE, FALSE, "shared-name")};
    Brindle::CHandle e2{CreateEventA(nullptr, FALSE, FALSE, "shared-name")};
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    SetEvent(e1);
    EXPECT_EQ(WaitForSingleObject(e2, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e1, 0), WAIT_TIMEOUT); // auto-reset: taken once
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "shared-name"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Events, ManualResetReleasesEveryWaiterAutoResetOneAndPulseLeavesItReset)
{
    Brindle::CHandle manual{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    Brindle::CHandle autoReset{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    // How many of `waiters` threads waiting `ms` on `event` one SetEvent wakes.
    const auto woken = [](HANDLE event, int waiters, DWORD ms) {
        std::atomic<int> woke{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < waiters; ++i)
            threads.emplace_back([&] { woke += WaitForSingleObject(event, ms) == WAIT_OBJECT_0; });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        SetEvent(event);
        for (auto& t : threads)
            t.join();
        return woke.load();
    };
    EXPECT_EQ(woken(manual, 3, 10000), 3);
    EXPECT_EQ(woken(autoReset, 2, 1500), 1);

    // A pulse wakes the waiter and leaves the event reset.
    const HANDLE ev = manual;
    ASSERT_TRUE(ResetEvent(ev));
    std::atomic<bool> waiting{false};
    std::atomic<DWORD> result{WAIT_FAILED};
    std::thread t([&] {
        waiting = true;
        result = WaitForSingleObject(ev, 10000);
    });
    while (!waiting)
        std::this_thread::yield();
    // Pulse until the waiter is released: it may not be registered yet.
    for (int i = 0; i < 1000 && result == WAIT_FAILED; ++i) {
        PulseEvent(ev);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    t.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
}

TEST(Mutexes, RecursiveOwnershipAndNotOwnerRelease)
{
    Brindle::CHandle m{CreateMutexA(nullptr, FALSE, nullptr)};
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    DWORD other = WAIT_FAILED;
    std::thread([&] { other = WaitForSingleObject(m, 0); }).join();
    EXPECT_EQ(other, WAIT_TIMEOUT);
    BOOL foreignRelease = TRUE;
    std::thread([&] { foreignRelease = ReleaseMutex(m); }).join();
    EXPECT_FALSE(foreignRelease);
    EXPECT_TRUE(ReleaseMutex(m));
    std::thread([&] { other = WaitForSingleObject(m, 0); }).join(); // still held once
    EXPECT_EQ(other, WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
}

TEST(Semaphores, CountsAndMaximum)
{
    EXPECT_EQ(CreateSemaphoreA(nullptr, 2, 1, nullptr), nullptr);
    Brindle::CHandle s{CreateSemaphoreA(nullptr, 1, 2, nullptr)};
    ASSERT_NE(static_cast<HANDLE>(s), nullptr);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(s, 2, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(ReleaseSemaphore(s, 1, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
}

TEST(Waits, WaitAllTakesEverythingOrNothingAndWaitAnyReportsTheIndex)
{
    Brindle::CHandle s1{CreateSemaphoreA(nullptr, 1, 1, nullptr)};
    Brindle::CHandle s2{CreateSemaphoreA(nullptr, 0, 1, nullptr)};
    HANDLE both[] = {s1, s2};
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(s1, 0), WAIT_OBJECT_0); // s1 untouched by the failed wait-all
    ReleaseSemaphore(s1, 1, nullptr);
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ReleaseSemaphore(s2, 1, nullptr);
    });
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 10000), WAIT_OBJECT_0);
    t.join();
    EXPECT_EQ(WaitForSingleObject(s1, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(s2, 0), WAIT_TIMEOUT);

    // Wait-any: the index of a signalled object, or the time-out.
    Brindle::CHandle e1{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    Brindle::CHandle e2{CreateEventA(nullptr, TRUE, TRUE, nullptr)};
    HANDLE events[] = {e1, e2};
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    ResetEvent(e2);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 50), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
    HANDLE bad[] = {e1, nullptr};
    EXPECT_EQ(WaitForMultipleObjects(2, bad, FALSE, 0), WAIT_FAILED);
}

TEST(CriticalSections, AreReentrant)
{
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    LeaveCriticalSection(&cs);
    BOOL otherGot = TRUE;
    std::thread([&] { otherGot = TryEnterCriticalSection(&cs); }).join();
    EXPECT_FALSE(otherGot);
    LeaveCriticalSection(&cs);
    std::thread([&] {
        otherGot = TryEnterCriticalSection(&cs);
        if (otherGot)
            LeaveCriticalSection(&cs);
    }).join();
    EXPECT_TRUE(otherGot);
    DeleteCriticalSection(&cs);
}

TEST(ErrorTexts, ComeFromTheSystemInTheCLocale)
{
    EXPECT_EQ(FormatSystemMessage(ERROR_FILE_NOT_FOUND), "No such file or directory\r\n");
    EXPECT_EQ(FormatSystemMessage(99999), "");
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenElsewhere = 0;
    std::thread([&] { seenElsewhere = GetLastError(); }).join();
    EXPECT_EQ(seenElsewhere, 0u);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

} // namespace
