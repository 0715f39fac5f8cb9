#include "MessageBuilder.h"
#include "protocol/FieldIds.h"
#include "zph/LineCache.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

using namespace ZPH;

using namespace ZPHWire;
using zphtest::Msg;

namespace {

ZPHMessage Line(char type, int page, int line, const std::string& issue)
{
    return Msg(type, page, line, F_ISSUE_NAME, issue);
}

class LineCacheTest : public ::testing::Test {
protected:
    std::string Issue(int page, int line)
    {
        LineRef ref = cache.GetForRead(CreateZPHKey(page, line));
        return ref ? ref->m_issueName : std::string("<none>");
    }
    // A cached line's flags, none when the line is not there.
    std::optional<unsigned> Flags(unsigned key)
    {
        LineRef ref = cache.GetForRead(key);
        return ref ? std::optional<unsigned>(ref->m_lineFlags) : std::nullopt;
    }
    std::optional<unsigned> LocalFlag(unsigned key)
    {
        const std::optional<unsigned> flags = Flags(key);
        return flags ? std::optional<unsigned>(*flags & LOCAL_LINE_FLAGS) : std::nullopt;
    }
    std::vector<std::string> Issues(int page, std::initializer_list<int> lines)
    {
        std::vector<std::string> issues;
        for (int line : lines)
            issues.push_back(Issue(page, line));
        return issues;
    }

    LineCache cache;
    std::vector<unsigned> changed;
};

} // namespace

TEST_F(LineCacheTest, ASnapshotOutlivesUpdatesEraseAndClear)
{
    ASSERT_TRUE(cache.Apply(Line(MSG_REFRESH, 5, 1, "first"), changed));
    LineRef held = cache.GetForRead(CreateZPHKey(5, 1));
    ASSERT_TRUE(held);

    ASSERT_TRUE(cache.Apply(Line(MSG_DATA, 5, 1, "second"), changed));
    EXPECT_EQ(std::pair(held->m_issueName, Issue(5, 1)), std::pair(std::string("first"), std::string("second")));

    ASSERT_TRUE(cache.Apply(ZPHMessage(MSG_ERASE, 5, 1), changed));
    cache.Clear();
    EXPECT_EQ(std::tie(held->m_issueName, held->m_page), std::tuple("first", 5));
    EXPECT_FALSE(cache.GetForRead(CreateZPHKey(5, 1)));
    EXPECT_EQ(cache.GetLineCount(), 0u);
}

TEST_F(LineCacheTest, InsertAndEraseShiftThePageAndRenumberTheLines)
{
    for (int line = 1; line <= MAX_LINE; ++line)
        ASSERT_TRUE(cache.Apply(Line(MSG_REFRESH, 9, line, "L" + std::to_string(line)), changed));
    cache.Apply(Line(MSG_REFRESH, 10, 1, "other page"), changed);

    changed.clear();
    ASSERT_TRUE(cache.Apply(Line(MSG_INSERT, 9, 3, "new"), changed));
    EXPECT_EQ(Issues(9, {2, 3, 4, 26}), (std::vector<std::string>{"L2", "new", "L3", "L25"}))
        << "line 26 falls off the page";
    EXPECT_EQ(cache.GetForRead(CreateZPHKey(9, 4))->m_line, 4);
    EXPECT_EQ(changed.size(), 24u);

    changed.clear();
    ASSERT_TRUE(cache.Apply(ZPHMessage(MSG_ERASE, 9, 1), changed));
    EXPECT_EQ(Issues(9, {1, 2, 25, 26}), (std::vector<std::string>{"L2", "new", "L25", "<none>"}));
    EXPECT_EQ(Issue(10, 1), "other page");
}

TEST_F(LineCacheTest, ClearTakesALineAPageOrEverything)
{
    for (int page : {1, 2})
        for (int line = 1; line <= 3; ++line)
            cache.Apply(Line(MSG_REFRESH, page, line, "x"), changed);

    changed.clear();
    ASSERT_TRUE(cache.Apply(ZPHMessage(MSG_CLEAR, 1, 2), changed));
    EXPECT_EQ(changed, std::vector<unsigned>{CreateZPHKey(1, 2)});
    ASSERT_TRUE(cache.Apply(ZPHMessage(MSG_CLEAR, 2, 0), changed));
    EXPECT_EQ(cache.GetLineCount(), 2u);
    ASSERT_TRUE(cache.Apply(ZPHMessage(MSG_CLEAR, 0, 0), changed));
    EXPECT_EQ(cache.GetLineCount(), 0u);
    EXPECT_EQ(changed.size(), 6u);
}

TEST_F(LineCacheTest, OutOfRangeOrUnknownMessagesChangeNothing)
{
    for (auto [type, page, line] : {std::tuple{MSG_DATA, 0, 1}, {MSG_DATA, 301, 1}, {MSG_REFRESH, 1, 27},
                                     {MSG_INSERT, 1, 0}, {MSG_ERASE, -1, 3}, {MSG_CLEAR, 1, 27},
                                     {MSG_CLEAR, 0, 5}, {MSG_TITLE, 1, 1}}) {
        EXPECT_FALSE(cache.Apply(Line(type, page, line, "x"), changed)) << type << page << "/" << line;
    }
    EXPECT_FALSE(cache.Apply(Msg(MSG_DATA, 1, 1, F_BID_ATTRIBUTE, "x"), changed));
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(cache.GetLineCount(), 0u);
}

