// mavo-dde as a user runs it, against a DDE server in this process.
#include "ChildProcess.h"
#include "DdeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

using ddetest::ServerThread;
using testsupport::ChildProcess;

namespace {

struct MavoDdeTool : ::testing::Test {
    ddetest::ScopedRuntimeDir runtime;

    static std::vector<std::string> Args(std::initializer_list<std::string> rest)
    {
        std::vector<std::string> args{MAVO_DDE_TOOL};
        args.insert(args.end(), rest);
        return args;
    }
};

struct Result {
    int status;
    std::string out, err;
};

// The tool run to its end.
Result RunTool(std::vector<std::string> args)
{
    ChildProcess tool(args);
    const int status = tool.Wait();
    return {status, tool.Stdout(), tool.Stderr()};
}

// The tool fails with status 1, printing nothing but the error given.
void ExpectFailure(const std::vector<std::string>& args, const std::string& error)
{
    const Result tool = RunTool(args);
    EXPECT_EQ(tool.status, 1) << args.back();
    EXPECT_EQ(tool.err, "mavo-dde: " + error + "\n");
    EXPECT_EQ(tool.out, "");
}

} // namespace

TEST_F(MavoDdeTool, HelpAndBadCommandLines)
{
    const Result help = RunTool(Args({"--help"}));
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("advise SERVICE TOPIC ITEM..."), std::string::npos);
    for (auto args : {Args({}), Args({"request", "MAVO", "P1L1"}), Args({"poke", "MAVO", "T", "I"}),
                      Args({"--count", "0", "advise", "MAVO", "T", "I"}), Args({"--frobnicate"}),
                      Args({"shout", "MAVO", "T", "I"})}) {
        const Result bad = RunTool(args);
        EXPECT_EQ(bad.status, 2);
        EXPECT_NE(bad.err.find("usage:"), std::string::npos);
    }
}

TEST_F(MavoDdeTool, RequestPrintsTheValueAndControlBytesInItNeverReachTheTerminal)
{
    ServerThread server("MAVO");
    ASSERT_TRUE(server.Ok());
    server.Set("P1L1!BIDRATE", "99.25");
    server.Set("T!I", "a\x1b[2Jb\x07");
    for (const auto& [topic, item, out] : {std::tuple {"P1L1", "bidrate", "99.25\n"}, std::tuple {"T", "I", "a?[2Jb?\n"}}) {
        const Result tool = RunTool(Args({"request", "mavo", topic, item}));
        EXPECT_EQ(tool.status, 0) << tool.err;
        EXPECT_EQ(tool.out, out);
    }
}

TEST_F(MavoDdeTool, MissingServiceRefusedTopicAndBadItemAreClearFailures)
{
    ExpectFailure(Args({"request", "MAVO", "P1L1", "BIDRATE"}), "no DDE server \"MAVO\" is running");
    ServerThread server("MAVO");
    ASSERT_TRUE(server.Ok());
    server.Refuse("P0L1");
    ExpectFailure(Args({"request", "MAVO", "P0L1", "BIDRATE"}), "the server \"MAVO\" refused the topic \"P0L1\"");
    for (const char* command : {"request", "advise"})
        ExpectFailure(Args({command, "MAVO", "P1L1", "NOSUCHITEM"}), "no value for item \"NOSUCHITEM\" of topic \"P1L1\" "
                                                                     "(the server does not know the topic or the item)");
}

TEST_F(MavoDdeTool, PokeAndExecuteReportWhetherTheServerProcessedThem)
{
    ServerThread server("MAVO");
    ASSERT_TRUE(server.Ok());
    const auto poke = Args({"poke", "MAVO", "P1L1", "BIDRATE", "1.5"});
    const auto execute = Args({"execute", "MAVO", "APP", "[Beep]"});
    EXPECT_EQ(RunTool(poke).status, 0);
    EXPECT_EQ(RunTool(execute).status, 0);
    server.SetPokeAnswer(DDE_FNOTPROCESSED);
    ExpectFailure(poke, "the server did not process the poke of \"P1L1!BIDRATE\"");
    ExpectFailure(execute, "the server did not process the command");
    std::vector<std::string> payloads;
    for (const auto& heard : server.Heard_()) {
        if (heard.type == XTYP_POKE || heard.type == XTYP_EXECUTE)
            payloads.push_back(heard.data);
    }
    EXPECT_EQ(payloads, (std::vector<std::string>{std::string("1.5", 4), std::string("[Beep]", 7),
                                                  std::string("1.5", 4), std::string("[Beep]", 7)}));
}

TEST_F(MavoDdeTool, AdvisePrintsEachUpdateWithItsTimeUntilInterruptedOrCountedOrTheServerGoes)
{
    auto server = std::make_unique<ServerThread>("MAVO");
    ASSERT_TRUE(server->Ok());
    server->Set("P1L1!BIDRATE", "1.00");
    server->Set("P1L1!OFFERRATE", "1.10");
    const auto lines = [](ChildProcess& tool) { return std::count(tool.Stdout().begin(), tool.Stdout().end(), '\n'); };
    {
        ChildProcess tool(Args({"advise", "MAVO", "P1L1", "BIDRATE", "OFFERRATE"}));
        ASSERT_TRUE(ddetest::Eventually([&] { return server->Count(XTYP_ADVSTART) == 2; }));
        server->Set("P1L1!BIDRATE", "1.01");
        server->Post("P1L1", "BIDRATE");
        server->Set("P1L1!OFFERRATE", "1.09");
        server->Post("P1L1", "OFFERRATE");
        ASSERT_TRUE(tool.ReadUntil([&] { return lines(tool) == 4; })) << tool.Stdout() << tool.Stderr();
        tool.Signal(SIGINT);
        EXPECT_EQ(tool.Wait(), 0) << tool.Stderr();
        const std::regex line(R"((\d\d:\d\d:\d\d\.\d\d\d) P1L1!(BIDRATE|OFFERRATE) (\S+))");
        std::vector<std::string> seen;
        std::istringstream out(tool.Stdout());
        for (std::string text; std::getline(out, text);) {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(text, match, line)) << text;
            seen.push_back(match[2].str() + "=" + match[3].str());
        }
        EXPECT_EQ(seen, (std::vector<std::string>{"BIDRATE=1.00", "OFFERRATE=1.10", "BIDRATE=1.01", "OFFERRATE=1.09"}));
        // The loops were ended before the tool left.
        ASSERT_TRUE(ddetest::Eventually([&] { return server->Count(XTYP_ADVSTOP) == 2; }));
    }
    server->Set("T!I", "a");
    {
        ChildProcess tool(Args({"--count", "2", "advise", "MAVO", "T", "I"}));
        ASSERT_TRUE(ddetest::Eventually([&] { return server->Count(XTYP_ADVSTART) == 3; }));
        server->Post("T", "I");
        server->Post("T", "I");
        EXPECT_EQ(tool.Wait(), 0) << tool.Stderr();
        EXPECT_EQ(lines(tool), 3);
    }
    ChildProcess tool(Args({"advise", "MAVO", "T", "I"}));
    ASSERT_TRUE(ddetest::Eventually([&] { return server->Count(XTYP_ADVSTART) == 4; }));
    server.reset();
    EXPECT_EQ(tool.Wait(), 1);
    EXPECT_EQ(tool.Stderr(), "mavo-dde: the server ended the conversation\n");
}
