#include "Brindle/base/Exception.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/LogData.h"
#include "Brindle/base/Logger.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>

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

} // namespace

TEST(SeverityString, NamesTheFourSeveritiesAndQuestionsTheRest)
{
    const struct {
        int value;
        const char* text;
    } cases[] = {{0, "I"}, {1, "W"}, {2, "E"}, {3, "D"}, {4, "?"}, {5, "?"}, {-1, "?"}, {-2, "?"}, {1000, "?"}};
    for (const auto& c : cases)
        EXPECT_STREQ(SeverityString(static_cast<SEVERITY>(c.value)), c.text) << c.value;
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
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"a\r\nb", "a<CR><LF>b"},
        {std::string("x\0y", 3), "x<NUL>y"},
        {"\t", "<HT>"},
        {"caf\xc3\xa9", "caf"},
        {"plain", "plain"},
    };
    for (const auto& c : cases) {
        CLogData record;
        record.SetText(c.in);
        EXPECT_EQ(record.GetText(), c.out) << c.in;
        CLogData built(SEVERITY_INFORMATION, "S", CVar(c.in));
        EXPECT_EQ(built.GetText(), c.out) << c.in;
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

TEST(CLogData, SettersAndCopies)
{
    CLogData record;
    record.SetTimestampValue(1700000000);
    record.SetCounter(9);
    record.SetSeverityValue(-1);
    record.SetSource("src");
    record.SetApplication("app");
    record.SetHostname("host");
    record.SetBatch(4);
    record.SetLastError(5);
    record.SetText("t");
    CLogData copy(record);
    CLogData assigned;
    assigned = record;
    for (const CLogData* r : {&copy, &assigned}) {
        EXPECT_EQ(r->GetTimestampValue(), 1700000000);
        EXPECT_EQ(r->GetTimestamp().GetTimestamp(), 1700000000);
        EXPECT_EQ(r->GetSeverity(), SEVERITY_COMM_ERROR);
        EXPECT_EQ(Fields(*r), "9|-1|src|app|host|4|5|t");
    }
    record.SetNow();
    EXPECT_GT(record.GetTimestampValue(), 1700000000);
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
    CLogData negative(SEVERITY_LOGGER_FAILED, "S", CVar(""), -3);
    negative.SetTimestampValue(1700000000);
    VerboseScope quiet(false);
    EXPECT_EQ(Line(negative), hms + "\x16-2\x16-3\x16S\x16" "0\x16\x16\n");
}

TEST(CLogData, RecordLineTimeFollowsEachRecord)
{
    // The line keeps no stale time from an earlier record.
    VerboseScope quiet(false);
    CLogData a, b;
    a.SetTimestampValue(1700000000);
    b.SetTimestampValue(1700003661);
    EXPECT_EQ(Line(a).substr(0, 8), a.GetTimestamp().FormatHMS());
    EXPECT_EQ(Line(b).substr(0, 8), b.GetTimestamp().FormatHMS());
    EXPECT_NE(Line(a).substr(0, 8), Line(b).substr(0, 8));
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
}
