#include "properties/ContentsList.h"

#include "../pages/FakePageFeed.h"
#include "pages/MAVODoc.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

using namespace mavo;

namespace {

class ContentsListTest : public ::testing::Test {
protected:
    pagestest::FakePageFeed m_feed;

    // Every key's reference count equals how often the document lists it.
    void ExpectRefsMatch(const std::vector<unsigned>& listed)
    {
        std::map<unsigned, int> expected;
        for (unsigned key : listed)
            ++expected[key];
        for (const auto& [key, n] : m_feed.refs)
            EXPECT_EQ(n, expected[key]) << "key " << key;
        for (const auto& [key, n] : expected)
            EXPECT_EQ(m_feed.Refs(key), n) << "key " << key;
        EXPECT_EQ(m_feed.overReleases, 0);
    }
};

} // namespace

TEST_F(ContentsListTest, HoldsOneReferenceForEveryListedEntryAndReleasesThemWhenItGoes)
{
    {
        CContentsList list(m_feed, {701, 702, 701});
        EXPECT_EQ(std::pair(m_feed.Refs(701), m_feed.Refs(702)), std::pair(2, 1));
        list.Insert({0}, {801, 802});
        EXPECT_EQ(list.Keys(), (std::vector<unsigned>{701, 801, 802, 702, 701}));
        list.Remove({1, 4});
        EXPECT_EQ(list.Keys(), (std::vector<unsigned>{701, 802, 702}));
        ExpectRefsMatch(list.Keys());
    }
    // Cancel: the list goes without a commit and leaves nothing behind.
    EXPECT_EQ(m_feed.TotalRefs(), 0);
    EXPECT_EQ(m_feed.overReleases, 0);
}

TEST_F(ContentsListTest, CommitLeavesExactlyTheDocumentsReferences)
{
    CMAVODoc doc(m_feed);
    doc.SetLines({701, 702, 703});
    {
        CContentsList list(m_feed, doc.Lines());
        list.Remove({1});
        list.Insert({}, {702, 905});
        list.Insert({0}, {703});  // listed twice now
        list.Commit(doc);
        EXPECT_EQ(doc.Lines(), (std::vector<unsigned>{701, 703, 703, 702, 905}));
    }
    ExpectRefsMatch(doc.Lines());
    // Removing a line the document listed releases it once, not twice.
    {
        CContentsList list(m_feed, doc.Lines());
        list.Remove({0, 1, 2, 3, 4});
        list.Commit(doc);
    }
    EXPECT_EQ(doc.GetLineCount(), 0);
    ExpectRefsMatch({});
}

TEST_F(ContentsListTest, KeysThatNameNoLineAreNeverListed)
{
    CContentsList list(m_feed, {0, 701, 30101, 727, 100});
    EXPECT_EQ(list.Keys(), (std::vector<unsigned>{701}));
    EXPECT_EQ(m_feed.TotalRefs(), 1);
    EXPECT_EQ(std::pair(IsLineKey(CreateZPHKey(1, 27)), IsLineKey(CreateZPHKey(300, 26))), std::pair(false, true));
}

TEST_F(ContentsListTest, InsertGoesAfterTheLastSelectedRowOrAtTheEnd)
{
    CContentsList list(m_feed, {101, 102, 103});
    EXPECT_EQ(list.Insert({0, 1}, {201, 202}), (std::set<int>{2, 3}));
    EXPECT_EQ(list.Keys(), (std::vector<unsigned>{101, 102, 201, 202, 103}));
    EXPECT_EQ(list.Insert({}, {301}), (std::set<int>{5}));
    // A selection beyond the list (stale) puts them at the end.
    list.Insert({40}, {401});
    EXPECT_EQ(list.Keys(), (std::vector<unsigned>{101, 102, 201, 202, 103, 301, 401}));
}

TEST_F(ContentsListTest, UpAndDownMoveTheSelectedRowsAndStopAtTheEdges)
{
    CContentsList real(m_feed, {101, 102, 103, 104, 105});
    EXPECT_EQ(real.MoveUp({1, 3}), (std::set<int>{0, 2}));
    EXPECT_EQ(real.Keys(), (std::vector<unsigned>{102, 101, 104, 103, 105}));
    // Row 0 is at the edge; row 1 is packed against it: both stay.
    EXPECT_EQ(real.MoveUp({0, 1, 4}), (std::set<int>{0, 1, 3}));
    EXPECT_EQ(real.Keys(), (std::vector<unsigned>{102, 101, 104, 105, 103}));
    EXPECT_EQ(real.MoveDown({3, 4}), (std::set<int>{3, 4}));
    EXPECT_EQ(real.MoveDown({0, 2}), (std::set<int>{1, 3}));
    EXPECT_EQ(real.Keys(), (std::vector<unsigned>{101, 102, 105, 104, 103}));
    // Moving never changes the references.
    EXPECT_EQ(m_feed.TotalRefs(), 5);
}

TEST_F(ContentsListTest, RowsShowPageLineAndTheIssueOrTextInTwelveCharacters)
{
    LineObject field(7, 3);
    field.m_issueName = "UST 10Y";
    m_feed.cache.Put(703, field);
    LineObject text(7, 4);
    text.m_kind = 'T';
    text.m_text = "  --- EUROPE AND ASIA ---";
    m_feed.cache.Put(704, text);
    LineObject hidden(7, 5);
    hidden.m_issueName = "SECRET";
    hidden.m_issueFlags = 0x40000;
    m_feed.cache.Put(705, hidden);

    CContentsList list(m_feed, {703, 704, 705, 706});
    const ContentsRow row = list.Row(0);
    EXPECT_EQ(std::tie(row.page, row.line, row.issue), std::make_tuple("7", "3", "     UST 10Y"));
    EXPECT_EQ(list.Row(1).issue, "  --- EUROPE AND ASIA ---");  // longer: never cut
    EXPECT_EQ(list.Row(2).issue, std::string(12, ' '));         // withheld issue
    EXPECT_EQ(list.Row(3).issue, std::string(12, ' '));         // not in the cache
    m_feed.userLevel = CPageFeed::kFullViewLevel;
    EXPECT_EQ(list.Row(2).issue, "      SECRET");
}

TEST_F(ContentsListTest, SelectLineRowsListLinesOneToTwentySixWithTheirOwnNumbers)
{
    LineObject field(9, 2);
    field.m_issueName = "BUND";
    m_feed.cache.Put(902, field);
    const std::vector<SelectLineRow> rows = SelectLineRows(9, m_feed.cache, false);
    ASSERT_EQ(rows.size(), 26u);
    EXPECT_EQ(std::tie(rows[0].key, rows[0].lineNumber, rows[25].key), std::make_tuple(901u, "", 926u));
    const SelectLineRow& bund = rows[1];
    EXPECT_EQ(std::tie(bund.key, bund.page, bund.line, bund.lineNumber, bund.issue),
              std::make_tuple(902u, "9", "2", "2", "        BUND"));
    for (int page : {0, 301})
        EXPECT_TRUE(SelectLineRows(page, m_feed.cache, false).empty()) << page;
}
