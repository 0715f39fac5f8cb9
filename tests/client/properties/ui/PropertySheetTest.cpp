// The property sheet and the format commands on real page windows over a
// line cache of the test's own: every page of the sheet round-trips its
// controls through the stored page format, Contents keeps the line
// references balanced after OK and after Cancel, Apply Default, Apply to
// All, Set As Default, Lock Format and Font change what they should, and
// "Print &Format" changes what is printed.
#include "properties/ui/FormatActions.h"
#include "properties/ui/PropertyPages.h"
#include "properties/ui/PropertySheet.h"
#include "properties/ui/SelectLinesDialog.h"

#include "../../pages/FakePageFeed.h"
#include "../../pages/ui/SampleLines.h"
#include "PageQuestions.h"
#include "TempDir.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>

#include <deque>
#include <map>

using namespace mavo;
using testsupport::Question;
using testsupport::Questions;

namespace {

using F = CPageFormat;
// Some values of a page format, by field.
using FormatValues = std::vector<std::pair<int CPageFormat::*, int>>;

CPageFormat FormatWith(const FormatValues& values)
{
    CPageFormat format;
    for (const auto& [field, value] : values)
        format.*field = value;
    return format;
}

void ExpectValues(const CPageFormat& format, const FormatValues& values)
{
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(format.*values[i].first, values[i].second) << "value " << i;
}

void Click(std::initializer_list<QAbstractButton*> buttons)
{
    for (QAbstractButton* button : buttons)
        button->click();
}

void Slide(std::initializer_list<std::pair<QSlider*, int>> moves)
{
    for (const auto& [slider, value] : moves)
        slider->setValue(value);
}

void ExpectChecked(std::initializer_list<QAbstractButton*> buttons, bool checked = true)
{
    for (QAbstractButton* button : buttons)
        EXPECT_EQ(button->isChecked(), checked) << button->text().toStdString();
}

class PropertySheetTest : public testsupport::PageWindowsFixture<pagestest::FakePageFeed> {
protected:
    std::unique_ptr<CFormatActions> m_actions;

    void SetUp() override
    {
        PageWindowsFixture::SetUp();
        m_actions = std::make_unique<CFormatActions>(*m_windows);
        pagestest::FillSamplePage(m_feed.cache, 7, "US RATES");
        pagestest::FillSamplePage(m_feed.cache, 8, "EURO RATES");
        pagestest::FillSamplePage(m_feed.cache, 9, "GILTS");
    }
    void TearDown() override
    {
        m_actions.reset();
        PageWindowsFixture::TearDown();
    }

    static void SaveDefaultStyle(const CPageFormat& format) { ASSERT_TRUE(format.Save(Section("Default Style"))); }

    // The view's format as it is stored with the page, read back.
    static CPageFormat StoredFormat(CChildFrame* frame)
    {
        const Brindle::CRegSection section = Section("Stored");
        EXPECT_TRUE(frame->View()->SaveView(section));
        CPageFormat format;
        format.Load(section);
        return format;
    }

    // Opens the sheet of the frame on `first` and lets `fill` work on it;
    // fill's answer is the sheet's ending (true OK, false Cancel).
    void AnswerSheets(std::function<bool(CPagePropertySheet&)> fill)
    {
        m_actions->SetSheetRunner([fill = std::move(fill)](CPagePropertySheet& sheet) {
            if (fill(sheet))
                sheet.accept();
            else
                sheet.reject();
            return sheet.result();
        });
    }
    bool RunSheet(CChildFrame* frame, PropertyPage first, std::function<bool(CPagePropertySheet&)> fill)
    {
        AnswerSheets(std::move(fill));
        return m_actions->ShowProperties(frame, first, nullptr);
    }

    std::map<unsigned, int> RefsNow() const
    {
        std::map<unsigned, int> out;
        for (const auto& [key, n] : m_feed.refs)
            if (n != 0)
                out[key] = n;
        return out;
    }
    static std::map<unsigned, int> Counted(const std::vector<unsigned>& keys)
    {
        std::map<unsigned, int> out;
        for (unsigned key : keys)
            ++out[key];
        return out;
    }
};

} // namespace

