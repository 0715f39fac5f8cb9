#include "Brindle/base/FileLogger.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/LogStream.h"
#include "Brindle/base/Logger.h"

#include "BaseTestSupport.h"
#include "LocaleZone.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <locale>
#include <fstream>
#include <sstream>

using namespace Brindle;
using basetest::ReadFile;

namespace {

// A file logger on a clock the test moves.
class CClockedFileLogger : public CFileLogger {
public:
    using CFileLogger::CFileLogger;
    CTimestamp m_now{1700000000};
    CTimestamp Now() const override { return m_now; }
};

CLogData Record(const std::string& text)
{
    return CLogData(SEVERITY_INFORMATION, "S", CVar(text));
}

// The record lines of the records, as the file holds them.
std::string LinesOf(std::initializer_list<CLogData> records)
{
    std::ostringstream out;
    for (const CLogData& record : records)
        out << record;
    return out.str();
}

} // namespace

TEST(CFileLogger, WritesRecordLinesToTheDaysFileAndAppends)
{
    testsupport::TempDir dir;
    const std::string base = dir.str() + "/App";
    const CLogData one = Record("one"), two = Record("two");
    {
        CFileLogger logger;
        EXPECT_EQ(logger.GetBaseName(), "LOG");
        EXPECT_EQ(logger.GetFileName(), "");
        logger.SetBaseName(base, false);
        EXPECT_EQ(logger.GetFileName(), base + "_" + CTimestamp().FormatYMD() + ".log");
        EXPECT_TRUE(std::filesystem::exists(logger.GetFileName()));
        logger.Log(one);
        // Written through before Log returns.
        EXPECT_EQ(ReadFile(logger.GetFileName()), LinesOf({one}));
    }
    CFileLogger again(base);
    again.SetBaseName(base, false);
    again.Log(two);
    EXPECT_EQ(ReadFile(again.GetFileName()), LinesOf({one, two}));

    again.SetBaseName(base, true);
    again.Log(one);
    EXPECT_EQ(ReadFile(again.GetFileName()), LinesOf({one}));
}

TEST(CFileLogger, FirstRecordOpensTheFileWhenNoBaseNameWasSetAndMakesItsDirectories)
{
    testsupport::TempDir dir;
    CFileLogger logger(dir.str() + "/a/b/c/First");
    EXPECT_EQ(logger.GetFileName(), "");
    logger.Log(Record("kept"));
    ASSERT_NE(logger.GetFileName(), "");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "a/b/c"));
    EXPECT_NE(ReadFile(logger.GetFileName()).find("kept"), std::string::npos);
}

TEST(CFileLogger, SwitchesFilesWithTheFirstRecordAfterLocalMidnight)
{
    testsupport::ScopedTimeZone zone("Europe/London");
    testsupport::TempDir dir;
    CClockedFileLogger logger(dir.str() + "/Day");
    logger.m_now = CTimestamp(2024, 3, 30, 23, 59, 58);
    logger.SetBaseName(dir.str() + "/Day", false);
    EXPECT_EQ(logger.GetFileName(), dir.str() + "/Day_20240330.log");
    logger.Log(Record("before"));
    const struct {
        CTimestamp at;
        const char* text;
        const char* day;
    } steps[] = {
        {CTimestamp(2024, 3, 30, 23, 59, 59), "last second", "20240330"},
        // The night the clocks go forward: the day is 23 hours long.
        {CTimestamp(2024, 3, 31, 0, 0, 0), "after", "20240331"},
        {CTimestamp(2024, 3, 31, 23, 59, 59), "end of short day", "20240331"},
        {CTimestamp(2024, 4, 1, 0, 0, 0), "april", "20240401"},
        // Going back in time (the clock was set back) also changes the file.
        {CTimestamp(2024, 3, 31, 12, 0, 0), "back", "20240331"},
    };
    for (const auto& step : steps) {
        logger.m_now = step.at;
        logger.Log(Record(step.text));
        EXPECT_EQ(logger.GetFileName(), dir.str() + "/Day_" + step.day + ".log") << step.text;
    }
    const std::string first = ReadFile(dir.str() + "/Day_20240330.log");
    const std::string second = ReadFile(dir.str() + "/Day_20240331.log");
    for (const char* text : {"before", "last second"})
        EXPECT_NE(first.find(text), std::string::npos) << text;
    for (const char* text : {"after", "end of short day"})
        EXPECT_NE(second.find(text), std::string::npos) << text;
    EXPECT_EQ(first.find("after"), std::string::npos);
    EXPECT_EQ(second.find("april"), std::string::npos);
}

TEST(CFileLogger, AnUnwritablePlaceLosesRecordsQuietly)
{
    testsupport::TempDir dir;
    std::ofstream(dir.str() + "/file") << "x";
    CFileLogger logger;
    logger.SetBaseName(dir.str() + "/file/App", false);
    EXPECT_EQ(logger.GetFileName(), "");
    EXPECT_NO_THROW(logger.Log(Record("lost")));
}

TEST(log_stream, RecordsCarryConsecutiveCountersAndStartClean)
{
    log_stream stream;
    basetest::KeepingLogger keep;
    stream.GetLogData().SetSource("Src");
    stream.GetLogData().SetBatch(5);
    stream.GetLogData().SetSeverity(SEVERITY_ERROR);
    stream.GetLogData().SetLastError(11);
    stream << "n=" << 1234567 << ' ' << 1.5 << "\r\n" << std::string("caf\xc3\xa9");
    stream.Log();
    stream << "second";
    stream.Log();
    ASSERT_EQ(keep.records.size(), 2u);
    EXPECT_EQ(keep.records[0].GetText(), "n=1234567 1.5<CR><LF>caf");
    EXPECT_EQ(keep.records[0].GetSeverity(), SEVERITY_ERROR);
    EXPECT_EQ(keep.records[0].GetLastError(), 11);
    EXPECT_EQ(keep.records[1].GetCounter(), keep.records[0].GetCounter() + 1);
    EXPECT_EQ(keep.records[1].GetText(), "second");
    EXPECT_EQ(keep.records[1].GetSeverity(), SEVERITY_INFORMATION);
    EXPECT_EQ(keep.records[1].GetLastError(), 0);
    EXPECT_EQ(keep.records[1].GetSource(), "Src");
    EXPECT_EQ(keep.records[1].GetBatch(), 5);
    EXPECT_EQ(keep.records[1].GetApplication(), GetLocalApplicationName());
    EXPECT_EQ(stream.GetLogData().GetSeverity(), SEVERITY_INFORMATION);
    EXPECT_EQ(stream.GetOstr().str(), "");
}

TEST(log_stream, GlobalStreamTakesItsIdentityOnFirstUse)
{
    CLogData& record = lstr.GetLogData();
    EXPECT_EQ(record.GetHostname(), GetLocalHostname());
    EXPECT_FALSE(record.GetSource().empty());
    const int before = record.GetCounter();
    lstr << "x";
    lstr.Log();
    EXPECT_EQ(lstr.GetLogData().GetCounter(), before + 1);
}

TEST(log_stream, NumbersDoNotFollowTheProcessLocale)
{
    testsupport::ScopedForeignLocale german;
    if (!german.available())
        GTEST_SKIP() << "no German locale";
    std::locale previous;
    try {
        std::locale::global(std::locale("de_DE.UTF-8"));
    } catch (const std::exception&) {
        GTEST_SKIP() << "no German C++ locale";
    }
    {
        log_stream stream;
        stream << 1.5 << ' ' << 1234567;
        EXPECT_EQ(stream.GetOstr().str(), "1.5 1234567");
    }
    std::locale::global(previous);
}
