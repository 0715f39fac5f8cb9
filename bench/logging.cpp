// Records per second written to a log file: Brindle's loggers against
// spdlog writing the same record text to a file, in the same run.
//
//   FileSync      CLog::Log -> CFileLogger (daily file), one thread
//   Thread        CLog::Log -> CThreadLogger -> CFileLogger, one thread
//   Thread4       as Thread, four threads logging at once
// against spdlog's daily_file_sink_mt (sync), basic_file_sink_mt and the
// async logger over the daily file sink. Our file logger writes every record
// through to the file before Log returns; spdlog buffers in its FILE* unless
// told to flush on every record, so each spdlog case runs both ways:
// "Buffered" (its default) and "FlushEach" (the same guarantee as ours).
//
// Each iteration logs a batch of records; the background cases count until
// the last record of the batch has reached the file, so the figure is what
// the writing thread sustains, not how fast a queue fills.
#include "Brindle/base/FileLogger.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/ThreadLogger.h"
#include "Brindle/base/ThreadObject.h"

#include <benchmark/benchmark.h>

#include <spdlog/async.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace Brindle;

namespace {

constexpr int Batch = 10000;
constexpr int Producers = 4;
const std::string Text = "order 12345 filled at 101.25 for account ABC-42 on page 17 line 3";

std::string ScratchDir()
{
    static const std::string dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "brindle-bench-log-XXXXXX").string();
        return std::string(::mkdtemp(pattern.data()));
    }();
    return dir;
}

// Counts records that reached the file logger.
class CCountingLogger : public CLogger, public CBatchLogger {
public:
    explicit CCountingLogger(CFileLogger& inner) : m_inner(inner) {}
    void Log(const CLogData& record) override
    {
        m_inner.Log(record);
        m_count.fetch_add(1, std::memory_order_release);
    }
    void LogBatch(const std::vector<CLogData>& records) override
    {
        m_inner.LogBatch(records);
        m_count.fetch_add(static_cast<long>(records.size()), std::memory_order_release);
    }
    std::atomic<long> m_count{0};

private:
    CFileLogger& m_inner;
};

template <typename Mutex>
class CountingSink : public spdlog::sinks::base_sink<Mutex> {
public:
    std::atomic<long> m_count{0};

protected:
    void sink_it_(const spdlog::details::log_msg&) override { m_count.fetch_add(1, std::memory_order_release); }
    void flush_() override {}
};

void WaitFor(const std::atomic<long>& count, long target)
{
    while (count.load(std::memory_order_acquire) < target)
        std::this_thread::yield();
}

void LogOurs(int n)
{
    for (int i = 0; i < n; ++i)
        CLog::Log(CLogData(SEVERITY_INFORMATION, "CCommLayer", CVar(Text), i));
}

// Runs `body(n)` on `threads` threads at once, n records each.
template <typename Body>
void RunProducers(int threads, int n, Body body)
{
    if (threads == 1) {
        body(n);
        return;
    }
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] { body(n); });
    for (auto& w : workers)
        w.join();
}

void BM_Brindle_FileSync(benchmark::State& state)
{
    CFileLogger file;
    file.SetBaseName(ScratchDir() + "/brindle_sync", true);
    CLog::RegisterLogger(&file);
    for (auto _ : state)
        LogOurs(Batch);
    CLog::RegisterLogger(nullptr);
    state.SetItemsProcessed(state.iterations() * Batch);
}

void BrindleThread(benchmark::State& state, int threads)
{
    CFileLogger file;
    file.SetBaseName(ScratchDir() + "/brindle_thread" + std::to_string(threads), true);
    CCountingLogger counter(file);
    CThreadLogger logger(counter);
    CThreadObject thread("bench logger");
    thread.StartThread(&logger);
    CLog::RegisterLogger(&logger);
    long expected = 0;
    for (auto _ : state) {
        RunProducers(threads, Batch / threads, LogOurs);
        expected += Batch / threads * threads;
        WaitFor(counter.m_count, expected);
    }
    CLog::RegisterLogger(nullptr);
    thread.StopThread();
    state.SetItemsProcessed(state.iterations() * (Batch / threads * threads));
}

void BM_Brindle_Thread(benchmark::State& state) { BrindleThread(state, 1); }
void BM_Brindle_Thread4(benchmark::State& state) { BrindleThread(state, Producers); }