TEST_F(PropertySheetTest, LayoutPageRoundTripsThroughTheStoredFormat)
{
    SaveDefaultStyle(
        FormatWith({{&F::issueSize, 18}, {&F::stackQuanSize, 7}, {&F::showSpreads, 1}, {&F::fixedFont, 1}}));
    CChildFrame* frame = m_windows->OpenPage(7);
    const int widthBefore = frame->View()->List()->PageNominalWidth();
    ASSERT_TRUE(RunSheet(frame, PropertyPage::Layout, [](CPagePropertySheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "US RATES - Properties");
        EXPECT_EQ(sheet.CurrentPage(), PropertyPage::Layout);
        CPageLayoutProp* p = sheet.LayoutPage();
        EXPECT_EQ(p->Title()->text(), "US RATES");
        EXPECT_EQ(std::pair(p->IssueName()->value(), p->StackQuantity()->value()), std::pair(18, 7));
        EXPECT_TRUE(p->ShowSpread()->isChecked());
        EXPECT_FALSE(p->FixedFont()->isVisibleTo(&sheet));
        p->Title()->setText("MY RATES");
        Slide({{p->IssueName(), 30}, {p->Rate(), 10}, {p->Quantity(), 4}, {p->Indicative(), 12},
               {p->StackCustomer(), 2}, {p->StackQuantity(), 9}});
        Click({p->ShowSpread(), p->ShowPrevious(), p->ShowUnderlines(), p->ShowLineNumber(), p->ShowIndicatives()});
        return true;
    }));
    ExpectValues(StoredFormat(frame), {{&F::issueSize, 30}, {&F::rateSize, 10}, {&F::quantitySize, 4},
                                       {&F::indicativeSize, 12}, {&F::stackCustSize, 2}, {&F::stackQuanSize, 9},
                                       {&F::showSpreads, 0}, {&F::showPrevious, 1}, {&F::showUnderlines, 0},
                                       {&F::showNumbers, 0}, {&F::showIndicative, 1}, {&F::fixedFont, 1}});
    EXPECT_EQ(frame->View()->Document().GetTitle(), "MY RATES");
    EXPECT_EQ(frame->windowTitle(), "MY RATES");
    // Widths again and the window fitted to them.
    EXPECT_NE(frame->View()->List()->PageNominalWidth(), widthBefore);
    EXPECT_EQ(frame->View()->size(), frame->View()->sizeHint());
}

TEST_F(PropertySheetTest, StackAndAggressorPagesRoundTripThroughTheStoredFormat)
{
    SaveDefaultStyle(FormatWith({{&F::bidStackSize, 3}, {&F::offerStackSize, 0}, {&F::customerOnly, 1},
                                 {&F::bidAggrSize, 2}, {&F::offerAggrSize, 4}, {&F::aggrCustomerOnly, 0},
                                 {&F::flashAggr, 0}, {&F::aggrCenterColor, 1}}));
    CChildFrame* frame = m_windows->OpenPage(7);
    ASSERT_TRUE(RunSheet(frame, PropertyPage::Stack, [](CPagePropertySheet& sheet) {
        EXPECT_EQ(sheet.CurrentPage(), PropertyPage::Stack);
        CStackLayoutProp* s = sheet.StackPage();
        ExpectChecked({s->BidSize()->Button(3), s->OfferSize()->Button(0), s->Customers()->Button(1)});
        Click({s->BidSize()->Button(5), s->OfferSize()->Button(2), s->Customers()->Button(0)});
        CAggrLayoutProp* a = sheet.AggressorsPage();
        ExpectChecked({a->BidSize()->Button(2), a->OfferSize()->Button(4), a->Customers()->Button(0),
                       a->CenterColors()});
        ExpectChecked({a->Flash()}, false);
        Click({a->BidSize()->Button(0), a->OfferSize()->Button(5), a->Customers()->Button(1), a->Flash(),
               a->CenterColors()});
        return true;
    }));
    ExpectValues(StoredFormat(frame), {{&F::bidStackSize, 5}, {&F::offerStackSize, 2}, {&F::customerOnly, 0},
                                       {&F::bidAggrSize, 0}, {&F::offerAggrSize, 5}, {&F::aggrCustomerOnly, 1},
                                       {&F::flashAggr, 1}, {&F::aggrCenterColor, 0}});
}

