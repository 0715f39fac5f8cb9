// The line information window, the info tips and "&Display Options" in the
// running application against a real zphd, with the user switched to the
// full view (level 999) through zphd's control port.
#include "LiveApp.h"

#include "lineinfo/DisplayOptions.h"
#include "lineinfo/ui/DisplayOptionsDialog.h"
#include "lineinfo/ui/InfoTipWindow.h"
#include "lineinfo/ui/LineInfoWindow.h"
#include "pages/RowLayout.h"

#include "../../../../feed/protocol/FieldIds.h"

#include <QCheckBox>
#include <QPainter>
#include <QPixmap>
#include <QTableWidget>

using namespace ZPH;

using namespace testsupport;
using mavo::CChildFrame;
using mavo::CommandId;

namespace {

class LineInfoLiveTest : public LiveAppFixture {
protected:
    void SetUp() override
    {
        LiveAppFixture::SetUp();
        PointFeedAtServer();
        ASSERT_NO_FATAL_FAILURE(HoldMarket());
    }

    // Live in the full view, on page 1: its window and the row of its
    // first field line.
    void StartOnPageOne()
    {
        ASSERT_NO_FATAL_FAILURE(StartLive());
        ASSERT_NO_FATAL_FAILURE(SetUserLevel(999));
        page = OpenPageByNew(1);
        ASSERT_NE(page, nullptr);
        row = FirstFieldRow(page);
        ASSERT_GE(row, 0);
        key = page->View()->Document().GetLineKey(row);
    }

    // The row of the first field line of the page once its lines are in.
    int FirstFieldRow(CChildFrame* frame)
    {
        const mavo::CMAVODoc& doc = frame->View()->Document();
        int found = -1;
        WaitFor([&] {
            for (int position = 0; position < static_cast<int>(doc.Lines().size()); ++position) {
                const LineRef line = doc.Feed().Cache().GetForRead(doc.GetLineKey(position));
                if (line && line->m_kind == 'F' && !line->m_issueName.empty()) {
                    found = position;
                    return true;
                }
            }
            return false;
        }, 30000);
        return found;
    }

    // A point in the middle of the first cell of that kind on the row.
    static std::optional<QPoint> CellPoint(mavo::CPageList* list, int row, int kind)
    {
        const QRect rect = list->RowRect(row);
        int first = -1, last = -1;
        for (int x = 0; x < list->width(); ++x) {
            if (list->HitTest(QPoint(x, rect.center().y())) == kind) {
                if (first < 0)
                    first = x;
                last = x;
            } else if (first >= 0) {
                break;
            }
        }
        if (first < 0)
            return std::nullopt;
        return QPoint((first + last) / 2, rect.center().y());
    }

    void SetField(unsigned line, int field, const std::string& text)
    {
        int pageNumber = 0, lineNumber = 0;
        ParseZPHKey(line, pageNumber, lineNumber);
        ASSERT_EQ(zphd.Control("set " + std::to_string(pageNumber) + " " + std::to_string(lineNumber) + " " +
                               std::to_string(field) + " " + text)
                      .substr(0, 2),
                  "OK");
    }

    bool LineHas(unsigned lineKey, const std::function<bool(const LineObject&)>& test)
    {
        return WaitFor([&] {
            const LineRef line = Frame().Controller().GetLineCache().GetForRead(lineKey);
            return line && test(*line);
        }, 30000);
    }

    mavo::CInfoTipWindow* Tip() { return Frame().findChild<mavo::CInfoTipWindow*>(); }
    mavo::CLineInfoWindow* InfoWindow() { return Frame().findChild<mavo::CLineInfoWindow*>(); }

    CChildFrame* page = nullptr;
    int row = -1;
    unsigned key = 0;
};

} // namespace

