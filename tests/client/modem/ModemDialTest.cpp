#include "modem/ModemDial.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/RegSection.h"
#include "Brindle/base/SerialPort.h"
#include "Brindle/base/SerialSettings.h"
#include "PtyPair.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace mavo {
namespace {

using testsupport::PtyEnd;
using testsupport::PtyPair;

TEST(ModemPhoneNumberTest, AcceptsDialCharactersOnlyUpToTheStoredLength)
{
    for (const std::string& number : {std::string("5551234"), std::string("9,W(020) 555-1234*#"),
                                      std::string(kMaxPhoneNumber, '1')})
        EXPECT_TRUE(IsValidPhoneNumber(number)) << number;
    // A carriage return would end the dial command and start another.
    for (const std::string& number : {std::string(kMaxPhoneNumber + 1, '1'), std::string(), std::string("555\rATH1"),
                                      std::string("555;"), std::string("555\0", 4)})
        EXPECT_FALSE(IsValidPhoneNumber(number)) << number;

    EXPECT_EQ(DialCommand("5551234"), std::optional<std::string>("ATS0=1&D2DT5551234\r"));
    EXPECT_EQ(DialCommand("555\rATZ"), std::nullopt);
    EXPECT_EQ(DialablePart("555-12 34\r\nATZ"), "555-12 34");
    EXPECT_EQ(DialablePart(";5551234"), "");
    EXPECT_EQ(DialablePart(std::string(100, '7')).size(), kMaxPhoneNumber);
}

TEST(ModemPhoneNumberTest, StoredNumberRoundTripsAndHandEditsLoseTheirCommands)
{
    testsupport::ScopedRegistryDir registry;
    Brindle::CRegSection dialup(HKEY_CURRENT_USER, "Software/Halvern/MAVO/Dialup");
    EXPECT_EQ(LoadPhoneNumber(dialup), "");
    ASSERT_TRUE(SavePhoneNumber(dialup, "555-0100"));
    EXPECT_EQ(LoadPhoneNumber(dialup), "555-0100");
    EXPECT_FALSE(SavePhoneNumber(dialup, "555\r0100"));
    EXPECT_EQ(LoadPhoneNumber(dialup), "555-0100") << "a refused number writes nothing";

    dialup.SetStr("PhoneNumber", "5550100\rATZ&F");
    EXPECT_EQ(LoadPhoneNumber(dialup), "5550100");
}

TEST(ModemReplyTest, WholeLinesAcrossReadsWithoutTheirLeadingBlanks)
{
    CModemReplyLines replies;
    std::vector<std::string> lines;
    replies.Feed("\r\nCONN", 6, lines);
    EXPECT_TRUE(lines.empty()) << "half a reply is not a reply yet";
    replies.Feed("ECT 9600\r\n", 10, lines);
    ASSERT_EQ(lines, std::vector<std::string>{"CONNECT 9600"});

    lines.clear();
    const std::string echoed = "ATS0=1&D2DT555\r\r\n   \t BUSY\r\n";
    replies.Feed(echoed.data(), echoed.size(), lines);
    ASSERT_EQ(lines, (std::vector<std::string>{"ATS0=1&D2DT555", "BUSY"}));
}

TEST(ModemReplyTest, CountedBytesOnlyAndOverlongLinesDropped)
{
    CModemReplyLines replies;
    std::vector<std::string> lines;
    // The count says where the bytes end, not a terminator.
    const char buffer[] = {'B', 'U', 'S', 'Y', '\n', 'C', 'O', 'N', 'N', 'E', 'C', 'T', '\n'};
    replies.Feed(buffer, 5, lines);
    ASSERT_EQ(lines, std::vector<std::string>{"BUSY"});

    lines.clear();
    const std::string noise(CModemReplyLines::kMaxLine + 100, 'x');
    replies.Feed(noise.data(), noise.size(), lines);
    replies.Feed("CONNECT\r\n", 9, lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), CModemReplyLines::kMaxLine) << "the overlong line is cut, never grown";
    replies.Feed("CONNECT 2400\r", 13, lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "CONNECT 2400");
}

TEST(ModemReplyTest, ClassifiesConnectAndBusyAfterBlanks)
{
    EXPECT_EQ(ClassifyReply("CONNECT"), ModemReply::Connect);
    EXPECT_EQ(ClassifyReply("  CONNECT 14400/ARQ"), ModemReply::Connect);
    EXPECT_EQ(ClassifyReply("\t\r\nBUSY"), ModemReply::Busy);
    for (const char* other : {"CONNEC", "NO CARRIER", "OK", ""})
        EXPECT_EQ(ClassifyReply(other), ModemReply::Other) << other;
}

