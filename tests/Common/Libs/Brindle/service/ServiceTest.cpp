// The service frame in this process: the one instance, Main's switches and
// printed results, unit files checked by systemd's verifier, the states
// reported on a notify socket of the test's own, controls by signal, and
// CSimpleService.
#include "Brindle/service/Service.h"
#include "Brindle/service/SimpleService.h"

#include "Brindle/base/Exception.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/Logger.h"
#include "Brindle/base/RegSection.h"
#include "DatagramPeer.h"
#include "ServiceTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using Brindle::CService;
using servicetest::Drain;
using servicetest::ReadFile;
using servicetest::ScopedEnv;
using testsupport::DatagramPeer;
using testsupport::TempDir;

const char* const Name = "brindle-frame-test";

// A service whose steps are the test's; it records what the frame called.
class TestService : public CService {
public:
    explicit TestService(const char* name = Name) : CService(name) {}

    std::function<int()> init = [] { return 1; };
    std::function<int(int)> work = [](int) { return 0; };
    std::vector<std::string> calls;
    std::vector<unsigned long> commands;
    std::mutex lock;
    std::condition_variable changed;

    using CService::SetServiceStatus;

    // Waits until pred holds for the commands received.
    void WaitCommands(const std::function<bool(const std::vector<unsigned long>&)>& pred)
    {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return pred(commands); });
    }

protected:
    int ServiceInit() override
    {
        calls.push_back("init");
        return init();
    }
    int ServiceFcn() override
    {
        calls.push_back("work");
        return work(static_cast<int>(calls.size()));
    }
    void ServiceStop() override { calls.push_back("stop"); }
    void OnUserCommand(unsigned long code) override
    {
        std::lock_guard<std::mutex> hold(lock);
        commands.push_back(code);
        changed.notify_all();
    }
};

// Main with a command line, its standard output captured.
int RunMain(CService& service, std::vector<std::string> args, std::string* output = nullptr)
{
    args.insert(args.begin(), "brindle-frame-test");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    testing::internal::CaptureStdout();
    const int result = service.Main(static_cast<int>(argv.size()), argv.data());
    const std::string printed = testing::internal::GetCapturedStdout();
    if (output != nullptr)
        *output = printed;
    return result;
}

// The scratch places a run needs: units, PID files, registry, no manager.
struct Scratch {
    TempDir dir;
    ScopedEnv units{"BRINDLE_UNIT_DIR", dir.str()};
    ScopedEnv run{"BRINDLE_RUN_DIR", dir.str() + "/run"};
    ScopedEnv registry{"BRINDLE_REGISTRY_DIR", dir.str() + "/registry"};
    ScopedEnv syslog{"BRINDLE_SYSLOG_SOCKET", dir.str() + "/no-syslog"};
    ScopedEnv notify{"NOTIFY_SOCKET", nullptr};
    ScopedEnv invocation{"INVOCATION_ID", nullptr};
};

// Scratch places, with a notify socket of the test's as the service manager.
struct Managed : Scratch {
    DatagramPeer manager{dir.str() + "/notify"};
    ScopedEnv managed{"NOTIFY_SOCKET", dir.str() + "/notify"};
};

// Scratch places, with a syslog socket of the test's.
struct Logged : Scratch {
    DatagramPeer syslog{dir.str() + "/syslog"};
    ScopedEnv socket{"BRINDLE_SYSLOG_SOCKET", dir.str() + "/syslog"};
};

const std::string StartPending = "STATUS=Start pending";
const std::string Running = "READY=1\nSTATUS=Running";
const std::string WorkEnded = "STOPPING=1\nSTATUS=Stop pending (check point 2)\nEXTEND_TIMEOUT_USEC=30000000";
const std::string StopAsked = "STOPPING=1\nSTATUS=Stop pending (check point 1)\nEXTEND_TIMEOUT_USEC=30000000";
const std::string LoopEnded = "STOPPING=1\nSTATUS=Stop pending (check point 10)\nEXTEND_TIMEOUT_USEC=30000000";
const std::string Stopped = "STATUS=Stopped";
const std::string StoppedFailed = "STATUS=Stopped\nERRNO=" + std::to_string(ECANCELED);