TEST_F(PropertySheetTest, TradeHistoryColorsAndTradeMonitorPagesRoundTripThroughTheStoredFormat)
{
    SaveDefaultStyle(FormatWith({{&F::showTradeHistory, 1}, {&F::thRateSize, 9}, {&F::thVolumeSize, 11},
                                 {&F::thNumberSize, 3}, {&F::showTHNumber, 0}, {&F::volumePrecision, 1},
                                 {&F::colorStyle, 1}, {&F::tmHasTradeLines, 1}, {&F::tmShowNumbers, 0},
                                 {&F::tmStackSize, 4}, {&F::tmCustomerOnly, 0}}));
    CChildFrame* frame = m_windows->OpenPage(7);
    ASSERT_TRUE(RunSheet(frame, PropertyPage::TradeHistory, [](CPagePropertySheet& sheet) {
        EXPECT_EQ(sheet.CurrentPage(), PropertyPage::TradeHistory);
        CTradeHistoryProp* t = sheet.TradeHistoryPage();
        ExpectChecked({t->Show(), t->Precision(1)});
        ExpectChecked({t->ShowNumber()}, false);
        EXPECT_EQ(std::tuple(t->Rate()->value(), t->Volume()->value(), t->Transaction()->value()),
                  std::tuple(9, 11, 3));
        Slide({{t->Rate(), 14}, {t->Volume(), 5}, {t->Transaction(), 8}});
        Click({t->Show(), t->ShowNumber(), t->ShowRate(), t->ShowTime(), t->ShowVolume(), t->Precision(2)});

        CPageColorsProp* c = sheet.ColorsPage();
        EXPECT_EQ(c->ColorStyle()->currentText(), "Enhanced Style");
        c->ColorStyle()->setCurrentIndex(2);

        CPageTradeMonitorProp* m = sheet.TradeMonitorPage();
        ExpectChecked({m->HasTradeLines(), m->StackSize()->Button(4), m->Customers()->Button(0)});
        ExpectChecked({m->ShowLineNumber()}, false);
        EXPECT_EQ(m->StackSize()->Button(0), nullptr);  // no "None" here
        Click({m->HasTradeLines(), m->ShowLineNumber(), m->ShowStack(), m->ShowVolume(), m->Customers()->Button(1),
               m->StackSize()->Button(2)});
        return true;
    }));
    ExpectValues(StoredFormat(frame), {{&F::showTradeHistory, 0}, {&F::thRateSize, 14}, {&F::thVolumeSize, 5},
                                       {&F::thNumberSize, 8}, {&F::showTHNumber, 1}, {&F::showTHRates, 0},
                                       {&F::showTHTime, 0}, {&F::showTHVolume, 0}, {&F::volumePrecision, 2},
                                       {&F::colorStyle, 2}, {&F::tmHasTradeLines, 0}, {&F::tmShowNumbers, 1},
                                       {&F::tmShowStack, 0}, {&F::tmShowVolume, 0}, {&F::tmCustomerOnly, 1},
                                       {&F::tmStackSize, 2}});
}

