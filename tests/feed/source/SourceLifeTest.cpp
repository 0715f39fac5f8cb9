// A source's life without a feed server: dialling nothing, stopping while
// dialling, refusing to send before a login.
#include "../live/RecordingController.h"
#include "protocol/FieldIds.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace ZPH;

using namespace ZPHWire;
using namespace feedtest;
using namespace std::chrono_literals;

namespace {

// A socket bound to a free port on loopback; the port in `port`.
int BoundSocket(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// Socket settings for a port on loopback that nothing listens on.
SourceSettings Nowhere()
{
    int port = 0;
    ::close(BoundSocket(port));
    return SocketTo(port);
}

} // namespace

TEST(SourceLife, DiallingNothingKeepsTryingUntilDisconnected)
{
    RecordingController controller;
    ASSERT_TRUE(controller.Dial(Nowhere(), 50));
    ZPHSource* source = controller.GetSource();
    EXPECT_TRUE(source->IsConnected());
    ASSERT_TRUE(controller.WaitFor([&] { return controller.log.size() >= 3; })) << "tries again and again";
    EXPECT_NE(controller.log.front().find("cannot connect to 127.0.0.1:"), std::string::npos) << controller.log.front();
    EXPECT_EQ(controller.Locked([&] { return std::pair(controller.waitBegins, controller.waitEnds); }), std::pair(1, 0))
        << "one wait for the whole connecting phase";
    EXPECT_EQ(source->GetFeedState(), FEED_DEAD);

    EXPECT_FALSE(source->Send(ZPHMessage(MSG_ORDER, 0, 0))) << "nothing goes out before a login";
    EXPECT_TRUE(source->RequestPage(5)) << "a page request waits for the login";

    const auto start = std::chrono::steady_clock::now();
    source->Disconnect();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_FALSE(source->IsConnected());
    EXPECT_EQ(controller.Locked([&] { return controller.waitEnds; }), 1) << "the wait ends with the source";
    auto logged = [&] { return controller.Locked([&] { return controller.log.size(); }); };
    const std::size_t before = logged();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(logged(), before) << "nothing runs after Disconnect returns";
}

TEST(SourceLife, ConnectAndDisconnectFromManyThreadsLeaveOneWorkerOrNone)
{
    RecordingController controller;
    controller.SetSourceSettings(ROLE_PRIMARY, Nowhere());
    ZPHSource* source = controller.GetSource();
    source->SetReconnectDelay(20);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                if ((i + t) % 2 == 0)
                    source->Connect();
                else
                    source->Disconnect();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    source->Disconnect();
    EXPECT_FALSE(source->IsConnected());
    EXPECT_EQ(controller.Locked([&] { return controller.waitBegins - controller.waitEnds; }), 0);
}

TEST(SourceLife, ATlsSourceNeverFallsBackToPlainText)
{
    // A plain listener that answers like a feed server would, in clear text.
    int port = 0;
    const int listener = BoundSocket(port);
    ::listen(listener, 4);
    std::atomic<bool> stop{false};
    std::atomic<int> plainBytes{0};
    std::thread server([&] {
        while (!stop) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0)
                return;
            char buffer[512];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            // A TLS client opens with a handshake record (0x16), never a message.
            if (n > 0 && buffer[0] != 0x16)
                plainBytes += static_cast<int>(n);
            const char greeting[] = "\x01\x1dZPH\x1eT\x1fG\x1eP\x1f" "0\x1eL\x1f" "0\x02\x03";
            ::send(fd, greeting, sizeof greeting - 1, MSG_NOSIGNAL);
            ::close(fd);
        }
    });

    RecordingController controller;
    SourceSettings settings = SocketTo(port);
    settings.socketSecure = true;
    controller.Dial(settings, 50);
    ASSERT_TRUE(controller.WaitFor([&] { return controller.log.size() >= 2; }));
    controller.GetSource()->Disconnect();
    stop = true;
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    server.join();
    EXPECT_EQ(plainBytes.load(), 0);
    EXPECT_EQ(controller.GetSource()->GetFeedState(), FEED_DEAD);
    EXPECT_NE(controller.log.front().find("TLS"), std::string::npos) << controller.log.front();
    EXPECT_EQ(controller.GetSource()->GetStatusText(), "127.0.0.1:" + std::to_string(settings.socketPort) + " (TLS)");
}

TEST(SourceLife, ASerialPortNameLongerThanAPortHoldsIsRefusedRatherThanCut)
{
    RecordingController controller;
    SourceSettings settings;
    settings.kind = SOURCE_SERIAL;
    // Cut to 19 characters this would be "/dev/ttyS0-is-not-", another name.
    settings.serialPort = "/dev/ttyS0-is-not-this-device";
    ASSERT_TRUE(controller.Dial(settings, 50));
    ASSERT_TRUE(controller.WaitFor([&] { return !controller.log.empty(); }));
    const std::string first = controller.Locked([&] { return controller.log.front(); });
    EXPECT_NE(first.find("longer than 19 characters"), std::string::npos) << first;
    controller.GetSource()->Disconnect();
}
