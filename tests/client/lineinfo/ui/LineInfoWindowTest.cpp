// The line information window over a feed of the test's own: the line
// reference it holds, keys it refuses, updates of its line (and only its
// line) coalesced into one refill, and a line that is not cached.
#include "lineinfo/ui/LineInfoWindow.h"

#include "../../pages/FakePageFeed.h"

#include <QApplication>
#include <QLabel>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <thread>

using namespace ZPH;

using namespace mavo;

namespace {

LineObject Line(int page, int number, const std::string& issue, const std::string& bidRate)
{
    LineObject line(page, number);
    line.m_issueName = issue;
    line.m_bid.m_rate = bidRate;
    return line;
}

void Drain()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

TEST(LineInfoWindow, HoldsOneReferenceOnTheLineItShows)
{
    pagestest::FakePageFeed feed;
    const unsigned a = CreateZPHKey(4, 2), b = CreateZPHKey(5, 9);
    feed.cache.Put(a, Line(4, 2, "AAA", "1.5"));
    {
        CLineInfoWindow window(feed);
        EXPECT_EQ(feed.ClientCount(), 1u);
        window.SetKey(a);
        EXPECT_EQ(feed.refs[a], 1);
        window.SetKey(a);
        EXPECT_EQ(feed.refs[a], 1);
        EXPECT_EQ(window.windowTitle().toStdString(), "Page 4, Line 2 - AAA");
        EXPECT_EQ(window.Table()->item(0, 2)->text().toStdString(), "1.5");
        // Another line: the first is let go; it is not cached, so its page
        // is asked for and the window keeps what it shows.
        window.SetKey(b);
        EXPECT_EQ(feed.refs[a], 0);
        EXPECT_EQ(feed.refs[b], 1);
        EXPECT_EQ(feed.requestedPages, std::vector<int>{5});
        EXPECT_EQ(window.windowTitle().toStdString(), "Page 4, Line 2 - AAA");
    }
    EXPECT_EQ(feed.TotalRefs(), 0);
    EXPECT_EQ(feed.ClientCount(), 0u);
}

TEST(LineInfoWindow, KeysOfNoLineAreNone)
{
    pagestest::FakePageFeed feed;
    CLineInfoWindow window(feed);
    for (unsigned key : {0u, 99u, 30100u, 30127u, 100u, 0xFFFFFFFFu}) {
        window.SetKey(key);
        EXPECT_EQ(window.Key(), 0u) << key;
    }
    EXPECT_EQ(feed.TotalRefs(), 0);
    EXPECT_TRUE(feed.requestedPages.empty());
    // A page the user may not see is not asked for.
    feed.deniedPages.insert(7);
    window.SetKey(CreateZPHKey(7, 1));
    EXPECT_TRUE(feed.requestedPages.empty());
}

TEST(LineInfoWindow, FollowsItsLineWithOneRefillPerBurstAndIgnoresOthers)
{
    pagestest::FakePageFeed feed;
    const unsigned key = CreateZPHKey(2, 3), other = CreateZPHKey(2, 4);
    feed.cache.Put(key, Line(2, 3, "BBB", "1"));
    feed.cache.Put(other, Line(2, 4, "CCC", "9"));
    CLineInfoWindow window(feed);
    window.SetKey(key);

    feed.cache.Put(key, Line(2, 3, "BBB", "2"));
    std::thread feedThread([&] {
        for (int i = 0; i < 50; ++i) {
            feed.Dispatch(key);
            feed.Dispatch(other);
        }
    });
    feedThread.join();
    Drain();
    EXPECT_EQ(window.Refills(), 1);
    EXPECT_EQ(window.Table()->item(0, 2)->text().toStdString(), "2");

    // Another line's update changes nothing.
    feed.cache.Put(other, Line(2, 4, "CCC", "10"));
    feed.Dispatch(other);
    Drain();
    EXPECT_EQ(window.Refills(), 1);

    // The line gone from the cache: the window stays as it was.
    feed.cache.Clear();
    feed.Dispatch(key);
    Drain();
    EXPECT_EQ(window.Table()->item(0, 2)->text().toStdString(), "2");
    EXPECT_EQ(window.windowTitle().toStdString(), "Page 2, Line 3 - BBB");
}

TEST(LineInfoWindow, FeedTextsAreShownAsTheyAre)
{
    pagestest::FakePageFeed feed;
    const unsigned key = CreateZPHKey(1, 1);
    LineObject line = Line(1, 1, "<b>X</b>", "1");
    line.m_bid.m_stack[0] = StackLevel{"<i>7</i>", "100", "5"};
    feed.cache.Put(key, line);
    CLineInfoWindow window(feed);
    window.SetKey(key);
    EXPECT_EQ(window.StackText().toStdString(), "<i>7</i> (5)  /  ");
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("Stack"))->textFormat(), Qt::PlainText);
}