TEST(ServiceInstance, OneAtATimeAndTheLastOneGoneFreesThePlace)
{
    EXPECT_EQ(CService::GetInstance(), nullptr);
    {
        TestService first;
        EXPECT_EQ(CService::GetInstance(), &first);
        try {
            TestService second;
            FAIL() << "a second instance was made";
        } catch (const Brindle::CException& e) {
            EXPECT_STREQ(e.what(), "Service already initialized");
        }
        EXPECT_EQ(CService::GetInstance(), &first);
    }
    EXPECT_EQ(CService::GetInstance(), nullptr);
    TestService again;
    EXPECT_EQ(again.GetName(), Name);
    EXPECT_EQ(again.GetCurrentState(), SERVICE_STOPPED);
}

TEST(ServiceResults, EachCodeHasItsPrefix)
{
    const std::pair<int, const char*> table[] = {
        {0, ""},
        {1, "Cannot open service control manager: "},
        {2, "Cannot create the service: "},
        {3, "Cannot open the service: "},
        {4, "Cannot delete the service: "},
        {5, "Cannot start the service: "},
        {6, "The service failed: "},
        {7, ""},
        {-1, ""},
    };
    for (const auto& [code, prefix] : table)
        EXPECT_STREQ(CService::ResultPrefix(code), prefix) << code;
}

TEST(ServiceUsage, IdentityThenWrappedDescriptionThenSwitches)
{
    Brindle::SetLocalApplicationName("beatd");
    Brindle::SetLocalVersion("2.5");
    Brindle::SetLocalBuildDate("Dec  7 2026");
    const std::string switches = "\nUsage:       beatd [-install | -uninstall | -run ]\n"
                                 "\n-install:    Install the service"
                                 "\n-uninstall:  Uninstall the  service"
                                 "\n-run:        Debug (start as process)\n\n";
    const std::string head = "\nbeatd version 2.5 Build Date: Dec  7 2026\n";
    struct Case {
        std::string description;
        std::string lines;
    };
    const std::string seventy(70, 'x');
    const Case cases[] = {
        {"", ""},
        {"Beats.", "\nBeats.\n"},
        // Words fill lines of at most 70 characters; blanks between words
        // become one.
        {"alpha  beta\tgamma",
         "\nalpha beta gamma\n"},
        {std::string(64, 'a') + " bcdef " + "ghi",
         "\n" + std::string(64, 'a') + " bcdef\nghi\n"},
        {std::string(64, 'a') + " bcdefg",
         "\n" + std::string(64, 'a') + "\nbcdefg\n"},
        // A word longer than a line is cut at the line's width.
        {seventy + "yy zz", "\n" + seventy + "\nyy zz\n"},
    };
    for (const Case& c : cases) {
        Brindle::SetAppDescription(c.description.c_str());
        EXPECT_EQ(CService::UsageText(), head + c.lines + switches) << c.description;
    }
    Brindle::SetAppDescription("");
}

TEST(ServiceMain, QuestionMarkPrintsTheUsageAndDecidesFirst)
{
    Scratch scratch;
    Brindle::SetLocalApplicationName("beatd");
    TestService service;
    std::string printed;
    EXPECT_EQ(RunMain(service, {"-nothing", "-?", "-install"}, &printed), 0);
    EXPECT_EQ(printed, CService::UsageText());
    EXPECT_FALSE(ServiceUnitExists(Name)) << "the switch after -? was taken";
}

