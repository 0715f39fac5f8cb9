#include "core/ui/NextFrame.h"
#include "pages/ui/RowPainter.h"

#include "../FakePageFeed.h"
#include "LiveApp.h"
#include "PageQuestions.h"
#include "SampleLines.h"

#include <QInputDialog>

#include <thread>

using namespace mavo;
using testsupport::Question;
using testsupport::Questions;

namespace {

void Settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// How many pixels of the rectangle pass the test.
int CountPixels(const QRect& rect, const std::function<bool(int x, int y)>& test)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            n += test(x, y) ? 1 : 0;
    return n;
}

// Waits (generously) until the list has painted at least once more, and
// lets the paint settle.
bool WaitForPaint(CPageList* list, int before)
{
    const bool painted = QTest::qWaitFor([&] { return list->PaintCount() > before; }, 10000);
    Settle();
    return painted;
}

// Runs the action and waits for the paint it causes.
bool PaintedAfter(CPageList* list, const std::function<void()>& action)
{
    const int before = list->PaintCount();
    action();
    return WaitForPaint(list, before);
}

class PageWindowTest : public testsupport::PageWindowsFixture<pagestest::FakePageFeed> {
protected:
    // The page list rendered into an image of its own size.
    static QImage Render(CPageList* list)
    {
        QImage image(list->size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        list->render(&image);
        return image;
    }

    // Page `page` filled with the sample lines and open in its window.
    CChildFrame* OpenSample(int page)
    {
        pagestest::FillSamplePage(m_feed.cache, page);
        return m_windows->OpenPage(page);
    }

    // The sample page open and painted once.
    CChildFrame* PaintedSample(int page)
    {
        CChildFrame* frame = OpenSample(page);
        EXPECT_TRUE(WaitForPaint(frame->View()->List(), 0));
        return frame;
    }

    // The cells of a row of the plan as the list lays them out.
    static std::vector<LaidCell> Cells(CPageList* list, const RowPlan& plan)
    {
        const CColumnWidths widths(list->Format(), CQtFontMeasure(RowFonts::For(list->Format().font).page));
        return LayRow(plan, widths, 0, list->width(), list->PageNominalWidth());
    }

    std::vector<QRect> Geometries() const
    {
        std::vector<QRect> rects;
        for (CChildFrame* frame : m_windows->Frames())
            rects.push_back(frame->geometry());
        return rects;
    }

    Brindle::CRegSection Documents() { return Section("MAVO Document"); }
};

} // namespace

TEST_F(PageWindowTest, RowRendersEachCellInTheSchemeColours)
{
    CChildFrame* frame = OpenSample(7);
    ASSERT_NE(frame, nullptr);
    CPageList* list = frame->View()->List();
    const QImage image = Render(list);
    const CColorScheme& s = m_env.schemes.ForStyle(0);
    const int h = list->RowHeight();
    ASSERT_GT(h, 8);
    // Row 2 (line 2): bid attribute 3 (state 2, white), offer attribute 2;
    // sampled on the row's top pixel line, above any text.
    const std::vector<LaidCell> cells = Cells(list, PlanFieldRow(list->Format(), false));
    const ColorRef bidRateBg = s.Get(Entry::StateBG(Entry::BidRate, 2));
    const std::pair<int, ColorRef> backgrounds[] = {
        {COL_LINE_NUMBER, s.Get(Entry::LineNumberBG)},
        {COL_ISSUE, s.Get(Entry::IssueBG)},
        {COL_BID_RATE, bidRateBg},
        {COL_BID_QUANTITY, s.Get(Entry::StateBG(Entry::BidQuantity, 2))},
        {COL_OFFER_RATE, s.Get(Entry::StateBG(Entry::OfferRate, 1))},
        {COL_STACK_SUMMARY, s.Get(83)},
        {COL_SLASH, s.Get(Entry::SlashBG)}};
    for (const auto& [kind, colour] : backgrounds) {
        const auto c = std::find_if(cells.begin(), cells.end(), [&](const LaidCell& l) { return l.kind == kind; });
        ASSERT_NE(c, cells.end()) << kind;
        EXPECT_EQ(image.pixelColor(c->left + 1, h + 1), ToQColor(colour)) << kind;
        // Some text is drawn in the bid rate cell in its foreground colour.
        if (kind == COL_BID_RATE) {
            EXPECT_GT(CountPixels(QRect(c->left, h, c->right - c->left, h),
                                  [&](int x, int y) { return image.pixelColor(x, y) != ToQColor(bidRateBg); }),
                      10);
        }
    }
}

