// Log records (fields, texts, the record line, the binding table), the
// pipe-delimited message text, and the loggers: the library log, the multi
// logger and the standard output logger.
#include "Brindle/base/CritSec.h"
#include "Brindle/base/Exception.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/LogData.h"
#include "Brindle/base/LogFormatMsg.h"
#include "Brindle/base/Logger.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace Brindle;

namespace {

std::string Line(const CLogData& record)
{
    std::ostringstream out;
    out << record;
    return out.str();
}

// Every field but the time, in one text: counter|severity|source|
// application|host|batch|last error|text.
std::string Fields(const CLogData& r)
{
    return std::to_string(r.GetCounter()) + "|" + std::to_string(r.GetSeverityValue()) + "|" + r.GetSource() + "|" +
           r.GetApplication() + "|" + r.GetHostname() + "|" + std::to_string(r.GetBatch()) + "|" +
           std::to_string(r.GetLastError()) + "|" + r.GetText();
}

// Restores the verbose switch whatever the test did.
struct VerboseScope {
    explicit VerboseScope(bool on) : m_old(CLog::Verbose()) { CLog::Verbose(on); }
    ~VerboseScope() { CLog::Verbose(m_old); }
    bool m_old;
};


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

TEST(SeverityString, NamesTheFourSeveritiesAndQuestionsTheRest)
{
    for (const auto& [value, text] : {std::pair{0, "I"}, {1, "W"}, {2, "E"}, {3, "D"}, {4, "?"}, {5, "?"}, {-1, "?"},
                                      {-2, "?"}, {1000, "?"}})
        EXPECT_STREQ(SeverityString(static_cast<SEVERITY>(value)), text) << value;
}

TEST(CLogData, ConstructorsStoreTheirFieldsAndFillEmptyOnesFromTheProcess)
{
    const long before = CTimestamp().GetTimestamp();
    const CLogData record;
    EXPECT_GE(record.GetTimestampValue(), before);
    EXPECT_EQ(record.GetSeverity(), SEVERITY_INFORMATION);
    const std::string ip = GetLocalIPAddress(), app = GetLocalApplicationName(), host = GetLocalHostname();
    EXPECT_EQ(Fields(record), "0|0|" + ip + "|" + app + "|" + host + "|0|0|");
    EXPECT_EQ(Fields(CLogData(SEVERITY_ERROR, "CCommLayer", "App", 7, 13, CVar("broken"))),
              "0|2|CCommLayer|App|" + host + "|7|13|broken");
    EXPECT_EQ(Fields(CLogData(SEVERITY_WARNING, "", "", 0, 0, CVar(42))),
              "0|1|" + ip + "|" + app + "|" + host + "|0|0|42");
    // The short form takes the application from the process.
    EXPECT_EQ(Fields(CLogData(SEVERITY_DEBUG, "CCommSocket", CVar("text"), 3)),
              "0|3|CCommSocket|" + app + "|" + host + "|3|0|text");
    const CLogData failed(std::runtime_error("bad\nthing"), SEVERITY_LOGGER_FAILED);
    EXPECT_EQ(Fields(failed), "0|-2|" + ip + "|" + app + "|" + host + "|0|0|bad<LF>thing");
}

TEST(CLogData, TextNamesControlCharactersAndDropsHighBytes)
{
    for (const auto& [in, out] : {std::pair<std::string, std::string>{"a\r\nb", "a<CR><LF>b"},
                                  {std::string("x\0y", 3), "x<NUL>y"}, {"caf\xc3\xa9", "caf"}}) {
        CLogData record;
        record.SetText(in);
        EXPECT_EQ(record.GetText(), out) << in;
        EXPECT_EQ(CLogData(SEVERITY_INFORMATION, "S", CVar(in)).GetText(), out) << in;
    }
    CLogData record;
    record.SetText("a");
    record.AddText("\r");
    EXPECT_EQ(record.GetText(), "a\r");
}

TEST(CLogData, SetExceptionWithACodeGivesTheCodeAndTheSystemText)
{
    CLogData record;
    record.SetException(CException(2));
    EXPECT_EQ(record.GetLastError(), 2);
    const std::string expected = "2 = " + CException::FormatLastError(2);
    EXPECT_EQ(record.GetText(), expected);
    EXPECT_NE(record.GetText().size(), std::string("2 = ").size());

    CLogData plain;
    plain.SetException(CException("X", 0));
    EXPECT_EQ(plain.GetLastError(), 0);
    EXPECT_EQ(plain.GetText(), "X");
}

TEST(CLogData, RecordLineByteForByte)
{
    CLogData record(SEVERITY_ERROR, "CCommLayer", "App", 7, 13, CVar("hello"));
    record.SetTimestampValue(1700000000);
    record.SetCounter(5);
    record.SetHostname("box");
    const std::string hms = record.GetTimestamp().FormatHMS();
    {
        VerboseScope quiet(false);
        EXPECT_EQ(Line(record), hms + "\x16" "2\x16" "7\x16" "CCommLayer\x16" "13\x16" "hello\x16\n");
    }
    {
        VerboseScope verbose(true);
        EXPECT_EQ(Line(record), hms + "\x16" "1700000000\x16" "5\x16" "App\x16" "box\x16" "2\x16" "7\x16"
                                      "CCommLayer\x16" "13\x16" "hello\x16\n");
    }
    // The line keeps no stale time from an earlier record.
    CLogData negative(SEVERITY_LOGGER_FAILED, "S", CVar(""), -3);
    negative.SetTimestampValue(1700003661);
    const std::string later = negative.GetTimestamp().FormatHMS();
    EXPECT_NE(later, hms);
    VerboseScope quiet(false);
    EXPECT_EQ(Line(negative), later + "\x16-2\x16-3\x16S\x16" "0\x16\x16\n");
}

TEST(CLogData, BindingTableMovesEveryFieldThroughARecord)
{
    CLogData record(SEVERITY_WARNING, "src", "app", 8, 9, CVar("text"));
    record.SetTimestampValue(1600000000);
    record.SetCounter(-4);
    record.SetHostname("host");
    CRec rec(CVar(CLogData::ID));
    CLogData::OPS.Write(record, rec);
    std::vector<std::string> ids;
    for (const CVal& v : rec)
        ids.push_back(v.get_id().get_value());
    EXPECT_EQ(ids, (std::vector<std::string>{"C", "T", "S", "X", "H", "A", "B", "E", "0"}));
    EXPECT_EQ(rec.get(CVar("T")).get_value(), "1600000000");
    EXPECT_EQ(rec.get(CVar("C")).get_value(), "-4");
    CLogData back;
    CLogData::OPS.Read(back, rec);
    EXPECT_EQ(back.GetTimestampValue(), 1600000000);
    EXPECT_EQ(Fields(back), "-4|1|src|app|host|8|9|text");
    CLogData assigned;
    assigned = back; // an assignment, too, takes every field
    EXPECT_EQ(Fields(assigned), "-4|1|src|app|host|8|9|text");
}

TEST(LogFormatMsg, FieldsRunToTheLastValueThatIsNotEmpty)
{
    const std::pair<CLogFormatMsg, const char*> cases[] = {
        {CLogFormatMsg(), "||"},
        {CLogFormatMsg("a", "", "c"), "|a||c|"},
        {CLogFormatMsg("a"), "|a|"},
        {CLogFormatMsg("", "", "", "", "", "", "", "", "", "j"), "||||||||||j|"},
        {CLogFormatMsg("a", "b", "", "", ""), "|a|b|"},
        {CLogFormatMsg(1, -2, 3.5, 'x', true), "|1|-2|3.5|x|1|"},
        {CLogFormatMsg("", "b"), "||b|"},
        {CLogFormatMsg("p|q"), "|p|q|"},
    };
    for (const auto& [msg, text] : cases)
        EXPECT_EQ(msg.GetText(), text);
    EXPECT_STREQ(CLogFormatMsg("x").c_str(), "|x|");
}


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

TEST(CLog, TraceFlagIsStoredAndReported)
{
    const bool trace = CLog::EnableLogTrace();
    for (bool value : {!trace, trace}) {
        CLog::EnableLogTrace(value);
        EXPECT_EQ(CLog::EnableLogTrace(), value);
    }
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
    VerboseScope quiet(false);
    CLogData record(SEVERITY_WARNING, "Src", CVar("text\n"), 2);
    testing::internal::CaptureStdout();
    CSimpleLogger().Log(record);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, record.GetTimestamp().FormatHMS() + "\x16" "1\x16" "2\x16Src\x16" "0\x16text<LF>\x16\n");
}