TEST_F(PropertySheetTest, ContentsKeepsReferencesBalancedAfterCancelAndAfterOk)
{
    CChildFrame* frame = m_windows->OpenPage(7);
    CMAVODoc& doc = frame->View()->Document();
    const std::vector<unsigned> original = doc.Lines();
    const CPageFormat format = frame->View()->Format();
    ASSERT_EQ(RefsNow(), Counted(original));

    // Adds two lines of page 8 after row 1, then the first of page 7 again
    // at the end, and drops row 0.
    auto edit = [this](CPagePropertySheet& sheet) {
        CPageContentsProp* c = sheet.ContentsPage();
        EXPECT_EQ(c->Tree()->topLevelItemCount(), 26);
        const QString issue = QString::fromStdString(pagestest::SampleFieldLine(7, 3).m_issueName);
        EXPECT_EQ(c->Tree()->topLevelItem(2)->text(2), issue.rightJustified(12));
        // Page and line numbers line up on the right under their headings.
        for (int column : {0, 1}) {
            EXPECT_EQ(c->Tree()->topLevelItem(2)->textAlignment(column) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
            EXPECT_EQ(c->Tree()->headerItem()->textAlignment(column) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        }
        std::deque<int> pages{8, 7};
        c->SetPageChooser([&pages](QWidget*) -> std::optional<int> {
            const int p = pages.front();
            pages.pop_front();
            return p;
        });
        c->SetLineChooser([](QWidget*, int page) {
            return page == 8 ? std::vector<unsigned>{803, 805} : std::vector<unsigned>{703};
        });
        c->Select({1});
        c->Add();
        EXPECT_EQ(c->Selection(), (std::set<int>{2, 3}));
        EXPECT_EQ(m_feed.Refs(803), 1);  // the list's own, while the sheet is open
        c->Select({});
        c->Add();
        c->Select({0});
        c->RemoveButton()->click();
        EXPECT_EQ(m_feed.Refs(701), 1);  // the document's remains
        EXPECT_EQ(c->List().Count(), 28);
    };

    // Cancel changes nothing, on any page.
    EXPECT_FALSE(RunSheet(frame, PropertyPage::Contents, [&](CPagePropertySheet& sheet) {
        EXPECT_EQ(sheet.CurrentPage(), PropertyPage::Contents);
        edit(sheet);
        sheet.LayoutPage()->Title()->setText("CHANGED");
        sheet.LayoutPage()->IssueName()->setValue(2);
        sheet.StackPage()->BidSize()->Button(4)->click();
        sheet.ColorsPage()->ColorStyle()->setCurrentIndex(2);
        return false;
    }));
    EXPECT_EQ(std::pair(frame->View()->Format(), doc.GetTitle()), std::pair(format, std::string("US RATES")));
    EXPECT_EQ(doc.Lines(), original);
    EXPECT_EQ(RefsNow(), Counted(original));
    EXPECT_EQ(m_feed.overReleases, 0);

    ASSERT_TRUE(RunSheet(frame, PropertyPage::Contents, [&](CPagePropertySheet& sheet) {
        edit(sheet);
        return true;
    }));
    std::vector<unsigned> expected(original.begin() + 1, original.end());
    expected.insert(expected.begin() + 1, {803, 805});
    expected.push_back(703);
    EXPECT_EQ(doc.Lines(), expected);
    EXPECT_EQ(RefsNow(), Counted(expected));
    EXPECT_EQ(m_feed.overReleases, 0);
    EXPECT_EQ(frame->View()->List()->RowCount(), 28);

    // Closing the page leaves no reference behind.
    frame->CloseWithoutAsking();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_windows->Documents().empty(); }, 10000));
    EXPECT_TRUE(RefsNow().empty());
    EXPECT_EQ(m_feed.overReleases, 0);
}

TEST_F(PropertySheetTest, ContentsRefusesAPageTheUserMayNotSee)
{
    m_feed.deniedPages.insert(9);
    CChildFrame* frame = m_windows->OpenPage(7);
    bool linesAsked = false;
    RunSheet(frame, PropertyPage::Contents, [&](CPagePropertySheet& sheet) {
        CPageContentsProp* c = sheet.ContentsPage();
        c->SetPageChooser([](QWidget*) { return std::optional<int>(9); });
        c->SetLineChooser([&](QWidget*, int) {
            linesAsked = true;
            return std::vector<unsigned>{901};
        });
        c->AddButton()->click();
        EXPECT_EQ(c->List().Count(), 26);
        return true;
    });
    EXPECT_FALSE(linesAsked);
    EXPECT_EQ(Questions(m_asked), std::vector{Question("No Permission", "You do not have permission\nto view this page",
                                                       PageMessageKind::Stop)});
    EXPECT_EQ(m_feed.Refs(901), 0);
}