TEST_F(PageWindowTest, EachLineKindPaintsAndMissingLinesAreGreen)
{
    pagestest::FillSamplePage(m_feed.cache, 7);
    LineObject odd(7, 20);
    odd.m_kind = 'Q';
    m_feed.cache.Put(720, odd);
    m_feed.cache.Put(721, pagestest::SampleTradeLine(7, 21));
    std::vector<unsigned> changed;
    ZPHMessage erase(7, 26);
    erase.m_type = 'E';
    m_feed.cache.Apply(erase, changed);

    CPageList* list = m_windows->OpenPage(7)->View()->List();
    const QImage image = Render(list);
    const CColorScheme& s = m_env.schemes.ForStyle(0);
    const int h = list->RowHeight();
    // The unknown kind: row background everywhere, even over the numbers.
    EXPECT_EQ(image.pixelColor(2, 19 * h + 1), ToQColor(s.Get(Entry::RowBG)));
    EXPECT_EQ(image.pixelColor(list->width() / 2, 19 * h + h / 2), ToQColor(s.Get(Entry::RowBG)));
    // The text line: its number, then the 0x2000 colours.
    EXPECT_EQ(image.pixelColor(2, 12 * h + 1), ToQColor(s.Get(Entry::LineNumberBG)));
    EXPECT_EQ(image.pixelColor(list->width() - 3, 12 * h + 1), ToQColor(s.Get(Entry::Flag2000FG + 1)));
    // The trade monitor line: its transaction number in 170-171.
    for (const LaidCell& c : Cells(list, PlanTradeMonitorRow(list->Format())))
        if (c.kind == COL_TM_NUMBER) {
            EXPECT_EQ(image.pixelColor(c.left + 1, 20 * h + 1), ToQColor(s.Get(Entry::TMNumberBG)));
        }
    // A line the cache lacks.
    EXPECT_EQ(image.pixelColor(list->width() / 2, 25 * h + h / 2), ToQColor(kMissingLineColor));
}

TEST_F(PageWindowTest, FeedUpdateRepaintsOnlyTheChangedRowsFromAnotherThread)
{
    CChildFrame* frame = PaintedSample(7);
    CPageList* list = frame->View()->List();
    const int rows = list->RowsPainted();
    ASSERT_TRUE(PaintedAfter(list, [&] { std::thread([&] { m_feed.Dispatch(704); }).join(); }));
    EXPECT_EQ(list->RowsPainted() - rows, 1);
    EXPECT_EQ(list->LastPaintRegion().boundingRect(), list->RowRect(3));

    // A key of another page is ignored; a flood of one key is one repaint.
    const int rows2 = list->RowsPainted();
    ASSERT_TRUE(PaintedAfter(list, [&] {
        std::thread([&] {
            for (int i = 0; i < 5000; ++i) {
                m_feed.Dispatch(801);
                m_feed.Dispatch(710);
            }
        }).join();
    }));
    EXPECT_EQ(list->RowsPainted() - rows2, 1);
    EXPECT_LE(frame->View()->UpdatesApplied(), 5);
}

TEST_F(PageWindowTest, UpdatesOfManyLinesWithinAFrameAreOnePaint)
{
    CChildFrame* frame = PaintedSample(7);
    CPageList* list = frame->View()->List();
    const int wakeUps = frame->View()->WakeUps();
    const int applied = frame->View()->UpdatesApplied();
    const int rows = list->RowsPainted();
    const int paints = list->PaintCount();
    // Ten lines in a burst, far shorter than a frame.
    std::thread([&] {
        for (unsigned key = 701; key <= 710; ++key)
            m_feed.Dispatch(key);
    }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->View()->UpdatesApplied() == applied + 10; }, 10000));
    ASSERT_TRUE(WaitForPaint(list, paints));
    // A burst may straddle one frame's start, no more.
    EXPECT_LE(frame->View()->WakeUps() - wakeUps, 2);
    EXPECT_LE(list->PaintCount() - paints, 2);
    EXPECT_EQ(list->RowsPainted() - rows, 10);
    // The frame timer lands within a millisecond after the next frame's start.
    constexpr long long period = CNextFrame::kFrameMicroseconds;
    for (long long now = 0; now < 3 * period; now += 997) {
        const long long due = now + 1000LL * CNextFrame::DelayFrom(now);
        const long long next = (now / period + 1) * period;
        EXPECT_TRUE(due >= next && due < next + 1000) << now;
    }
}

