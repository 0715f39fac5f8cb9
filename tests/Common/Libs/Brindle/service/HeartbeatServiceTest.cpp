// The example service end to end, as its own process: installed into a unit
// directory of the test's and checked by systemd's verifier, run under a
// notify socket of the test's, sent user commands and stopped by SIGTERM,
// run as a process in a console, refused as a second instance, and failing
// its start with the exception event on a syslog socket of the test's.
#include "ChildProcess.h"
#include "DatagramPeer.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <thread>

namespace {

using namespace servicetest::states;
using servicetest::ParseSyslog;
using servicetest::PriError, servicetest::PriInformation, servicetest::PriWarning;
using servicetest::ReadFile;
using servicetest::ScopedEnv;
using servicetest::SyslogLine;
using testsupport::ChildProcess;
using testsupport::DatagramPeer;
using Texts = std::vector<std::string>;

const std::string Program = BRINDLE_HEARTBEAT;
const std::string Name = "brindle-heartbeat";

bool Has(const std::vector<SyslogLine>& lines, int pri, const std::string& text)
{
    return std::any_of(lines.begin(), lines.end(), [&](const SyslogLine& line) {
        return line.pri == pri && line.ident == Name && line.text == text;
    });
}

// A run's surroundings: scratch places, a syslog socket, and a notify
// socket that the run is pointed at only when it is to be managed.
struct Surroundings : servicetest::Logged {
    DatagramPeer manager{dir.str() + "/notify"};

    std::string NotifyPath() const { return dir.str() + "/notify"; }

    // Syslog lines until one holds text (it included).
    std::vector<SyslogLine> LogUntil(const std::string& text)
    {
        std::vector<SyslogLine> lines;
        syslog.ReceiveUntil([&](const std::string& line) {
            lines.push_back(ParseSyslog(line));
            return lines.back().text.find(text) != std::string::npos;
        });
        return lines;
    }
    // The states reported until one that starts with `state` (it included).
    Texts StatesUntil(const std::string& state)
    {
        return manager.ReceiveUntil([&](const std::string& m) { return m.rfind(state, 0) == 0; });
    }
    void ExpectStoppedEvent()
    {
        EXPECT_TRUE(Has(LogUntil("stopped"), PriWarning, "Service brindle-heartbeat has been stopped"));
    }
};

// The program run to its end: exit status and standard output.
int RunProgram(const Texts& args, std::string* output = nullptr)
{
    Texts argv{Program};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv);
    const int status = child.Wait();
    if (output != nullptr)
        *output = child.Stdout();
    return status;
}

// The program ends with `code` and prints a line that starts with `prefix`.
void ExpectResult(const Texts& args, int code, const std::string& prefix)
{
    std::string printed;
    EXPECT_EQ(RunProgram(args, &printed), code) << ::testing::PrintToString(args);
    EXPECT_EQ(printed.rfind(prefix, 0), 0u) << printed;
}

// The codes of the user-command lines, in the order they came.
Texts Commands(const std::vector<SyslogLine>& lines)
{
    const std::string head = "Description: user command Data: ";
    Texts codes;
    for (const SyslogLine& line : lines) {
        if (line.text.rfind(head, 0) == 0)
            codes.push_back(line.text.substr(head.size(), line.text.find(',') - head.size()));
    }
    return codes;
}

