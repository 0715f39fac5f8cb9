// The chrome a desktop user expects: MAVO's icon on every window, dialogs
// without minimise and maximise buttons, the open pages listed in the
// Window menu, and a page area that scrolls to windows beyond its edges;
// the style's icons made once, and the start-up pictures drawn on another
// thread exactly as on the window thread.
#include "LiveApp.h"

#include "core/ui/DialogChrome.h"
#include "core/ui/Pictures.h"
#include "core/ui/StandardIconCache.h"

#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOption>

#include <future>
#include <memory>

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

TEST(StandardIconCache, EachIconIsMadeOnceAndAnOptionOrAThemeChangeAsksTheStyleAgain)
{
    auto owned = std::make_unique<mavo::CStandardIconCache>(QStyleFactory::create(QStringLiteral("Fusion")));
    mavo::CStandardIconCache& cache = *owned;
    const QIcon close = cache.standardIcon(QStyle::SP_TitleBarCloseButton);
    EXPECT_EQ(cache.standardIcon(QStyle::SP_TitleBarCloseButton).cacheKey(), close.cacheKey());
    EXPECT_EQ(cache.BaseCalls(), 1);
    const std::unique_ptr<QStyle> plain(QStyleFactory::create(QStringLiteral("Fusion")));
    EXPECT_EQ(IconImage(close), IconImage(plain->standardIcon(QStyle::SP_TitleBarCloseButton)));
    cache.standardIcon(QStyle::SP_TitleBarMinButton);
    EXPECT_EQ(cache.BaseCalls(), 2);
    // An option may carry a state or a direction: never from the cache.
    QStyleOption option;
    cache.standardIcon(QStyle::SP_TitleBarCloseButton, &option);
    cache.standardIcon(QStyle::SP_TitleBarCloseButton, &option);
    EXPECT_EQ(cache.BaseCalls(), 4);
    QEvent themeChange(QEvent::ThemeChange);
    QCoreApplication::sendEvent(qApp, &themeChange);
    cache.standardIcon(QStyle::SP_TitleBarCloseButton);
    EXPECT_EQ(cache.BaseCalls(), 5);

    // Installed once in front of the application's style, never twice.
    mavo::CStandardIconCache::Install();
    QStyle* installed = QApplication::style();
    EXPECT_NE(qobject_cast<mavo::CStandardIconCache*>(installed), nullptr);
    mavo::CStandardIconCache::Install();
    EXPECT_EQ(QApplication::style(), installed);
}

TEST(StartupPictures, DrawnOffTheWindowThreadTheyAreTheWindowThreadsOwn)
{
    const mavo::StartupPictures drawn =
        std::async(std::launch::async, [] { return mavo::DrawStartupPictures(true); }).get();
    EXPECT_EQ(drawn.splash, mavo::SplashImage());
    EXPECT_EQ(drawn.applicationIcon, mavo::ApplicationIconImages());
    ASSERT_EQ(drawn.applicationIcon.size(), 3u);
    EXPECT_EQ(drawn.applicationIcon[2].size(), QSize(48, 48));
    EXPECT_TRUE(mavo::DrawStartupPictures(false).splash.isNull());
}

TEST_F(WindowChromeTest, PageWindowsShowTheIconTheWindowMenuListsThemAndTheAreaScrollsToThem)
{
    PointFeedAtServer();
    ASSERT_NO_FATAL_FAILURE(StartLive());
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