TEST(ServiceMain, InstallInAnyCaseWritesAUnitSystemdAccepts)
{
    Scratch scratch;
    Brindle::SetAppDescription("Frame test: 100% beats\n[Service]\nExecStartPre=/bin/false");
    TestService service;
    std::string printed;
    ASSERT_EQ(RunMain(service, {"-InStAlL"}, &printed), 0);
    EXPECT_EQ(printed, "");
    const std::string unit = scratch.dir.str() + "/" + Name + ".service";
    const std::string text = ReadFile(unit);
    const std::vector<std::string> lines = servicetest::Lines(text);
    EXPECT_EQ(lines, servicetest::UnitLines("Frame test: 100%% beats [Service] ExecStartPre=/bin/false",
                                            "\"" + ServiceExecutablePath() + "\""));
    // The description is kept in the service's registry section too.
    char stored[256] = {};
    Brindle::CRegSection section(HKEY_LOCAL_MACHINE, (std::string("/SYSTEM/CurrentControlSet/Services/") + Name).c_str());
    section.GetStr("Description", stored, sizeof stored, "");
    EXPECT_STREQ(stored, Brindle::GetAppDescription());

    std::string verdict;
    const int verified = servicetest::VerifyUnit(unit, &verdict);
    if (verified >= 0) {
        EXPECT_EQ(verified, 0) << verdict;
    }

    // Installed twice: refused, the unit as it was.
    EXPECT_EQ(RunMain(service, {"-install"}, &printed), 2);
    EXPECT_EQ(printed.rfind("Cannot create the service: File exists", 0), 0u) << printed;
    EXPECT_NE(printed.find("(" + std::to_string(EEXIST) + ")\n"), std::string::npos) << printed;
    EXPECT_EQ(ReadFile(unit), text);

    EXPECT_EQ(RunMain(service, {"-UNINSTALL"}, &printed), 0);
    EXPECT_EQ(printed, "");
    EXPECT_FALSE(ServiceUnitExists(Name));
    EXPECT_EQ(RunMain(service, {"-uninstall"}, &printed), 3);
    EXPECT_EQ(printed.rfind("Cannot open the service: No such file or directory", 0), 0u) << printed;
    Brindle::SetAppDescription("");
    if (verified < 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
}

TEST(ServiceMain, UnitDirectoryThatCannotBeWrittenGivesOne)
{
    Scratch scratch;
    ScopedEnv units("BRINDLE_UNIT_DIR", scratch.dir.str() + "/missing");
    TestService service;
    std::string printed;
    for (const char* sw : {"-install", "-uninstall"}) {
        EXPECT_EQ(RunMain(service, {sw}, &printed), 1) << sw;
        EXPECT_EQ(printed.rfind("Cannot open service control manager: No such file or directory", 0), 0u) << printed;
    }
}

TEST(ServiceMain, NamesThatAreNoServiceNamesGetNoUnit)
{
    Scratch scratch;
    for (const char* bad : {"../evil", "two words", "a\nb", ""}) {
        TestService service(bad);
        std::string printed;
        EXPECT_EQ(RunMain(service, {"-install"}, &printed), 2) << bad;
        EXPECT_EQ(printed.rfind("Cannot create the service: ", 0), 0u) << printed;
        EXPECT_EQ(RunMain(service, {"-run"}, &printed), 5) << bad;
    }
    EXPECT_FALSE(std::filesystem::exists(scratch.dir.path().parent_path() / "evil.service"));
}

TEST(ServiceMain, WithoutTheManagerNoOrAnUnknownSwitchGivesFive)
{
    Scratch scratch;
    TestService service;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"-start"}, {"run"}, {"--run"}, {"-debug"}}) {
        std::string printed;
        EXPECT_EQ(RunMain(service, args, &printed), 5);
        EXPECT_EQ(printed.rfind("Cannot start the service: ", 0), 0u) << printed;
        EXPECT_EQ(printed.back(), '\n');
    }
    EXPECT_TRUE(service.calls.empty());
}

