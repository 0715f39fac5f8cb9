// The main window's own commands and settings: full screen and Space,
// always on top, the flash timer, the bars, the context menu, the exit
// question, and every setting as it was after a restart.
#include "LiveApp.h"

#include "orders/ui/TradeWindow.h"
#include "lineinfo/ui/LineInfoWindow.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

using namespace testsupport;
using mavo::CommandId;

namespace {

class MainFrameTest : public LiveAppFixture {
protected:
    void SetUp() override
    {
        LiveAppFixture::SetUp();
        PointFeedAtServer();
    }
    static QStringList ActionTexts(const QList<QAction*>& actions)
    {
        QStringList texts;
        for (QAction* a : actions)
            texts << (a->isSeparator() ? QStringLiteral("|") : a->text());
        return texts;
    }
};

} // namespace

TEST_F(MainFrameTest, FullScreenWithDefaultRectangleCoversTheScreenAndSpaceLeavesIt)
{
    ASSERT_NO_FATAL_FAILURE(StartLive());  // connected, so that no waiting dialog takes the keys
    const QRect normal = Frame().geometry();
    const QRect screen = Frame().screen()->geometry();
    ASSERT_TRUE(Frame().RunCommand(CommandId::ViewFullScreen));
    Spin(100);
    EXPECT_TRUE(Frame().IsFullScreen());
    EXPECT_EQ(Frame().geometry(), screen);
    EXPECT_FALSE(Frame().menuBar()->isVisible());
    Frame().UpdateCommands();
    EXPECT_TRUE(Frame().Commands().Action(CommandId::ViewFullScreen)->isChecked());

    Frame().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
    QTest::keyClick(&Frame(), Qt::Key_Space);
    Spin(100);
    EXPECT_FALSE(Frame().IsFullScreen());
    EXPECT_EQ(Frame().geometry(), normal);
    EXPECT_TRUE(Frame().menuBar()->isVisible());
    // Space outside full screen does nothing.
    QTest::keyClick(&Frame(), Qt::Key_Space);
    EXPECT_FALSE(Frame().IsFullScreen());
}

TEST_F(MainFrameTest, StoredFullScreenRectangleAndWindowStatesComeBack)
{
    for (const auto& [name, value] :
         {std::pair{"FullScreenX", 10}, {"FullScreenY", 20}, {"FullScreenCX", 300}, {"FullScreenCY", 200}})
        Section("MainFrame").SetInt(name, value);
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    Frame().SetFullScreen(true);
    Spin(100);
    EXPECT_EQ(Frame().geometry(), QRect(10, 20, 300, 200));
    app.reset();

    Section("MainFrame").SetInt("FullScreen", 1);
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    EXPECT_TRUE(Frame().IsFullScreen());
    app.reset();

    Section("MainFrame").SetInt("FullScreen", 0);
    Section("MainFrame").SetInt("Maximized", 1);
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    EXPECT_FALSE(Frame().IsFullScreen());
    EXPECT_TRUE(Frame().isMaximized());
}

TEST_F(MainFrameTest, AlwaysOnTopTogglesWithoutMovingTheWindowAndTheFlashTimerTicks)
{
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    const QRect before = Frame().geometry();
    ASSERT_TRUE(Frame().RunCommand(CommandId::AlwaysOnTop));
    Spin(100);
    EXPECT_TRUE(Frame().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Frame().geometry(), before);
    EXPECT_TRUE(Frame().isVisible());
    EXPECT_TRUE(Frame().Commands().Action(CommandId::AlwaysOnTop)->isChecked());
    ASSERT_TRUE(Frame().RunCommand(CommandId::AlwaysOnTop));
    Spin(100);
    EXPECT_FALSE(Frame().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Frame().geometry(), before);
    // The flash timer ticks meanwhile.
    const int start = Frame().FlashCount();
    ASSERT_TRUE(WaitFor([&] { return Frame().FlashCount() >= start + 3; }, 10000));
}

