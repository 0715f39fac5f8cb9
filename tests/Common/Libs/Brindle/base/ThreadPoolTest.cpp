#include "Brindle/base/ThreadPool.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace Brindle;
using threadtest::Gate;
using threadtest::WaitUntil;

namespace {

// Counts how many jobs of a test were made, ran and were deleted.
struct Tally {
    std::atomic<int> made{0}, ran{0}, deleted{0};
};

class FnJob : public CJob {
public:
    FnJob(Tally& tally, std::function<void(CPooledThread&)> fn) : m_tally(tally), m_fn(std::move(fn)) { ++m_tally.made; }
    ~FnJob() override { ++m_tally.deleted; }
    void Execute(CPooledThread& thread) override
    {
        ++m_tally.ran;
        if (m_fn)
            m_fn(thread);
    }

private:
    Tally& m_tally;
    std::function<void(CPooledThread&)> m_fn;
};

bool WaitForIdle(CThreadPool& pool, int n)
{
    return WaitUntil([&] { return pool.IdleThreads() == n; });
}

// Each test counts its jobs.
struct ThreadPool : ::testing::Test {
    Tally tally;
};

} // namespace

TEST_F(ThreadPool, ThreadsAreNamedAfterThePoolAndAllWaitForWork)
{
    CThreadPool pool("P");
    ASSERT_EQ(pool.StartPool(3), 3);
    ASSERT_TRUE(WaitForIdle(pool, 3));
    EXPECT_TRUE(pool.AllDone());

    // Three jobs held at once must occupy the three threads.
    Gate release;
    std::mutex m;
    std::set<std::string> names;
    for (int i = 0; i < 3; ++i) {
        pool.QueueJob(new FnJob(tally, [&](CPooledThread& t) {
            {
                std::lock_guard<std::mutex> g(m);
                names.insert(t.GetThread().GetThreadName());
            }
            release.WaitOpen();
        }));
    }
    ASSERT_TRUE(WaitUntil([&] { return tally.ran.load() == 3; }));
    EXPECT_EQ(pool.IdleThreads(), 0);
    EXPECT_FALSE(pool.AllDone());
    release.Open();
    ASSERT_TRUE(WaitUntil([&] { return pool.AllDone(); }));
    EXPECT_EQ(names, (std::set<std::string>{"P(0)", "P(1)", "P(2)"}));
}

TEST_F(ThreadPool, FiveJobsOnTwoThreadsRunTwoAtATimeInQueueOrder)
{
    Gate gates[5];
    std::mutex m;
    std::vector<int> startOrder;
    std::atomic<int> running{0}, mostRunning{0};
    {
        CThreadPool pool("pair");
        ASSERT_EQ(pool.StartPool(2), 2);
        ASSERT_TRUE(WaitForIdle(pool, 2));
        for (int i = 0; i < 5; ++i) {
            pool.QueueJob(new FnJob(tally, [&, i](CPooledThread&) {
                const int now = ++running;
                int seen = mostRunning.load();
                while (now > seen && !mostRunning.compare_exchange_weak(seen, now)) {
                }
                {
                    std::lock_guard<std::mutex> g(m);
                    startOrder.push_back(i);
                }
                gates[i].WaitOpen();
                --running;
            }));
        }
        auto started = [&](std::size_t n) {
            return WaitUntil([&] {
                std::lock_guard<std::mutex> g(m);
                return startOrder.size() >= n;
            });
        };
        auto startedSet = [&] {
            std::lock_guard<std::mutex> g(m);
            return std::set<int>(startOrder.begin(), startOrder.end());
        };
        ASSERT_TRUE(started(2));
        std::set<int> expected{0, 1};
        EXPECT_EQ(startedSet(), expected);
        // Each job that ends lets exactly the next one in the queue start.
        for (int i = 0; i < 3; ++i) {
            gates[i].Open();
            ASSERT_TRUE(started(static_cast<std::size_t>(i) + 3));
            expected.insert(i + 2);
            EXPECT_EQ(startedSet(), expected);
        }
        gates[3].Open();
        gates[4].Open();
        ASSERT_TRUE(WaitUntil([&] { return pool.AllDone(); }));
        EXPECT_EQ(tally.ran.load(), 5);
        EXPECT_EQ(tally.deleted.load(), 5); // each deleted by the thread that ran it
    }
    EXPECT_EQ(mostRunning.load(), 2);
}

