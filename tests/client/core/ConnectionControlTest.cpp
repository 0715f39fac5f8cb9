// The connection commands without their dialogs: which source is selected,
// what "Failover" says afterwards, and that disconnect stops the source.
#include "core/ConnectionControl.h"

#include "Brindle/base/RegSection.h"
#include "TempDir.h"
#include "core/ScreenController.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace mavo;

namespace {

constexpr const char* kRoot = "Software/Halvern/MAVO";

// A loopback port nobody listens on (bound, never listened, then closed).
int UnusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class ConnectionControlTest : public testing::Test {
protected:
    ConnectionControlTest()
    {
        const int port = UnusedPort();
        for (const char* section : {"Controller", "Controller/Backup"}) {
            const std::string base = std::string(kRoot) + "/" + section;
            Brindle::CRegSection(HKEY_CURRENT_USER, base.c_str()).SetInt("FeedSource", 1);
            Brindle::CRegSection socket(HKEY_CURRENT_USER, (base + "/Socket").c_str());
            socket.SetStr("Host", "127.0.0.1");
            socket.SetInt("Port", port);
        }
    }
    int StoredFailover()
    {
        int value = -1;
        Brindle::CRegSection(HKEY_CURRENT_USER, (std::string(kRoot) + "/Controller").c_str())
            .GetInt("Failover", value, -1);
        return value;
    }

    testsupport::ScopedRegistryDir registry;
    CFrameLink link;
    CScreenController controller{link};
    CConnectionControl connection{controller, link, kRoot, "abcdefgh"};
};

} // namespace

TEST_F(ConnectionControlTest, ConnectBackupThenPrimarySelectsAndStoresEach)
{
    connection.ConnectBackup();
    EXPECT_EQ(connection.Failover(), 1);
    EXPECT_EQ(StoredFailover(), 1);
    EXPECT_EQ(controller.GetFailover(), 1);
    EXPECT_EQ(controller.GetSource()->GetRole(), ROLE_BACKUP);
    EXPECT_TRUE(connection.IsConnected());
    // The backup takes no name of its own here.
    EXPECT_EQ(link.GetSourceName(), "");

    EXPECT_FALSE(connection.ConnectPrimary());  // a socket uses no modem
    EXPECT_EQ(connection.Failover(), 0);
    EXPECT_EQ(StoredFailover(), 0);
    EXPECT_EQ(controller.GetSource()->GetRole(), ROLE_PRIMARY);
    EXPECT_EQ(controller.GetSource()->GetKind(), 1);
    EXPECT_EQ(link.GetSourceName(), controller.GetSource()->GetName());
    EXPECT_TRUE(connection.IsConnected());
}

