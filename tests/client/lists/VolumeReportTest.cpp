// The trade volume report's display-free part: stored reports and their
// names, the keys of a run, row texts and the total that counts each issue
// once.
#include "lists/VolumeReport.h"

#include "Brindle/base/RegSection.h"
#include "TempDir.h"
#include "zph/LineCache.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace mavo;

namespace {

LineObject FieldLine(const std::string& issue, const std::string& volume)
{
    LineObject line;
    line.m_kind = 'F';
    line.m_issueName = issue;
    line.m_dailyVolume = volume;
    return line;
}

LineObject TextLine(const std::string& text)
{
    LineObject line;
    line.m_kind = 'T';
    line.m_text = text;
    return line;
}

class ReportStoreTest : public testing::Test {
protected:
    testsupport::ScopedRegistryDir registry;
    Brindle::CRegSection section{HKEY_CURRENT_USER, "Software/Test/VolumeReport"};
};

} // namespace

TEST(ReportNameTest, NamesCompareWithoutCaseAndBlankNamesAreRefused)
{
    const std::vector<std::string> names{"Latam", "Swaps"};
    for (const auto& [name, found] : {std::pair{"LATAM", 0}, {"swaps", 1}, {"Swap", -1}})
        EXPECT_EQ(FindReportName(names, name), found) << name;
    for (const std::string& bad : {std::string(), std::string("   "), std::string(21, 'a')})
        EXPECT_FALSE(IsValidReportName(bad)) << bad;
    EXPECT_TRUE(IsValidReportName(std::string(20, 'a')));
    EXPECT_EQ(TrimReportName("  Latam 2 \t"), "Latam 2");
}

TEST_F(ReportStoreTest, ReportsRoundTripAndDeleteOnlyTheirOwnValue)
{
    ASSERT_TRUE(SaveReport(section, "Latam", {5, 7}));
    std::vector<int> many;
    for (int page = 1; page <= 300; ++page)
        many.push_back(page);
    ASSERT_TRUE(SaveReport(section, "Everything", many));
    for (const char* blank : {" ", ""})
        EXPECT_FALSE(SaveReport(section, blank, {1}));

    EXPECT_EQ(LoadReportNames(section), (std::vector<std::string>{"Latam", "Everything"}));
    EXPECT_EQ(LoadReportPages(section, "Latam"), (std::vector<int>{5, 7}));
    // Longer than 256 characters, read whole.
    EXPECT_EQ(LoadReportPages(section, "Everything"), many);

    // A hand-edited value: pages out of range go, the rest stay in order.
    section.SetStr("Edited", "9 0 -3 2 301");
    EXPECT_EQ(LoadReportPages(section, "Edited"), (std::vector<int>{9, 2}));

    ASSERT_TRUE(DeleteReport(section, "Latam"));
    EXPECT_EQ(LoadReportNames(section), (std::vector<std::string>{"Everything", "Edited"}));
    EXPECT_FALSE(DeleteReport(section, "Latam"));
    EXPECT_FALSE(DeleteReport(section, ""));
}

TEST(ReportRowsTest, RunListsEveryLineOfEachPageInOrder)
{
    const std::vector<unsigned> keys = ReportKeys({5, 7});
    ASSERT_EQ(keys.size(), 52u);
    for (int i = 0; i < 52; ++i)
        EXPECT_EQ(keys[i], CreateZPHKey(i < 26 ? 5 : 7, i % 26 + 1)) << i;
}

TEST(ReportRowsTest, RowTextsForFieldTextAndMissingLines)
{
    const LineObject field = FieldLine("UST 10Y", "1250");
    EXPECT_EQ(MakeReportRow(CreateZPHKey(5, 3), &field), (ReportRowText{"5", "3", "     UST 10Y", "1250"}));
    const LineObject text = TextLine("BRAZIL");
    EXPECT_EQ(MakeReportRow(CreateZPHKey(12, 26), &text), (ReportRowText{"12", "26", "      BRAZIL", ""}));
    const LineObject longName = FieldLine("MEXIVAL 5.75 110", "");
    EXPECT_EQ(MakeReportRow(CreateZPHKey(1, 1), &longName).issue, "MEXIVAL 5.75 110");
    EXPECT_EQ(MakeReportRow(CreateZPHKey(300, 1), nullptr), (ReportRowText{"300", "1", "???????", ""}));
}

TEST(ReportTotalTest, EachIssueCountsOnceAndMissingLinesAddNothing)
{
    LineCache cache;
    cache.Put(CreateZPHKey(5, 1), FieldLine("ARGENTA 29", "100.5"));
    cache.Put(CreateZPHKey(5, 2), FieldLine("BRAVIA 30", "20"));
    cache.Put(CreateZPHKey(7, 1), FieldLine("ARGENTA 29", "100.5"));  // the same issue on another page
    cache.Put(CreateZPHKey(7, 2), TextLine("300"));
    cache.Put(CreateZPHKey(7, 3), FieldLine("NO VOLUME", ""));
    EXPECT_DOUBLE_EQ(TotalVolume(cache, ReportKeys({5, 7, 9})), 120.5);
    EXPECT_DOUBLE_EQ(TotalVolume(cache, ReportKeys({9})), 0.0);
}

TEST(ReportTotalTest, VolumeTextsAndTheTotalIgnoreTheLocale)
{
    // No exponents in a volume.
    const std::pair<std::string, double> values[] = {{"1250", 1250.0}, {" 12.75", 12.75}, {"30MM", 30.0},
                                                     {"abc", 0.0},     {"", 0.0},         {"1e5", 1.0},
                                                     {std::string(400, '9'), 0.0}};
    for (const auto& [text, value] : values)
        EXPECT_DOUBLE_EQ(VolumeValue(text), value) << text;

    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old != nullptr ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // where it exists: ',' as the decimal point
    for (const auto& [total, text] : {std::pair{120.5, "  120.50"}, {0.0, "    0.00"}, {123456789.125, "123456789.12"}})
        EXPECT_EQ(FormatTotal(total), text) << total;
    EXPECT_DOUBLE_EQ(VolumeValue("2.5"), 2.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(ReportResultsLabel("Latam"), "Latam Report Results:");
}
