// The chrome a desktop user expects: MAVO's icon on every window, dialogs
// without minimise and maximise buttons, the open pages listed in the
// Window menu, and a page area that scrolls to windows beyond its edges.
#include "LiveApp.h"

#include "core/ui/DialogChrome.h"
#include "core/ui/Pictures.h"

#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>

using namespace testsupport;
using mavo::CommandId;

namespace {

class WindowChromeTest : public LiveAppFixture {
protected:
    QMenu* WindowMenu()
    {
        for (QAction* action : Frame().menuBar()->actions())
            if (action->menu() != nullptr && action->text() == QStringLiteral("&Window"))
                return action->menu();
        return nullptr;
    }
};

QImage IconImage(const QIcon& icon) { return icon.pixmap(32, 32).toImage(); }

} // namespace

TEST(DialogChrome, DialogsLoseTheirMinimiseAndMaximiseButtons)
{
    mavo::CDialogChrome chrome;
    qApp->installEventFilter(&chrome);
    QDialog dialog;
    dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowMinMaxButtonsHint);
    dialog.show();
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    qApp->removeEventFilter(&chrome);
}

TEST_F(WindowChromeTest, PageWindowsShowTheIconTheWindowMenuListsThemAndTheAreaScrollsToThem)
{
    PointFeedAtServer();
    StartLive();
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("mavo"));
    ASSERT_NE(OpenPageByNew(2), nullptr);
    ASSERT_NE(OpenPageByNew(3), nullptr);
    QMdiArea* area = Frame().MdiArea();
    ASSERT_EQ(area->subWindowList().size(), 2);
    for (QMdiSubWindow* page : area->subWindowList())
        EXPECT_EQ(IconImage(page->windowIcon()), IconImage(mavo::ApplicationIcon()));

    QMenu* menu = WindowMenu();
    ASSERT_NE(menu, nullptr);
    area->setActiveSubWindow(area->subWindowList().at(1));
    for (int opened = 0; opened < 2; ++opened) {  // listed afresh each time, never twice
        emit menu->aboutToShow();
        QStringList listed;
        QAction* first = nullptr;
        for (QAction* action : menu->actions())
            if (action->text().startsWith(QLatin1Char('&')) && action->isCheckable()) {
                listed << action->text();
                if (first == nullptr)
                    first = action;
            }
        ASSERT_EQ(listed.size(), 2) << listed.join(QStringLiteral(", ")).toStdString();
        EXPECT_EQ(listed[0], QStringLiteral("&1 ") + area->subWindowList().at(0)->windowTitle());
        EXPECT_EQ(listed[1], QStringLiteral("&2 ") + area->subWindowList().at(1)->windowTitle());
        ASSERT_NE(first, nullptr);
        EXPECT_FALSE(first->isChecked());
        first->trigger();
        EXPECT_EQ(area->activeSubWindow(), area->subWindowList().at(0));
        area->setActiveSubWindow(area->subWindowList().at(1));
    }

    // The page area scrolls to a window beyond its edge.
    QMdiSubWindow* page = area->subWindowList().at(0);
    ASSERT_FALSE(area->horizontalScrollBar()->isVisible());
    page->move(area->viewport()->width() - 50, 10);
    QCoreApplication::processEvents();
    ASSERT_TRUE(WaitFor([&] { return area->horizontalScrollBar()->isVisible(); }, 10000));
    EXPECT_GT(area->horizontalScrollBar()->maximum(), 0);
}
