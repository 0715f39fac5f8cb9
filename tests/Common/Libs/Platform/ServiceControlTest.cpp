// The service manager layer on its own: unit files checked by systemd's own
// verifier, notify messages on a socket of the test's, the PID file lock and
// the controls that travel as signals.
#include "Platform/ServiceControl.h"

#include "../Brindle/service/ServiceTestSupport.h"
#include "DatagramPeer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

// Status records are written with designated initializers; the fields left out are zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <fstream>

namespace {

using servicetest::Lines;
using servicetest::ReadFile;
using servicetest::ScopedEnv;
using testsupport::DatagramPeer;
using testsupport::TempDir;

TEST(ServiceNames, OnlyLettersDigitsAndFourMarksMakeAName)
{
    for (const char* good : {"a", "brindle-heartbeat", "log_server.2", "svc@desk7", "A9"})
        EXPECT_TRUE(IsValidServiceName(good)) << good;
    for (const char* bad : {"", ".", "..", "a b", "a/b", "../x", "x\n", "a;b", "caf\xC3\xA9", "a$b"})
        EXPECT_FALSE(IsValidServiceName(bad)) << bad;
    EXPECT_FALSE(IsValidServiceName(nullptr));
    EXPECT_TRUE(IsValidServiceName(std::string(200, 'x').c_str()));
    EXPECT_FALSE(IsValidServiceName(std::string(201, 'x').c_str()));
}

TEST(ServiceUnits, NoDescriptionOrPathCanAddALineOrASpecifier)
{
    const std::string hostile = "Beat\n[Service]\nExecStartPre=/bin/rm -rf /\r100% sure \\";
    const std::string text = ServiceUnitText("beat", hostile.c_str(), "/opt/my tools/beat%n");
    const std::vector<std::string> lines = Lines(text);
    EXPECT_EQ(lines, servicetest::UnitLines("Beat [Service] ExecStartPre=/bin/rm -rf / 100%% sure",
                                            "\"/opt/my tools/beat%%n\""));
    // No description: the name describes the unit.
    EXPECT_NE(ServiceUnitText("beat", "", "/bin/true").find("Description=beat\n"), std::string::npos);

    for (const char* path : {"relative/beat", "", "/bin/be\"at", "/bin/be'at", "/bin/be\\at", "/bin/be\nat"}) {
        SetLastError(0);
        EXPECT_EQ(ServiceUnitText("beat", "x", path), "") << path;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    }
    EXPECT_EQ(ServiceUnitText("be at", "x", "/bin/true"), "");
}

TEST(ServiceUnits, CreatedUnitsPassSystemdsVerifierAndAreNeverOverwritten)
{
    TempDir dir;
    ScopedEnv units("BRINDLE_UNIT_DIR", dir.str());
    EXPECT_TRUE(CanWriteServiceUnits());
    EXPECT_FALSE(ServiceUnitExists("brindle-unit-test"));
    ASSERT_TRUE(CreateServiceUnit("brindle-unit-test", "A unit\nwith 100% of two lines\\"));
    const std::string path = dir.str() + "/brindle-unit-test.service";
    EXPECT_EQ(ServiceUnitPath("brindle-unit-test"), path);
    EXPECT_TRUE(ServiceUnitExists("brindle-unit-test"));
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("ExecStart=\"" + ServiceExecutablePath() + "\"\n"), std::string::npos) << text;

    std::string output;
    const int verdict = servicetest::VerifyUnit(path, &output);
    if (verdict < 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
    EXPECT_EQ(verdict, 0) << output;
    EXPECT_EQ(output, "");

    // A second install finds the unit and leaves it as it was.
    EXPECT_FALSE(CreateServiceUnit("brindle-unit-test", "other"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadFile(path), text);
    EXPECT_TRUE(DeleteServiceUnit("brindle-unit-test"));
    EXPECT_FALSE(DeleteServiceUnit("brindle-unit-test"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));
    EXPECT_FALSE(DeleteServiceUnit("../brindle-unit-test"));
}

TEST(ServiceUnits, AMissingOrFileUnitDirectoryCannotBeWritten)
{
    TempDir dir;
    {
        ScopedEnv units("BRINDLE_UNIT_DIR", dir.str() + "/missing");
        EXPECT_FALSE(CanWriteServiceUnits());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));
        EXPECT_FALSE(CreateServiceUnit("beat", "x"));
    }
    std::ofstream(dir.path() / "file") << "x";
    ScopedEnv units("BRINDLE_UNIT_DIR", dir.str() + "/file");
    EXPECT_FALSE(CanWriteServiceUnits());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTDIR));
}