std::shared_ptr<spdlog::logger> Prepare(std::shared_ptr<spdlog::logger> logger, bool flushEach)
{
    // A line of the same shape as ours: time, level, source, text.
    logger->set_pattern("%H:%M:%S|%L|%n|%v");
    if (flushEach)
        logger->flush_on(spdlog::level::info);
    return logger;
}

void SpdlogSync(benchmark::State& state, bool daily, bool flushEach)
{
    const std::string base = ScratchDir() + (daily ? "/spdlog_daily" : "/spdlog_basic") + (flushEach ? "_f" : "_b");
    spdlog::sink_ptr sink;
    if (daily)
        sink = std::make_shared<spdlog::sinks::daily_file_sink_mt>(base + ".log", 0, 0, true);
    else
        sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(base + ".log", true);
    auto logger = Prepare(std::make_shared<spdlog::logger>("CCommLayer", sink), flushEach);
    for (auto _ : state)
        for (int i = 0; i < Batch; ++i)
            logger->info(Text);
    logger->flush();
    state.SetItemsProcessed(state.iterations() * Batch);
}

void SpdlogAsync(benchmark::State& state, int threads, bool flushEach)
{
    auto pool = std::make_shared<spdlog::details::thread_pool>(8192, 1);
    auto file = std::make_shared<spdlog::sinks::daily_file_sink_mt>(
        ScratchDir() + "/spdlog_async" + std::to_string(threads) + (flushEach ? "_f" : "_b") + ".log", 0, 0, true);
    auto counter = std::make_shared<CountingSink<spdlog::details::null_mutex>>();
    std::vector<spdlog::sink_ptr> sinks{file, counter};
    auto logger = Prepare(std::make_shared<spdlog::async_logger>("CCommLayer", sinks.begin(), sinks.end(), pool,
                                                                 spdlog::async_overflow_policy::block),
                          flushEach);
    long expected = 0;
    for (auto _ : state) {
        RunProducers(threads, Batch / threads, [&](int n) {
            for (int i = 0; i < n; ++i)
                logger->info(Text);
        });
        expected += Batch / threads * threads;
        WaitFor(counter->m_count, expected);
    }
    logger->flush();
    logger.reset();
    state.SetItemsProcessed(state.iterations() * (Batch / threads * threads));
}

void BM_Spdlog_DailySync_Buffered(benchmark::State& state) { SpdlogSync(state, true, false); }
void BM_Spdlog_DailySync_FlushEach(benchmark::State& state) { SpdlogSync(state, true, true); }
void BM_Spdlog_BasicSync_Buffered(benchmark::State& state) { SpdlogSync(state, false, false); }
void BM_Spdlog_BasicSync_FlushEach(benchmark::State& state) { SpdlogSync(state, false, true); }
void BM_Spdlog_Async_Buffered(benchmark::State& state) { SpdlogAsync(state, 1, false); }
void BM_Spdlog_Async_FlushEach(benchmark::State& state) { SpdlogAsync(state, 1, true); }
void BM_Spdlog_Async4_Buffered(benchmark::State& state) { SpdlogAsync(state, Producers, false); }
void BM_Spdlog_Async4_FlushEach(benchmark::State& state) { SpdlogAsync(state, Producers, true); }

} // namespace

BENCHMARK(BM_Brindle_FileSync)->UseRealTime();
BENCHMARK(BM_Spdlog_DailySync_Buffered)->UseRealTime();
BENCHMARK(BM_Spdlog_DailySync_FlushEach)->UseRealTime();
BENCHMARK(BM_Spdlog_BasicSync_Buffered)->UseRealTime();
BENCHMARK(BM_Spdlog_BasicSync_FlushEach)->UseRealTime();
BENCHMARK(BM_Brindle_Thread)->UseRealTime();
BENCHMARK(BM_Spdlog_Async_Buffered)->UseRealTime();
BENCHMARK(BM_Spdlog_Async_FlushEach)->UseRealTime();
BENCHMARK(BM_Brindle_Thread4)->UseRealTime();
BENCHMARK(BM_Spdlog_Async4_Buffered)->UseRealTime();
BENCHMARK(BM_Spdlog_Async4_FlushEach)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(ScratchDir(), ec);
    return 0;
}
