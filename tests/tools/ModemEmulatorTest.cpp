// The modem emulator as a program: AT commands on one pty pair, a call
// passed to a second pair, the escape and the hang-up.
#include "ChildProcess.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

namespace {

using testsupport::ChildProcess;
using testsupport::PtyEnd;
using testsupport::PtyPair;

class ModemEmulatorTest : public testing::Test {
protected:
    void Start(std::vector<std::string> args = {})
    {
        ASSERT_TRUE(line.Running());
        ASSERT_TRUE(remote.Running());
        std::vector<std::string> argv{MODEM_EMULATOR, "--line", line.First(), "--remote", remote.First()};
        argv.insert(argv.end(), args.begin(), args.end());
        emulator = std::make_unique<ChildProcess>(argv);
        // The transcript goes to standard error.
        ASSERT_TRUE(emulator->ReadUntil([&] { return emulator->Stderr().find("ready\n") != std::string::npos; }));
        client = std::make_unique<PtyEnd>(line.Second());
        far = std::make_unique<PtyEnd>(remote.Second());
        ASSERT_TRUE(client->IsOpen());
        ASSERT_TRUE(far->IsOpen());
    }

    // Sends a command line and reads the exact reply expected.
    std::string Say(const std::string& command, std::size_t replyBytes)
    {
        EXPECT_TRUE(client->Write(command));
        return client->Read(replyBytes);
    }

    bool Saw(const std::string& event)
    {
        return emulator->ReadUntil([&] { return emulator->Stderr().find(event + "\n") != std::string::npos; },
                                   std::chrono::seconds(30));
    }

    PtyPair line;
    PtyPair remote;
    std::unique_ptr<ChildProcess> emulator;
    std::unique_ptr<PtyEnd> client;
    std::unique_ptr<PtyEnd> far;
};

TEST_F(ModemEmulatorTest, AnswersCommandsAndPassesACallBothWaysUntilEscapeAndHangup)
{
    Start({"--no-echo", "--speed", "2400"});
    EXPECT_EQ(Say("AT&D2\r", 6), "\r\nOK\r\n");
    EXPECT_EQ(Say("ATS7=45\r", 6), "\r\nOK\r\n");
    EXPECT_EQ(Say("ATS7?\r", 12), "\r\n45\r\n\r\nOK\r\n");
    EXPECT_EQ(Say("ATH1\r", 9), "\r\nERROR\r\n");

    EXPECT_EQ(Say("ATDT5551234\r", 16), "\r\nCONNECT 2400\r\n");
    ASSERT_TRUE(Saw("dial 5551234"));
    ASSERT_TRUE(client->Write("to the far end"));
    EXPECT_EQ(far->Read(14), "to the far end");
    ASSERT_TRUE(far->Write("and back"));
    EXPECT_EQ(client->Read(8), "and back");

    // "+" split across writes still escapes; what came before it passes.
    ASSERT_TRUE(client->Write("x+"));
    ASSERT_TRUE(client->Write("++\r"));
    EXPECT_EQ(client->Read(6), "\r\nOK\r\n");
    EXPECT_EQ(far->Read(1), "x");
    ASSERT_TRUE(Saw("escape"));
    EXPECT_EQ(Say("ATO\r", 16), "\r\nCONNECT 2400\r\n");
    ASSERT_TRUE(client->Write("+++"));
    EXPECT_EQ(client->Read(6), "\r\nOK\r\n");
    EXPECT_EQ(Say("ATH0\r", 6), "\r\nOK\r\n");
    ASSERT_TRUE(Saw("hangup"));
    EXPECT_EQ(Say("ATO\r", 14), "\r\nNO CARRIER\r\n");
}

TEST_F(ModemEmulatorTest, EchoesCommandsAndAnswersBusyOrNothingButNotMaybe)
{
    ChildProcess bad({MODEM_EMULATOR, "--line", "/dev/null", "--answer", "maybe", "--remote", "/dev/null"});
    EXPECT_EQ(bad.Wait(), 2);
    EXPECT_NE(bad.Stderr().find("usage"), std::string::npos);

    Start({"--answer", "busy"});
    // Data before the command (a feed's login, say) is no command.
    EXPECT_EQ(Say("\x01ZPH\x03" "ATDT1\r", 14), "ATDT1\r\r\nBUSY\r\n");
    emulator.reset();
    client.reset();
    far.reset();

    Start({"--answer", "silent", "--no-echo"});
    ASSERT_TRUE(client->Write("ATDT1\r"));
    ASSERT_TRUE(Saw("silent"));
    EXPECT_EQ(client->Read(1, 500), "");
}

} // namespace
