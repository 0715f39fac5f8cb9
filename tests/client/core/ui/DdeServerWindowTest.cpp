// The "DDE Server" window in the running application against a real zphd:
// its creation with the main window, "Enable DDE", the start failure, the
// log cap, and spreadsheet-like clients (mavo-dde and an in-process DDE
// client) that hear the advises each kind of feed message causes.
#include "LiveApp.h"
#include "ChildProcess.h"
#include "MavoDdeClient.h"
#include "WidgetStates.h"

#include "core/ui/DdeServerWindow.h"

#include <QCheckBox>
#include <QListWidget>

#include <sstream>
#include <sys/stat.h>

using namespace testsupport;
using mavo::CDdeServerWindow;
using mavo::CommandId;

namespace {

class DdeServerWindowTest : public LiveAppFixture {
protected:
    CDdeServerWindow* Window() { return Frame().findChild<CDdeServerWindow*>(QStringLiteral("DdeServerWindow")); }

    void EnableAtStart() { Section("MainFrame").SetInt("Enable DDE", 1); }

    // Starts MAVO live on page 1 with the DDE server running.
    void StartLiveWithDde()
    {
        ASSERT_NO_FATAL_FAILURE(HoldMarket());
        PointFeedAtServer();
        EnableAtStart();
        ASSERT_NO_FATAL_FAILURE(StartLive());
        ASSERT_NE(OpenPageByNew(1), nullptr);
        ASSERT_TRUE(WaitFor([&] { return HasLine(1, 1) && HasLine(1, 3); }, 30000));
        ASSERT_NE(Window(), nullptr);
        ASSERT_TRUE(Window()->Server().IsRunning());
    }

    // Runs the application's events and the client's call-backs until the
    // condition holds.
    static bool PumpUntil(ddetest::Client& client, const std::function<bool()>& condition)
    {
        return WaitFor([&] {
            DdeProcessPending(client.Inst(), 0);
            return condition();
        }, 30000);
    }

    // Runs the application's events and reads the tools' output until the
    // condition holds.
    static bool PumpUntil(std::initializer_list<ChildProcess*> tools, const std::function<bool()>& condition)
    {
        return WaitFor([&] {
            for (ChildProcess* tool : tools)
                tool->Pump(0);
            return condition();
        }, 30000);
    }

    static bool Contains(const std::vector<std::string>& values, const std::string& value)
    {
        return std::find(values.begin(), values.end(), value) != values.end();
    }
};

} // namespace

TEST_F(DdeServerWindowTest, WindowIsMadeWithTheMainFrameTheCommandShowsItAndItsListIsCapped)
{
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    CDdeServerWindow* window = Window();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->IsEnabled());
    EXPECT_FALSE(window->Server().IsRunning());
    EXPECT_EQ(CheckedOf({window->LiveBox(), window->HistoryBox(), window->MarketTextBox()}), Flags(3, false));

    ASSERT_TRUE(Frame().RunCommand(CommandId::DdeServer));
    EXPECT_TRUE(window->isVisible());
    window->move(140, 160);
    ASSERT_TRUE(Frame().SaveAllSettings());
    EXPECT_EQ(StoredInt("MainFrame", "ShowDDE"), 1);
    EXPECT_EQ(StoredInt("MainFrame", "DDELeft"), 140);
    EXPECT_EQ(StoredInt("MainFrame", "DDETop"), 160);
    EXPECT_EQ(StoredInt("MainFrame", "Enable DDE"), 0);

    // The activity list never holds more than a thousand rows.
    for (int i = 0; i < 2345; ++i) {
        window->AddLogEntry("entry " + std::to_string(i));
        ASSERT_LE(window->List()->count(), 1000);
        ASSERT_EQ(static_cast<std::size_t>(window->List()->count()), window->Log().Size());
    }
    EXPECT_EQ(window->List()->item(window->List()->count() - 1)->text().toStdString(), "entry 2344");
}

