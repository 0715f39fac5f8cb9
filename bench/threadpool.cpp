// Thread-pool jobs per second: Brindle's CThreadPool against QThreadPool and
// against a plain std::thread pool over a locked queue, with the same jobs on
// the same number of threads. Each iteration queues a batch of heap-allocated
// jobs (each pool takes ownership and deletes them) and waits until the last
// one has run. Compare items_per_second across peers of one size.
#include "Brindle/base/ThreadPool.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#ifdef BRINDLE_BENCH_HAVE_QT
#include <QRunnable>
#include <QThreadPool>
#endif

namespace {

constexpr int JobsPerBatch = 20000;

// Counts a batch down; the waiter wakes when the last job has run.
class Batch {
public:
    void Start(int n) { m_left.store(n, std::memory_order_relaxed); }
    void OneDone()
    {
        if (m_left.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            std::lock_guard<std::mutex> g(m_mutex);
            m_cv.notify_all();
        }
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_left.load(std::memory_order_acquire) == 0; });
    }

private:
    std::atomic<int> m_left{0};
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

// The job body every peer runs: `spin` rounds of arithmetic, then the count.
inline void Work(int spin, Batch& batch)
{
    unsigned x = 2166136261u;
    for (int i = 0; i < spin; ++i)
        x = (x ^ static_cast<unsigned>(i)) * 16777619u;
    benchmark::DoNotOptimize(x);
    batch.OneDone();
}

// --- Brindle -----------------------------------------------------------------

class BrindleJob : public Brindle::CJob {
public:
    BrindleJob(int spin, Batch& batch) : m_spin(spin), m_batch(batch) {}
    void Execute(Brindle::CPooledThread&) override { Work(m_spin, m_batch); }

private:
    int m_spin;
    Batch& m_batch;
};

void BM_BrindleThreadPool(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    const int spin = static_cast<int>(state.range(1));
    Brindle::CThreadPool pool("bench");
    pool.StartPool(threads);
    Batch batch;
    for (auto _ : state) {
        batch.Start(JobsPerBatch);
        for (int i = 0; i < JobsPerBatch; ++i)
            pool.QueueJob(new BrindleJob(spin, batch));
        batch.Wait();
    }
    state.SetItemsProcessed(state.iterations() * JobsPerBatch);
}

// --- std::thread and a locked queue --------------------------------------------

class StdJob {
public:
    StdJob(int spin, Batch& batch) : m_spin(spin), m_batch(batch) {}
    void Execute() { Work(m_spin, m_batch); }

private:
    int m_spin;
    Batch& m_batch;
};

class StdPool {
public:
    explicit StdPool(int threads)
    {
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { Loop(); });
    }
    ~StdPool()
    {
        {
            std::lock_guard<std::mutex> g(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        for (auto& t : m_threads)
            t.join();
    }
    void Queue(std::unique_ptr<StdJob> job)
    {
        {
            std::lock_guard<std::mutex> g(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_cv.notify_one();
    }

private:
    void Loop()
    {
        for (;;) {
            std::unique_ptr<StdJob> job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_cv.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
                if (m_jobs.empty())
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job->Execute();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::unique_ptr<StdJob>> m_jobs;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

void BM_StdThreadQueue(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    const int spin = static_cast<int>(state.range(1));
    StdPool pool(threads);
    Batch batch;
    for (auto _ : state) {
        batch.Start(JobsPerBatch);
        for (int i = 0; i < JobsPerBatch; ++i)
            pool.Queue(std::make_unique<StdJob>(spin, batch));
        batch.Wait();
    }
    state.SetItemsProcessed(state.iterations() * JobsPerBatch);
}

// --- QThreadPool ---------------------------------------------------------------

#ifdef BRINDLE_BENCH_HAVE_QT
class QtJob : public QRunnable {
public:
    QtJob(int spin, Batch& batch) : m_spin(spin), m_batch(batch) { setAutoDelete(true); }
    void run() override { Work(m_spin, m_batch); }

private:
    int m_spin;
    Batch& m_batch;
};

void BM_QThreadPool(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    const int spin = static_cast<int>(state.range(1));
    QThreadPool pool;
    pool.setMaxThreadCount(threads);
    pool.setExpiryTimeout(-1); // keep the threads, as the other pools do
    Batch batch;
    for (auto _ : state) {
        batch.Start(JobsPerBatch);
        for (int i = 0; i < JobsPerBatch; ++i)
            pool.start(new QtJob(spin, batch));
        batch.Wait();
    }
    pool.waitForDone();
    state.SetItemsProcessed(state.iterations() * JobsPerBatch);
}
#endif

} // namespace

// The peers of one size run side by side, so that each ratio compares runs
// made under the same load. Arguments: threads, spin rounds per job (0: an
// empty job; 1000: about a microsecond of work).
int main(int argc, char** argv)
{
    for (int spin : {0, 1000}) {
        for (int threads : {1, 2, 4}) {
            auto add = [&](const char* name, void (*fn)(benchmark::State&)) {
                benchmark::RegisterBenchmark(name, fn)->Args({threads, spin})->UseRealTime()->Unit(benchmark::kMillisecond);
            };
            add("BM_BrindleThreadPool", BM_BrindleThreadPool);
#ifdef BRINDLE_BENCH_HAVE_QT
            add("BM_QThreadPool", BM_QThreadPool);
#endif
            add("BM_StdThreadQueue", BM_StdThreadQueue);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
