#include "Brindle/base/DebugTrace.h"
#include "Brindle/base/EventLog.h"
#include "Brindle/base/Exception.h"
#include "Brindle/base/Identity.h"
#include "Platform/Registry.h"
#include "Platform/Syslog.h"

#include "BaseTestSupport.h"
#include "ChildProcess.h"
#include "DatagramPeer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <unistd.h>

using namespace Brindle;

namespace {

// "<PRI>Mmm dd hh:mm:ss ident[pid]: " and the text after it.
std::string TextOf(const std::string& line, int pri, const std::string& ident)
{
    const std::regex header("^<" + std::to_string(pri) + ">[A-Z][a-z]{2} [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] " + ident + "\\[" + std::to_string(::getpid()) + "\\]: ");
    std::smatch m;
    if (!std::regex_search(line, m, header))
        return "<bad header: " + line + ">";
    return m.suffix();
}

// A local syslog socket named by BRINDLE_SYSLOG_SOCKET for one test.
class SyslogCapture {
public:
    testsupport::DatagramPeer& peer() { return m_peer; }
    // The texts of the lines that come, each within the line limit, joined
    // until `size` bytes have come (or none came for 5 s).
    std::string ReceiveJoined(std::size_t size, int pri, const std::string& ident)
    {
        std::string joined;
        while (joined.size() < size) {
            const std::string line = m_peer.Receive(std::chrono::seconds(5));
            if (line.empty())
                break;
            const std::string text = TextOf(line, pri, ident);
            EXPECT_LE(text.size(), Platform::CSyslogSocket::MaxTextBytes);
            joined += text;
        }
        return joined;
    }

private:
    testsupport::TempDir m_dir;
    testsupport::DatagramPeer m_peer{m_dir.str() + "/log"};
    testsupport::ScopedEnv m_socket{"BRINDLE_SYSLOG_SOCKET", m_dir.str() + "/log"};
};

const char* Rsyslogd()
{
    for (const char* path : {"/usr/sbin/rsyslogd", "/sbin/rsyslogd"})
        if (::access(path, X_OK) == 0)
            return path;
    return nullptr;
}

} // namespace