TEST_F(DdeServerWindowTest, StoredEnableStartsTheServerAndTheBoxStoresEachChange)
{
    for (const auto& [name, value] : {std::pair{"Enable DDE", 1}, {"ShowDDE", 1}, {"DDELeft", 120}, {"DDETop", 130}})
        Section("MainFrame").SetInt(name, value);
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    CDdeServerWindow* window = Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(120, 130));
    EXPECT_TRUE(window->IsEnabled());
    EXPECT_TRUE(window->Server().IsRunning());
    ASSERT_GE(window->List()->count(), 1);
    EXPECT_EQ(window->List()->item(0)->text().toStdString(), "DDE Server Initialized, servername = MAVO");

    window->EnableBox()->setChecked(false);
    EXPECT_FALSE(window->Server().IsRunning());
    EXPECT_EQ(StoredInt("MainFrame", "Enable DDE"), 0);
    ddetest::Client client;
    EXPECT_EQ(client.Connect("MAVO", "APP"), nullptr);

    window->EnableBox()->setChecked(true);
    EXPECT_TRUE(window->Server().IsRunning());
    EXPECT_EQ(StoredInt("MainFrame", "Enable DDE"), 1);
    EXPECT_NE(client.Connect("MAVO", "APP"), nullptr);
}

TEST_F(DdeServerWindowTest, ServerThatCannotStartSaysSoAndTheWindowRunsWithout)
{
    EnableAtStart();
    // Another user could enter the socket directory: DDE refuses to start.
    const std::string dir = runtime.dir().str() + "/brindle-dde";
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    const auto errors = messages.WithCaption("DDE Error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "Unable to initialize DDE");
    EXPECT_EQ(errors[0].icon, mavo::CMessageService::Icon::Error);
    ASSERT_NE(Window(), nullptr);
    EXPECT_FALSE(Window()->IsEnabled());
    EXPECT_FALSE(Window()->Server().IsRunning());

    // Once the directory is private again the box starts it.
    ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
    Window()->EnableBox()->setChecked(true);
    EXPECT_TRUE(Window()->Server().IsRunning());
}

TEST_F(DdeServerWindowTest, MavoDdeAdvisePrintsLiveBidRatesAndFeedTimes)
{
    ASSERT_NO_FATAL_FAILURE(StartLiveWithDde());
    Window()->LiveBox()->setChecked(true);
    ChildProcess rates({MAVO_DDE_PATH, "--count", "1", "advise", "MAVO", "P1L1", "BIDRATE"});
    ChildProcess times({MAVO_DDE_PATH, "--count", "2", "advise", "MAVO", "APP", "TIMESTAMP"});
    auto lines = [](const ChildProcess& tool) {
        return std::count(tool.Stdout().begin(), tool.Stdout().end(), '\n');
    };
    // 'D': a bid rate set on the server reaches the advise loop.
    ASSERT_TRUE(PumpUntil({&rates}, [&] { return lines(rates) >= 1; })) << rates.Stderr();
    EXPECT_EQ(zphd.Control("set 1 1 100 77.77").rfind("OK", 0), 0u);
    ASSERT_TRUE(PumpUntil({&rates, &times}, [&] { return lines(rates) >= 2 && lines(times) >= 3; }))
        << rates.Stdout() << rates.Stderr() << times.Stderr();
    EXPECT_EQ(rates.Wait(), 0);
    EXPECT_EQ(times.Wait(), 0);
    EXPECT_NE(rates.Stdout().find(" P1L1!BIDRATE 77.77\n"), std::string::npos) << rates.Stdout();
    // 'T': each feed time, with its time of arrival first.
    std::istringstream out(times.Stdout());
    for (std::string line; std::getline(out, line);)
        EXPECT_NE(line.find(" APP!TIMESTAMP "), std::string::npos) << line;
}

TEST_F(DdeServerWindowTest, EachKindOfFeedMessageRefreshesTheAdviseLoops)
{
    ASSERT_NO_FATAL_FAILURE(StartLiveWithDde());
    Window()->LiveBox()->setChecked(true);
    ddetest::Client client;
    HCONV line1 = AdviseOn(client, "P1L1", {"ISSUENAME", "TEXT"});
    HCONV line2 = AdviseOn(client, "P1L2", {"ISSUENAME"});
    HCONV line3 = AdviseOn(client, "P1L3", {"ISSUENAME"});
    ASSERT_TRUE(line1 && line2 && line3 && AdviseOn(client, "P2L1", {"ISSUENAME"}));
    ASSERT_FALSE(HasFailure());
    std::string first;
    std::string second;
    ASSERT_TRUE(client.Request(line1, "ISSUENAME", first));
    ASSERT_TRUE(client.Request(line2, "ISSUENAME", second));

    // 'I': a text line goes in at line 1; the old line 1 moves to line 2.
    ASSERT_EQ(zphd.Control("insert 1 1 text INSERTED BY TEST").rfind("OK", 0), 0u);
    ASSERT_TRUE(PumpUntil(client, [&] {
        return Contains(Heard(client, "P1L1", "TEXT"), "INSERTED BY TEST") &&
               Contains(Heard(client, "P1L2", "ISSUENAME"), first);
    })) << Heard(client, "P1L1", "TEXT").size();
    EXPECT_TRUE(Contains(Heard(client, "P1L1", "ISSUENAME"), "'INSERTED BY TEST"));

    // 'E': it goes again; the lines move back up.
    ASSERT_EQ(zphd.Control("erase 1 1").rfind("OK", 0), 0u);
    ASSERT_TRUE(PumpUntil(client, [&] {
        const auto line1Names = Heard(client, "P1L1", "ISSUENAME");
        return !line1Names.empty() && line1Names.back() == first;
    }));

    // 'C': line 3 goes; its loop is refreshed and has nothing to send.
    const unsigned long posts = Window()->Server().AdvisePostCount();
    const std::size_t heardBefore = Heard(client, "P1L3", "ISSUENAME").size();
    ASSERT_EQ(zphd.Control("clear 1 3").rfind("OK", 0), 0u);
    ASSERT_TRUE(WaitFor([&] { return !HasLine(1, 3); }, 30000));
    ASSERT_TRUE(WaitFor([&] { return Window()->Server().AdvisePostCount() > posts; }, 30000));
    std::string value;
    EXPECT_FALSE(client.Request(line3, "ISSUENAME", value));
    DdeProcessPending(client.Inst(), 0);
    EXPECT_EQ(Heard(client, "P1L3", "ISSUENAME").size(), heardBefore);

    // 'R': opening page 2 brings its lines whole; the waiting loop hears them.
    EXPECT_TRUE(Heard(client, "P2L1", "ISSUENAME").empty());
    ASSERT_NE(OpenPageByNew(2), nullptr);
    ASSERT_TRUE(PumpUntil(client, [&] { return !Heard(client, "P2L1", "ISSUENAME").empty(); }));
    EXPECT_EQ(Heard(client, "P2L1", "ISSUENAME").front().rfind("'", 0), 0u);
}

TEST_F(DdeServerWindowTest, GroupsAndRestrictedLinesGateWhatClientsGet)
{
    ASSERT_NO_FATAL_FAILURE(StartLiveWithDde());
    ddetest::Client client;
    AdviseOn(client, "P1L1", {"BIDRATE", "LINE"});
    ASSERT_FALSE(HasFailure());
    // No group ticked: the line changes, LINE is refreshed, BIDRATE not.
    ASSERT_EQ(zphd.Control("set 1 1 100 55.55").rfind("OK", 0), 0u);
    ASSERT_TRUE(PumpUntil(client, [&] { return !Heard(client, "P1L1", "LINE").empty(); }));
    EXPECT_TRUE(Heard(client, "P1L1", "BIDRATE").empty());
    Window()->LiveBox()->setChecked(true);
    ASSERT_EQ(zphd.Control("set 1 1 100 55.56").rfind("OK", 0), 0u);
    ASSERT_TRUE(PumpUntil(client, [&] { return Contains(Heard(client, "P1L1", "BIDRATE"), "55.56"); }));
    // Withheld from this user (outside the full view): a single space.
    ASSERT_FALSE(Frame().Controller().IsFullView());
    ASSERT_EQ(zphd.Control("set 1 1 6 262144").rfind("OK", 0), 0u);
    ASSERT_TRUE(PumpUntil(client, [&] { return Heard(client, "P1L1", "BIDRATE").back() == " "; }));
}