TEST(HeartbeatService, InstallsAUnitSystemdAcceptsAndUninstalls)
{
    Surroundings s;
    std::string printed;
    ASSERT_EQ(RunProgram({"-install"}, &printed), 0) << printed;
    const std::string unit = s.dir.str() + "/" + Name + ".service";
    const std::string text = ReadFile(unit);
    for (const std::string& line : {"\nExecStart=\"" + std::filesystem::canonical(Program).string() + "\"\n",
                                    std::string("\nType=notify\n"),
                                    std::string("\nDescription=Writes a heartbeat line to the system log every few seconds")})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    std::string verdict;
    const int verified = servicetest::VerifyUnit(unit, &verdict);
    if (verified >= 0) {
        EXPECT_EQ(verified, 0) << verdict;
    }
    EXPECT_TRUE(Has(s.LogUntil("installed"), PriInformation, "Service brindle-heartbeat has been installed."));

    ExpectResult({"-install"}, 2, "Cannot create the service: File exists");
    EXPECT_EQ(RunProgram({"-uninstall"}, &printed), 0) << printed;
    EXPECT_FALSE(std::filesystem::exists(unit));
    EXPECT_TRUE(Has(s.LogUntil("uninstalled"), PriInformation, "Service brindle-heartbeat has been uninstalled."));
    ExpectResult({"-uninstall"}, 3, "Cannot open the service: ");
    if (verified < 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
}

TEST(HeartbeatService, RunsUnderANotifySocketTakesCommandsInOrderAndStopsOnSigterm)
{
    Surroundings s;
    ScopedEnv notify("NOTIFY_SOCKET", s.NotifyPath());
    ChildProcess service({Program, "-interval", "100"});
    ASSERT_EQ(s.StatesUntil("READY=1"), (Texts{StartPending, Running}));
    EXPECT_TRUE(Has(s.LogUntil("Description: heartbeat Data: 2,"), PriInformation,
                    "Service brindle-heartbeat has been started."));

    // A second instance finds the first one running.
    ExpectResult({}, 5, "Cannot start the service: Operation already in progress");
    EXPECT_EQ(RunProgram({"-run"}), 5);

    std::string printed;
    for (const char* code : {"150", "128", "255", "151"})
        EXPECT_EQ(RunProgram({"-send", code}, &printed), 0) << printed;
    EXPECT_EQ(Commands(s.LogUntil("Description: user command Data: 151,")), (Texts{"150", "128", "255", "151"}));

    service.Signal(SIGTERM);
    EXPECT_EQ(service.Wait(), 0) << service.Stdout();
    Texts states = s.StatesUntil(Stopped);
    // A stop that lands between two heartbeat calls is also seen by the next
    // call, which reports the work's end (check point 2) as well.
    if (states.size() > 1 && states[1] == WorkEnded)
        states.erase(states.begin() + 1);
    EXPECT_EQ(states, (Texts{StopAsked, LoopEnded, Stopped}));
    s.ExpectStoppedEvent();
    // Nothing was printed: a service has no console.
    EXPECT_EQ(service.Stdout(), "");

    // Gone: no PID file, nobody to command.
    EXPECT_FALSE(std::filesystem::exists(s.dir.path() / "run" / (Name + ".pid")));
    ExpectResult({"-send", "150"}, 3, "Cannot open the service: No such process");
}

TEST(HeartbeatService, RunsAsAProcessInAConsoleUntilInterrupted)
{
    Surroundings s;
    ChildProcess service({Program, "-run", "-interval", "100"});
    ASSERT_TRUE(service.ReadUntil([&] { return service.Stdout().find("heartbeat 2\n") != std::string::npos; }))
        << service.Stdout() << service.Stderr();
    std::string printed;
    EXPECT_EQ(RunProgram({"-send", "170"}, &printed), 0) << printed;
    ASSERT_TRUE(service.ReadUntil([&] { return service.Stdout().find("command 170\n") != std::string::npos; }));
    service.Signal(SIGINT); // Ctrl+C
    EXPECT_EQ(service.Wait(), 0);
    const Texts lines = servicetest::Lines(service.Stdout());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines.front(), "started, a heartbeat every 100 ms");
    EXPECT_EQ(lines.back().rfind("stopped after ", 0), 0u) << lines.back();
    s.ExpectStoppedEvent();
    // As a process it talks to no service manager.
    EXPECT_EQ(s.manager.Receive(std::chrono::milliseconds(0)), "");

    // Work that ends by itself ends the run.
    EXPECT_EQ(RunProgram({"-RUN", "-interval", "100", "-beats", "2"}, &printed), 0);
    EXPECT_EQ(printed, "started, a heartbeat every 100 ms\nheartbeat 1\nheartbeat 2\nstopped after 2 heartbeats\n");
}