TEST(ServiceRun, UnderTheManagerEveryStateIsReportedInOrder)
{
    Managed scratch;
    TestService service;
    service.work = [](int call) { return call < 4 ? 1 : 0; };
    std::string printed;
    EXPECT_EQ(RunMain(service, {"-something"}, &printed), 0);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(service.calls, (std::vector<std::string>{"init", "work", "work", "work", "stop"}));
    EXPECT_EQ(Drain(scratch.manager), (std::vector<std::string>{StartPending, Running, WorkEnded, LoopEnded, Stopped}));
    EXPECT_EQ(service.GetCurrentState(), SERVICE_STOPPED);
    EXPECT_FALSE(service.IsRunAsProcess());
}

TEST(ServiceRun, AsAProcessReportsNothingAndEndsWithTheWork)
{
    Scratch scratch;
    DatagramPeer manager(scratch.dir.str() + "/notify");
    TestService service;
    service.work = [](int call) { return call < 3 ? 1 : 0; };
    {
        // Even with a manager's socket about, "-run" does not talk to it.
        ScopedEnv notify("NOTIFY_SOCKET", scratch.dir.str() + "/notify");
        EXPECT_EQ(RunMain(service, {"-nothing", "-RUN", "-install"}), 0);
    }
    EXPECT_TRUE(service.IsRunAsProcess());
    EXPECT_EQ(service.calls, (std::vector<std::string>{"init", "work", "work", "stop"}));
    EXPECT_TRUE(Drain(manager).empty());
    EXPECT_FALSE(ServiceUnitExists(Name));
}

TEST(ServiceRun, FailingInitNeverReportsReadyAndGivesSix)
{
    struct Case {
        const char* what;
        std::function<int()> init;
        std::string printed;
    };
    const Case cases[] = {
        {"throws", [] () -> int { throw std::runtime_error("no database"); }, "The service failed: no database\n"},
        {"throws other", [] () -> int { throw 42; }, "The service failed: Unhandled exception\n"},
        {"refuses", [] { return 0; }, "The service failed: the service's initialisation refused to start\n"},
    };
    for (const Case& c : cases) {
        Managed scratch;
        TestService service;
        service.init = c.init;
        std::string printed;
        EXPECT_EQ(RunMain(service, {}, &printed), 6) << c.what;
        EXPECT_EQ(printed, c.printed);
        EXPECT_EQ(service.calls, std::vector<std::string>{"init"}) << c.what;
        EXPECT_EQ(Drain(scratch.manager), (std::vector<std::string>{StartPending, LoopEnded, StoppedFailed})) << c.what;
    }
}

TEST(ServiceRun, FailingWorkEndsInOrderAndGivesSix)
{
    Managed scratch;
    TestService service;
    service.work = [](int call) -> int {
        if (call == 3)
            throw Brindle::CException("lost the feed", EPIPE);
        return 1;
    };
    std::string printed;
    EXPECT_EQ(RunMain(service, {}, &printed), 6);
    EXPECT_EQ(printed, "The service failed: lost the feed\n");
    EXPECT_EQ(service.calls, (std::vector<std::string>{"init", "work", "work", "stop"}));
    EXPECT_EQ(Drain(scratch.manager), (std::vector<std::string>{StartPending, Running, WorkEnded, LoopEnded, StoppedFailed}));
}

TEST(ServiceControls, AStopDuringInitIsKeptAndNoWorkRuns)
{
    Managed scratch;
    TestService service;
    service.init = [&service] {
        ::kill(::getpid(), SIGTERM);
        // The control is taken on the frame's own thread.
        while (service.GetCurrentState() != SERVICE_STOP_PENDING)
            std::this_thread::yield();
        return 1;
    };
    EXPECT_EQ(RunMain(service, {}), 0);
    EXPECT_EQ(service.calls, (std::vector<std::string>{"init", "stop"}));
    EXPECT_EQ(Drain(scratch.manager), (std::vector<std::string>{StartPending, StopAsked, LoopEnded, Stopped}));
}