TEST_F(PropertySheetTest, APageLeftWithoutLinesGoesToTheTitleBarStyle)
{
    CChildFrame* frame = m_windows->OpenPage(7);
    frame->SetFrameStyle(CChildFrame::kFrameless);
    ASSERT_TRUE(RunSheet(frame, PropertyPage::Contents, [](CPagePropertySheet& sheet) {
        CPageContentsProp* c = sheet.ContentsPage();
        std::set<int> all;
        for (int i = 0; i < c->List().Count(); ++i)
            all.insert(i);
        c->Select(all);
        c->Remove();
        return true;
    }));
    EXPECT_EQ(frame->FrameStyle(), CChildFrame::kTitleBar);
    EXPECT_EQ(frame->View()->Document().GetLineCount(), 0);
    EXPECT_TRUE(RefsNow().empty());
}

TEST_F(PropertySheetTest, SelectLinesListsThePageFollowsUpdatesAndHoldsItsLinesWhileOpen)
{
    {
        CSelectLinesDialog dialog(m_feed, 8);
        QTreeWidget* tree = dialog.Tree();
        ASSERT_EQ(tree->topLevelItemCount(), 26);
        EXPECT_EQ(tree->headerItem()->text(2), "Line#");
        const QTreeWidgetItem* row = tree->topLevelItem(1);
        EXPECT_EQ(QStringList({row->text(0), row->text(1), row->text(2)}), QStringList({"8", "2", "2"}));
        EXPECT_EQ(tree->topLevelItem(12)->text(3), "  --- EUROPE ---");
        EXPECT_EQ(std::pair(m_feed.Refs(801), m_feed.Refs(826)), std::pair(1, 1));
        EXPECT_NE(std::find(m_feed.requestedPages.begin(), m_feed.requestedPages.end(), 8),
                  m_feed.requestedPages.end());

        LineObject renamed = pagestest::SampleFieldLine(8, 4);
        renamed.m_issueName = "NEW NAME";
        m_feed.cache.Put(804, renamed);
        m_feed.Dispatch(804);
        ASSERT_TRUE(QTest::qWaitFor([&] { return tree->topLevelItem(3)->text(3) == "    NEW NAME"; }, 10000));
        EXPECT_EQ(dialog.RowsUpdated(), 1);

        tree->topLevelItem(4)->setSelected(true);
        tree->topLevelItem(1)->setSelected(true);
        EXPECT_EQ(dialog.SelectedKeys(), (std::vector<unsigned>{802, 805}));
    }
    EXPECT_TRUE(RefsNow().empty());
    EXPECT_EQ(m_feed.ClientCount(), 0u);
    EXPECT_EQ(m_feed.overReleases, 0);
}

TEST_F(PropertySheetTest, ApplyDefaultKeepsTradeMonitorLinesAndALockedPageIgnoresIt)
{
    CChildFrame* frame = m_windows->OpenPage(7);
    CPageFormat own = frame->View()->Format();
    own.issueSize = 5;
    own.tmHasTradeLines = 1;
    frame->View()->SetFormat(own);
    const CPageFormat def = FormatWith({{&F::issueSize, 25}, {&F::colorStyle, 2}, {&F::tmHasTradeLines, 0}});
    SaveDefaultStyle(def);
    const int widthBefore = frame->View()->width();

    ASSERT_TRUE(m_actions->ApplyDefault(frame));
    CPageFormat expected = def;
    expected.tmHasTradeLines = 1;
    EXPECT_EQ(frame->View()->Format(), expected);
    EXPECT_GT(frame->View()->width(), widthBefore);  // widths again, window resized
    EXPECT_TRUE(m_asked.empty());                    // no question
    // Nor does a page without trade monitor lines take the default's.
    own.tmHasTradeLines = 0;
    frame->View()->SetFormat(own);
    SaveDefaultStyle(FormatWith({{&F::tmHasTradeLines, 1}}));
    ASSERT_TRUE(m_actions->ApplyDefault(frame));
    EXPECT_EQ(frame->View()->Format().tmHasTradeLines, 0);

    own.formatLocked = 1;
    frame->View()->SetFormat(own);
    EXPECT_FALSE(m_actions->ApplyDefault(frame));
    EXPECT_EQ(frame->View()->Format(), own);
}