TEST_F(MainFrameTest, MenusToolbarStatusBarAndContextMenuHoldOnlyWhatIsDelivered)
{
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    // The toolbar in its order, without the commands of pages not yet here.
    EXPECT_EQ(ActionTexts(Frame().ToolBar()->actions()).join(QLatin1Char(';')).toStdString(),
              "&New;&Save Format;Print &All Pages;|;&Connect Primary;&Options;&Refresh Windows;&View Full Screen;|;"
              "Set As &Default;&Apply Default;|;&Anchor Windows;Lock For&mat;&Info Click Enabled;&Title Bar;"
              "&Border Only;&Frameless;|;&Font;Modify Layout;Modify Stack;Modify Aggressors;Modify Trade History;"
              "Modify Contents;|;&About MAVO...");
    // No command is missing: every one of the table has its handler (the
    // submenu entry stands for its items).
    for (const mavo::CommandInfo& info : mavo::AllCommands())
        if (mavo::FindSubmenu(info.id) == nullptr) {
            EXPECT_NE(Frame().Commands().Action(info.id), nullptr) << info.text;
        }

    // The context menu by key opens inside the top left corner, by mouse at
    // the pointer.
    QContextMenuEvent byKey(QContextMenuEvent::Keyboard, QPoint(0, 0), Frame().mapToGlobal(QPoint(0, 0)));
    QCoreApplication::sendEvent(&Frame(), &byKey);
    QMenu* menu = Frame().ContextMenu();
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }, 5000));
    EXPECT_EQ(menu->pos(), Frame().centralWidget()->mapToGlobal(QPoint(5, 5)));
    EXPECT_TRUE(ActionTexts(menu->actions()).contains(QStringLiteral("Always On Top")));
    menu->hide();

    const QPoint at = Frame().mapToGlobal(QPoint(100, 120));
    QContextMenuEvent byMouse(QContextMenuEvent::Mouse, QPoint(100, 120), at);
    QCoreApplication::sendEvent(&Frame(), &byMouse);
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }, 5000));
    EXPECT_EQ(menu->pos(), at);
    menu->hide();

    // Hiding the bars.
    ASSERT_TRUE(Frame().RunCommand(CommandId::ViewToolBar));
    ASSERT_TRUE(Frame().RunCommand(CommandId::ViewStatusBar));
    EXPECT_TRUE(Frame().ToolBar()->isHidden());
    EXPECT_TRUE(Frame().statusBar()->isHidden());
}

TEST_F(MainFrameTest, ExitAsksAndOnlyYesSaves)
{
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    Frame().Settings().anchored = 1;

    messages.answers.push_back(mavo::CMessageService::Cancel);
    EXPECT_FALSE(Frame().close());
    auto asked = messages.WithCaption("Exit");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Do you want to save your current settings\nbefore exiting the application?");
    EXPECT_EQ(asked[0].buttons, mavo::CMessageService::Buttons::YesNoCancel);
    EXPECT_EQ(StoredInt("MainFrame", "Anchored"), -99999);

    messages.answers.push_back(mavo::CMessageService::No);
    EXPECT_TRUE(Frame().close());
    EXPECT_EQ(StoredInt("MainFrame", "Anchored"), -99999);

    app.reset();
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    Frame().Settings().anchored = 1;
    messages.answers.push_back(mavo::CMessageService::Yes);
    EXPECT_TRUE(Frame().close());
    EXPECT_EQ(StoredInt("MainFrame", "Anchored"), 1);
}

TEST_F(MainFrameTest, EverySettingIsAsItWasAfterARestart)
{
    ASSERT_NO_FATAL_FAILURE(StartLive());
    Frame().setGeometry(QRect(40, 60, 720, 480));
    Spin(50);
    for (CommandId toggle : {CommandId::AnchorWindows, CommandId::InfoClickEnabled, CommandId::PopupNotifications,
                             CommandId::AlwaysOnTop, CommandId::ViewToolBar})
        ASSERT_TRUE(Frame().RunCommand(toggle)) << static_cast<int>(toggle);
    // "InfoKey" is the line the trade window shows.
    auto* tradeWindow = Frame().findChild<mavo::CTradeWindow*>();
    ASSERT_NE(tradeWindow, nullptr);
    tradeWindow->ShowLine(512);
    Frame().Settings().myPriceBG = 0x00FF00;
    messages.answers.push_back(mavo::CMessageService::Yes);
    ASSERT_TRUE(Frame().RunCommand(CommandId::Failover));
    ASSERT_TRUE(Frame().RunCommand(CommandId::SaveFormat));
    EXPECT_TRUE(messages.WithCaption("Error").empty());
    Spin(100);
    app.reset();

    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    EXPECT_EQ(Frame().NormalRect(), QRect(40, 60, 720, 480));
    EXPECT_EQ(Frame().geometry(), QRect(40, 60, 720, 480));
    const mavo::CMainFrameSettings& s = Frame().Settings();
    for (const auto& [name, value] : {std::pair{"anchored", s.anchored}, {"infoOnClick", s.infoOnClick},
                                      {"contribPopup", s.contribPopup}, {"alwaysOnTop", s.alwaysOnTop}})
        EXPECT_EQ(value, 1) << name;
    EXPECT_EQ(s.infoKey, 512);
    EXPECT_EQ(s.myPriceBG, 0x00FF00);
    // Both line windows are set to it (made after the first frame).
    ASSERT_TRUE(WaitForFirstFrame());
    ASSERT_NE(Frame().findChild<mavo::CTradeWindow*>(), nullptr);
    EXPECT_EQ(Frame().findChild<mavo::CTradeWindow*>()->Key(), 512u);
    ASSERT_NE(Frame().findChild<mavo::CLineInfoWindow*>(), nullptr);
    EXPECT_EQ(Frame().findChild<mavo::CLineInfoWindow*>()->Key(), 512u);
    EXPECT_TRUE(Frame().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(Frame().ToolBar()->isHidden());
    EXPECT_FALSE(Frame().statusBar()->isHidden());
    // The backup was selected when saved: it is the one that connects.
    EXPECT_EQ(Frame().Connection().Failover(), 1);
    EXPECT_TRUE(WaitForLive("Backup"));
}