TEST(ServiceControls, StopLetsTheCurrentWorkFinishThenEnds)
{
    Managed scratch;
    TestService service;
    service.work = [&service](int call) {
        if (call == 3) {
            EXPECT_EQ(service.SendUserCommand(SERVICE_CONTROL_STOP), 0);
            while (service.GetCurrentState() != SERVICE_STOP_PENDING)
                std::this_thread::yield();
        }
        return 1;
    };
    EXPECT_EQ(RunMain(service, {}), 0);
    EXPECT_EQ(service.calls, (std::vector<std::string>{"init", "work", "work", "stop"}));
    EXPECT_EQ(Drain(scratch.manager), (std::vector<std::string>{StartPending, Running, StopAsked, LoopEnded, Stopped}));
}

TEST(ServiceControls, UserCommandsArriveInOrderAndFrameCodesAreNotPassedOn)
{
    Managed scratch;
    TestService service;
    const std::vector<unsigned long> sent = {128, SERVICE_CONTROL_PAUSE, 129,  SERVICE_CONTROL_CONTINUE,
                                             255, SERVICE_CONTROL_SHUTDOWN, 7, SERVICE_CONTROL_INTERROGATE,
                                             0,   200};
    service.work = [&](int) {
        for (unsigned long code : sent)
            EXPECT_EQ(service.SendUserCommand(code), 0) << code;
        service.WaitCommands([](const std::vector<unsigned long>& got) { return !got.empty() && got.back() == 200; });
        return 0;
    };
    EXPECT_EQ(RunMain(service, {}), 0);
    EXPECT_EQ(service.commands, (std::vector<unsigned long>{128, 129, 255, 7, 0, 200}));
    // Interrogation repeats the running state.
    EXPECT_EQ(Drain(scratch.manager),
              (std::vector<std::string>{StartPending, Running, Running, WorkEnded, LoopEnded, Stopped}));
    // Nobody runs now.
    std::string printed;
    EXPECT_EQ(service.SendUserCommand(130), 3);
}

TEST(ServiceControls, ASecondInstanceIsRefusedWhileOneRuns)
{
    Scratch scratch;
    const int held = LockServicePidFile(Name); // the instance that runs
    ASSERT_GE(held, 0);
    TestService service;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-run"}, std::vector<std::string>{}}) {
        ScopedEnv invocation("INVOCATION_ID", args.empty() ? "0123" : nullptr);
        std::string printed;
        EXPECT_EQ(RunMain(service, args, &printed), 5);
        EXPECT_EQ(printed.rfind("Cannot start the service: Operation already in progress", 0), 0u) << printed;
    }
    EXPECT_TRUE(service.calls.empty());
    ReleaseServicePidFile(Name, held);
    // Once it has gone, the next one runs.
    EXPECT_EQ(RunMain(service, {"-run"}), 0);
    EXPECT_EQ(service.calls, (std::vector<std::string>{"init", "work", "stop"}));
}

TEST(ServiceStatus, DerivedClassesReportWhatTheyWant)
{
    Managed scratch;
    TestService service;
    // No status handle outside a run: the report fails, the record changes.
    EXPECT_EQ(service.SetServiceStatus(SERVICE_PAUSED, 0, 0), FALSE);
    EXPECT_EQ(service.GetCurrentState(), SERVICE_PAUSED);
    service.work = [&service](int) {
        EXPECT_EQ(service.SetServiceStatus(SERVICE_START_PENDING, 0, 7), TRUE);
        return 0;
    };
    EXPECT_EQ(RunMain(service, {}), 0);
    const std::vector<std::string> got = Drain(scratch.manager);
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[2], "STATUS=Start pending (check point 7)\nEXTEND_TIMEOUT_USEC=30000000");
}

// Every syslog datagram waiting, as (PRI, text after "ident[pid]: ").
std::vector<std::pair<int, std::string>> Events(DatagramPeer& syslog)
{
    std::vector<std::pair<int, std::string>> events;
    for (const std::string& line : Drain(syslog)) {
        const servicetest::SyslogLine parsed = servicetest::ParseSyslog(line);
        EXPECT_EQ(parsed.ident, Name) << line;
        events.emplace_back(parsed.pri, parsed.text);
    }
    return events;
}

