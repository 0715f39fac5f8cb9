// Page windows in the running application against a real zphd: "&New"
// through its dialog, live lines that follow the feed row by row, the
// page-window commands in the menus, saving and reopening the pages with
// the settings, printing from the running application, and a picture of the
// main window with a live page.
#include "LiveApp.h"

#include "pages/ui/NewPageDialog.h"

#include <QSpinBox>

using namespace testsupport;
using mavo::CChildFrame;
using mavo::CommandId;

namespace {

class PageLiveTest : public LiveAppFixture {
protected:
    void SetUp() override
    {
        LiveAppFixture::SetUp();
        PointFeedAtServer();
    }

    // The page's lines are in the cache (zphd's pages hold 7 to 26 lines).
    static bool LinesArrived(CChildFrame* frame)
    {
        const mavo::CMAVODoc& doc = frame->View()->Document();
        int present = 0;
        for (unsigned key : doc.Lines())
            present += doc.Feed().Cache().GetForRead(key) != nullptr;
        return present >= 7;
    }
};

} // namespace

TEST_F(PageLiveTest, NewPageShowsLiveLinesFollowsTheFeedRowByRowAndComesBackAfterARestart)
{
    StartLive();
    CChildFrame* frame = OpenPageByNew(1);
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(PageWindows().size(), 1u);
    EXPECT_EQ(frame->windowTitle().toStdString(), "LATAM SOVEREIGNS");
    EXPECT_EQ(mavo::CNewPageDialog::LastPage(), 1);
    ASSERT_TRUE(WaitFor([&] { return LinesArrived(frame); }, 30000));
    mavo::CPageList* list = frame->View()->List();
    // The market moves: rows repaint as their lines change.
    const int updates = frame->View()->UpdatesApplied();
    ASSERT_TRUE(WaitFor([&] { return frame->View()->UpdatesApplied() > updates + 3; }, 30000));
    const int rowsBefore = list->RowsPainted();
    const int paintsBefore = list->PaintCount();
    ASSERT_TRUE(WaitFor([&] { return list->PaintCount() > paintsBefore + 3; }, 30000));
    // A handful of rows per paint, never the whole page each time.
    EXPECT_LT(list->RowsPainted() - rowsBefore, (list->PaintCount() - paintsBefore) * list->RowCount());

    // The same page again only activates its window.
    EXPECT_EQ(OpenPageByNew(1), frame);
    EXPECT_EQ(PageWindows().size(), 1u);

    // The page's commands are in the menus and work on the active window.
    ASSERT_NE(Frame().Commands().Action(CommandId::TitleBar), nullptr);
    Frame().MdiArea()->setActiveSubWindow(frame);
    ASSERT_TRUE(Frame().RunCommand(CommandId::BorderOnly));
    EXPECT_EQ(frame->FrameStyle(), 1);
    Frame().UpdateCommands();
    EXPECT_TRUE(Frame().Commands().Action(CommandId::BorderOnly)->isChecked());
    EXPECT_FALSE(Frame().Commands().Action(CommandId::TitleBar)->isChecked());
    EXPECT_TRUE(Frame().Commands().Action(CommandId::PrintAllPages)->isEnabled());

    // A picture of the main window with its live page.
    Spin(300);
    EXPECT_TRUE(SaveShot(&Frame(), QStringLiteral("mavo-live-page.png")));

    // The open pages come back after a restart.
    OpenPageByNew(3);
    ASSERT_EQ(PageWindows().size(), 2u);
    PageWindows()[1]->SetFrameStyle(CChildFrame::kFrameless);
    PageWindows()[1]->move(250, 120);
    const QRect where = PageWindows()[1]->geometry();
    ASSERT_TRUE(Frame().RunCommand(CommandId::SaveFormat));
    EXPECT_EQ(std::tuple(StoredInt("MAVO Document/0", "Page"), StoredInt("MAVO Document/1", "Page"),
                         StoredInt("MAVO Document/1/Views/0", "FrameStyle"), StoredInt("PrintStyle", "BidStackSize")),
              std::tuple(1, 3, 2, 1));
    app.reset();

    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    ASSERT_EQ(PageWindows().size(), 2u);
    EXPECT_EQ(std::tuple(PageWindows()[0]->View()->Document().GetPage(), PageWindows()[1]->View()->Document().GetPage(),
                         PageWindows()[1]->FrameStyle(), PageWindows()[1]->geometry()),
              std::tuple(1, 3, 2, where));
    // They ask the feed for their pages once it is live, and fill.
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    EXPECT_TRUE(WaitFor([&] { return LinesArrived(PageWindows()[1]); }, 30000));

    // Closing asks; the answer No keeps the window.
    messages.answers.push_back(mavo::CMessageService::No);
    EXPECT_FALSE(PageWindows()[0]->close());
    ASSERT_FALSE(messages.WithCaption("Close Page").empty());
    EXPECT_EQ(messages.WithCaption("Close Page").back().text, "Are you sure you want to close LATAM SOVEREIGNS?");
}
