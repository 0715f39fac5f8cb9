// The service frame in this process: the one instance, Main's switches and
// printed results, unit files checked by systemd's verifier, the states
// reported on a notify socket of the test's own, controls by signal, and
// CSimpleService.
#include "Brindle/service/Service.h"
#include "Brindle/service/SimpleService.h"

#include "Brindle/base/Exception.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/RegSection.h"
#include "../base/BaseTestSupport.h"
#include "DatagramPeer.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>

namespace {

using Brindle::CService;
using servicetest::Drain;
using servicetest::ReadFile;
using servicetest::Logged;
using servicetest::Scratch;
using servicetest::ScopedEnv;
using testsupport::DatagramPeer;

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

// Scratch places, with a notify socket of the test's as the service manager.
struct Managed : Scratch {
    DatagramPeer manager{dir.str() + "/notify"};
    ScopedEnv managed{"NOTIFY_SOCKET", dir.str() + "/notify"};
};

using namespace servicetest::states;
using Texts = std::vector<std::string>;

// Main gives `code` and prints a line that starts with `prefix`.
void ExpectResult(CService& service, const Texts& args, int code, const std::string& prefix)
{
    std::string printed;
    EXPECT_EQ(RunMain(service, args, &printed), code) << ::testing::PrintToString(args);
    EXPECT_EQ(printed.rfind(prefix, 0), 0u) << printed;
}

// A service of the test's in the given surroundings.
template <typename Where>
struct WithService : ::testing::Test {
    Where scratch;
    TestService service;

    // One run under the manager: what the frame called, reported and printed.
    void ExpectRun(const Texts& calls, const Texts& states, int result = 0, const std::string& printed = "",
                   const Texts& args = {})
    {
        std::string out;
        EXPECT_EQ(RunMain(service, args, &out), result) << printed;
        EXPECT_EQ(out, printed);
        EXPECT_EQ(service.calls, calls) << printed;
        EXPECT_EQ(Drain(scratch.manager), states) << printed;
    }
};
using ServiceMain = WithService<Scratch>;
using ServiceRun = WithService<Managed>;
using ServiceControls = WithService<Managed>;
using ServiceStatus = WithService<Managed>;

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

// The other codes' prefixes are checked on the lines Main prints.
TEST(ServiceResults, CodesWithoutARunOfTheirOwnHaveTheirPrefix)
{
    for (const auto& [code, prefix] : {std::pair<int, const char*>{0, ""}, {4, "Cannot delete the service: "},
                                       {7, ""}, {-1, ""}})
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
    const std::string seventy(70, 'x'), a64(64, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"Beats.", "\nBeats.\n"},
        // Words fill lines of at most 70 characters; blanks between words
        // become one.
        {"alpha  beta\tgamma", "\nalpha beta gamma\n"},
        {a64 + " bcdef " + "ghi", "\n" + a64 + " bcdef\nghi\n"},
        {a64 + " bcdefg", "\n" + a64 + "\nbcdefg\n"},
        // A word longer than a line is cut at the line's width.
        {seventy + "yy zz", "\n" + seventy + "\nyy zz\n"},
    };
    for (const auto& [description, lines] : cases) {
        Brindle::SetAppDescription(description.c_str());
        EXPECT_EQ(CService::UsageText(), head + lines + switches) << description;
    }
    Brindle::SetAppDescription("");
}

TEST_F(ServiceMain, QuestionMarkPrintsTheUsageAndDecidesFirst)
{
    Brindle::SetLocalApplicationName("beatd");
    std::string printed;
    EXPECT_EQ(RunMain(service, {"-nothing", "-?", "-install"}, &printed), 0);
    EXPECT_EQ(printed, CService::UsageText());
    EXPECT_FALSE(ServiceUnitExists(Name)) << "the switch after -? was taken";
}

