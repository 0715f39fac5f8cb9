// The "Source Status" window in a running MAVO against a real zphd.
#include "AppFixture.h"

#include "core/ScreenController.h"
#include "status/ui/SourceStatusWindow.h"
#include "zphsource/Source.h"

#include <QAction>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace testsupport;

namespace {

class SourceStatusWindowTest : public AppFixture {
protected:
    mavo::CSourceStatusWindow* Window()
    {
        return Frame().findChild<mavo::CSourceStatusWindow*>(QStringLiteral("SourceStatus"));
    }

    // Entries that contain the text.
    int Count(const std::string& text)
    {
        int n = 0;
        for (const std::string& entry : Window()->Log().Entries())
            n += entry.find(text) != std::string::npos ? 1 : 0;
        return n;
    }

    bool WaitForEntry(const std::string& text, int timeoutMs = 30000)
    {
        return WaitFor([&] { return Count(text) > 0; }, timeoutMs);
    }

    // MAVO started against zphd, its status window made.
    void StartWithWindow()
    {
        PointFeedAtServer();
        ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
        ASSERT_TRUE(WaitForFirstFrame());
        ASSERT_NE(Window(), nullptr);
    }

    bool WaitForBadPackets(long atLeast)
    {
        return WaitFor([&] {
            const std::string bad = Window()->ShownMetrics().badPackets;
            return !bad.empty() && std::stol(bad) >= atLeast;
        });
    }
};

TEST_F(SourceStatusWindowTest, HiddenAtStartPlacedFromSettingsShownByStatusWithDialAndHangupOff)
{
    Section("MainFrame").SetInt("StatusLeft", 123);
    Section("MainFrame").SetInt("StatusTop", 77);
    ASSERT_NO_FATAL_FAILURE(StartWithWindow());
    mavo::CSourceStatusWindow* window = Window();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(123, 77));
    EXPECT_TRUE(window->BadPacketsBox()->isChecked());
    EXPECT_TRUE(app->Controller().IsLogging());

    ASSERT_TRUE(Frame().RunCommand(mavo::CommandId::SourceStatus));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Frame().Commands().Action(mavo::CommandId::SourceStatus)->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+E")));

    // The place and visibility are saved with the rest.
    window->move(140, 90);
    ASSERT_TRUE(Frame().SaveAllSettings());
    EXPECT_EQ(StoredInt("MainFrame", "ShowStatus"), 1);
    EXPECT_EQ(StoredInt("MainFrame", "StatusLeft"), 140);
    EXPECT_EQ(StoredInt("MainFrame", "StatusTop"), 90);

    // Dial and Hangup are there and stay disabled.
    Frame().UpdateCommands();
    for (mavo::CommandId id : {mavo::CommandId::Dial, mavo::CommandId::Hangup}) {
        ASSERT_NE(Frame().Commands().Action(id), nullptr);
        EXPECT_FALSE(Frame().Commands().Action(id)->isEnabled()) << static_cast<int>(id);
        EXPECT_FALSE(Frame().RunCommand(id));
    }
}

TEST_F(SourceStatusWindowTest, FeedStateKindAddressAndMetricsThenReset)
{
    ASSERT_NO_FATAL_FAILURE(StartWithWindow());
    mavo::CSourceStatusWindow* window = Window();
    ASSERT_TRUE(WaitForEntry("\tFeed Live"));
    EXPECT_EQ(window->ShownFeedState(), mavo::FeedState::Live);
    EXPECT_EQ(window->KindText(), "Socket");
    EXPECT_NE(window->AddressText().toStdString().find(std::to_string(zphd.SocketPort())), std::string::npos)
        << window->AddressText().toStdString();

    ASSERT_TRUE(WaitFor([&] { return !window->ShownMetrics().connectTime.empty(); }));
    ASSERT_TRUE(WaitFor([&] { return std::stol(window->ShownMetrics().packets) > 0; }));

    // No feed time for a while: the fields stay empty after Reset.
    ASSERT_EQ(zphd.Control("stall 3"), "OK");
    window->ResetButton()->click();
    EXPECT_EQ(window->ShownMetrics(), mavo::MetricTexts{});
    Spin(1500);
    EXPECT_EQ(window->ShownMetrics(), mavo::MetricTexts{}) << "all four fields empty until the next feed time";
    // The next feed time fills them again, counted from the reset.
    ASSERT_TRUE(WaitFor([&] { return !window->ShownMetrics().packets.empty(); }, 10000));
    EXPECT_EQ(window->ShownMetrics().badPackets, "0");

    ASSERT_EQ(zphd.Control("drop").substr(0, 2), "OK");
    ASSERT_TRUE(WaitForEntry("\tFeed Dead", 20000));
    EXPECT_EQ(window->ShownFeedState(), mavo::FeedState::Dead);
}