TEST_F(ThreadPool, FailingJobIsSwallowedAndItsThreadGoesOnWorking)
{
    CThreadPool pool("fail");
    ASSERT_EQ(pool.StartPool(1), 1);
    pool.QueueJob(new FnJob(tally, [](CPooledThread&) { throw std::runtime_error("job failed"); }));
    pool.QueueJob(new FnJob(tally, [](CPooledThread&) { throw 3; }));
    std::atomic<long> completedSeen{-1};
    pool.QueueJob(new FnJob(tally, [&](CPooledThread& t) { completedSeen = t.GetCompletedJobs(); }));
    ASSERT_TRUE(WaitUntil([&] { return tally.deleted.load() == 3; }));
    EXPECT_EQ(tally.ran.load(), 3);
    EXPECT_EQ(completedSeen.load(), 2); // the two failed jobs counted as completed
    ASSERT_TRUE(WaitUntil([&] { return pool.AllDone(); }));
}

TEST_F(ThreadPool, NullJobIsRefused)
{
    CThreadPool pool("null");
    EXPECT_THROW(pool.QueueJob(nullptr), CException);
    EXPECT_TRUE(pool.AllDone());
}

TEST_F(ThreadPool, StopRightAfterStartEndsEveryThread)
{
    for (int round = 0; round < 10; ++round) {
        CThreadPool pool("quick");
        ASSERT_EQ(pool.StartPool(2), 2);
        pool.StopPool();
        EXPECT_EQ(pool.IdleThreads(), 0) << "round " << round;
    }
}

TEST_F(ThreadPool, JobsQueuedAfterStopWaitAndRunWhenThePoolStartsAgain)
{
    {
        CThreadPool pool("again");
        ASSERT_EQ(pool.StartPool(1), 1);
        pool.StopPool();
        for (int i = 0; i < 3; ++i)
            pool.QueueJob(new FnJob(tally, nullptr));
        EXPECT_FALSE(pool.AllDone());
        EXPECT_EQ(tally.ran.load(), 0);

        std::string ranOn;
        std::mutex m;
        pool.QueueJob(new FnJob(tally, [&](CPooledThread& t) {
            std::lock_guard<std::mutex> g(m);
            ranOn = t.GetThread().GetThreadName();
        }));
        ASSERT_EQ(pool.StartPool(1), 1);
        ASSERT_TRUE(WaitUntil([&] { return pool.AllDone(); }));
        EXPECT_EQ(tally.ran.load(), 4);
        std::lock_guard<std::mutex> g(m);
        EXPECT_EQ(ranOn, "again(1)");
    }
    EXPECT_EQ(tally.deleted.load(), 4);
}

TEST_F(ThreadPool, JobsNeverRunAreDeletedWithThePool)
{
    Gate entered;
    {
        CThreadPool pool("leftover");
        ASSERT_EQ(pool.StartPool(1), 1);
        pool.QueueJob(new FnJob(tally, [&](CPooledThread& t) {
            entered.Open();
            // Ends only once the stop has reached its thread.
            WaitUntil([&] { return t.InShutdown(); });
        }));
        ASSERT_TRUE(entered.WaitOpen());
        for (int i = 0; i < 3; ++i)
            pool.QueueJob(new FnJob(tally, nullptr));
        // Stop while the thread is busy; its next job is handed back, not
        // run and not lost.
        pool.StopPool();
        EXPECT_EQ(tally.ran.load(), 1);
        EXPECT_EQ(tally.deleted.load(), 1);
        EXPECT_FALSE(pool.AllDone());
    }
    EXPECT_EQ(tally.made.load(), 4);
    EXPECT_EQ(tally.deleted.load(), 4);
}

TEST_F(ThreadPool, JobForAThreadThatIsBusyAfterAllKeepsItsPlaceInTheQueue)
{
    CThreadPool pool("busy");
    ASSERT_EQ(pool.StartPool(1), 1);
    ASSERT_TRUE(WaitForIdle(pool, 1));

    // Learn the pooled thread, then hand it work directly, behind the pool's
    // back: the pool still lists it as idle.
    std::atomic<CPooledThread*> worker{nullptr};
    pool.QueueJob(new FnJob(tally, [&](CPooledThread& t) { worker = &t; }));
    ASSERT_TRUE(WaitUntil([&] { return pool.AllDone(); }));
    ASSERT_NE(worker.load(), nullptr);

    Gate entered, release;
    ASSERT_TRUE(worker.load()->ExecuteJob(new FnJob(tally, [&](CPooledThread&) {
        entered.Open();
        release.WaitOpen();
    })));
    ASSERT_TRUE(entered.WaitOpen());
    EXPECT_EQ(pool.IdleThreads(), 1);

    // A second direct hand-over is refused and never replaces the first.
    auto refused = std::make_unique<FnJob>(tally, nullptr);
    EXPECT_FALSE(worker.load()->ExecuteJob(refused.get()));

    // The pool picks the busy thread for this job; the thread refuses it,
    // and the job must wait its turn instead of vanishing.
    std::atomic<bool> queuedRan{false};
    pool.QueueJob(new FnJob(tally, [&](CPooledThread&) { queuedRan = true; }));
    EXPECT_FALSE(pool.AllDone());
    release.Open();
    ASSERT_TRUE(WaitUntil([&] { return queuedRan.load(); }));
    ASSERT_TRUE(WaitUntil([&] { return pool.AllDone(); }));
    EXPECT_EQ(pool.IdleThreads(), 1);
}

