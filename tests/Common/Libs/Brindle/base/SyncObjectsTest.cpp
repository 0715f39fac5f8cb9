#include "Brindle/base/CritSec.h"
#include "Brindle/base/SyncObjects.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>

using namespace Brindle;
using threadtest::ExpectThrows;
using threadtest::FreeElsewhere;

namespace {

TEST(CSyncLock, CopiesAndAssignmentsKeepAcquiresBalanced)
{
    CCritSec a, b;
    {
        CSyncLock<CCritSec> first(&a);
        CSyncLock<CCritSec> copy(first);
        CSyncLock<CCritSec> onB(&b);
        onB = first; // releases b, holds a once more
        EXPECT_TRUE(FreeElsewhere(b));
    }
    EXPECT_TRUE(FreeElsewhere(a));
}

TEST(SystemLock, ReplacementIsTakenAndNullRestoresTheBuiltIn)
{
    CCritSec* builtIn = GetSystemLock();
    CCritSec mine;
    SetSystemLock(&mine);
    EXPECT_EQ(GetSystemLock(), &mine);
    {
        CSystemLock hold;
        EXPECT_FALSE(FreeElsewhere(mine));
        SetSystemLock(nullptr); // the holder still releases the lock it took
    }
    EXPECT_EQ(GetSystemLock(), builtIn);
    EXPECT_TRUE(FreeElsewhere(mine));
}

TEST(SyncObjects, UseWithoutAHandleThrowsAndCloseReportsNothingHeld)
{
    CEvent event;
    ExpectThrows([&] { event.wait(0); }, "CEvent::wait() - invalid handle", 0);
    EXPECT_FALSE(event.Close());
    CMutex mutex;
    ExpectThrows([&] { mutex.wait(0); }, "CMutex::wait", ERROR_INVALID_HANDLE);
    EXPECT_FALSE(mutex.Close());
    CSemaphore semaphore;
    ExpectThrows([&] { semaphore.acquire(0); }, "CSemaphore::acquire() - invalid semaphore", 0);
    ExpectThrows([&] { semaphore.release(1, nullptr); }, "CSemaphore::release() - invalid semaphore", 0);
}

TEST(CEvent, SetResetAndWaitAndAClosedEventThrows)
{
    CEvent ev(nullptr, TRUE, FALSE);
    EXPECT_FALSE(ev.test());
    EXPECT_TRUE(ev.set());
    EXPECT_TRUE(ev.test());
    EXPECT_TRUE(ev.reset());
    EXPECT_FALSE(ev.wait(10));
    EXPECT_TRUE(ev.Close());
    ExpectThrows([&] { ev.wait(0); }, "CEvent::wait() - invalid handle", 0);
}

TEST(CMutex, WaitOnMutexOwnedElsewhereTimesOut)
{
    CMutex m(nullptr, FALSE);
    threadtest::Gate held, done;
    std::thread owner([&] {
        m.acquire();
        held.Open();
        done.WaitOpen();
        m.release();
    });
    EXPECT_TRUE(held.WaitOpen());
    EXPECT_FALSE(m.wait(0));
    done.Open();
    owner.join();
    EXPECT_TRUE(m.wait(5000));
    EXPECT_TRUE(m.release());
}

TEST(CMutex, AbandonedMutexReportsFalseAndDoesNotHangTheNextWaiter)
{
    CMutex m(nullptr, FALSE);
    std::thread([&] { m.acquire(); }).join(); // ends while owning it
    EXPECT_FALSE(m.wait(5000));
    bool otherGot = false;
    std::thread([&] {
        otherGot = m.wait(5000);
        if (otherGot)
            m.release();
    }).join();
    EXPECT_TRUE(otherGot);
}

TEST(CSemaphore, InvalidCountsThrow)
{
    for (const auto& [initial, maximum] : {std::pair{2, 1}, std::pair{0, 0}, std::pair{-1, 3}})
        ExpectThrows([&] { CSemaphore s(initial, maximum); }, "CSemaphore: invalid semaphore count initialization!", 0);
}

TEST(CSemaphore, AcquireAndReleaseCount)
{
    CSemaphore s(1, 3);
    EXPECT_TRUE(s.acquire(0));
    EXPECT_FALSE(s.acquire(0));
    long previous = -1;
    EXPECT_TRUE(s.release(2, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(s.release(2, nullptr)); // would pass the maximum
    EXPECT_TRUE(s.release());
    EXPECT_TRUE(s.acquire(0));
}

TEST(SyncObjects, OpeningAMissingNameThrowsWithTheSystemCode)
{
    ExpectThrows([] { CEvent ev("no-such-event", EVENT_ALL_ACCESS, FALSE); }, "CEvent: cannot open kernel object!",
                 ERROR_FILE_NOT_FOUND);
    CEvent ev;
    EXPECT_FALSE(ev.Open("no-such-event", EVENT_ALL_ACCESS, FALSE));
    ExpectThrows([] { CSemaphore open("no-such-semaphore", SEMAPHORE_ALL_ACCESS, FALSE); },
                 "CSemaphore: Cannot open kernel object!", ERROR_FILE_NOT_FOUND);
}

TEST(CHandle, OwnsReleasesAndComparesHandles)
{
    HANDLE raw = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        CHandle h(raw);
        EXPECT_TRUE(h.IsValid());
        EXPECT_TRUE(h == raw);
        CHandle copy(h);
        EXPECT_TRUE(copy.IsValid());
        EXPECT_FALSE(copy == h);
    }
    EXPECT_FALSE(IsKernelHandle(raw)); // closed by its owner, once
    CHandle empty;
    EXPECT_TRUE(empty.IsInvalid());
    EXPECT_TRUE(CHandle::IsBadHandle(nullptr));
    EXPECT_TRUE(CHandle::IsBadHandle(INVALID_HANDLE_VALUE));
    HANDLE kept = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        CHandle h(kept);
        EXPECT_EQ(h.ReleaseHandle(), kept);
        EXPECT_TRUE(h.IsInvalid());
    }
    EXPECT_TRUE(IsKernelHandle(kept));
    CloseHandle(kept);
}

class TestSyncObj : public CSyncObj {
public:
    explicit TestSyncObj(HANDLE h) { m_handle = h; }
    bool release() override
    {
        m_acquired = false;
        return true;
    }
    bool acquired() const { return m_acquired; }
};

TEST(CSyncObj, AcquireSetsFlagAndDestroyingAcquiredObjectThrows)
{
    auto* obj = new TestSyncObj(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    EXPECT_TRUE(obj->acquire(0));
    EXPECT_TRUE(obj->acquired());
    try {
        delete obj;
        ADD_FAILURE() << "expected a throw";
    } catch (const CException& e) {
        EXPECT_STREQ(e.what(), "CSyncObj: Destroying acquired object!");
    }
    TestSyncObj released(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    EXPECT_FALSE(released.acquire(0));
}

TEST(CSyncObj, DestructorDoesNotThrowWhileUnwinding)
{
    bool caughtOriginal = false;
    try {
        TestSyncObj obj(CreateEventA(nullptr, TRUE, TRUE, nullptr));
        obj.acquire(0);
        throw std::runtime_error("original");
    } catch (const std::runtime_error& e) {
        caughtOriginal = std::string(e.what()) == "original";
    }
    EXPECT_TRUE(caughtOriginal);
}

} // namespace
