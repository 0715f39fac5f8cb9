// The monitor stream: its file name and heartbeat from the registry, the
// fallback file, line format, status texts, the disabled stream, and lines
// from several threads.
#include "Brindle/base/Identity.h"
#include "Brindle/base/MonitorStream.h"
#include "Brindle/base/RegSection.h"
#include "BaseTestSupport.h"
#include "TempDir.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace Brindle;
using basetest::FileLines;

// A socket stand-in: what the derived status types read.
struct FakeSocket {
    std::string address;
    bool connected;
    std::string GetAddress() const { return address; }
    bool Connected() const { return connected; }
};

class MonitorStream : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_oldName = GetLocalApplicationName();
        SetLocalApplicationName("MonitorTest");
    }
    void TearDown() override { SetLocalApplicationName(m_oldName.c_str()); }
    std::string Root() const { return m_registry.dir().str(); }
    static CRegSection Section(HKEY root) { return CRegSection(root, "/Software/Halvern/MonitorTest"); }

    testsupport::ScopedRegistryDir m_registry;
    testsupport::ScopedEnv m_state{"XDG_STATE_HOME", Root() + "/state"};
    std::string m_oldName;
};

TEST_F(MonitorStream, WithNothingStoredItStaysDisabledAndDoesNothing)
{
    monitor_stream stream;
    EXPECT_FALSE(stream.enabled());
    EXPECT_EQ(stream.GetFileName(), "");
    stream << "lost" << 'c' << 42;
    EXPECT_EQ(stream.GetOstr().str(), "");
    status_text(STATUS_SERVICE_OPEN, "Feed", "x").Write(stream);
    status_text::Write(stream, STATUS_APPLICATION_START);
    stream.WriteLog();
    EXPECT_FALSE(stream.heartbeat(CTimestamp()));
    EXPECT_FALSE(std::filesystem::exists(Root() + "/state")) << "no fallback made while disabled";
}