constexpr int Information = 3 * 8 + 6, Warning = 3 * 8 + 4, Error = 3 * 8 + 3;

TEST(ServiceEvents, EachOutcomeIsLoggedOnceKnownAndRefusalsAreNot)
{
    Logged scratch;
    DatagramPeer& syslog = scratch.syslog;
    using Events_ = std::vector<std::pair<int, std::string>>;
    TestService service;
    EXPECT_EQ(RunMain(service, {"-install"}), 0);
    EXPECT_EQ(Events(syslog), (Events_{{Information, "Service brindle-frame-test has been installed."}}));
    EXPECT_EQ(RunMain(service, {"-install"}), 2);
    EXPECT_EQ(Events(syslog), Events_{});
    EXPECT_EQ(RunMain(service, {"-uninstall"}), 0);
    EXPECT_EQ(Events(syslog), (Events_{{Information, "Service brindle-frame-test has been uninstalled."}}));
    EXPECT_EQ(RunMain(service, {"-uninstall"}), 3);
    EXPECT_EQ(Events(syslog), Events_{});

    EXPECT_EQ(RunMain(service, {"-run"}), 0);
    EXPECT_EQ(Events(syslog), (Events_{{Information, "Service brindle-frame-test has been started."},
                                       {Warning, "Service brindle-frame-test has been stopped"}}));

    service.Log(2, "queue full", "orders", "17");
    service.Log(4, "line1\r\nline2", nullptr, "");
    EXPECT_EQ(Events(syslog), (Events_{{Warning, "Description: queue full Data: orders, 17"},
                                       {Information, "Description: line1 line2 Data: ,"}}));
}

// Records handed to the library log.
class CapturingLogger : public Brindle::CLogger {
public:
    std::vector<Brindle::CLogData> records;
    void Log(const Brindle::CLogData& record) override { records.push_back(record); }
};

TEST(ServiceEvents, AnExceptionGoesToTheEventLogAndTheLibraryLog)
{
    Logged scratch;
    DatagramPeer& syslog = scratch.syslog;
    CapturingLogger logger;
    Brindle::CLog::RegisterLogger(&logger);
    TestService service;
    service.init = []() -> int { throw Brindle::CException("config missing", ENOENT); };
    EXPECT_EQ(RunMain(service, {"-run"}), 6);
    Brindle::CLog::RegisterLogger(nullptr);
    using Events_ = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ(Events(syslog), (Events_{{Error, "Service brindle-frame-test exception config missing"},
                                       {Warning, "Service brindle-frame-test has been stopped"}}));
    ASSERT_EQ(logger.records.size(), 1u);
    EXPECT_EQ(logger.records[0].GetSeverity(), Brindle::SEVERITY_ERROR);
    EXPECT_EQ(logger.records[0].GetText(), "config missing");
}

// A thread process that counts its steps.
class CountingProcess : public Brindle::CThreadProcess {
public:
    int inits = 0, steps = 0, exits = 0;
    int initResult = 1;

protected:
    int ThreadInit() override { return ++inits, initResult; }
    int ThreadExecuteFcn() override { return ++steps < 5 ? 1 : 0; }
    void ThreadExit(bool) override { ++exits; }
};

TEST(SimpleService, RunsTheProcessesStepsButNotItsExit)
{
    Scratch scratch;
    CountingProcess process;
    Brindle::CSimpleService service(Name, &process);
    EXPECT_EQ(service.GetProcess(), &process);
    EXPECT_EQ(RunMain(service, {"-run"}), 0);
    EXPECT_EQ(process.inits, 1);
    EXPECT_EQ(process.steps, 5);
    EXPECT_EQ(process.exits, 0);

    process.initResult = 0;
    std::string printed;
    EXPECT_EQ(RunMain(service, {"-run"}, &printed), 6);
    EXPECT_EQ(process.inits, 2);
    EXPECT_EQ(process.steps, 5);
}

} // namespace
