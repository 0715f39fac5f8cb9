// The event log against a real rsyslog: our lines must be accepted and
// parsed into the fields we meant (tag, severity, facility, text).
#include "Brindle/base/EventLog.h"

#include "ChildProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <csignal>
#include <unistd.h>

using namespace Brindle;

namespace {

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

const char* Rsyslogd()
{
    for (const char* path : {"/usr/sbin/rsyslogd", "/sbin/rsyslogd"})
        if (::access(path, X_OK) == 0)
            return path;
    return nullptr;
}

} // namespace

TEST(CEventLogRsyslog, RealSyslogAcceptsAndParsesOurLines)
{
    const char* daemon = Rsyslogd();
    if (daemon == nullptr)
        GTEST_SKIP() << "rsyslogd is not installed (scripts/deps.sh installs it)";
    testsupport::TempDir dir;
    const std::string socket = dir.str() + "/log", out = dir.str() + "/out.log", conf = dir.str() + "/rsyslog.conf";
    std::ofstream(conf) << "global(workDirectory=\"" << dir.str() << "\")\n"
                        << "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
                        << "input(type=\"imuxsock\" Socket=\"" << socket << "\")\n"
                        << "template(name=\"fields\" type=\"string\" "
                           "string=\"%syslogtag%|%syslogseverity%|%syslogfacility%|%msg%\\n\")\n"
                        << "*.* action(type=\"omfile\" file=\"" << out << "\" template=\"fields\")\n";
    testsupport::ChildProcess rsyslog({daemon, "-n", "-f", conf, "-i", dir.str() + "/pid"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(socket) && std::chrono::steady_clock::now() < deadline) {
        rsyslog.Pump(50);
    }
    if (!std::filesystem::exists(socket)) {
        rsyslog.Signal(SIGTERM);
        rsyslog.Wait(std::chrono::seconds(10));
        GTEST_SKIP() << "rsyslogd did not start: " << rsyslog.Stderr();
    }
    ::setenv("BRINDLE_SYSLOG_SOCKET", socket.c_str(), 1);
    {
        CEventLog log("BrindleTest");
        EXPECT_EQ(log.Log(EVENTLOG_INFORMATION_TYPE, 0, MSG_SERVICE_STARTED, "BrindleTest"), 1);
        EXPECT_EQ(log.Log(EVENTLOG_ERROR_TYPE, 0, MSG_SERVICE_EXCEPTION, "BrindleTest", "line one\r\nline two"), 1);
        EXPECT_EQ(log.Log(EVENTLOG_WARNING_TYPE, 0, MSG_SERVICE_STOPPED, "BrindleTest"), 1);
    }
    ::unsetenv("BRINDLE_SYSLOG_SOCKET");
    const std::string tag = "BrindleTest[" + std::to_string(::getpid()) + "]:";
    const std::string expected = tag + "|6|3| Service BrindleTest has been started.\n" + tag +
                                 "|3|3| Service BrindleTest exception line one line two\n" + tag +
                                 "|4|3| Service BrindleTest has been stopped\n";
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
        got = Read(out);
        if (got.size() >= expected.size())
            break;
        rsyslog.Pump(50);
    }
    rsyslog.Signal(SIGTERM);
    rsyslog.Wait(std::chrono::seconds(20));
    EXPECT_EQ(got, expected) << rsyslog.Stderr();
}