TEST_F(PropertySheetTest, ApplyToAllAsksAndSkipsMinimisedAndLockedPages)
{
    CChildFrame* plain = m_windows->OpenPage(7);
    CChildFrame* minimised = m_windows->OpenPage(8);
    CChildFrame* locked = m_windows->OpenPage(9);
    for (CChildFrame* f : {plain, minimised, locked})
        f->View()->SetFormat(FormatWith({{&F::issueSize, 5}}));
    m_actions->ToggleLock(locked);
    minimised->showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(minimised->isMinimized());
    SaveDefaultStyle(FormatWith({{&F::issueSize, 25}}));

    for (bool yes : {false, true}) {
        m_answers = {yes};
        EXPECT_EQ(m_actions->ApplyToAll(nullptr), yes ? 1 : 0);
        EXPECT_EQ(std::tuple(plain->View()->Format().issueSize, minimised->View()->Format().issueSize,
                             locked->View()->Format().issueSize),
                  std::tuple(yes ? 25 : 5, 5, 5));
    }
    EXPECT_EQ(Questions(m_asked), std::vector(2, Question("Apply Default Style",
                                                          "Are you sure you want to apply the default style?\n(some "
                                                          "data may be removed from the display\nand/or pages "
                                                          "misaligned)",
                                                          PageMessageKind::Question)));  // asked each time
    EXPECT_EQ(locked->View()->Format().formatLocked, 1);
}

TEST_F(PropertySheetTest, SetAsDefaultWritesTheDefaultStyleOnlyOnYes)
{
    CChildFrame* frame = m_windows->OpenPage(7);
    CPageFormat own = frame->View()->Format();
    own.rateSize = 11;
    own.colorStyle = 1;
    frame->View()->SetFormat(own);

    m_answers = {false};
    EXPECT_FALSE(m_actions->SetAsDefault(frame, nullptr));
    EXPECT_EQ(Questions(m_asked), std::vector{Question("Set Default Style",
                                                       "Are you sure you want to set this as\nthe new default style?",
                                                       PageMessageKind::Question)});
    int stored = -1;
    Section("Default Style").GetInt("RateSize", stored, -1);
    EXPECT_EQ(stored, -1);

    m_answers = {true};
    EXPECT_TRUE(m_actions->SetAsDefault(frame, nullptr));
    EXPECT_EQ(m_actions->LoadDefaultStyle(), own);
    // A page opened now takes it.
    EXPECT_EQ(m_windows->OpenPage(8)->View()->Format(), own);
}

TEST_F(PropertySheetTest, LockTogglesAndIsStoredWithThePage)
{
    CChildFrame* frame = m_windows->OpenPage(7);
    for (bool locked : {true, false}) {
        EXPECT_EQ(m_actions->IsLocked(frame), !locked);
        EXPECT_EQ(m_actions->ToggleLock(frame), locked);
        EXPECT_EQ(StoredFormat(frame).formatLocked, locked ? 1 : 0);
    }
}