TEST_F(PageWindowTest, KeyListedTwiceRepaintsBothRows)
{
    CChildFrame* frame = OpenSample(7);
    frame->View()->Document().SetLines({701, 702, 703, 702});
    CPageList* list = frame->View()->List();
    ASSERT_TRUE(WaitForPaint(list, 0));
    const int rows = list->RowsPainted();
    ASSERT_TRUE(PaintedAfter(list, [&] { m_feed.Dispatch(702); }));
    EXPECT_EQ(list->LastPaintRegion(), QRegion(list->RowRect(1)) + QRegion(list->RowRect(3)));
    EXPECT_EQ(list->RowsPainted() - rows, 2);  // not row 2 between them
}

TEST_F(PageWindowTest, FlashTickRepaintsOnlyCellsWhosePhaseChanges)
{
    // Line 5's bid is trading with the fast flash (every tick); line 9's
    // offer is "line full" (every third tick).
    pagestest::FillSamplePage(m_feed.cache, 7);
    LineObject fast = pagestest::SampleFieldLine(7, 5);
    fast.m_bid.m_fastFlash = 1;
    m_feed.cache.Put(705, fast);
    m_env.options.tradeTimer = true;
    CPageList* list = m_windows->OpenPage(7)->View()->List();
    ASSERT_TRUE(WaitForPaint(list, 0));
    ASSERT_EQ(list->Blinks().Size(), 4u);  // rate and quantity of each

    ASSERT_TRUE(PaintedAfter(list, [&] { m_windows->OnFlashTick(1); }));
    QRegion region = list->LastPaintRegion();
    EXPECT_EQ(region.rectCount(), 2);
    EXPECT_TRUE(list->RowRect(4).contains(region.boundingRect()));
    EXPECT_LT(region.boundingRect().width(), list->width() / 2);
    EXPECT_EQ(list->Blinks().Size(), 4u);  // painted again: registered again

    ASSERT_TRUE(PaintedAfter(list, [&] { m_windows->OnFlashTick(2); }));
    EXPECT_EQ(list->LastPaintRegion().rectCount(), 2);
    ASSERT_TRUE(PaintedAfter(list, [&] { m_windows->OnFlashTick(3); }));  // both cadences turn
    region = list->LastPaintRegion();
    EXPECT_EQ(region.rectCount(), 4);
    EXPECT_TRUE((list->RowRect(4) | list->RowRect(8)).contains(region.boundingRect()));

    // A tick with no phase change repaints nothing.
    m_windows->OnFlashTick(3);
    Settle();
    const int paints = list->PaintCount();
    m_windows->OnFlashTick(3);
    Settle();
    EXPECT_EQ(list->PaintCount(), paints);

    // In the off phase only the background shows in those cells.
    const QImage off = Render(list);
    m_windows->OnFlashTick(6);
    const QImage on = Render(list);
    EXPECT_GT(CountPixels(*region.begin(), [&](int x, int y) { return off.pixel(x, y) != on.pixel(x, y); }), 5);
}

TEST_F(PageWindowTest, OpeningAPageTwiceActivatesTheFirstWindowWhoseTitleFollowsTheFeed)
{
    CChildFrame* first = m_windows->OpenPage(12);
    CChildFrame* second = m_windows->OpenPage(12);
    EXPECT_EQ(first, second);
    EXPECT_EQ(m_windows->Documents().size(), 1u);
    EXPECT_EQ(m_feed.requestedPages, std::vector<int>{12});
    EXPECT_EQ(first->windowTitle(), "Page 12");

    m_feed.deniedPages = {13};
    EXPECT_EQ(m_windows->OpenPage(13), nullptr);
    EXPECT_EQ(Questions(m_asked), (std::vector<std::string>{Question(
                                      "No Permission", "You do not have permission\nto view this page",
                                      PageMessageKind::Stop)}));
    EXPECT_EQ(m_windows->Documents().size(), 1u);

    // A title from the feed names the window; an empty one changes nothing.
    m_feed.cache.SetTitle(14, "GOVIES");
    CChildFrame* frame = m_windows->OpenPage(14);
    EXPECT_EQ(frame->windowTitle(), "GOVIES");
    for (const char* title : {"EURO GOVIES", ""}) {
        m_feed.cache.SetTitle(14, title);
        m_windows->OnPageTitle(14);
        EXPECT_EQ(frame->windowTitle(), "EURO GOVIES");
    }
}

