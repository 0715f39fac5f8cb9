#include "Brindle/base/FileLogger.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/ThreadLogger.h"
#include "Brindle/base/ThreadObject.h"

#include "TempDir.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace Brindle;

namespace {

// A target that holds its first record until the test opens the gate, and
// keeps everything it is given.
class CGatedTarget : public CLogger {
public:
    void Log(const CLogData& record) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_gateSeen) {
            m_gateSeen = true;
            m_openedInTime = m_cv.wait_for(lock, std::chrono::seconds(60), [&] { return m_open; });
        }
        if (record.GetText() == "boom")
            throw std::runtime_error("target broke");
        if (record.GetText() == "weird")
            throw 7;
        m_records.push_back(record);
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    std::vector<CLogData> Records()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_records;
    }
    bool m_openedInTime = false;

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
    bool m_gateSeen = false;
    std::vector<CLogData> m_records;
};

} // namespace

TEST(CThreadLogger, FourThreadsLoseNothingKeepTheirOrderAndNeverWaitForTheTarget)
{
    CGatedTarget target;
    CThreadLogger logger(target);
    CThreadObject thread("logger");
    ASSERT_TRUE(thread.StartThread(&logger));
    CLog::RegisterLogger(&logger);
    constexpr int Threads = 4, PerThread = 500;
    // Every caller finishes while the target is still held at its first
    // record: no caller waited for it.
    threadtest::OnThreads(Threads, [](int t) {
        for (int i = 0; i < PerThread; ++i)
            CLog::Log(CLogData(SEVERITY_INFORMATION, "T" + std::to_string(t), CVar(i), t));
    });
    CLog::RegisterLogger(nullptr);
    target.Open();
    // Whatever is still queued at stop is written before the exit record.
    thread.StopThread();
    ASSERT_EQ(thread.GetState(), THREAD_SUCCESS);
    EXPECT_TRUE(target.m_openedInTime);

    const auto records = target.Records();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(Threads * PerThread + 1));
    std::vector<int> next(Threads, 0);
    for (std::size_t i = 0; i + 1 < records.size(); ++i) {
        const int t = records[i].GetBatch();
        ASSERT_GE(t, 0);
        ASSERT_LT(t, Threads);
        EXPECT_EQ(records[i].GetText(), std::to_string(next[t])) << "thread " << t;
        ++next[t];
    }
    EXPECT_EQ(next, std::vector<int>(Threads, PerThread));
    EXPECT_EQ(records.back().GetText(), "thread exit");
    EXPECT_EQ(records.back().GetSource(), "ThreadExecuteFcn");
    EXPECT_EQ(records.back().GetSeverity(), SEVERITY_INFORMATION);
    EXPECT_EQ(logger.Pending(), 0u);
}

TEST(CThreadLogger, TargetExceptionsBecomeRecordsAndTheRestFollow)
{
    CGatedTarget target;
    target.Open();
    CThreadLogger logger(target);
    for (const char* text : {"a", "boom", "b", "weird", "c"})
        logger.Log(CLogData(SEVERITY_INFORMATION, "S", CVar(text)));
    CThreadObject thread("logger");
    ASSERT_TRUE(thread.StartThread(&logger));
    thread.StopThread();
    std::vector<std::string> seen;
    for (const CLogData& r : target.Records())
        seen.push_back(std::to_string(r.GetSeverityValue()) + " " + r.GetSource() + " " + r.GetText());
    EXPECT_EQ(seen, (std::vector<std::string>{"0 S a", "-2 ThreadExecuteFcn target broke", "0 S b",
                                              "-2 ThreadExecuteFcn unhandled exception", "0 S c",
                                              "0 ThreadExecuteFcn thread exit"}));
}

TEST(CThreadLogger, TwoLoggersDoNotShareTheirWakeUp)
{
    // Each logger's thread wakes for its own records only; both deliver.
    CGatedTarget a, b;
    a.Open();
    b.Open();
    CThreadLogger la(a), lb(b);
    CThreadObject ta("a"), tb("b");
    ASSERT_TRUE(ta.StartThread(&la));
    ASSERT_TRUE(tb.StartThread(&lb));
    for (int i = 0; i < 50; ++i) {
        la.Log(CLogData(SEVERITY_INFORMATION, "A", CVar(i)));
        lb.Log(CLogData(SEVERITY_INFORMATION, "B", CVar(i)));
    }
    ta.StopThread();
    tb.StopThread();
    EXPECT_EQ(a.Records().size(), 51u);
    EXPECT_EQ(b.Records().size(), 51u);
    for (const CLogData& r : a.Records())
        EXPECT_NE(r.GetSource(), "B");
}