TEST(CEventLog, WritesEveryTableMessageWithItsInsertsAsOneSyslogLine)
{
    SyslogCapture capture;
    ASSERT_TRUE(capture.peer().IsBound());
    CEventLog log("MySvc");
    const struct {
        WORD type;
        DWORD id;
        const char* a;
        const char* b;
        const char* c;
        int pri;
        const char* text;
    } cases[] = {
        {EVENTLOG_INFORMATION_TYPE, MSG_SERVICE_INSTALLED, "MySvc", nullptr, nullptr, 30, "Service MySvc has been installed."},
        {EVENTLOG_INFORMATION_TYPE, MSG_SERVICE_UNINSTALLED, "MySvc", nullptr, nullptr, 30, "Service MySvc has been uninstalled."},
        {EVENTLOG_INFORMATION_TYPE, MSG_SERVICE_STARTED, "MySvc", nullptr, nullptr, 30, "Service MySvc has been started."},
        {EVENTLOG_WARNING_TYPE, MSG_SERVICE_STOPPED, "MySvc", nullptr, nullptr, 28, "Service MySvc has been stopped"},
        {EVENTLOG_ERROR_TYPE, MSG_SERVICE_START_FAILED, "MySvc", "no port", nullptr, 27, "Service MySvc was unable to start no port"},
        {EVENTLOG_ERROR_TYPE, MSG_SERVICE_EXCEPTION, "MySvc", "bad\r\nthing\there", nullptr, 27, "Service MySvc exception bad thing here"},
        {EVENTLOG_ERROR_TYPE, MSG_DESCRIPTION_DATA, "desc", "d1", "d2", 27, "Description: desc Data: d1, d2"},
        {EVENTLOG_SUCCESS, MSG_DESCRIPTION_DATA, "%2", "x\n<13>Jan  1 00:00:00 h fake: y", "z", 30,
         "Description: %2 Data: x <13>Jan  1 00:00:00 h fake: y, z"},
        {EVENTLOG_WARNING_TYPE, 0x1234, "a", "b", nullptr, 28, "Event 4660 a b"},
        // Inserts stop at the first missing one.
        {EVENTLOG_ERROR_TYPE, MSG_DESCRIPTION_DATA, "d", nullptr, "ignored", 27, "Description: d Data: ,"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(log.Log(c.type, 0, c.id, c.a, c.b, c.c), 1);
        const std::string line = capture.peer().Receive();
        EXPECT_EQ(TextOf(line, c.pri, "MySvc"), c.text) << line;
        EXPECT_EQ(line.find_first_of("\r\n\t"), std::string::npos);
    }
}

TEST(CEventLog, WithoutAListeningSyslogLogReportsFailure)
{
    testsupport::TempDir dir;
    testsupport::ScopedEnv socket("BRINDLE_SYSLOG_SOCKET", dir.str() + "/none");
    CEventLog log("S");
    EXPECT_EQ(log.Log(EVENTLOG_INFORMATION_TYPE, 0, MSG_SERVICE_STARTED, "S"), 0);
}

TEST(CEventLog, IdentIsMadeSafe)
{
    SyslogCapture capture;
    CEventLog log("my svc: [x]");
    ASSERT_EQ(log.Log(EVENTLOG_INFORMATION_TYPE, 0, MSG_SERVICE_STARTED, "a"), 1);
    EXPECT_EQ(TextOf(capture.peer().Receive(), 30, "my_svc___x_"), "Service a has been started.");
}

TEST(CEventLog, LongTextsArriveWholeOverSeveralLines)
{
    SyslogCapture capture;
    CEventLog log("S");
    std::string big;
    for (int i = 0; i < 3000; ++i)
        big += "w\xc3\xa9" + std::to_string(i % 10);
    ASSERT_EQ(log.Log(EVENTLOG_ERROR_TYPE, 0, MSG_SERVICE_EXCEPTION, "S", big.c_str()), 1);
    const std::string expected = "Service S exception " + big;
    EXPECT_EQ(capture.ReceiveJoined(expected.size(), 27, "S"), expected);
}

TEST(CEventLog, AddSourceWritesTheEventSourceKey)
{
    testsupport::ScopedRegistryDir registry;
    ASSERT_EQ(CEventLog::AddSource("MySvc", 3, "/opt/x/libmsg.so"), 1);
    ASSERT_EQ(CEventLog::AddSource("Other"), 1);
    // The type and bytes of a value of a source's key; type 0 when there is none.
    const auto read = [](const char* source, const char* name) {
        HKEY key = nullptr;
        const std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + source;
        BYTE data[4096];
        DWORD type = 0, size = 0;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            size = sizeof data;
            if (RegQueryValueExA(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS)
                type = size = 0;
            RegCloseKey(key);
        }
        return std::pair(type, std::string(reinterpret_cast<char*>(data), size));
    };
    const std::string file("/opt/x/libmsg.so", sizeof "/opt/x/libmsg.so");
    EXPECT_EQ(read("MySvc", "EventMessageFile"), std::pair(DWORD(REG_EXPAND_SZ), file));
    EXPECT_EQ(read("MySvc", "TypesSupported"), std::pair(DWORD(REG_DWORD), std::string("\x07\0\0\0", 4)));
    EXPECT_EQ(read("MySvc", "CategoryCount"), std::pair(DWORD(REG_DWORD), std::string("\x03\0\0\0", 4)));
    EXPECT_EQ(read("MySvc", "CategoryMessageFile").second, file);

    const std::string library = read("Other", "EventMessageFile").second;
    EXPECT_NE(library.find("libBrindle"), std::string::npos) << library;
    EXPECT_EQ(library.front(), '/');
    EXPECT_EQ(read("Other", "CategoryCount").first, 0u);
}

TEST(DebugTrace, LongTextsGoWholeToSyslogWhenStandardErrorIsNoTerminal)
{
    if (::isatty(STDERR_FILENO) == 1)
        GTEST_SKIP() << "standard error is a terminal: the trace goes there";
    SyslogCapture capture;
    std::string big(20000, 'q');
    big[10239] = 'Z';
    DebugTrace("start %s %d end\n", big.c_str(), 42);
    const std::string expected = "start " + big + " 42 end";
    const std::string ident = Platform::SyslogCleanIdent(GetLocalApplicationName());
    EXPECT_EQ(capture.ReceiveJoined(expected.size(), 15, ident), expected);
}

TEST(SyslogText, ControlBytesBecomeSpacesAndTrailingOnesGo)
{
    for (const auto& [in, out] : {std::pair{"a\r\nb\r\n", "a b"}, {"a\nb", "a b"}, {"a\rb", "a b"},
                                  {"\x1b[31mred", " [31mred"}, {"x\x7fy", "x y"}, {"tab\t", "tab"},
                                  {"\xc3\xa9", "\xc3\xa9"}, {"", ""}})
        EXPECT_EQ(Platform::SyslogCleanText(in), out) << in;
    EXPECT_EQ(Platform::SyslogCleanIdent(""), "-");
}

TEST(SyslogText, LinesCarryAHostOnlyWhenGivenOne)
{
    const std::time_t when = 1700000000;
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    EXPECT_EQ(Platform::FormatSyslogLines(3, 6, "id", "t", when, "", 12),
              std::vector<std::string>{std::string("<30>") + stamp + " id[12]: t"});
    EXPECT_EQ(Platform::FormatSyslogLines(1, 7, "id", "t", when, "my host", 12),
              std::vector<std::string>{std::string("<15>") + stamp + " my_host id[12]: t"});
    EXPECT_EQ(Platform::FormatSyslogLines(3, 6, "id", "", when, "", 12).size(), 1u);
}

// The event log against a real rsyslog: our lines must be accepted and
// parsed into the fields we meant (tag, severity, facility, text).
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
    {
        testsupport::ScopedEnv env("BRINDLE_SYSLOG_SOCKET", socket);
        CEventLog log("BrindleTest");
        EXPECT_EQ(log.Log(EVENTLOG_INFORMATION_TYPE, 0, MSG_SERVICE_STARTED, "BrindleTest"), 1);
        EXPECT_EQ(log.Log(EVENTLOG_ERROR_TYPE, 0, MSG_SERVICE_EXCEPTION, "BrindleTest", "line one\r\nline two"), 1);
        EXPECT_EQ(log.Log(EVENTLOG_WARNING_TYPE, 0, MSG_SERVICE_STOPPED, "BrindleTest"), 1);
    }
    const std::string tag = "BrindleTest[" + std::to_string(::getpid()) + "]:";
    const std::string expected = tag + "|6|3| Service BrindleTest has been started.\n" + tag +
                                 "|3|3| Service BrindleTest exception line one line two\n" + tag +
                                 "|4|3| Service BrindleTest has been stopped\n";
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
        got = basetest::ReadFile(out);
        if (got.size() >= expected.size())
            break;
        rsyslog.Pump(50);
    }
    rsyslog.Signal(SIGTERM);
    rsyslog.Wait(std::chrono::seconds(20));
    EXPECT_EQ(got, expected) << rsyslog.Stderr();
}