TEST_F(PageWindowTest, FrameStylesSwitchAndTheSameStyleIsIgnored)
{
    CChildFrame* frame = m_windows->OpenPage(3);
    frame->move(40, 30);
    const QSize client = frame->View()->size();
    EXPECT_EQ(client, frame->View()->sizeHint());
    EXPECT_TRUE(frame->SetFrameStyle(CChildFrame::kBorderOnly));
    EXPECT_EQ(frame->objectName(), "style # 1");
    EXPECT_FALSE(frame->SetFrameStyle(CChildFrame::kBorderOnly));
    EXPECT_EQ(std::pair(frame->pos(), frame->View()->size()), std::pair(QPoint(40, 30), client));
    EXPECT_TRUE(frame->SetFrameStyle(CChildFrame::kFrameless));
    Settle();
    EXPECT_EQ(frame->size(), client);  // nothing around the page
    EXPECT_TRUE(frame->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(m_area.activeSubWindow(), frame);
    EXPECT_FALSE(frame->SetFrameStyle(7));
}

TEST_F(PageWindowTest, CloseIsGuardedByOwnOrdersAndAsksFirst)
{
    CChildFrame* frame = OpenSample(5);
    QPointer<CChildFrame> guard(frame);
    LineObject own = pagestest::SampleFieldLine(5, 3);
    own.m_offer.m_ownLevel = 1;
    m_feed.cache.Put(503, own);
    for (bool orderEntry : {true, false}) {
        m_feed.orderEntry = orderEntry;
        m_answers = {orderEntry};  // OK to the information, No to the question
        EXPECT_FALSE(frame->close());
        Settle();
        ASSERT_TRUE(guard);
    }
    EXPECT_EQ(Questions(m_asked),
              (std::vector<std::string>{
                  Question("Close Page", "Please remove your orders\nbefore closing this page",
                           PageMessageKind::Information),
                  Question("Close Page", "Are you sure you want to close US RATES?", PageMessageKind::Question)}));

    EXPECT_EQ(m_feed.TotalRefs(), 26);
    m_answers = {true};
    EXPECT_TRUE(frame->close());
    Settle();
    EXPECT_FALSE(guard);
    EXPECT_TRUE(m_windows->Documents().empty());
    EXPECT_EQ(m_feed.TotalRefs(), 0);
    EXPECT_EQ(m_feed.ClientCount(), 0u);
}

TEST_F(PageWindowTest, DocumentsSaveAndRestoreWithTheirWindows)
{
    CChildFrame* a = OpenSample(7);
    CChildFrame* b = m_windows->OpenPage(12);
    a->move(20, 10);
    b->SetFrameStyle(CChildFrame::kBorderOnly);
    b->move(300, 200);
    CPageFormat format = b->View()->Format();
    format.issueSize = 9;
    format.colorStyle = 2;
    format.bidStackSize = 0;
    b->View()->SetFormat(format);
    b->View()->Document().SetLines({1203, 1201, 702});
    b->View()->Document().SetTitle("Mixed");
    const auto shown = [](CChildFrame* f) {
        const CMAVODoc& doc = f->View()->Document();
        return std::tuple(f->windowTitle(), doc.GetPage(), doc.Lines(), f->FrameStyle(), f->geometry(),
                          f->View()->Format());
    };
    const auto savedA = shown(a), savedB = shown(b);
    ASSERT_EQ(std::get<1>(savedB), 0);  // lines of two pages
    ASSERT_TRUE(m_windows->SaveDocuments(Documents()));
    m_windows.reset();
    EXPECT_EQ(m_feed.TotalRefs(), 0);

    m_windows = MakeWindows();
    CChildFrame* a2 = m_windows->LoadDocument(Brindle::CRegSection(Documents(), "0"));
    CChildFrame* b2 = m_windows->LoadDocument(Brindle::CRegSection(Documents(), "1"));
    ASSERT_TRUE(a2 && b2);
    EXPECT_EQ(shown(a2), savedA);
    EXPECT_EQ(shown(b2), savedB);
    EXPECT_EQ(m_feed.TotalRefs(), 29);
}

TEST_F(PageWindowTest, PrintingTwoPagesMakesATwoPagePdfWithTheirTitles)
{
    pagestest::FillSamplePage(m_feed.cache, 7, "US RATES");
    pagestest::FillSamplePage(m_feed.cache, 8, "EURO RATES");
    m_windows->OpenPage(7);
    m_windows->OpenPage(8);
    testsupport::TempDir dir;
    const QString path = QString::fromStdString((dir.path() / "pages.pdf").string());
    ASSERT_TRUE(PrintAllTo(path));
    EXPECT_TRUE(PdfTool(QStringLiteral("pdfinfo"), {path}).contains(QRegularExpression("Pages:\\s+2\\b")));
    const QString content = PdfTool(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    for (const char* shown : {"US RATES", "EURO RATES", "UST 10Y", " at "})  // " at ": the time line
        EXPECT_TRUE(content.contains(shown)) << shown;
    EXPECT_LT(content.indexOf("US RATES"), content.indexOf("EURO RATES"));

    // Nothing to print: nothing started.
    QPdfWriter none(QString::fromStdString((dir.path() / "none.pdf").string()));
    EXPECT_FALSE(m_windows->Print(none, {}));
}

TEST_F(PageWindowTest, FirstTextLineArrivingWidensThePage)
{
    CPageFormat narrow;
    narrow.issueSize = 2;
    narrow.rateSize = 2;
    narrow.quantitySize = 2;
    narrow.Save(Section("Default Style"));
    CChildFrame* frame = m_windows->OpenPage(30);  // nothing of the page has arrived yet
    CPageList* list = frame->View()->List();
    const int before = list->PageNominalWidth();
    LineObject text(30, 2);
    text.m_kind = 'T';
    text.m_text = "HEADLINE";
    m_feed.cache.Put(3002, text);
    m_feed.Dispatch(3002);
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->PageNominalWidth() > before; }, 10000));
    Settle();
    EXPECT_EQ(frame->View()->size(), frame->View()->sizeHint());
    EXPECT_EQ(frame->View()->width(), list->PageNominalWidth());
}

