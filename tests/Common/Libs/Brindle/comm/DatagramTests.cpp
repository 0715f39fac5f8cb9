// The datagram transport against the Python network peer on loopback:
// datagrams of 1 to 60,000 bytes both ways with the sender's address, an
// empty datagram followed by data, refusals, a full send buffer, binding
// and membership failures, and multicast looped back on this host.
#include "Brindle/comm/CommDatagram.h"

#include "CommLogCapture.h"
#include "TransportTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <iostream>

using namespace Brindle;
using namespace transporttest;
using commtest::CommLogCapture;

namespace {

const std::size_t kSizes[] = {1, 2, 100, 1400, 1473, 9000, 32768, 60000};

// A receiver on 127.0.0.1 at a port the peer found free.
std::unique_ptr<CCommDatagramFrom> Receiver(Net& net, int& port)
{
    port = net.peer.Int("freeport", "port");
    auto receiver = std::make_unique<CCommDatagramFrom>(net.iocp);
    EXPECT_TRUE(receiver->SetAddress(port, "127.0.0.1", true));
    receiver->SetChain(&net.top);
    return receiver;
}

// A sender connected to the peer's UDP socket, with `top` above it.
std::unique_ptr<CCommDatagram> Sender(Net& net)
{
    auto sender = std::make_unique<CCommDatagram>(net.iocp);
    sender->SetChain(&net.top);
    EXPECT_TRUE(sender->SetAddress(net.peer.Int("ubind", "port"), "127.0.0.1", true));
    EXPECT_TRUE(sender->Connect());
    return sender;
}

TEST(CommDatagram, AddressesAndRefusals)
{
    CCommIOCP iocp;
    CCommDatagram sender(iocp);
    // No socket: nothing is sent, not even an empty datagram.
    EXPECT_FALSE(sender.Send("x"));
    EXPECT_FALSE(sender.Send(""));
    EXPECT_EQ(sender.MaxMsgSize(), 0);
    EXPECT_FALSE(sender.SetTTL(1));
    EXPECT_FALSE(sender.SetLoopback(true));
    ASSERT_TRUE(sender.SetAddress(5000, "239.1.2.3", true));
    EXPECT_EQ(sender.GetAddress(), "UDP:239.1.2.3:5000");
    EXPECT_FALSE(sender.SetAddress(5001, "no-such-host.invalid", true));
    EXPECT_EQ(sender.GetAddress(), "UDP:239.1.2.3:5000");
    EXPECT_TRUE(sender.SetAddress(0, "text-only", false));
    EXPECT_EQ(sender.GetAddress(), "UDP:text-only:5000");
    ASSERT_TRUE(sender.Connect());
    EXPECT_EQ(sender.MaxMsgSize(), CCommDatagram::MaxDatagramSize);
    EXPECT_FALSE(sender.Send(std::string(CCommDatagram::MaxDatagramSize + 1, 'x')));
    EXPECT_EQ(iocp.InFlight(), 0u); // refused without an operation
    EXPECT_TRUE(sender.SetTTL(1));
    EXPECT_TRUE(sender.SetLoopback(false));
    EXPECT_TRUE(sender.CheckOutstandingOverlapped(0));
    EXPECT_FALSE(sender.CheckOutstandingOverlapped(1));
    EXPECT_TRUE(sender.Close());
    EXPECT_EQ(sender.Socket(), INVALID_SOCKET);
    EXPECT_FALSE(sender.Send("x"));
}

TEST(CommDatagramFrom, DatagramsOfOneToSixtyThousandBytesArriveWithTheirSenderAndEmptyOnesAreSkipped)
{
    Net net(2);
    Recorder& top = net.top;
    int port = 0;
    CCommDatagramFrom* seenBy = nullptr;
    std::vector<int> senders;
    auto receiver = Receiver(net, port);
    std::vector<int> lengths;
    top.onData = [&](void*, const std::string&) {
        senders.push_back(ntohs(seenBy->GetFrom().sin_port));
        lengths.push_back(seenBy->GetFromLength());
    };
    seenBy = receiver.get();
    ASSERT_TRUE(receiver->BeginReceive(false));
    EXPECT_FALSE(receiver->IsMember());
    int from = -1;
    for (std::size_t i = 0; i < std::size(kSizes); ++i) {
        from = net.peer.Int("usend " + std::to_string(port) + " " + std::to_string(kSizes[i]), "from");
        ASSERT_TRUE(top.Until([&] { return top.datagrams == i + 1; })) << kSizes[i];
    }
    // An empty datagram is not handed up and does not close the receiver.
    net.peer.Ask("usend " + std::to_string(port) + " 0");
    net.peer.Ask("usend " + std::to_string(port) + " 10");
    std::vector<std::size_t> sizes(std::begin(kSizes), std::end(kSizes));
    sizes.push_back(10);
    ASSERT_TRUE(top.Until([&] { return top.datagrams == sizes.size(); }));
    std::lock_guard<std::mutex> guard(top.Lock());
    ASSERT_EQ(top.sizes, sizes);
    std::string expected;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        expected += Pattern(sizes[i]);
        EXPECT_EQ(senders[i], from);
    }
    EXPECT_TRUE(top.received[receiver->GetSource()] == expected);
    for (const int length : lengths)
        EXPECT_EQ(length, static_cast<int>(sizeof(sockaddr_in)));
    EXPECT_TRUE(top.errors.empty());
    EXPECT_TRUE(top.closes.empty());
    EXPECT_NE(receiver->Socket(), INVALID_SOCKET);
    EXPECT_EQ(receiver->OutstandingOverlapped(), 1); // the standing receive
}