TEST_F(LineInfoLiveTest, TipsAppearOverTheirCellInTheFullViewAndNowhereElse)
{
    ASSERT_NO_FATAL_FAILURE(StartOnPageOne());
    SetField(key, ZPHWire::F_BID_BACKUP, "77.125");
    SetField(key, ZPHWire::F_BID_TRADE_NUMBER, "T-42");
    ASSERT_TRUE(LineHas(key, [](const LineObject& l) { return l.m_bid.m_backup == "77.125" && !l.m_bid.m_tradeNumber.empty(); }));
    Frame().Settings().infoTip = mavo::InfoTipBit::BackupPrice | mavo::InfoTipBit::TradeStatistics;

    mavo::CPageList* list = page->View()->List();
    Spin(100);
    const auto bidRate = CellPoint(list, row, mavo::COL_BID_RATE);
    const auto issue = CellPoint(list, row, mavo::COL_ISSUE);
    const auto bidQuantity = CellPoint(list, row, mavo::COL_BID_QUANTITY);
    ASSERT_TRUE(bidRate && issue && bidQuantity);
    mavo::CInfoTipWindow* tip = Tip();
    ASSERT_NE(tip, nullptr);

    MoveOver(list, *bidRate);
    ASSERT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->text().toStdString(), "Backup Bid: 77.125");
    // Next to the pointer, never under it.
    const QPoint pointer = list->mapToGlobal(*bidRate);
    EXPECT_FALSE(tip->geometry().contains(pointer));
    EXPECT_LT((tip->pos() - pointer).manhattanLength(), 80);
    {
        // The tip is a window of its own: drawn over the main window's picture.
        QPixmap shot = Frame().grab();
        QPainter painter(&shot);
        painter.drawPixmap(Frame().mapFromGlobal(tip->pos()), tip->grab());
        painter.end();
        const QString dir = QStringLiteral(BRINDLE_BINARY_DIR "/screenshots");
        QDir().mkpath(dir);
        EXPECT_TRUE(shot.save(dir + "/mavo-info-tip.png"));
    }

    MoveOver(list, *issue);
    ASSERT_TRUE(tip->isVisible());
    EXPECT_TRUE(tip->text().contains(QStringLiteral("\nLast: ")));
    const LineRef line = Frame().Controller().GetLineCache().GetForRead(key);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(tip->text().section(QLatin1Char('\n'), 0, 0).toStdString(), line->m_issueName);

    // A cell without tips, a point beyond the rows, leaving the list: none.
    const QPoint beyond(bidRate->x(), list->RowCount() * list->RowHeight() + 2);
    for (const auto& away : std::vector<std::function<void()>>{[&] { MoveOver(list, *bidQuantity); },
                                                                [&] { MoveOver(list, beyond); },
                                                                [&] { LeaveWidget(list); }}) {
        MoveOver(list, *bidRate);
        ASSERT_TRUE(tip->isVisible());
        away();
        EXPECT_FALSE(tip->isVisible());
    }

    // The option off: no tip over the rate.
    Frame().Settings().infoTip = mavo::InfoTipBit::TradeStatistics;
    MoveOver(list, *bidRate);
    EXPECT_FALSE(tip->isVisible());

    // Outside the full view there are no tips at all.
    Frame().Settings().infoTip = mavo::InfoTipBit::AnyTip;
    ASSERT_NO_FATAL_FAILURE(SetUserLevel(150));
    Spin(200);  // the list lays its cells out again for the new level
    list->repaint();
    const auto traderRate = CellPoint(list, row, mavo::COL_BID_RATE);
    ASSERT_TRUE(traderRate);
    MoveOver(list, *traderRate);
    EXPECT_FALSE(tip->isVisible());
}

TEST_F(LineInfoLiveTest, WindowOpensOnAClickInTheFullViewAndFollowsTheLine)
{
    ASSERT_NO_FATAL_FAILURE(StartOnPageOne());
    int pageNumber = 0, lineNumber = 0;
    ParseZPHKey(key, pageNumber, lineNumber);
    SetField(key, ZPHWire::F_BID_SPREAD_ROLE, "M");
    SetField(key, ZPHWire::F_BID_SPREAD_PARTNER, "UST 5Y");
    ASSERT_TRUE(LineHas(key, [](const LineObject& l) { return l.m_bid.m_spreadPartner == "UST 5Y"; }));

    mavo::CLineInfoWindow* window = InfoWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible());
    mavo::CPageList* list = page->View()->List();
    const QPoint at = list->RowRect(row).center();

    // Double click: the window at its own place, showing the line.
    MouseAt(list, at, QEvent::MouseButtonDblClick);
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(window->Key(), key);
    const LineRef line = Frame().Controller().GetLineCache().GetForRead(key);
    ASSERT_NE(line, nullptr);
    const std::string issue = line->m_issueName;
    EXPECT_EQ(window->windowTitle().toStdString(),
              "Page " + std::to_string(pageNumber) + ", Line " + std::to_string(lineNumber) + " - " + issue);
    EXPECT_EQ(window->BidSpreadText().toStdString(), "spread MASTER for UST 5Y");
    EXPECT_EQ(window->OfferSpreadText().toStdString(), "(none)");
    ASSERT_EQ(window->Table()->rowCount(), 14);

    // An update of the line reaches the window.
    SetField(key, ZPHWire::F_BID_RATE, "12.345");
    EXPECT_TRUE(WaitFor([&] { return window->Table()->item(0, 2)->text() == QStringLiteral("12.345"); }, 30000));
    SetField(key, ZPHWire::F_BID_PREV_PREV_CUSTOMER, "4711");
    EXPECT_TRUE(WaitFor([&] { return window->Table()->item(7, 2)->text() == QStringLiteral("4711"); }, 30000));
    Spin(200);
    EXPECT_TRUE(SaveShot(window, QStringLiteral("mavo-line-information.png")));

    // Its place and line are kept with the settings.
    window->move(321, 234);
    ASSERT_TRUE(Frame().RunCommand(CommandId::SaveFormat));
    EXPECT_EQ(StoredInt("MainFrame", "InfoKey"), static_cast<int>(key));
    EXPECT_EQ(StoredInt("MainFrame", "ShowInfo"), 1);
    EXPECT_EQ(StoredInt("MainFrame", "InfoLeft"), 321);

    // Anchored with info click: a press opens it at the pointer, the
    // release closes it and it goes back to its own place.
    window->hide();
    Frame().Settings().anchored = 1;
    Frame().Settings().infoOnClick = 1;
    Spin(400);  // the page windows take the switches on the next tick
    MouseAt(list, at, QEvent::MouseButtonPress);
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), list->mapToGlobal(at));
    MouseAt(list, at, QEvent::MouseButtonRelease);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(321, 234));
}