TEST_F(PageWindowTest, PointerMovesReportTheCellUnderThemButNotWhileDraggingOnTheScaledLayout)
{
    using Hovers = std::vector<std::pair<unsigned, int>>;  // key, column
    Hovers hovers;
    m_windows->SetInfoTipHandler([&](unsigned key, int column, QPoint) { hovers.emplace_back(key, column); });
    CChildFrame* frame = OpenSample(7);
    CPageList* list = frame->View()->List();
    const int h = list->RowHeight();
    // Over row 1's number, then beyond the rows (no line, no cell); a press
    // (here the start of a drag) says "none", moves while dragging say
    // nothing at all, and leaving the list says "none".
    testsupport::MoveOver(list, QPoint(2, h + h / 2));
    testsupport::MoveOver(list, QPoint(2, 40 * h));
    testsupport::MouseAt(list, QPoint(2, h / 2), QEvent::MouseButtonPress);
    testsupport::MouseAt(list, QPoint(30, h / 2), QEvent::MouseMove);
    testsupport::MouseAt(list, QPoint(30, h / 2), QEvent::MouseButtonRelease);
    testsupport::LeaveWidget(list);
    EXPECT_EQ(hovers, (Hovers{{frame->View()->Document().GetLineKey(1), COL_LINE_NUMBER},
                              {0, COL_NOTHING},
                              {0, COL_NOTHING},
                              {0, COL_NOTHING}}));

    // Hit tests use the scaled layout.
    EXPECT_EQ(list->HitTest(QPoint(2, h / 2)), COL_LINE_NUMBER);
    EXPECT_EQ(list->HitTest(QPoint(list->width() - 2, h / 2)), COL_OFFER_QUANTITY);
    const int before = list->HitTest(QPoint(list->width() * 45 / 100, h / 2));
    frame->resize(frame->width() * 2, frame->height());
    Settle();
    // Twice as wide: what was at 45% is still at 45%.
    EXPECT_EQ(list->HitTest(QPoint(list->width() * 45 / 100, h / 2)), before);
    EXPECT_EQ(list->HitTest(QPoint(list->width() + 5, h / 2)), COL_NOTHING);
    EXPECT_EQ(list->HitTest(QPoint(5, 40 * h)), COL_NOTHING);
}

TEST_F(PageWindowTest, ASavedPageOfSeveralPagesRequestsEveryPageAtOpenAndWhenTheFeedReturns)
{
    Brindle::CRegSection section = Section("MAVO Document/0");
    ASSERT_TRUE(section.IsOpen());
    section.SetStr("Title", "Mixed");
    section.SetInt("LineCount", 3);
    section.SetInt("Page", 0);
    const std::vector<int> pages{2, 3, 1};
    for (int i = 0; i < 3; ++i)
        Brindle::CRegSection(section, "Lines").SetInt(std::to_string(i).c_str(), CreateZPHKey(pages[i], 1));
    m_feed.requestedPages.clear();
    ASSERT_NE(m_windows->LoadDocument(section), nullptr);
    EXPECT_EQ(m_feed.requestedPages, pages);

    m_feed.requestedPages.clear();
    m_windows->RequestPages();
    EXPECT_EQ(m_feed.requestedPages, pages);
}