TEST(HeartbeatService, UninstallStopsTheRunningServiceAndRemovesItsUnit)
{
    Surroundings s;
    std::string printed;
    ASSERT_EQ(RunProgram({"-install"}, &printed), 0) << printed;
    ScopedEnv notify("NOTIFY_SOCKET", s.NotifyPath());
    ChildProcess service({Program, "-interval", "100"});
    s.StatesUntil("READY=1");
    EXPECT_EQ(RunProgram({"-uninstall"}, &printed), 0) << printed;
    EXPECT_FALSE(std::filesystem::exists(s.dir.path() / (Name + ".service")));
    EXPECT_EQ(service.Wait(), 0);
    const Texts states = s.StatesUntil(Stopped);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), StopAsked);
    EXPECT_EQ(states.back(), Stopped);
}

// A terminal of tmux's, with the program in its foreground.
class Terminal {
public:
    explicit Terminal(const std::string& command) : m_socket("brindle-svc-" + std::to_string(::getpid()))
    {
        m_started = Tmux({"new-session", "-d", "-s", "svc", "-x", "100", "-y", "30", command}) == 0;
    }
    ~Terminal() { Tmux({"kill-server"}); }

    bool Started() const { return m_started; }
    std::string Screen() const
    {
        std::string screen;
        Tmux({"capture-pane", "-p", "-t", "svc"}, &screen);
        return screen;
    }
    void Keys(const char* keys) const { Tmux({"send-keys", "-t", "svc", keys}); }
    // Waits, within a generous limit, until the screen shows text.
    bool Shows(const std::string& text) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (Screen().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return true;
    }

private:
    // tmux's exit status; its output in *output when asked for.
    int Tmux(Texts args, std::string* output = nullptr) const
    {
        args.insert(args.begin(), {"/usr/bin/tmux", "-L", m_socket});
        ChildProcess tmux(args);
        const int status = tmux.Wait();
        if (output != nullptr)
            *output = tmux.Stdout();
        return status;
    }

    std::string m_socket;
    bool m_started = false;
};

TEST(HeartbeatService, RunInATerminalEndsCleanlyOnCtrlC)
{
    if (::access("/usr/bin/tmux", X_OK) != 0)
        GTEST_SKIP() << "tmux is not installed";
    Surroundings s;
    const std::string command = "env BRINDLE_RUN_DIR=" + s.dir.str() + "/run BRINDLE_SYSLOG_SOCKET=" + s.dir.str() +
                                "/syslog BRINDLE_REGISTRY_DIR=" + s.dir.str() + "/registry " + Program +
                                " -run -interval 100; echo \"exit status $?\"; sleep 600";
    Terminal terminal(command);
    ASSERT_TRUE(terminal.Started());
    ASSERT_TRUE(terminal.Shows("heartbeat 2")) << terminal.Screen();
    terminal.Keys("C-c");
    ASSERT_TRUE(terminal.Shows("exit status 0")) << terminal.Screen();
    const std::string screen = terminal.Screen();
    EXPECT_NE(screen.find("stopped after "), std::string::npos) << screen;
    s.ExpectStoppedEvent();
}

TEST(HeartbeatService, AnExceptionInItsInitEndsItWithAnErrorAndTheEvent)
{
    Surroundings s;
    ScopedEnv notify("NOTIFY_SOCKET", s.NotifyPath());
    std::string printed;
    EXPECT_EQ(RunProgram({"-interval", "5"}, &printed), 6);
    const std::string why = "Heartbeat interval must be 100 to 3600000 ms, not \"5\"";
    EXPECT_EQ(printed, "The service failed: " + why + "\n");
    const std::vector<SyslogLine> log = s.LogUntil("has been stopped");
    EXPECT_TRUE(Has(log, PriError, "Service brindle-heartbeat exception " + why));
    EXPECT_FALSE(Has(log, PriInformation, "Service brindle-heartbeat has been started."));
    EXPECT_EQ(servicetest::Drain(s.manager), (Texts{StartPending, LoopEnded, StoppedFailed}));
}

TEST(HeartbeatService, OutsideTheManagerStartingIsRefused)
{
    Surroundings s;
    for (const Texts& args : {Texts{}, {"-unknown"}})
        ExpectResult(args, 5, "Cannot start the service: ");
    std::string usage;
    EXPECT_EQ(RunProgram({"-?"}, &usage), 0);
    EXPECT_NE(usage.find("\nUsage:       brindle-heartbeat [-install | -uninstall | -run ]\n"), std::string::npos)
        << usage;
}

} // namespace
