// The main window's command keys reach it from wherever the user is: a
// focused page window (whose own system menu must not claim them) and the
// modeless tool windows.
#include "LiveApp.h"

#include "status/ui/SourceStatusWindow.h"
#include "tools/ui/ClockWindow.h"

#include <QApplication>
#include <QMdiArea>
#include <QMenu>
#include <QTest>

using namespace testsupport;
using mavo::CommandId;

namespace {

class ShortcutsTest : public LiveAppFixture {
protected:
    template <typename Window>
    Window* TopLevel()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<Window*>(w))
                return found;
        return nullptr;
    }

    static bool Activate(QWidget* window)
    {
        window->activateWindow();
        QApplication::setActiveWindow(window);
        return WaitFor([window] { return QApplication::activeWindow() == window; }, 10000);
    }
};

} // namespace

TEST_F(ShortcutsTest, CtrlWWorksWhileAPageWindowHasTheFocus)
{
    PointFeedAtServer();
    ASSERT_NO_FATAL_FAILURE(StartLive());
    mavo::CChildFrame* page = OpenPageByNew(4);
    ASSERT_NE(page, nullptr);
    QMdiArea* area = Frame().MdiArea();
    ASSERT_EQ(area->subWindowList().size(), 1);
    // No key of the page window's own menu stands in a command's way.
    if (QMenu* menu = page->systemMenu()) {
        for (QAction* action : menu->actions())
            EXPECT_TRUE(action->shortcuts().isEmpty()) << action->text().toStdString();
    }

    ASSERT_TRUE(Activate(&Frame()));
    area->setActiveSubWindow(page);
    page->View()->setFocus();
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() != nullptr; }, 10000));
    ASSERT_FALSE(Frame().IsFullScreen());
    QTest::keyClick(page->View(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(Frame().IsFullScreen());
    // Full screen remakes the main window: the page is made active again.
    ASSERT_TRUE(Activate(&Frame()));
    QTest::keyClick(page->View(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(Frame().IsFullScreen());
}

TEST_F(ShortcutsTest, CommandKeysWorkWhileAToolWindowHasTheFocus)
{
    // Connected, so that no waiting dialog (modal) keeps the keys away; the
    // status window is made after the first frame.
    PointFeedAtServer();
    ASSERT_NO_FATAL_FAILURE(StartLive());
    ASSERT_TRUE(Frame().RunCommand(CommandId::CurrentTime));
    auto* clock = TopLevel<mavo::CClockWindow>();
    ASSERT_NE(clock, nullptr);
    ASSERT_TRUE(clock->isVisible());
    ASSERT_TRUE(Activate(clock));
    auto* status = TopLevel<mavo::CSourceStatusWindow>();
    ASSERT_TRUE(status == nullptr || !status->isVisible());
    QTest::keyClick(clock, Qt::Key_E, Qt::ControlModifier);
    status = TopLevel<mavo::CSourceStatusWindow>();
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isVisible());

    // And back from the status window to the main window's full screen.
    ASSERT_TRUE(Activate(status));
    QTest::keyClick(status, Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(Frame().IsFullScreen());
}