TEST_F(PageWindowTest, TiledWindowsComeBackExactlyAsSavedWhateverTheFeedSendsAfterwards)
{
    for (int page : {1, 2, 3})
        ASSERT_NE(m_windows->OpenPage(page), nullptr);
    m_area.tileSubWindows();
    Settle();
    // One window widened by hand beyond its content.
    CChildFrame* widened = m_windows->Frames()[1];
    widened->resize(widened->width() + 90, widened->height() - 40);
    Settle();
    const std::vector<QRect> saved = Geometries();

    ASSERT_TRUE(m_windows->SaveDocuments(Documents()));
    m_windows->CloseAll();
    Settle();
    for (const char* name : {"0", "1", "2"})
        ASSERT_NE(m_windows->LoadDocument(Brindle::CRegSection(Documents(), name)), nullptr);
    Settle();
    EXPECT_EQ(Geometries(), saved);

    // The feed comes back with the pages' lines, a text line among them,
    // and the pages are rechecked: the windows stay where the user put them.
    for (int page : {1, 2, 3}) {
        pagestest::FillSamplePage(m_feed.cache, page);
        for (int line = 1; line <= 26; ++line)
            m_feed.Dispatch(CreateZPHKey(page, line));
    }
    Settle();
    m_windows->RecheckPages();
    Settle();
    EXPECT_EQ(Geometries(), saved);
}

TEST_F(PageWindowTest, AChangeToFullViewLaysThePageOutAgainAsAFormatChangeDoes)
{
    m_feed.userLevel = 101;
    CChildFrame* frame = OpenSample(7);
    ASSERT_NE(frame, nullptr);
    m_windows->OnFlashTick(1);
    Settle();
    const int traderWidth = frame->View()->width();
    EXPECT_EQ(frame->View()->size(), frame->View()->sizeHint());

    m_feed.userLevel = 999;
    m_windows->OnFlashTick(2);
    Settle();
    // Full view has stacks: the page is wider, and the frame follows it.
    EXPECT_GT(frame->View()->sizeHint().width(), traderWidth);
    EXPECT_EQ(frame->View()->size(), frame->View()->sizeHint());
    EXPECT_EQ(frame->View()->List()->PageNominalWidth(), frame->View()->sizeHint().width());
}

TEST_F(PageWindowTest, AStaleOrDeadFeedIsSaidOnEveryPageFace)
{
    CChildFrame* frame = m_windows->OpenPage(7);  // no lines: the cache was emptied
    ASSERT_NE(frame, nullptr);
    CPageList* list = frame->View()->List();
    Settle();
    const QImage bare = Render(list);
    auto whitePixels = [](const QImage& image) {
        return CountPixels(image.rect(), [&](int x, int y) { return image.pixel(x, y) == qRgb(255, 255, 255); });
    };
    EXPECT_EQ(whitePixels(bare), 0);
    for (int state : {1, 0}) {
        m_windows->OnFeedState(FeedStateFromWire(state));
        EXPECT_EQ(m_env.feedNotice, state == 1 ? "Feed Stale" : "Feed Dead");
        const QImage said = Render(list);
        EXPECT_GT(whitePixels(said), 20) << state;
        // The text stands in the middle of the page.
        const QRect middle(0, said.height() / 2, said.width(), 1);
        EXPECT_GT(CountPixels(middle, [&](int x, int y) { return said.pixel(x, y) == qRgb(0, 0, 0); }), said.width() / 2)
            << state;
    }
    m_windows->OnFeedState(FeedState::Live);
    EXPECT_EQ(m_env.feedNotice, "");
    EXPECT_EQ(Render(list), bare);
}

TEST_F(PageWindowTest, PrintPageOffersTheActivePageFirst)
{
    for (int page : {4, 5, 6})
        ASSERT_NE(m_windows->OpenPage(page), nullptr);
    m_area.setActiveSubWindow(m_windows->Frames()[1]);
    QString offered;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            offered = dialog->textValue();
            dialog->reject();
        }
    });
    m_windows->PrintPageCommand(&m_area);
    EXPECT_EQ(offered, QStringLiteral("Page 5"));
}
