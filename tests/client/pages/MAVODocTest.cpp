#include "pages/MAVODoc.h"

#include "Brindle/base/RegSection.h"
#include "FakePageFeed.h"
#include "TempDir.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

using namespace mavo;
using Brindle::CRegSection;

namespace {

class RecordingView : public CDocumentView {
public:
    int linesChanged = 0, redraws = 0, titles = 0;
    int format = 0;
    void OnLinesChanged() override { ++linesChanged; }
    void OnRedraw() override { ++redraws; }
    void OnTitleChanged() override { ++titles; }
    bool SaveView(const CRegSection& section) override { return section.SetInt("ViewValue", format) != 0; }
};

class MAVODocTest : public ::testing::Test {
protected:
    testsupport::ScopedRegistryDir m_registry;
    pagestest::FakePageFeed m_feed;

    static CRegSection Section(const char* path = "Software/Halvern/MAVO/MAVO Document/0")
    {
        return CRegSection(HKEY_CURRENT_USER, path);
    }

    static int Stored(const CRegSection& section, const char* name)
    {
        int value = -1;
        section.GetInt(name, value, -1);
        return value;
    }

    static std::vector<unsigned> PageKeys(int page, int from, int to)
    {
        std::vector<unsigned> keys;
        for (int line = from; line <= to; ++line)
            keys.push_back(CreateZPHKey(page, line));
        return keys;
    }
};

} // namespace

TEST_F(MAVODocTest, NewPageListsTheWholePageWithOneReferenceEach)
{
    CMAVODoc doc(m_feed);
    RecordingView view;
    doc.AddView(&view);
    EXPECT_FALSE(doc.IsReady());
    ASSERT_TRUE(doc.NewPage(7, "Page 7"));
    EXPECT_EQ(std::tuple(doc.IsReady(), doc.GetLineCount(), doc.GetPage(), doc.GetTitle()),
              std::tuple(true, 26, 7, "Page 7"));
    for (const auto& [position, key] : {std::pair{0, 701u}, {25, 726u}, {26, 0u}, {-1, 0u}})
        EXPECT_EQ(doc.GetLineKey(position), key) << position;
    EXPECT_EQ(std::pair(doc.GetLinePosition(712), doc.GetLinePosition(812)), std::pair(11, -1));
    EXPECT_EQ(std::pair(m_feed.TotalRefs(), m_feed.refs[705]), std::pair(26, 1));
    EXPECT_GE(std::min(view.linesChanged, view.redraws), 1);

    for (int page : {301, 0})
        EXPECT_FALSE(doc.NewPage(page, "x")) << page;
    EXPECT_EQ(doc.GetPage(), 7);
    doc.RemoveView(&view);
}

TEST_F(MAVODocTest, ReferencesAreReleasedOnClearReplaceAndDestruction)
{
    {
        CMAVODoc doc(m_feed);
        doc.NewPage(3, "Page 3");
        doc.SetLines(PageKeys(3, 1, 5));
        EXPECT_EQ(m_feed.TotalRefs(), 5);
        EXPECT_EQ(m_feed.refs[326], 0);
        doc.ClearLines();
        EXPECT_EQ(m_feed.TotalRefs(), 0);
        EXPECT_EQ(doc.GetLineCount(), 0);
        doc.SetLines(PageKeys(4, 1, 3));
    }
    EXPECT_EQ(m_feed.TotalRefs(), 0);
}

TEST_F(MAVODocTest, PageIsRecomputedFromTheListAndSaved)
{
    CMAVODoc doc(m_feed);
    doc.NewPage(7, "Page 7");
    auto keys = doc.CopyLines();
    keys.pop_back();  // lines 1..25 of page 7: still page 7
    doc.SetLines(keys);
    EXPECT_EQ(doc.GetPage(), 7);
    std::swap(keys[0], keys[1]);
    doc.SetLines(keys);
    EXPECT_EQ(doc.GetPage(), 0);
    ASSERT_TRUE(doc.Save(Section()));  // a reordered page is stored as page 0
    EXPECT_EQ(Stored(Section(), "Page"), 0);
    doc.SetLines(PageKeys(9, 2, 4));  // does not start at line 1
    EXPECT_EQ(doc.GetPage(), 0);
    doc.SetLines(PageKeys(9, 1, 4));
    EXPECT_EQ(doc.GetPage(), 9);
    doc.SetLines({});
    EXPECT_EQ(doc.GetPage(), 9);  // an empty list keeps it
    auto mixed = PageKeys(9, 1, 2);
    mixed.push_back(CreateZPHKey(10, 3));
    doc.SetLines(mixed);
    EXPECT_EQ(doc.GetPage(), 0);
}

TEST_F(MAVODocTest, KeyListedTwiceHasBothPositions)
{
    CMAVODoc doc(m_feed);
    doc.SetLines({701, 702, 701, 0, 30127});
    EXPECT_EQ(doc.GetLineCount(), 3);  // keys that name no line are dropped
    EXPECT_EQ(std::tuple(doc.PositionsOf(701), doc.PositionsOf(702), doc.PositionsOf(703)),
              std::tuple(std::vector<int>{0, 2}, std::vector<int>{1}, std::vector<int>{}));
    EXPECT_EQ(m_feed.refs[701], 2);
}