TEST_F(ServiceMain, InstallInAnyCaseWritesAUnitSystemdAccepts)
{
    Brindle::SetAppDescription("Frame test: 100% beats\n[Service]\nExecStartPre=/bin/false");
    std::string printed;
    ASSERT_EQ(RunMain(service, {"-InStAlL"}, &printed), 0);
    EXPECT_EQ(printed, "");
    const std::string unit = scratch.dir.str() + "/" + Name + ".service";
    const std::string text = ReadFile(unit);
    EXPECT_EQ(servicetest::Lines(text),
              servicetest::UnitLines("Frame test: 100%% beats [Service] ExecStartPre=/bin/false",
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
    ExpectResult(service, {"-uninstall"}, 3, "Cannot open the service: No such file or directory");
    Brindle::SetAppDescription("");
    if (verified < 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
}

TEST_F(ServiceMain, UnitDirectoryThatCannotBeWrittenGivesOne)
{
    ScopedEnv units("BRINDLE_UNIT_DIR", scratch.dir.str() + "/missing");
    for (const char* sw : {"-install", "-uninstall"})
        ExpectResult(service, {sw}, 1, "Cannot open service control manager: No such file or directory");
}

TEST(ServiceNames, ThoseThatAreNoServiceNamesGetNoUnit)
{
    Scratch scratch;
    for (const char* bad : {"../evil", "two words", "a\nb", ""}) {
        TestService service(bad);
        ExpectResult(service, {"-install"}, 2, "Cannot create the service: ");
        EXPECT_EQ(RunMain(service, {"-run"}), 5) << bad;
    }
    EXPECT_FALSE(std::filesystem::exists(scratch.dir.path().parent_path() / "evil.service"));
}

TEST_F(ServiceMain, WithoutTheManagerNoOrAnUnknownSwitchGivesFive)
{
    for (const Texts& args : {Texts{}, {"-start"}, {"run"}, {"--run"}, {"-debug"}}) {
        std::string printed;
        EXPECT_EQ(RunMain(service, args, &printed), 5);
        EXPECT_EQ(printed.rfind("Cannot start the service: ", 0), 0u) << printed;
        EXPECT_EQ(printed.back(), '\n');
    }
    EXPECT_TRUE(service.calls.empty());
}

TEST_F(ServiceRun, UnderTheManagerEveryStateIsReportedInOrder)
{
    service.work = [](int call) { return call < 4 ? 1 : 0; };
    ExpectRun({"init", "work", "work", "work", "stop"}, {StartPending, Running, WorkEnded, LoopEnded, Stopped}, 0, "",
              {"-something"});
    EXPECT_EQ(service.GetCurrentState(), SERVICE_STOPPED);
    EXPECT_FALSE(service.IsRunAsProcess());
}

TEST_F(ServiceRun, AsAProcessReportsNothingAndEndsWithTheWork)
{
    // Even with a manager's socket about, "-run" does not talk to it.
    service.work = [](int call) { return call < 3 ? 1 : 0; };
    EXPECT_EQ(RunMain(service, {"-nothing", "-RUN", "-install"}), 0);
    EXPECT_TRUE(service.IsRunAsProcess());
    EXPECT_EQ(service.calls, (Texts{"init", "work", "work", "stop"}));
    EXPECT_TRUE(Drain(scratch.manager).empty());
    EXPECT_FALSE(ServiceUnitExists(Name));
}

TEST_F(ServiceRun, FailingInitNeverReportsReadyAndGivesSix)
{
    const std::pair<std::function<int()>, std::string> cases[] = {
        {[]() -> int { throw std::runtime_error("no database"); }, "The service failed: no database\n"},
        {[]() -> int { throw 42; }, "The service failed: Unhandled exception\n"},
        {[] { return 0; }, "The service failed: the service's initialisation refused to start\n"},
    };
    for (const auto& [init, expected] : cases) {
        service.init = init;
        service.calls.clear();
        ExpectRun({"init"}, {StartPending, LoopEnded, StoppedFailed}, 6, expected);
    }
}

TEST_F(ServiceRun, FailingWorkEndsInOrderAndGivesSix)
{
    service.work = [](int call) -> int {
        if (call == 3)
            throw Brindle::CException("lost the feed", EPIPE);
        return 1;
    };
    ExpectRun({"init", "work", "work", "stop"}, {StartPending, Running, WorkEnded, LoopEnded, StoppedFailed}, 6,
              "The service failed: lost the feed\n");
}

TEST_F(ServiceControls, AStopDuringInitIsKeptAndNoWorkRuns)
{
    service.init = [this] {
        ::kill(::getpid(), SIGTERM);
        // The control is taken on the frame's own thread.
        while (service.GetCurrentState() != SERVICE_STOP_PENDING)
            std::this_thread::yield();
        return 1;
    };
    ExpectRun({"init", "stop"}, {StartPending, StopAsked, LoopEnded, Stopped});
}

TEST_F(ServiceControls, StopLetsTheCurrentWorkFinishThenEnds)
{
    service.work = [this](int call) {
        if (call == 3) {
            EXPECT_EQ(service.SendUserCommand(SERVICE_CONTROL_STOP), 0);
            while (service.GetCurrentState() != SERVICE_STOP_PENDING)
                std::this_thread::yield();
        }
        return 1;
    };
    ExpectRun({"init", "work", "work", "stop"}, {StartPending, Running, StopAsked, LoopEnded, Stopped});
}

TEST_F(ServiceControls, UserCommandsArriveInOrderAndFrameCodesAreNotPassedOn)
{
    const std::vector<unsigned long> sent = {128, SERVICE_CONTROL_PAUSE, 129,  SERVICE_CONTROL_CONTINUE,
                                             255, SERVICE_CONTROL_SHUTDOWN, 7, SERVICE_CONTROL_INTERROGATE,
                                             0,   200};
    service.work = [&](int) {
        for (unsigned long code : sent)
            EXPECT_EQ(service.SendUserCommand(code), 0) << code;
        service.WaitCommands([](const std::vector<unsigned long>& got) { return !got.empty() && got.back() == 200; });
        return 0;
    };
    // Interrogation repeats the running state.
    ExpectRun({"init", "work", "stop"}, {StartPending, Running, Running, WorkEnded, LoopEnded, Stopped});
    EXPECT_EQ(service.commands, (std::vector<unsigned long>{128, 129, 255, 7, 0, 200}));
    // Nobody runs now.
    EXPECT_EQ(service.SendUserCommand(130), 3);
}

TEST_F(ServiceControls, ASecondInstanceIsRefusedWhileOneRuns)
{
    ScopedEnv unmanaged("NOTIFY_SOCKET", nullptr);
    const int held = LockServicePidFile(Name); // the instance that runs
    ASSERT_GE(held, 0);
    for (const Texts& args : {Texts{"-run"}, Texts{}}) {
        ScopedEnv invocation("INVOCATION_ID", args.empty() ? "0123" : nullptr);
        ExpectResult(service, args, 5, "Cannot start the service: Operation already in progress");
    }
    EXPECT_TRUE(service.calls.empty());
    ReleaseServicePidFile(Name, held);
    // Once it has gone, the next one runs.
    EXPECT_EQ(RunMain(service, {"-run"}), 0);
    EXPECT_EQ(service.calls, (Texts{"init", "work", "stop"}));
}

TEST_F(ServiceStatus, DerivedClassesReportWhatTheyWant)
{
    // No status handle outside a run: the report fails, the record changes.
    EXPECT_EQ(service.SetServiceStatus(SERVICE_PAUSED, 0, 0), FALSE);
    EXPECT_EQ(service.GetCurrentState(), SERVICE_PAUSED);
    service.work = [this](int) {
        EXPECT_EQ(service.SetServiceStatus(SERVICE_START_PENDING, 0, 7), TRUE);
        return 0;
    };
    EXPECT_EQ(RunMain(service, {}), 0);
    const Texts got = Drain(scratch.manager);
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[2], "STATUS=Start pending (check point 7)\nEXTEND_TIMEOUT_USEC=30000000");
}

using EventList = std::vector<std::pair<int, std::string>>;
using ServiceEvents = WithService<Logged>;
using servicetest::PriError, servicetest::PriInformation, servicetest::PriWarning;

// Every syslog datagram waiting, as (PRI, text after "ident[pid]: ").
EventList Events(DatagramPeer& syslog)
{
    EventList events;
    for (const std::string& line : Drain(syslog)) {
        const servicetest::SyslogLine parsed = servicetest::ParseSyslog(line);
        EXPECT_EQ(parsed.ident, Name) << line;
        events.emplace_back(parsed.pri, parsed.text);
    }
    return events;
}

TEST_F(ServiceEvents, EachOutcomeIsLoggedOnceKnownAndRefusalsAreNot)
{
    const std::string svc = "Service brindle-frame-test ";
    const std::tuple<const char*, int, EventList> steps[] = {
        {"-install", 0, {{PriInformation, svc + "has been installed."}}},
        {"-install", 2, {}},
        {"-uninstall", 0, {{PriInformation, svc + "has been uninstalled."}}},
        {"-uninstall", 3, {}},
        {"-run", 0, {{PriInformation, svc + "has been started."}, {PriWarning, svc + "has been stopped"}}},
    };
    for (const auto& [sw, code, events] : steps) {
        EXPECT_EQ(RunMain(service, {sw}), code) << sw;
        EXPECT_EQ(Events(scratch.syslog), events) << sw;
    }
    service.Log(2, "queue full", "orders", "17");
    service.Log(4, "line1\r\nline2", nullptr, "");
    EXPECT_EQ(Events(scratch.syslog), (EventList{{PriWarning, "Description: queue full Data: orders, 17"},
                                                 {PriInformation, "Description: line1 line2 Data: ,"}}));
}

TEST_F(ServiceEvents, AnExceptionGoesToTheEventLogAndTheLibraryLog)
{
    basetest::KeepingLogger logger;
    service.init = []() -> int { throw Brindle::CException("config missing", ENOENT); };
    EXPECT_EQ(RunMain(service, {"-run"}), 6);
    EXPECT_EQ(Events(scratch.syslog), (EventList{{PriError, "Service brindle-frame-test exception config missing"},
                                                 {PriWarning, "Service brindle-frame-test has been stopped"}}));
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
    EXPECT_EQ(RunMain(service, {"-run"}), 6);
    EXPECT_EQ(process.inits, 2);
    EXPECT_EQ(process.steps, 5);
}

} // namespace