TEST_F(MonitorStream, AStoredWindowsNameIsUsedWithSlashesAndItsWholePathIsMade)
{
    const std::string stored = Root() + "\\deep\\er\\Mon.log";
    ASSERT_TRUE(Section(HKEY_CURRENT_USER).SetStr("Monitor Log File", stored));
    monitor_stream stream;
    EXPECT_TRUE(stream.enabled()) << "a stored name enables the stream";
    const std::string file = Root() + "/deep/er/Mon.log";
    EXPECT_EQ(stream.GetFileName(), file);
    EXPECT_TRUE(std::filesystem::is_directory(Root() + "/deep/er"));
    stream << "(Service Open|" << "Feed" << '|' << 7 << ')';
    stream.WriteLog();
    client_open("Client", static_cast<const FakeSocket*>(nullptr)).Write(stream);
    stream.WriteLog();
    const std::vector<std::string> lines = FileLines(file);
    ASSERT_EQ(lines.size(), 2u);
    const std::regex line("[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} - MonitorTest - (.*)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, line)) << lines[0];
    EXPECT_EQ(m[1], "(Service Open|Feed|7)");
    ASSERT_TRUE(std::regex_match(lines[1], m, line)) << lines[1];
    EXPECT_EQ(m[1], "(Client Open|Client|)");
    EXPECT_EQ(stream.GetOstr().str(), "") << "WriteLog empties the line";
}

TEST_F(MonitorStream, TheMachineNameServesWhenTheUserHasNone)
{
    ASSERT_TRUE(Section(HKEY_LOCAL_MACHINE).SetStr("Monitor Log File", Root() + "/m/Machine.log"));
    monitor_stream stream;
    EXPECT_EQ(stream.GetFileName(), Root() + "/m/Machine.log");
    ASSERT_TRUE(Section(HKEY_CURRENT_USER).SetStr("Monitor Log File", Root() + "/u/User.log"));
    stream.Reset();
    EXPECT_EQ(stream.GetFileName(), Root() + "/u/User.log") << "the user's name comes first";
}

// The checks of a user's fallback; 0 when all hold, else the failing step.
int UserFallbackChecks(const std::string& root)
{
    monitor_stream stream;
    stream.enable();
    const std::string expected = root + "/state/brindle/monitor/MonitorTest_Monitor.Log";
    if (stream.GetFileName() != expected)
        return 1;
    std::string stored;
    CRegSection(HKEY_LOCAL_MACHINE, "/Software/Halvern/MonitorTest").GetStr("Monitor Log File", stored, 260, "");
    if (stored != expected)
        return 2;
    status_text::Write(stream, STATUS_APPLICATION_SHUTDOWN);
    stream.WriteLog();
    std::vector<std::string> lines = FileLines(expected);
    const std::string tail = std::string("(Application Shutdown|") + GetLocalVersion() + "|" + GetLocalBuildDate() + ")";
    if (lines.size() != 1 || lines[0].size() < tail.size() || lines[0].substr(lines[0].size() - tail.size()) != tail)
        return 3;
    stream.disable();
    stream << "gone";
    stream.WriteLog();
    if (FileLines(expected).size() != 1)
        return 4;
    return 0;
}

TEST_F(MonitorStream, EnableFallsBackToTheStateDirectoryAndStoresTheName)
{
    if (::geteuid() != 0) {
        EXPECT_EQ(UserFallbackChecks(Root()), 0);
        return;
    }
    // Root keeps its monitor log under /var/log: the user's fallback is
    // checked in a child that runs as nobody (no file is left in /var/log).
    std::filesystem::permissions(Root(), std::filesystem::perms::all);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(10);
        ::_exit(UserFallbackChecks(Root()));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failing step";
}

TEST_F(MonitorStream, StatusTextsReadAsTheirTypeSays)
{
    ASSERT_TRUE(Section(HKEY_CURRENT_USER).SetStr("Monitor Log File", Root() + "/s.log"));
    monitor_stream stream;
    const FakeSocket up{"host:81", true};
    const FakeSocket down{"host:82", false};
    const std::pair<status_text, const char*> cases[] = {
        {service_listen("L", &up), "(Service Listen|L|host:81)"},
        {service_open("O", &up), "(Service Open|O|host:81)"},
        {service_close("C", &down), "(Service Close|C|host:82)"},
        {service_status("Feed", &up), "(Service Status|Feed|Connected)"},
        {service_status("Feed", &down), "(Service Status|Feed|Not Connected)"},
        {service_status("Feed", static_cast<const FakeSocket*>(nullptr)), "(Service Status|Feed|Not Connected)"},
        {client_open("A", &up), "(Client Open|A|host:81)"},
        {client_close("B", static_cast<const FakeSocket*>(nullptr)), "(Client Close|B|)"},
        {status_text(static_cast<STATUS_TYPE>(6), "X", "y"), "unknown service status"},
    };
    for (const auto& [status, text] : cases) {
        stream.GetOstr().str("");
        status.Write(stream);
        EXPECT_EQ(stream.GetOstr().str(), text);
    }
    stream.GetOstr().str("");
    status_text::Write(stream, static_cast<STATUS_TEXT>(2));
    EXPECT_EQ(stream.GetOstr().str(), "unknown status text");
}

TEST_F(MonitorStream, TheHeartbeatIsDueAtOnceThenOncePerIntervalTheUsersFirst)
{
    ASSERT_TRUE(Section(HKEY_CURRENT_USER).SetStr("Monitor Log File", Root() + "/h.log"));
    monitor_stream stream;
    const long start = 1000000L;
    EXPECT_TRUE(stream.heartbeat(CTimestamp(start)));
    long stored = 0;
    Section(HKEY_LOCAL_MACHINE).GetLong("Monitor Heartbeat", stored, 0);
    EXPECT_EQ(stored, 60) << "the default is stored under the machine";
    EXPECT_FALSE(stream.heartbeat(CTimestamp(start + 1)));
    EXPECT_FALSE(stream.heartbeat(CTimestamp(start + 60)));
    EXPECT_TRUE(stream.heartbeat(CTimestamp(start + 61)));
    // The next one is due 59 s on: the interval less one.
    EXPECT_FALSE(stream.heartbeat(CTimestamp(start + 61 + 59)));
    EXPECT_TRUE(stream.heartbeat(CTimestamp(start + 61 + 60)));

    // A user's interval comes before the machine's.
    ASSERT_TRUE(Section(HKEY_CURRENT_USER).SetLong("Monitor Heartbeat", 5));
    ASSERT_TRUE(Section(HKEY_LOCAL_MACHINE).SetLong("Monitor Heartbeat", 30));
    monitor_stream user;
    EXPECT_TRUE(user.heartbeat(CTimestamp(2 * start)));
    EXPECT_FALSE(user.heartbeat(CTimestamp(2 * start + 5)));
    EXPECT_TRUE(user.heartbeat(CTimestamp(2 * start + 6)));
}

TEST_F(MonitorStream, LinesFromFourThreadsStayWhole)
{
    const std::string file = Root() + "/t.log";
    ASSERT_TRUE(Section(HKEY_CURRENT_USER).SetStr("Monitor Log File", file));
    monitor_stream stream;
    ASSERT_TRUE(stream.enabled());
    threadtest::OnThreads(4, [&](int t) {
        for (int i = 0; i < 50; ++i) {
            client_open("T" + std::to_string(t), static_cast<const FakeSocket*>(nullptr)).Write(stream);
            stream.WriteLog();
        }
    });
    const std::vector<std::string> lines = FileLines(file);
    EXPECT_EQ(lines.size(), 200u);
    const std::regex whole(".* - MonitorTest - (\\(Client Open\\|T[0-3]\\|\\))*");
    for (const std::string& line : lines)
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
}

} // namespace