TEST_F(MAVODocTest, SaveAndLoadRoundTrip)
{
    RecordingView view;
    view.format = 42;
    {
        CMAVODoc doc(m_feed);
        doc.NewPage(7, "Rates");
        doc.AddView(&view);
        ASSERT_TRUE(doc.Save(Section()));
        doc.RemoveView(&view);
    }
    EXPECT_EQ(std::tuple(Stored(Section(), "Page"), Stored(Section(), "LineCount"),
                         Stored(CRegSection(Section(), "Views/0"), "ViewValue"),
                         Stored(CRegSection(Section(), "Lines"), "25")),
              std::tuple(7, 26, 42, 726));

    CMAVODoc back(m_feed);
    back.Load(Section());
    EXPECT_EQ(std::tuple(back.IsReady(), back.GetTitle(), back.GetPage()), std::tuple(true, "Rates", 7));
    EXPECT_EQ(back.Lines(), PageKeys(7, 1, 26));
    EXPECT_EQ(CMAVODoc::ViewSectionNames(Section()), std::vector<std::string>{"0"});
    EXPECT_EQ(m_feed.refs[701], 1);
}

TEST_F(MAVODocTest, LoadDropsBadKeysAndReadsOnlyStoredLines)
{
    CRegSection s = Section();
    s.SetStr("Title", std::string(120, 'T'));
    s.SetInt("LineCount", 2000000000);
    s.SetInt("Page", 12345);
    CRegSection lines(s, "Lines");
    lines.SetInt("0", 30101);  // page 301
    lines.SetInt("1", 1201);
    lines.SetInt("2", 1227);   // line 27
    lines.SetInt("5", 1205);   // a gap before it
    lines.SetInt("x", 1203);   // no position
    lines.SetInt("03", 1204);  // not a plain position
    lines.SetInt("-1", 1206);

    CMAVODoc doc(m_feed);
    doc.Load(s);
    EXPECT_EQ(doc.Lines(), (std::vector<unsigned>{1201, 1205}));
    EXPECT_EQ(std::tuple(doc.GetTitle(), doc.GetPage(), m_feed.TotalRefs()), std::tuple(std::string(80, 'T'), 0, 2));

    // A "LineCount" smaller than the stored lines reads only that many.
    s.SetInt("LineCount", 2);
    CMAVODoc fewer(m_feed);
    fewer.Load(s);
    EXPECT_EQ(fewer.Lines(), (std::vector<unsigned>{1201}));
}

TEST_F(MAVODocTest, TitleComesFromTheFeedOrThePageNumber)
{
    EXPECT_EQ(CMAVODoc::TitleFor(12, m_feed.cache), "Page 12");
    for (const char* title : {"", "GOVIES"}) {
        m_feed.cache.SetTitle(12, title);
        EXPECT_EQ(CMAVODoc::TitleFor(12, m_feed.cache), *title ? title : "Page 12");
    }
}

TEST_F(MAVODocTest, OwnOrdersGuardTheCloseOnlyWithOrderEntry)
{
    CMAVODoc doc(m_feed);
    doc.NewPage(5, "Page 5");
    LineObject line(5, 4);
    line.m_offer.m_ownLevel = 2;
    m_feed.cache.Put(504, line);
    EXPECT_FALSE(doc.HoldsOwnOrders());
    m_feed.orderEntry = true;
    EXPECT_TRUE(doc.HoldsOwnOrders());
    line.m_offer.m_ownLevel = 0;
    m_feed.cache.Put(504, line);
    EXPECT_FALSE(doc.HoldsOwnOrders());
}

TEST(AddNewPage, SpinButtonsStayInsideThePages)
{
    for (const auto& [page, up] : {std::pair{295, 300}, {290, 300}, {1, 11}, {-10, 300}})
        EXPECT_EQ(AddTenPages(page), up) << page;
    for (const auto& [page, down] : {std::pair{5, 1}, {10, 1}, {11, 1}, {12, 2}, {320, 1}, {300, 290}})
        EXPECT_EQ(SubtractTenPages(page), down) << page;
}

TEST_F(MAVODocTest, ADocumentOfSeveralPagesRequestsEachPageItMaySee)
{
    CMAVODoc doc(m_feed);
    std::vector<unsigned> keys = PageKeys(2, 1, 2);
    for (unsigned key : PageKeys(3, 5, 6))
        keys.push_back(key);
    keys.push_back(CreateZPHKey(1, 4));
    keys.push_back(CreateZPHKey(2, 9));
    doc.SetLines(keys);
    EXPECT_EQ(doc.GetPage(), 0);
    EXPECT_EQ(doc.PagesOfLines(), (std::vector<int>{2, 3, 1}));

    m_feed.requestedPages.clear();
    m_feed.deniedPages = {3};
    doc.RequestPages();
    EXPECT_EQ(m_feed.requestedPages, (std::vector<int>{2, 1}));

    CMAVODoc empty(m_feed);
    m_feed.requestedPages.clear();
    empty.RequestPages();
    EXPECT_TRUE(m_feed.requestedPages.empty());
}