// The test plays the modem on one end of a pty pair; the dialer works on
// a port opened on the other.
class ModemDialerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pair.Running()) << "socat did not start";
        Brindle::CSerialSettings settings;
        settings.SetPort(pair.Second().c_str());
        settings.SetTimeout(20);
        port = std::make_unique<Brindle::CSerialPort>(settings);
        ASSERT_TRUE(port->Open());
        modem = std::make_unique<PtyEnd>(pair.First());
        ASSERT_TRUE(modem->IsOpen());
    }

    CModemDialer::StateSink Sink()
    {
        return [this](int state) {
            std::lock_guard hold(lock);
            states.push_back(state);
            changed.notify_all();
        };
    }

    bool WaitForStates(std::size_t count, int seconds = 60)
    {
        std::unique_lock hold(lock);
        return changed.wait_for(hold, std::chrono::seconds(seconds), [&] { return states.size() >= count; });
    }

    // Whether another thread, as the feed's, could take the port now.
    bool PortFree()
    {
        bool taken = false;
        std::thread other([&] {
            taken = port->GetMutex()->try_acquire();
            if (taken)
                port->GetMutex()->release();
        });
        other.join();
        return taken;
    }

    // Reads what the dialer wrote for `number`.
    std::string DialRead(const std::string& number)
    {
        return modem->Read(DialCommand(number).value_or("").size());
    }

    std::vector<int> States()
    {
        std::lock_guard hold(lock);
        return states;
    }

    PtyPair pair;
    std::unique_ptr<Brindle::CSerialPort> port;
    std::unique_ptr<PtyEnd> modem;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<int> states;
};

TEST_F(ModemDialerTest, WritesTheDialCommandAndConnectsOnASplitEchoedReply)
{
    CModemDialer dialer(Sink(), CModemDialer::Timing{10, 120});
    ASSERT_TRUE(dialer.Start(*port, "5551234"));
    const std::string command = "ATS0=1&D2DT5551234\r";
    EXPECT_EQ(modem->Read(command.size()), command);
    ASSERT_TRUE(WaitForStates(1));
    EXPECT_EQ(States(), std::vector<int>{DIAL_DIALING});

    // Echo, then the reply in two pieces a while apart.
    ASSERT_TRUE(modem->Write(command + "\r\nCONN"));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(States().size(), 1u) << "half a CONNECT is not one";
    ASSERT_TRUE(modem->Write("ECT 9600\r\n"));
    ASSERT_TRUE(WaitForStates(2));
    EXPECT_EQ(States(), (std::vector<int>{DIAL_DIALING, DIAL_CONNECTED}));
    dialer.Stop();
    EXPECT_FALSE(dialer.HasWorker());
}

TEST_F(ModemDialerTest, BlanksBeforeConnectCountAndBusyEndsTheDial)
{
    {
        CModemDialer dialer(Sink(), CModemDialer::Timing{10, 120});
        ASSERT_TRUE(dialer.Start(*port, "1"));
        DialRead("1");
        ASSERT_TRUE(modem->Write("   CONNECT 14400\r\n"));
        ASSERT_TRUE(WaitForStates(2));
        EXPECT_EQ(States().back(), DIAL_CONNECTED);
    }
    states.clear();
    CModemDialer dialer(Sink(), CModemDialer::Timing{10, 120});
    ASSERT_TRUE(dialer.Start(*port, "2"));
    DialRead("2");
    ASSERT_TRUE(modem->Write("\r\nBUSY\r\n"));
    ASSERT_TRUE(WaitForStates(2));
    EXPECT_EQ(States(), (std::vector<int>{DIAL_DIALING, DIAL_BUSY}));
    // A finished worker makes room for the next dial.
    ASSERT_TRUE(dialer.Start(*port, "3"));
    EXPECT_EQ(DialRead("3"), "ATS0=1&D2DT3\r");
    dialer.Stop();
}

TEST_F(ModemDialerTest, SilenceEndsUnableToConnectAfterTheLastPoll)
{
    CModemDialer dialer(Sink(), CModemDialer::Timing{1, 120});
    ASSERT_TRUE(dialer.Start(*port, "5551234"));
    // Chatter that is no answer keeps it dialling.
    ASSERT_TRUE(modem->Write("\r\nOK\r\nNO DIALTONE\r\n"));
    ASSERT_TRUE(WaitForStates(2, 120));
    EXPECT_EQ(States(), (std::vector<int>{DIAL_DIALING, DIAL_UNABLE}));
    EXPECT_FALSE(dialer.IsDialing());
}

TEST_F(ModemDialerTest, HoldsThePortWhileDiallingAndStopsQuietly)
{
    CModemDialer dialer(Sink(), CModemDialer::Timing{250, 120});
    ASSERT_TRUE(dialer.Start(*port, "5551234"));
    ASSERT_TRUE(WaitForStates(1));
    EXPECT_FALSE(dialer.Start(*port, "5551234")) << "one worker at a time";
    // The command is written under the lock, and the lock kept.
    ASSERT_EQ(DialRead("5551234"), "ATS0=1&D2DT5551234\r");

    EXPECT_FALSE(PortFree()) << "the feed must not read the modem's replies";

    dialer.Stop();
    EXPECT_EQ(States(), std::vector<int>{DIAL_DIALING}) << "a stopped dial reports nothing more";
    EXPECT_TRUE(PortFree());
}

TEST_F(ModemDialerTest, RefusesABadNumberAndGivesUpOnAClosedPort)
{
    CModemDialer dialer(Sink(), CModemDialer::Timing{10, 120});
    EXPECT_FALSE(dialer.Start(*port, "555\rATH1"));
    EXPECT_FALSE(dialer.HasWorker());

    port->Close();
    ASSERT_TRUE(dialer.Start(*port, "5551234"));
    ASSERT_TRUE(WaitForStates(2));
    EXPECT_EQ(States(), (std::vector<int>{DIAL_DIALING, DIAL_UNABLE}));
}

} // namespace
} // namespace mavo