TEST_F(ThreadPool, PoolsWithTheSameNameShareNothing)
{
    CThreadPool a("Same"), b("Same");
    ASSERT_EQ(a.StartPool(1), 1);
    ASSERT_EQ(b.StartPool(1), 1);
    ASSERT_TRUE(WaitForIdle(a, 1));
    ASSERT_TRUE(WaitForIdle(b, 1));

    // No kernel object carries a pool thread's name: an event of that name
    // is a new one.
    HANDLE stranger = CreateEventA(nullptr, FALSE, FALSE, "Same(0)");
    ASSERT_NE(stranger, nullptr);
    EXPECT_NE(GetLastError(), ERROR_ALREADY_EXISTS);
    SetEvent(stranger); // wakes no pooled thread

    // Jobs given to each pool reach that pool's own thread.
    for (int i = 0; i < 200; ++i) {
        (i % 2 ? a : b).QueueJob(new FnJob(tally, nullptr));
    }
    ASSERT_TRUE(WaitUntil([&] { return tally.deleted.load() == 200; }));
    EXPECT_TRUE(WaitUntil([&] { return a.AllDone() && b.AllDone(); }));
    CloseHandle(stranger);
}

TEST_F(ThreadPool, DestructorWaitsForAJobThatOutlastsTheStop)
{
    // StopPool gives up on a busy thread after 5 seconds; the destructor must
    // still not free the pool while that thread runs in it.
    Gate entered, release;
    std::atomic<bool> jobDone{false}, destroyed{false};
    auto pool = std::make_unique<CThreadPool>("slow");
    ASSERT_EQ(pool->StartPool(1), 1);
    pool->QueueJob(new FnJob(tally, [&](CPooledThread& t) {
        entered.Open();
        release.WaitOpen(std::chrono::minutes(2));
        // Touches its thread after the pool was asked to go away.
        EXPECT_STREQ(t.GetThread().GetThreadName(), "slow(0)");
        jobDone = true;
    }));
    ASSERT_TRUE(entered.WaitOpen());
    std::thread destroyer([&] {
        pool.reset();
        destroyed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5600)); // past StopPool's 5 s
    EXPECT_FALSE(destroyed.load());
    release.Open();
    destroyer.join();
    EXPECT_TRUE(jobDone.load());
    EXPECT_EQ(tally.deleted.load(), 1);
}

TEST_F(ThreadPool, ManyProducersManyJobsAllRunOnce)
{
    constexpr int producers = 3, perProducer = 1500;
    std::atomic<long> sum{0};
    {
        CThreadPool pool("busy-pool");
        ASSERT_EQ(pool.StartPool(4), 4);
        std::vector<std::thread> threads;
        for (int p = 0; p < producers; ++p) {
            threads.emplace_back([&, p] {
                for (int i = 0; i < perProducer; ++i) {
                    const long value = p * perProducer + i;
                    pool.QueueJob(new FnJob(tally, [&sum, value](CPooledThread&) { sum += value; }));
                }
            });
        }
        // Jobs may also queue jobs.
        pool.QueueJob(new FnJob(tally, [&](CPooledThread&) {
            for (int i = 0; i < 100; ++i)
                pool.QueueJob(new FnJob(tally, nullptr));
        }));
        for (auto& t : threads)
            t.join();
        ASSERT_TRUE(WaitUntil([&] { return tally.deleted.load() == producers * perProducer + 101; },
                              std::chrono::seconds(120)));
        EXPECT_TRUE(WaitUntil([&] { return pool.AllDone(); }));
        EXPECT_EQ(pool.IdleThreads(), 4);
    }
    const long n = producers * perProducer;
    EXPECT_EQ(sum.load(), n * (n - 1) / 2);
    EXPECT_EQ(tally.ran.load(), producers * perProducer + 101);
}
