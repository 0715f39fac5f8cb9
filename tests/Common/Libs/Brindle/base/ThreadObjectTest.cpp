// Threads: CThreadObject starting, naming, stopping and abandoning its
// thread, and CThreadProcess running its three phases.
#include "Brindle/base/Runnable.h"
#include "Brindle/base/ThreadObject.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Brindle;
using threadtest::ExpectThrows;
using threadtest::Gate;
using threadtest::Patience;
using threadtest::WaitUntil;

namespace {

constexpr DWORD PatienceMs = 30000;

// Runs a function; counts the shutdown requests it is sent.
class FnRunnable : public CRunnable {
public:
    explicit FnRunnable(std::function<void()> fn) : m_fn(std::move(fn)) {}
    void Run() override { m_fn(); }
    void RequestShutdown() override { ++requests; }
    std::atomic<int> requests{0};

private:
    std::function<void()> m_fn;
};

// Records the calls of the three phases; each phase does what it is told.
class ScriptedProcess : public CThreadProcess {
public:
    int initResult = 1;
    bool initThrows = false;
    int stepsBeforeStop = 1; // ThreadExecuteFcn returns 0 on this call; 0: it loops until asked to stop
    bool stepThrows = false;

    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_calls;
    }
    long Count(const std::string& call)
    {
        std::lock_guard<std::mutex> g(m_mutex);
        return std::count(m_calls.begin(), m_calls.end(), call);
    }

protected:
    int ThreadInit() override
    {
        Record("init");
        if (initThrows)
            throw std::runtime_error("init failed");
        return initResult;
    }
    int ThreadExecuteFcn() override
    {
        Record("step");
        if (stepThrows)
            throw 7;
        if (stepsBeforeStop == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return stepsBeforeStop == 0 || ++m_steps < stepsBeforeStop ? 1 : 0;
    }
    void ThreadExit(bool success) override { Record(success ? "exit(true)" : "exit(false)"); }

private:
    void Record(const char* what)
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_calls.emplace_back(what);
    }
    std::mutex m_mutex;
    std::vector<std::string> m_calls;
    int m_steps = 0;
};

using Calls = std::vector<std::string>;

// Loops until asked to stop.
struct LoopingProcess : ScriptedProcess {
    LoopingProcess() { stepsBeforeStop = 0; }
};

} // namespace

TEST(ThreadObject, LongNamesAreCutTo63BytesWithoutSplittingACharacter)
{
    CThreadObject ascii(std::string(100, 'x').c_str());
    EXPECT_EQ(std::strlen(ascii.GetThreadName()), 63u);

    // 31 two-byte characters (62 bytes) and a third byte that would split
    // the 32nd character.
    std::string umlauts;
    for (int i = 0; i < 40; ++i)
        umlauts += "\xC3\xA4";
    CThreadObject utf8(umlauts.c_str());
    EXPECT_EQ(std::string(utf8.GetThreadName()), umlauts.substr(0, 62));
}

TEST(ThreadObject, StartWithoutAnyRunnableThrows)
{
    CThreadObject thread("t");
    ExpectThrows([&] { thread.StartThread(nullptr); }, "Must provide runnable", 0);
    EXPECT_EQ(thread.GetState(), THREAD_NOT_RUNNING);
}

TEST(ThreadObject, SecondStartWhileRunningThrowsAndLeavesTheRunAlone)
{
    Gate gate;
    FnRunnable work([&] { gate.WaitOpen(); });
    CThreadObject thread("t");
    ASSERT_TRUE(thread.StartThread(&work));
    ExpectThrows([&] { thread.StartThread(&work); }, "Must call StopThread to initialize thread object", 0);
    EXPECT_NE(thread.GetHandle(), INVALID_HANDLE_VALUE);
    gate.Open();
    EXPECT_EQ(thread.Wait(PatienceMs), 1);
    EXPECT_EQ(thread.GetState(), THREAD_SUCCESS);
}

