// Pictures of page windows for people to look at: the default scheme, the
// full view with stacks and aggressors, and a trade monitor page, saved as
// PNGs under the build tree (screenshots/). Each is checked to be a real
// picture of many colours, not an empty window.
#include "../FakePageFeed.h"
#include "PageWindowsFixture.h"
#include "SampleLines.h"

#include <QDir>
#include <QImage>
#include <QSet>

using namespace mavo;

namespace {

class PageScreenshot : public testsupport::PageWindowsFixture<pagestest::FakePageFeed> {
protected:
    void SetUp() override
    {
        PageWindowsFixture::SetUp();
        m_area.resize(1800, 1100);
    }

    // Saves the window's picture and returns how many colours it has.
    static int Save(QWidget* window, const char* name)
    {
        QCoreApplication::processEvents();
        const QImage image = window->grab().toImage();
        const QString dir = QStringLiteral(BRINDLE_BINARY_DIR "/screenshots");
        QDir().mkpath(dir);
        EXPECT_TRUE(image.save(dir + "/" + name));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                colours.insert(image.pixel(x, y));
        return colours.size();
    }
};

} // namespace

TEST_F(PageScreenshot, DefaultSchemePage)
{
    pagestest::FillSamplePage(m_feed.cache, 7, "US RATES");
    m_env.options.enableMyPrice = true;
    CChildFrame* frame = m_windows->OpenPage(7);
    CPageFormat format = frame->View()->Format();
    format.showTradeHistory = 1;
    frame->View()->SetFormat(format);
    frame->move(0, 0);
    EXPECT_GT(Save(frame, "page-default.png"), 8);
}

TEST_F(PageScreenshot, FullViewWithStacks)
{
    pagestest::FillSamplePage(m_feed.cache, 7, "US RATES");
    m_feed.userLevel = CPageFeed::kFullViewLevel;
    m_env.options.bestPriceIndicator = true;
    CChildFrame* frame = m_windows->OpenPage(7);
    CPageFormat format = frame->View()->Format();
    format.bidStackSize = format.offerStackSize = 3;
    format.bidAggrSize = format.offerAggrSize = 2;
    format.showTradeHistory = format.showSpreads = format.colorStyle = 1;
    frame->View()->SetFormat(format);
    frame->move(0, 0);
    EXPECT_GT(Save(frame, "page-fullview-stacks.png"), 12);
}

TEST_F(PageScreenshot, TradeMonitorPage)
{
    for (int line = 1; line <= 12; ++line)
        m_feed.cache.Put(CreateZPHKey(40, line), pagestest::SampleTradeLine(40, line));
    m_feed.cache.SetTitle(40, "TRADE MONITOR");
    CChildFrame* frame = m_windows->OpenPage(40);
    CPageFormat format = frame->View()->Format();
    format.tmHasTradeLines = 1;
    format.tmStackSize = 3;
    format.tmCustomerOnly = 0;
    frame->View()->SetFormat(format);
    frame->View()->Document().SetLines(std::vector<unsigned>(frame->View()->Document().Lines().begin(),
                                                             frame->View()->Document().Lines().begin() + 12));
    frame->move(0, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->View()->size(), frame->View()->sizeHint());  // the frame follows the contents
    EXPECT_EQ(frame->View()->height(), 12 * frame->View()->List()->RowHeight());
    EXPECT_GT(Save(frame, "page-trade-monitor.png"), 8);
}