TEST_F(SourceStatusWindowTest, LogKeepsTheLastTwoHundredEntriesAnEmptyTextClearsItAndLongLinesScroll)
{
    ASSERT_NO_FATAL_FAILURE(StartWithWindow());
    mavo::CSourceStatusWindow* window = Window();
    for (int i = 1; i <= 250; ++i)
        window->AddLog("entry " + std::to_string(i));
    // Feed events may have joined meanwhile; the newest 200 are shown.
    ASSERT_EQ(window->List()->count(), 200);
    EXPECT_EQ(static_cast<std::size_t>(window->List()->count()), window->Log().Entries().size());
    EXPECT_TRUE(window->List()->item(199)->text().endsWith(QStringLiteral("\tentry 250")));
    EXPECT_TRUE(window->List()->item(0)->text().endsWith(QStringLiteral("\tentry 51")));

    window->AddLog("");
    EXPECT_EQ(window->List()->count(), 0);
    EXPECT_TRUE(window->Log().Entries().empty());

    // A long line after a short one can be scrolled to its end.
    ASSERT_TRUE(Frame().RunCommand(mavo::CommandId::SourceStatus));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->AddLog("short");
    const std::string long_(300, 'W');
    window->AddLog(long_);
    QCoreApplication::processEvents();
    QListWidget* list = window->List();
    const int needed = list->fontMetrics().horizontalAdvance(QString::fromStdString(long_));
    ASSERT_TRUE(WaitFor([&] { return list->horizontalScrollBar()->isVisible(); }, 10000));
    EXPECT_GE(list->horizontalScrollBar()->maximum() + list->viewport()->width(), needed);
}

TEST_F(SourceStatusWindowTest, FeedTimesLineUpdatesAndBadPacketsAreLoggedOnlyWhileTheirSwitchIsOn)
{
    ASSERT_NO_FATAL_FAILURE(StartWithWindow());
    mavo::CSourceStatusWindow* window = Window();
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    ASSERT_TRUE(WaitFor([&] { return !Frame().PaneText(mavo::CMainFrame::kFeedTimePane).isEmpty(); }));
    const std::size_t before = window->Log().Entries().size();
    Spin(1500);
    EXPECT_EQ(window->Log().Entries().size(), before) << "feed times are not logged by default";

    window->FeedTimesBox()->setChecked(true);
    ASSERT_TRUE(WaitFor([&] { return window->Log().Entries().size() >= before + 2; }, 10000));
    EXPECT_NE(window->Log().Entries().back().find('\t'), std::string::npos);
    window->FeedTimesBox()->setChecked(false);

    // Line updates.
    ASSERT_TRUE(app->Controller().GetSource()->RequestPage(1));
    EXPECT_FALSE(app->Controller().IsLineLogging());

    window->LineUpdatesBox()->setChecked(true);
    EXPECT_EQ(Count("\tStarting line update logging..."), 1);
    EXPECT_TRUE(app->Controller().IsLineLogging());
    ASSERT_EQ(zphd.Control("set 1 1 5 Modem Test").substr(0, 2), "OK");
    ASSERT_TRUE(WaitForEntry("\tUpdate on page 1, line "));

    window->LineUpdatesBox()->setChecked(false);
    EXPECT_EQ(Count("\tStopping line update logging..."), 1);
    EXPECT_FALSE(app->Controller().IsLineLogging());
    ASSERT_EQ(zphd.Control("set 1 1 5 Modem Test Again").substr(0, 2), "OK");
    ASSERT_EQ(zphd.Control("set 1 2 5 Modem Test Again").substr(0, 2), "OK");
    Spin(1500);
    // Nothing after the stop is a line update.
    const auto& entries = window->Log().Entries();
    const auto stop = std::find_if(entries.rbegin(), entries.rend(), [](const std::string& entry) {
        return entry.find("\tStopping line update logging...") != std::string::npos;
    });
    ASSERT_NE(stop, entries.rend());
    for (auto it = entries.rbegin(); it != stop; ++it)
        EXPECT_EQ(it->find("Update on page"), std::string::npos) << *it;

    // Bad packets: counted always, logged while the switch is on.
    ASSERT_EQ(zphd.Control("malformed all fields").substr(0, 2), "OK");
    ASSERT_TRUE(WaitForEntry("bad packet"));
    ASSERT_TRUE(WaitForBadPackets(1));

    window->BadPacketsBox()->setChecked(false);
    EXPECT_FALSE(app->Controller().IsLogging());
    const int badBefore = Count("bad packet");
    ASSERT_EQ(zphd.Control("malformed all fields").substr(0, 2), "OK");
    ASSERT_TRUE(WaitForBadPackets(2));
    EXPECT_EQ(Count("bad packet"), badBefore);
}

} // namespace