TEST(CommDatagram, DatagramsOfOneToSixtyThousandBytesReachThePeer)
{
    Net net(2);
    auto sender = Sender(net);
    for (const std::size_t size : kSizes) {
        const std::string data = Pattern(size);
        ASSERT_TRUE(sender->SendData(sender->GetSource(), data));
        const std::string got = net.peer.Ask("urecv");
        EXPECT_EQ(testsupport::JsonField(got, "n"), std::to_string(size));
        EXPECT_EQ(testsupport::JsonField(got, "crc"), std::to_string(Crc32(data)));
    }
    WaitFor([&] { return sender->OutstandingOverlapped() == 0; });
}

// Far more than the 32 KiB send buffer at once: every send is taken and
// waits for room, none fails.
TEST(CommDatagram, AFullSendBufferWaitsForRoom)
{
    Net net(2);
    auto sender = Sender(net);
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(sender->Send(std::string(8192, 'u'))) << i;
    WaitFor([&] { return sender->OutstandingOverlapped() == 0; });
    std::lock_guard<std::mutex> guard(net.top.Lock());
    EXPECT_TRUE(net.top.errors.empty()) << net.top.errors.front().text;
    EXPECT_NE(sender->Socket(), INVALID_SOCKET);
}

TEST(CommDatagramFrom, BindAndMembershipFailuresAreLoggedAndLeaveTheSocketClosed)
{
    CommLogCapture log;
    CCommIOCP iocp;
    struct Case {
        const char* host;
        bool multicast;
        const char* logged;
    };
    const Case cases[] = {
        {"192.0.2.254", false, "CCommDatagramFrom::Bind() - ::bind error - "},
        {"127.0.0.1", true, "CCommDatagramFrom::Bind() - ::setsockopt IP_ADD_MEMBERSHIP error - "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        log.Take();
        CCommDatagramFrom receiver(iocp);
        ASSERT_TRUE(receiver.SetAddress(0, c.host, true));
        EXPECT_FALSE(receiver.BeginReceive(c.multicast));
        EXPECT_FALSE(receiver.IsMember());
        EXPECT_EQ(receiver.Socket(), INVALID_SOCKET);
        const auto records = log.Take();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].text.rfind(c.logged, 0), 0u) << records[0].text;
        EXPECT_GT(records[0].text.size(), std::string(c.logged).size()); // the system's text follows
    }
    // A receiver that never joined closes without leaving a group.
    CCommDatagramFrom plain(iocp);
    plain.SetAddress(0, "127.0.0.1", true);
    ASSERT_TRUE(plain.BeginReceive(false));
    log.Take();
    EXPECT_TRUE(plain.Close());
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(iocp.InFlight(), 1u); // the aborted receive, dequeued by nobody here
}

// Multicast looped back on this host: the peer sends to the group our
// receiver joined; our sender (TTL 1, loopback on) reaches the peer's
// member and our own receiver.
TEST(CommDatagramFrom, MulticastIsLoopedBackToMembersOnThisHost)
{
    Net net(2);
    NetPeer& peer = net.peer;
    CCommIOCP& iocp = net.iocp;
    Recorder& top = net.top;
    CommLogCapture log;
    const char* group = "239.255.77.31";
    const int port = peer.Int("freeport", "port");
    CCommDatagramFrom receiver(iocp);
    ASSERT_TRUE(receiver.SetAddress(port, group, true));
    EXPECT_EQ(receiver.GetAddress(), std::string("UDP:") + group + ":" + std::to_string(port));
    receiver.SetChain(&top);
    if (!receiver.BeginReceive(true)) {
        const auto records = log.Take();
        GTEST_SKIP() << "no multicast route here: " << (records.empty() ? "?" : records.back().text);
    }
    EXPECT_TRUE(receiver.IsMember());
    const std::string sent = peer.Ask("msend " + std::string(group) + " " + std::to_string(port) + " 321", true);
    if (sent.find("error") != std::string::npos)
        GTEST_SKIP() << "the kernel sends no multicast here: " << sent;
    ASSERT_TRUE(top.Until([&] { return top.datagrams == 1; }));
    EXPECT_EQ(top.received[receiver.GetSource()], Pattern(321));

    ASSERT_EQ(peer.Field("mjoin " + std::string(group) + " " + std::to_string(port), "ok"), "true");
    CCommDatagram sender(iocp);
    ASSERT_TRUE(sender.SetAddress(port, group, true));
    ASSERT_TRUE(sender.Connect());
    EXPECT_TRUE(sender.SetTTL(1));
    EXPECT_TRUE(sender.SetLoopback(true));
    ASSERT_TRUE(sender.Send(Pattern(1000)));
    const std::string got = peer.Ask("mrecv");
    EXPECT_EQ(testsupport::JsonField(got, "n"), "1000");
    EXPECT_EQ(testsupport::JsonField(got, "crc"), std::to_string(Crc32(Pattern(1000))));
    ASSERT_TRUE(top.Until([&] { return top.datagrams == 2; }));
    EXPECT_EQ(top.received[receiver.GetSource()], Pattern(321) + Pattern(1000));
    log.Take();
    EXPECT_TRUE(receiver.Close());
    EXPECT_FALSE(receiver.IsMember());
    EXPECT_TRUE(log.Take().empty()); // the group was left without complaint
}

} // namespace