TEST(CThreadLogger, AFileTargetGetsEveryLineInOrderThroughBatches)
{
    testsupport::TempDir dir;
    CFileLogger file;
    file.SetBaseName(dir.str() + "/T", true);
    CThreadLogger logger(file);
    CThreadObject thread("logger");
    ASSERT_TRUE(thread.StartThread(&logger));
    constexpr int Threads = 4, PerThread = 3000;
    threadtest::OnThreads(Threads, [&](int t) {
        for (int i = 0; i < PerThread; ++i)
            logger.Log(CLogData(SEVERITY_INFORMATION, "T", CVar(std::string(40, 'a' + t) + std::to_string(i)), t));
    });
    thread.StopThread();
    std::ifstream in(file.GetFileName(), std::ios::binary);
    std::string line;
    std::vector<int> next(Threads, 0);
    int lines = 0;
    std::string last;
    while (std::getline(in, line)) {
        ++lines;
        last = line;
        // time, severity, batch, source, last error, text
        std::vector<std::string> fields;
        std::size_t start = 0, sep;
        while ((sep = line.find('\x16', start)) != std::string::npos) {
            fields.push_back(line.substr(start, sep - start));
            start = sep + 1;
        }
        ASSERT_EQ(fields.size(), 6u) << line;
        if (fields[5] == "thread exit")
            continue;
        const int t = std::stoi(fields[2]);
        ASSERT_TRUE(t >= 0 && t < Threads);
        EXPECT_EQ(fields[5], std::string(40, 'a' + t) + std::to_string(next[t]));
        ++next[t];
    }
    EXPECT_EQ(lines, Threads * PerThread + 1);
    EXPECT_EQ(next, std::vector<int>(Threads, PerThread));
    EXPECT_NE(last.find("thread exit"), std::string::npos);
}

TEST(CThreadLogger, ABatchTargetThatThrowsIsReported)
{
    struct CThrowingBatch : CLogger, CBatchLogger {
        std::vector<std::string> texts;
        void Log(const CLogData& r) override { texts.push_back(r.GetText()); }
        void LogBatch(const std::vector<CLogData>& records) override
        {
            if (records.size() == 1 && records[0].GetText() == "boom")
                throw std::runtime_error("batch broke");
            for (const CLogData& r : records)
                texts.push_back(r.GetText());
        }
    } target;
    CThreadLogger logger(target);
    logger.Log(CLogData(SEVERITY_INFORMATION, "S", CVar("boom")));
    CThreadObject thread("logger");
    ASSERT_TRUE(thread.StartThread(&logger));
    thread.StopThread();
    EXPECT_EQ(target.texts, (std::vector<std::string>{"batch broke", "thread exit"}));
}

TEST(CThreadLogger, AFullQueueDropsAndCountsWhatItCannotHold)
{
    CGatedTarget target;
    CThreadLogger logger(target, 100);
    CThreadObject thread("logger");
    ASSERT_TRUE(thread.StartThread(&logger));
    // The first record is taken and held at the gate; then the queue fills.
    logger.Log(CLogData(SEVERITY_INFORMATION, "S", CVar("first")));
    ASSERT_TRUE(threadtest::WaitUntil([&] { return logger.Pending() == 0; }));
    for (int i = 0; i < 130; ++i)
        logger.Log(CLogData(SEVERITY_INFORMATION, "S", CVar(i)));
    EXPECT_EQ(logger.Pending(), 100u);
    target.Open();
    ASSERT_TRUE(threadtest::WaitUntil([&] { return logger.Pending() == 0; }));
    logger.Log(CLogData(SEVERITY_INFORMATION, "S", CVar("after")));
    thread.StopThread();
    const auto records = target.Records();
    ASSERT_EQ(records.size(), 1u + 100u + 1u + 1u + 1u);
    EXPECT_EQ(records[0].GetText(), "first");
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(records[1 + i].GetText(), std::to_string(i));
    EXPECT_EQ(records[101].GetSeverityValue(), -2);
    EXPECT_EQ(records[101].GetSource(), "CThreadLogger");
    EXPECT_EQ(records[101].GetText(), "30 records dropped");
    EXPECT_EQ(records[102].GetText(), "after");
    EXPECT_EQ(records[103].GetText(), "thread exit");
}