TEST_F(LineInfoLiveTest, WindowComesBackWithItsLineAfterARestart)
{
    ASSERT_NO_FATAL_FAILURE(StartOnPageOne());
    MouseAt(page->View()->List(), page->View()->List()->RowRect(row).center(), QEvent::MouseButtonDblClick);
    ASSERT_TRUE(InfoWindow()->isVisible());
    InfoWindow()->move(260, 180);
    // The window alone holds its line: closing the page keeps it coming.
    messages.answers.push_back(mavo::CMessageService::Yes);
    page->close();
    Spin(200);
    EXPECT_GE(Frame().Controller().RefCount(static_cast<int>(key / 100), static_cast<int>(key % 100)), 1);
    ASSERT_TRUE(Frame().RunCommand(CommandId::SaveFormat));
    app.reset();

    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    mavo::CLineInfoWindow* window = InfoWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Key(), key);
    EXPECT_EQ(window->pos(), QPoint(260, 180));
    // With no page open, the window's own reference brings the line in.
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    EXPECT_TRUE(WaitFor([&] { return window->windowTitle().startsWith(QStringLiteral("Page ")); }, 30000));
}

TEST_F(LineInfoLiveTest, DisplayOptionsStoreTheSwitchesOnOkOnly)
{
    ASSERT_NO_FATAL_FAILURE(StartLive());
    // Outside the full view the command is there but disabled.
    ASSERT_NE(Frame().Commands().Action(CommandId::DisplayOptions), nullptr);
    EXPECT_FALSE(Enabled(CommandId::DisplayOptions));

    // There, too, the trade window is the user's line window: what it wrote
    // stands when the settings are saved.
    mavo::CLineInfoWindow* window = InfoWindow();
    ASSERT_NE(window, nullptr);
    window->SetKey(CreateZPHKey(2, 5));
    window->move(333, 222);
    window->show();
    ASSERT_TRUE(Frame().RunCommand(CommandId::SaveFormat));
    EXPECT_NE(StoredInt("MainFrame", "InfoLeft"), 333);
    EXPECT_NE(StoredInt("MainFrame", "InfoKey"), 205);
    EXPECT_EQ(StoredInt("MainFrame", "ShowInfo"), 0);

    ASSERT_NO_FATAL_FAILURE(SetUserLevel(999));
    EXPECT_TRUE(Enabled(CommandId::DisplayOptions));
    Frame().Settings().infoTip = 0x40 | mavo::InfoTipBit::BackupPrice;
    const int storedBefore = StoredInt("MainFrame", "InfoTip");

    // Cancel: nothing changes, nothing is stored.
    AnswerNextDialog<mavo::CDisplayOptionsDialog>([](mavo::CDisplayOptionsDialog* dialog) {
        dialog->Switch(3)->setChecked(true);
        dialog->reject();
    });
    ASSERT_TRUE(Frame().RunCommand(CommandId::DisplayOptions));
    EXPECT_EQ(Frame().Settings().infoTip, 0x41);
    EXPECT_EQ(StoredInt("MainFrame", "InfoTip"), storedBefore);

    // OK: the boxes as they stand, stored at once, other bits kept.
    bool checkedAsStored = false;
    AnswerNextDialog<mavo::CDisplayOptionsDialog>([&checkedAsStored](mavo::CDisplayOptionsDialog* dialog) {
        checkedAsStored = dialog->Switch(0)->isChecked() && !dialog->Switch(1)->isChecked();
        EXPECT_TRUE(SaveShot(dialog, QStringLiteral("mavo-display-options.png")));
        for (const auto& [index, on] : {std::pair{0, false}, {2, true}, {4, true}})
            dialog->Switch(index)->setChecked(on);
        dialog->accept();
    });
    ASSERT_TRUE(Frame().RunCommand(CommandId::DisplayOptions));
    EXPECT_TRUE(checkedAsStored);
    EXPECT_EQ(Frame().Settings().infoTip, 0x40 | 0x04 | 0x10);
    EXPECT_EQ(StoredInt("MainFrame", "InfoTip"), 0x54);
}