TEST(ServiceNotify, MessagesReachThePathOrAbstractSocketNamed)
{
    TempDir dir;
    const std::string path = dir.str() + "/notify";
    DatagramPeer peer(path);
    {
        ScopedEnv notify("NOTIFY_SOCKET", path);
        EXPECT_TRUE(StartedByServiceManager());
        ASSERT_TRUE(NotifyServiceManager("READY=1\nSTATUS=Running"));
        EXPECT_EQ(peer.Receive(), "READY=1\nSTATUS=Running");
    }
    const std::string abstractName = "brindle-notify-" + std::to_string(::getpid());
    DatagramPeer abstractPeer(abstractName, true);
    {
        ScopedEnv notify("NOTIFY_SOCKET", "@" + abstractName);
        ASSERT_TRUE(NotifyServiceManager("STOPPING=1"));
        EXPECT_EQ(abstractPeer.Receive(), "STOPPING=1");
    }
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("INVOCATION_ID");
    EXPECT_FALSE(StartedByServiceManager());
    EXPECT_FALSE(NotifyServiceManager("READY=1"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTCONN));
}

TEST(ServiceNotify, StatusRecordsBecomeTheManagersMessages)
{
    const std::pair<SERVICE_STATUS, const char*> cases[] = {
        {{.dwCurrentState = SERVICE_START_PENDING}, "STATUS=Start pending"},
        {{.dwCurrentState = SERVICE_RUNNING}, "READY=1\nSTATUS=Running"},
        {{.dwCurrentState = SERVICE_STOP_PENDING, .dwCheckPoint = 1},
         "STOPPING=1\nSTATUS=Stop pending (check point 1)\nEXTEND_TIMEOUT_USEC=30000000"},
        {{.dwCurrentState = SERVICE_STOP_PENDING, .dwCheckPoint = 10, .dwWaitHint = 5000},
         "STOPPING=1\nSTATUS=Stop pending (check point 10)\nEXTEND_TIMEOUT_USEC=5000000"},
        {{.dwCurrentState = SERVICE_STOPPED, .dwWin32ExitCode = 5}, "STATUS=Stopped\nERRNO=5"},
        {{.dwCurrentState = 99}, "STATUS=Unknown state"},
    };
    for (const auto& [status, message] : cases)
        EXPECT_EQ(ServiceStatusMessage(status), message);
}

TEST(ServicePidFile, OneHolderAtATimeAndNoStalePid)
{
    TempDir dir;
    ScopedEnv run("BRINDLE_RUN_DIR", dir.str() + "/run");
    EXPECT_EQ(FindRunningService("beat"), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ESRCH));
    const int fd = LockServicePidFile("beat");
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ReadFile(ServicePidFilePath("beat")), std::to_string(::getpid()) + "\n");
    EXPECT_EQ(FindRunningService("beat"), ::getpid());
    EXPECT_EQ(LockServicePidFile("beat"), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EALREADY));
    ReleaseServicePidFile("beat", fd);
    EXPECT_EQ(FindRunningService("beat"), 0);

    // A file left behind, with a process id but no holder, names nobody.
    std::ofstream(ServicePidFilePath("beat")) << "1\n";
    EXPECT_EQ(FindRunningService("beat"), 0);
    EXPECT_FALSE(SendServiceControl("beat", 130));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ESRCH));
    EXPECT_EQ(LockServicePidFile("be/at"), -1);
}

TEST(ServiceSignals, ControlsArriveOneByOneInTheOrderSent)
{
    TempDir dir;
    ScopedEnv run("BRINDLE_RUN_DIR", dir.str());
    const int fd = LockServicePidFile("signals-test");
    ASSERT_GE(fd, 0);
    {
    CServiceSignals signals;
    ASSERT_TRUE(signals.IsValid());
    for (DWORD code : {130u, 128u, 255u, SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_STOP})
        ASSERT_TRUE(SendServiceControl("signals-test", code));
    for (DWORD expected : {130u, 128u, 255u, SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_STOP}) {
        DWORD code = 0;
        ASSERT_TRUE(signals.WaitControl(code));
        EXPECT_EQ(code, expected);
    }
    ::kill(::getpid(), SIGINT); // a console's Ctrl+C stops too
    DWORD code = 0;
    ASSERT_TRUE(signals.WaitControl(code));
    EXPECT_EQ(code, SERVICE_CONTROL_STOP);
    signals.Wake();
    EXPECT_FALSE(signals.WaitControl(code));
    EXPECT_TRUE(SendServiceControl("signals-test", 141)); // pending when the receiver goes
    }
    // A control after the receiver has gone is dropped, not fatal.
    EXPECT_TRUE(SendServiceControl("signals-test", 140));
    ReleaseServicePidFile("signals-test", fd);
}

} // namespace