TEST_F(LineCacheTest, LocalFlagsStayWithTheKeyWhateverTheFeedSends)
{
    const unsigned key = CreateZPHKey(3, 3);
    EXPECT_FALSE(cache.GetForWrite(key)) << "no line, no writer";
    for (int line = 1; line <= 3; ++line)
        cache.Apply(Line(MSG_REFRESH, 3, line, "x"), changed);
    {
        LineWriter writer = cache.GetForWrite(key);
        ASSERT_TRUE(writer);
        writer->m_lineFlags |= LOCAL_LINE_FLAGS;
        EXPECT_EQ(LocalFlag(key), 0u) << "unpublished until the writer goes";
    }
    EXPECT_EQ(LocalFlag(key), LOCAL_LINE_FLAGS);

    cache.Apply(Msg(MSG_REFRESH, 3, 3, F_LINE_FLAGS, 0x10u), changed);
    EXPECT_EQ(Flags(key), 0x10u | LOCAL_LINE_FLAGS);

    // The bit marks the key, not the line that moves away from it.
    cache.Apply(Line(MSG_INSERT, 3, 1, "above"), changed);
    ASSERT_TRUE(cache.GetForRead(key));
    EXPECT_EQ(LocalFlag(key), LOCAL_LINE_FLAGS);
    EXPECT_EQ(Flags(CreateZPHKey(3, 4)), 0x10u);

    cache.Clear();
    cache.Apply(Line(MSG_REFRESH, 3, 3, "back"), changed);
    EXPECT_EQ(LocalFlag(key), LOCAL_LINE_FLAGS);
    {
        LineWriter writer = cache.GetForWrite(key);
        ASSERT_TRUE(writer);
        writer->m_lineFlags &= ~LOCAL_LINE_FLAGS;
    }
    EXPECT_EQ(LocalFlag(key), 0u);
}

TEST_F(LineCacheTest, WritersAreNotLostWhenFeedAndClientWriteAtOnce)
{
    const unsigned key = CreateZPHKey(1, 1);
    cache.Apply(Line(MSG_REFRESH, 1, 1, "x"), changed);
    std::atomic<bool> stop{false};
    std::thread feed([&] {
        std::vector<unsigned> keys;
        for (int i = 0; i < 20000; ++i) {
            cache.Apply(Msg(MSG_DATA, 1, 1, F_BID_RATE, std::to_string(i)), keys);
            keys.clear();
        }
        stop = true;
    });
    int toggles = 0;
    while (!stop) {
        LineWriter writer = cache.GetForWrite(key);
        writer->m_lineFlags ^= LOCAL_LINE_FLAGS;
        ++toggles;
    }
    feed.join();
    const LineRef line = cache.GetForRead(key);
    EXPECT_EQ(line->m_bid.m_rate, "19999");
    EXPECT_EQ((line->m_lineFlags & LOCAL_LINE_FLAGS) != 0, toggles % 2 == 1);
}

TEST_F(LineCacheTest, ReadersAlwaysSeeWholeLines)
{
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                for (int line = 1; line <= 4; ++line) {
                    if (LineRef ref = cache.GetForRead(CreateZPHKey(2, line))) {
                        // The writer always sets both sides to the same text.
                        ASSERT_EQ(ref->m_bid.m_rate, ref->m_offer.m_rate);
                        ASSERT_EQ(ref->m_line, line);
                        ++reads;
                    }
                }
            }
        });
    }
    for (int i = 0; i < 20000; ++i) {
        const int line = i % 4 + 1;
        const std::string rate = std::to_string(i);
        cache.Apply(Msg(i % 7 == 0 ? MSG_REFRESH : MSG_DATA, 2, line, F_BID_RATE, rate, F_OFFER_RATE, rate), changed);
        if (i % 1000 == 999)
            cache.Clear();
        if (i % 500 == 250)
            cache.Apply(ZPHMessage(MSG_ERASE, 2, 1), changed);
        changed.clear();
    }
    stop = true;
    for (auto& reader : readers)
        reader.join();
    EXPECT_GT(reads.load(), 0);
}

TEST_F(LineCacheTest, PagesKeepTitleAndCountAcrossAClear)
{
    EXPECT_FALSE(cache.GetPage(7));
    EXPECT_TRUE(cache.SetTitle(7, "Treasuries"));
    EXPECT_TRUE(cache.SetPageCount(7, 12));
    EXPECT_FALSE(cache.SetTitle(301, "no"));
    EXPECT_FALSE(cache.SetPageCount(0, 1));
    PageRef page = cache.GetPage(7);
    ASSERT_NE(page, nullptr);
    cache.SetTitle(7, "Bills");
    EXPECT_STREQ(page->GetTitle(), "Treasuries") << "a held page is a snapshot too";
    cache.Clear();
    page = cache.GetPage(7);
    ASSERT_NE(page, nullptr) << "pages outlive a clear of the lines";
    EXPECT_STREQ(page->GetTitle(), "Bills");
    EXPECT_EQ(page->GetCount(), 12);
}
