#include "Brindle/base/CritSec.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/Logger.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace Brindle;

namespace {

class CRecordingLogger : public CLogger {
public:
    explicit CRecordingLogger(std::vector<std::string>* shared = nullptr, std::string name = "")
        : m_shared(shared), m_name(std::move(name))
    {
    }
    void Log(const CLogData& record) override
    {
        m_texts.push_back(record.GetText());
        if (m_shared != nullptr)
            m_shared->push_back(m_name + ":" + record.GetText());
    }
    std::vector<std::string> m_texts;

private:
    std::vector<std::string>* m_shared;
    std::string m_name;
};

// Unregisters whatever a test registered.
struct RegistryReset {
    ~RegistryReset() { CLog::RegisterLogger(nullptr); }
};

} // namespace

TEST(CLog, DropsRecordsWithoutALoggerAndDeliversToTheRegisteredOne)
{
    RegistryReset reset;
    CLog::RegisterLogger(nullptr);
    EXPECT_EQ(CLog::GetLog(), nullptr);
    CLog::Log(CLogData(SEVERITY_INFORMATION, "S", CVar("lost")));

    CRecordingLogger first, second;
    CLog::RegisterLogger(&first);
    EXPECT_EQ(CLog::GetLog(), &first);
    CLog::Log(CLogData(SEVERITY_INFORMATION, "S", CVar("one")));
    CLog::RegisterLogger(&second);
    CLog::Log(CLogData(SEVERITY_INFORMATION, "S", CVar("two")));
    CLog::RegisterLogger(nullptr);
    CLog::Log(CLogData(SEVERITY_INFORMATION, "S", CVar("off")));
    EXPECT_EQ(first.m_texts, std::vector<std::string>{"one"});
    EXPECT_EQ(second.m_texts, std::vector<std::string>{"two"});
}

TEST(CLog, FlagsAreStoredAndReported)
{
    const bool verbose = CLog::Verbose(), trace = CLog::EnableLogTrace();
    for (bool value : {true, false}) {
        CLog::Verbose(value);
        CLog::EnableLogTrace(!value);
        EXPECT_EQ(CLog::Verbose(), value);
        EXPECT_EQ(CLog::EnableLogTrace(), !value);
    }
    CLog::Verbose(verbose);
    CLog::EnableLogTrace(trace);
}

TEST(CLog, NoRecordReachesALoggerOnceItIsReplaced)
{
    // A logger that counts calls made after it was replaced: with the swap
    // under Log's own lock there can be none, so it may be destroyed at once.
    struct CWatchedLogger : CLogger {
        std::atomic<bool> replaced{false};
        std::atomic<int> late{0};
        void Log(const CLogData&) override
        {
            if (replaced.load())
                ++late;
        }
    };
    RegistryReset reset;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            CLogData record(SEVERITY_INFORMATION, "S", CVar("x"));
            while (!stop.load())
                CLog::Log(record);
        });
    int late = 0;
    for (int round = 0; round < 100; ++round) {
        auto logger = std::make_unique<CWatchedLogger>();
        CLog::RegisterLogger(logger.get());
        std::this_thread::yield();
        CRecordingLogger next;
        CLog::RegisterLogger(&next);
        logger->replaced = true;
        late += logger->late.load();
        logger.reset();
        CLog::RegisterLogger(nullptr);
    }
    stop = true;
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(late, 0);
}

TEST(CLog, LoggerRunsUnderTheSystemLock)
{
    struct CLockProbe : CLogger {
        bool held = false;
        // The system lock is re-entrant: another thread must not get it.
        void Log(const CLogData&) override { held = !threadtest::FreeElsewhere(*GetSystemLock()); }
    };
    RegistryReset reset;
    CLockProbe probe;
    CLog::RegisterLogger(&probe);
    CLog::Log(CLogData());
    EXPECT_TRUE(probe.held);
}

TEST(CMultiLogger, PassesEachRecordToEveryLoggerInTheOrderAdded)
{
    std::vector<std::string> order;
    CRecordingLogger a(&order, "a"), b(&order, "b");
    CMultiLogger multi;
    multi.RegisterLogger(&a);
    multi.RegisterLogger(nullptr);
    multi.RegisterLogger(&b);
    multi.Log(CLogData(SEVERITY_INFORMATION, "S", CVar("1")));
    multi.Log(CLogData(SEVERITY_INFORMATION, "S", CVar("2")));
    EXPECT_EQ(order, (std::vector<std::string>{"a:1", "b:1", "a:2", "b:2"}));

    CMultiLogger copy(multi);
    CMultiLogger assigned;
    assigned = multi;
    EXPECT_EQ(copy.GetLoggers(), multi.GetLoggers());
    EXPECT_EQ(assigned.GetLoggers().size(), 2u);
    order.clear();
    assigned.Log(CLogData(SEVERITY_INFORMATION, "S", CVar("3")));
    EXPECT_EQ(order, (std::vector<std::string>{"a:3", "b:3"}));
}

TEST(CSimpleLogger, WritesTheRecordLineToStandardOutput)
{
    const bool verbose = CLog::Verbose();
    CLog::Verbose(false);
    CLogData record(SEVERITY_WARNING, "Src", CVar("text\n"), 2);
    testing::internal::CaptureStdout();
    CSimpleLogger logger;
    logger.Log(record);
    const std::string out = testing::internal::GetCapturedStdout();
    CLog::Verbose(verbose);
    EXPECT_EQ(out, record.GetTimestamp().FormatHMS() + "\x16" "1\x16" "2\x16Src\x16" "0\x16text<LF>\x16\n");
}