TEST_F(PropertySheetTest, FontStartsFromThePageFontAndResizesTheWindow)
{
    CChildFrame* frame = m_windows->OpenPage(7);
    const int rowBefore = frame->View()->List()->RowHeight();
    QFont offered;
    m_actions->SetFontChooser([&](QWidget*, const QFont& current) -> std::optional<QFont> {
        offered = current;
        QFont bigger(QStringLiteral("DejaVu Sans Mono"));
        bigger.setPixelSize(26);
        return bigger;
    });
    ASSERT_TRUE(m_actions->ChooseFont(frame, nullptr));
    EXPECT_EQ(offered.pixelSize(), 15);
    const CPageFormat f = StoredFormat(frame);
    EXPECT_EQ(f.font.height, -26);
    EXPECT_EQ(f.font.FaceName(), "DejaVu Sans Mono");
    EXPECT_GT(frame->View()->List()->RowHeight(), rowBefore);
    EXPECT_EQ(frame->View()->size(), frame->View()->sizeHint());

    m_actions->SetFontChooser([](QWidget*, const QFont&) { return std::optional<QFont>(); });
    EXPECT_FALSE(m_actions->ChooseFont(frame, nullptr));
    EXPECT_EQ(StoredFormat(frame).font.height, -26);
}

TEST_F(PropertySheetTest, PrintFormatEditsThePrintLayout)
{
    m_windows->OpenPage(7);
    testsupport::TempDir dir;
    auto printed = [&](const char* name) {
        const QString path = QString::fromStdString((dir.path() / name).string());
        EXPECT_TRUE(PrintAllTo(path));
        return PdfTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    };
    const QString before = printed("before.pdf");
    ASSERT_TRUE(before.contains("UST 10Y"));

    // Cancel keeps the print format.
    const CPageFormat original = m_windows->PrintFormat();
    AnswerSheets([](CPagePropertySheet& sheet) {
        sheet.LayoutPage()->IssueName()->setValue(0);
        return false;
    });
    EXPECT_FALSE(m_actions->EditPrintFormat(nullptr));
    EXPECT_EQ(m_windows->PrintFormat(), original);

    AnswerSheets([](CPagePropertySheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "Print Page Format");
        EXPECT_EQ(sheet.Tabs()->count(), 3);
        EXPECT_EQ(QStringList({sheet.Tabs()->tabText(0), sheet.Tabs()->tabText(1), sheet.Tabs()->tabText(2)}),
                  QStringList({"Layout", "Trade History", "Stack"}));
        EXPECT_EQ(sheet.LayoutPage()->Title(), nullptr);
        EXPECT_EQ(sheet.ContentsPage(), nullptr);
        sheet.LayoutPage()->IssueName()->setValue(0);
        return true;
    });
    ASSERT_TRUE(m_actions->EditPrintFormat(nullptr));
    EXPECT_EQ(m_windows->PrintFormat().issueSize, 0);
    // The page's own format is not the print format.
    EXPECT_EQ(m_windows->Frames()[0]->View()->Format().issueSize, 15);
    const QString after = printed("after.pdf");
    EXPECT_FALSE(after.contains("UST 10Y"));
    EXPECT_TRUE(after.contains("US RATES"));
}

TEST_F(PropertySheetTest, SheetShowsEveryTabWholeAndLeavesPicturesForInspection)
{
    CChildFrame* frame = m_windows->OpenPage(7);
    const QString dir = QStringLiteral(BRINDLE_BINARY_DIR "/screenshots");
    QDir().mkpath(dir);
    RunSheet(frame, PropertyPage::Layout, [&](CPagePropertySheet& sheet) {
        sheet.show();
        for (int i = 0; i < sheet.Tabs()->count(); ++i) {
            sheet.Tabs()->setCurrentIndex(i);
            sheet.adjustSize();
            QCoreApplication::processEvents();
            // Every page's caption shows whole: no scrolled or cut tabs.
            QTabBar* bar = sheet.Tabs()->tabBar();
            EXPECT_GE(bar->width(), bar->sizeHint().width());
            EXPECT_TRUE(sheet.Tabs()->rect().contains(bar->tabRect(bar->count() - 1).translated(bar->pos())));
            const QImage picture = sheet.grab().toImage();
            EXPECT_FALSE(picture.isNull());
            picture.save(dir + QStringLiteral("/properties-%1.png").arg(i));
        }
        return false;
    });
    CSelectLinesDialog select(m_feed, 8);
    select.show();
    QCoreApplication::processEvents();
    select.grab().save(dir + QStringLiteral("/select-lines.png"));
}