TEST(ThreadObject, RunningThreadHasItsNameIdAndHandleUntilItEnds)
{
    Gate started, release;
    std::atomic<DWORD> idInside{0};
    char nameInside[32] = {};
    FnRunnable work([&] {
        idInside = GetCurrentThreadId();
        pthread_getname_np(pthread_self(), nameInside, sizeof nameInside);
        started.Open();
        release.WaitOpen();
    });
    CThreadObject thread("named-thread-with-a-long-name");
    ASSERT_TRUE(thread.StartThread(&work));
    ASSERT_TRUE(started.WaitOpen());
    EXPECT_EQ(thread.GetState(), THREAD_RUNNING);
    EXPECT_STREQ(CThreadObject::ThreadStateString(thread.GetState()), "Running");
    EXPECT_EQ(thread.GetThreadId(), idInside.load());
    EXPECT_STREQ(nameInside, "named-thread-wi"); // the system keeps 15 bytes
    EXPECT_EQ(thread.Runnable(), &work);
    const HANDLE handle = thread.GetHandle();
    EXPECT_TRUE(IsKernelHandle(handle));
    EXPECT_EQ(thread.Wait(0), 0);

    release.Open();
    EXPECT_EQ(thread.Wait(PatienceMs), 1);
    EXPECT_EQ(thread.GetState(), THREAD_SUCCESS);
    // The ending thread released its own handle.
    EXPECT_EQ(thread.GetHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(thread.GetThreadId(), 0xFFFFFFFFu);
    EXPECT_FALSE(IsKernelHandle(handle));
    EXPECT_EQ(work.requests.load(), 0);
}

TEST(ThreadObject, RunThrowingEndsInFailRecordingTheTextAndCode)
{
    const struct {
        std::function<void()> run;
        std::string text;
        DWORD code;
    } cases[] = {
        {[] { throw CException("disk on fire", 5); }, "disk on fire", 0u},
        {[] { throw std::runtime_error("out of range"); }, "out of range", 0u},
        {[] {
             SetLastError(ERROR_FILE_NOT_FOUND);
             throw 42;
         },
         "CThreadObject::ThreadEntryFcn() unhandled exception in Run()", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        FnRunnable work(c.run);
        CThreadObject thread("t");
        ASSERT_TRUE(thread.StartThread(&work));
        ASSERT_EQ(thread.Wait(PatienceMs), 1);
        EXPECT_EQ(thread.GetState(), THREAD_FAIL);
        EXPECT_STREQ(CThreadObject::ThreadStateString(thread.GetState()), "Fail, Complete");
        EXPECT_EQ(thread.GetError().what(), c.text);
        EXPECT_EQ(thread.GetError().GetLastError(), c.code);
    }
}

TEST(ThreadObject, EndedObjectStartsAgainWithTheSameRunnableAndAFreshError)
{
    std::atomic<int> runs{0};
    FnRunnable work([&] {
        if (++runs == 1)
            throw std::runtime_error("first run fails");
    });
    CThreadObject thread("t");
    ASSERT_TRUE(thread.StartThread(&work));
    ASSERT_EQ(thread.Wait(PatienceMs), 1);
    ASSERT_EQ(thread.GetState(), THREAD_FAIL);

    ASSERT_TRUE(thread.StartThread(nullptr)); // the runnable given before
    ASSERT_EQ(thread.Wait(PatienceMs), 1);
    EXPECT_EQ(runs.load(), 2);
    EXPECT_EQ(thread.GetState(), THREAD_SUCCESS);
    EXPECT_EQ(thread.GetError().GetLastError(), 0u);
    EXPECT_STRNE(thread.GetError().what(), "first run fails");
}

TEST(ThreadObject, StopRightAfterStartIsNeverLost)
{
    // The request, through StopThread or straight to the process, may reach
    // the process before its thread has even begun to run; it must still end
    // the loop rather than leave StopThread to give up.
    LoopingProcess process;
    CThreadObject thread("t");
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(thread.StartThread(&process));
        if (i % 2 == 1) {
            process.RequestShutdown();
            ASSERT_EQ(thread.Wait(PatienceMs), 1) << "round " << i;
            EXPECT_EQ(thread.GetState(), THREAD_SUCCESS);
        }
        EXPECT_TRUE(thread.StopThread());
        ASSERT_EQ(thread.GetState(), THREAD_SUCCESS) << "round " << i;
        EXPECT_EQ(thread.GetHandle(), INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(process.Count("exit(true)"), 50);
    EXPECT_EQ(process.Count("exit(false)"), 0);
}

TEST(ThreadObject, RequestLeftFromAnEarlierRunDoesNotStopTheNextOne)
{
    LoopingProcess process;
    process.RequestShutdown(); // nobody is running it yet
    process.RequestShutdown();
    CThreadObject thread("t");
    ASSERT_TRUE(thread.StartThread(&process));
    ASSERT_TRUE(WaitUntil([&] { return process.Count("step") >= 3; }));
    EXPECT_EQ(thread.GetState(), THREAD_RUNNING);
    thread.StopThread();
    EXPECT_EQ(thread.GetState(), THREAD_SUCCESS);
}

TEST(ThreadObject, HandleIsReleasedWhetherTheThreadOrStopThreadComesFirst)
{
    std::atomic<int> runs{0};
    FnRunnable quick([&] { ++runs; });
    CThreadObject thread("t");
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(thread.StartThread(&quick));
        const HANDLE handle = thread.GetHandle();
        if (i % 2 == 0)
            std::this_thread::yield();
        EXPECT_TRUE(thread.StopThread());
        EXPECT_EQ(thread.GetHandle(), INVALID_HANDLE_VALUE);
        EXPECT_FALSE(IsKernelHandle(handle));
        EXPECT_EQ(thread.GetState(), THREAD_SUCCESS);
        EXPECT_TRUE(thread.StopThread()); // nothing left to release
    }
    EXPECT_EQ(runs.load(), 100);
}

TEST(ThreadObject, StopThreadFromManyThreadsAtOnceStopsOnce)
{
    LoopingProcess process;
    CThreadObject thread("t");
    ASSERT_TRUE(thread.StartThread(&process));
    ASSERT_TRUE(WaitUntil([&] { return process.Count("step") >= 1; }));
    threadtest::OnThreads(4, [&](int) { EXPECT_TRUE(thread.StopThread()); });
    EXPECT_EQ(thread.GetState(), THREAD_SUCCESS);
    EXPECT_EQ(thread.GetHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(process.Count("exit(true)"), 1);
}

TEST(ThreadObject, DestroyingAnObjectRightAfterStartStopsItsThreadToo)
{
    for (int i = 0; i < 20; ++i) {
        LoopingProcess process;
        {
            CThreadObject thread("t");
            ASSERT_TRUE(thread.StartThread(&process));
        }
        // Either the run never began or it was told to stop and did.
        EXPECT_EQ(process.Count("init"), process.Count("exit(true)")) << "round " << i;
    }
}

TEST(ThreadObject, ThreadIgnoringShutdownIsAbandonedAfterFiveSecondsAndNeverTouchesItsObjectAgain)
{
    Gate release, secondRelease;
    std::atomic<bool> firstEnded{false};
    FnRunnable stubborn([&] {
        release.WaitOpen(std::chrono::minutes(2));
        firstEnded = true;
    });
    auto thread = std::make_unique<CThreadObject>("stubborn");
    ASSERT_TRUE(thread->StartThread(&stubborn));
    const HANDLE watch = DuplicateKernelHandle(thread->GetHandle());
    ASSERT_NE(watch, nullptr);

    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(thread->StopThread());
    const auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::seconds(60));
    EXPECT_EQ(stubborn.requests.load(), 1);
    EXPECT_EQ(thread->GetHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(thread->GetState(), THREAD_STOPPING);
    EXPECT_EQ(thread->Wait(0), 1); // it no longer refers to the thread
    EXPECT_EQ(thread->Join(0), 0); // but Join still knows it runs
    EXPECT_EQ(WaitForSingleObject(watch, 0), WAIT_TIMEOUT);

    // The object may start again while the abandoned thread still runs; the
    // old thread's end must not disturb the new run.
    Gate secondEntered;
    FnRunnable second([&] {
        secondEntered.Open();
        secondRelease.WaitOpen();
    });
    ASSERT_TRUE(thread->StartThread(&second));
    ASSERT_TRUE(secondEntered.WaitOpen());
    release.Open();
    ASSERT_EQ(WaitForSingleObject(watch, PatienceMs), WAIT_OBJECT_0);
    EXPECT_TRUE(firstEnded.load());
    EXPECT_EQ(thread->GetState(), THREAD_RUNNING);
    EXPECT_NE(thread->GetHandle(), INVALID_HANDLE_VALUE);
    secondRelease.Open();
    EXPECT_EQ(thread->Wait(PatienceMs), 1);
    EXPECT_EQ(thread->GetState(), THREAD_SUCCESS);
    CloseHandle(watch);
}

TEST(ThreadObject, AbandonedThreadEndingAfterItsObjectIsDestroyedLeavesItAlone)
{
    Gate release;
    FnRunnable stubborn([&] { release.WaitOpen(std::chrono::minutes(2)); });
    auto thread = std::make_unique<CThreadObject>("stubborn");
    ASSERT_TRUE(thread->StartThread(&stubborn));
    const HANDLE watch = DuplicateKernelHandle(thread->GetHandle());
    thread.reset(); // stops (gives up after 5 s) and frees the object
    EXPECT_EQ(WaitForSingleObject(watch, 0), WAIT_TIMEOUT);
    release.Open();
    // The thread's end finds no object to report to (a sanitizer build sees
    // any touch of the freed memory).
    EXPECT_EQ(WaitForSingleObject(watch, PatienceMs), WAIT_OBJECT_0);
    CloseHandle(watch);
}

TEST(ThreadObject, CopyHoldsItsOwnHandleAndCanStopTheThread)
{
    LoopingProcess process;
    CThreadObject original("orig");
    ASSERT_TRUE(original.StartThread(&process));
    ASSERT_TRUE(WaitUntil([&] { return process.Count("step") >= 1; }));
    {
        CThreadObject copy(original);
        EXPECT_STREQ(copy.GetThreadName(), "orig");
        EXPECT_EQ(copy.Runnable(), &process);
        EXPECT_EQ(copy.GetThreadId(), original.GetThreadId());
        EXPECT_NE(copy.GetHandle(), INVALID_HANDLE_VALUE);
        EXPECT_NE(copy.GetHandle(), original.GetHandle());
        EXPECT_EQ(copy.Wait(0), 0);
        EXPECT_TRUE(copy.StopThread());
        EXPECT_EQ(copy.GetHandle(), INVALID_HANDLE_VALUE);
    }
    // The thread reports its end to the object that started it.
    EXPECT_EQ(original.Wait(PatienceMs), 1);
    EXPECT_EQ(original.GetState(), THREAD_SUCCESS);
    EXPECT_EQ(original.GetHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(process.Count("exit(true)"), 1);

    CThreadObject assigned("other");
    assigned = original;
    EXPECT_STREQ(assigned.GetThreadName(), "orig");
    EXPECT_EQ(assigned.GetState(), THREAD_SUCCESS);
    EXPECT_EQ(assigned.GetHandle(), INVALID_HANDLE_VALUE);
}

TEST(ThreadProcess, PhasesRunAsTheirResultsDirect)
{
    const struct {
        int initResult, stepsBeforeStop;
        bool stepThrows, initThrows;
        Calls expected;
    } cases[] = {
        {1, 1, false, false, {"init", "step", "exit(true)"}},
        {1, 3, false, false, {"init", "step", "step", "step", "exit(true)"}},
        {0, 1, false, false, {"init"}},                       // init refusing runs nothing else
        {1, 1, true, false, {"init", "step", "exit(false)"}}, // a throwing step is swallowed
        {1, 1, false, true, {"init"}},                        // a throwing init leaves Run (and fails its thread)
    };
    for (const auto& c : cases) {
        ScriptedProcess p;
        p.initResult = c.initResult;
        p.stepsBeforeStop = c.stepsBeforeStop;
        p.stepThrows = c.stepThrows;
        p.initThrows = c.initThrows;
        if (c.initThrows)
            EXPECT_THROW(p.Run(), std::runtime_error);
        else
            EXPECT_NO_THROW(p.Run());
        EXPECT_EQ(p.Calls(), c.expected);
        EXPECT_FALSE(p.InShutdown()); // cleared as the run ends
    }
}

TEST(ThreadProcess, RequestBeforeRunSkipsTheLoopButStillInitialisesAndExits)
{
    ScriptedProcess p;
    p.RequestShutdown();
    EXPECT_TRUE(p.InShutdown());
    p.Run();
    EXPECT_EQ(p.Calls(), (Calls{"init", "exit(true)"}));
    EXPECT_FALSE(p.InShutdown());

    // The next run starts clean.
    p.Run();
    EXPECT_EQ(p.Calls(), (Calls{"init", "exit(true)", "init", "step", "exit(true)"}));
}
