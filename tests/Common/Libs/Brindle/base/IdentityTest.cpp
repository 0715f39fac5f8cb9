// The process identity: texts and their lifetime, the machine's names and
// addresses, the start time and the socket start.
#include "Brindle/base/Identity.h"
#include "TempDir.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(Identity, TextsAreCutToTheirCapacity)
{
    std::string longName(300, 'n');
    Brindle::SetLocalApplicationName(longName.c_str());
    EXPECT_EQ(std::string(255, 'n'), Brindle::GetLocalApplicationName());
    std::string longDescription(2000, 'd');
    Brindle::SetAppDescription(longDescription.c_str());
    EXPECT_EQ(std::string(1023, 'd'), Brindle::GetAppDescription());
}

TEST(Identity, HandedOutTextsOutliveLaterSetters)
{
    std::vector<std::pair<const char*, std::string>> handedOut;
    for (int i = 0; i < 50; ++i) {
        std::string version = "1.0." + std::to_string(i) + std::string(static_cast<std::size_t>(i * 5), 'x');
        Brindle::SetLocalVersion(version.c_str());
        handedOut.emplace_back(Brindle::GetLocalVersion(), version);
        // Sets that nobody read in between.
        Brindle::SetLocalVersion("unread");
        Brindle::SetLocalVersion("unread again");
    }
    for (const auto& [text, expected] : handedOut)
        EXPECT_EQ(expected, text);
}

TEST(Identity, TextsMaySetAndReadFromManyThreads)
{
    threadtest::OnThreads(4, [](int t) {
        for (int i = 0; i < 500; ++i) {
            std::string name = "app" + std::to_string(t) + "_" + std::to_string(i);
            Brindle::SetLocalApplicationName(name.c_str());
            const char* seen = Brindle::GetLocalApplicationName();
            ASSERT_EQ(0, std::string(seen).rfind("app", 0));
            Brindle::GetLocalHostname();
            Brindle::GetLocalLoginName();
        }
    });
}

class FakeClassNet {
public:
    void Add(const std::string& name, int ifindex, int type, const std::string& address)
    {
        std::filesystem::path dir = m_dir.path() / name;
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "ifindex") << ifindex << "\n";
        std::ofstream(dir / "type") << type << "\n";
        std::ofstream(dir / "address") << address << "\n";
    }
    std::string Path() const { return m_dir.str(); }

private:
    testsupport::TempDir m_dir;
};

TEST(AdapterAddresses, ComeInInterfaceOrderAsLowercaseHex)
{
    FakeClassNet net;
    net.Add("wlan0", 3, 1, "00:1B:2C:3D:4E:5F");
    net.Add("eth0", 2, 1, "0a:00:27:00:00:0A");
    net.Add("lo", 1, 772, "00:00:00:00:00:00");
    net.Add("dummy0", 4, 1, "00:00:00:00:00:00");
    net.Add("tun0", 5, 65534, "");
    net.Add("ib0", 6, 32, "80:00:02:08:fe:80:00:00:00:00:00:00:00:02:c9:03:00:01:02:03");
    std::vector<std::string> expected{"0a002700000a", "001b2c3d4e5f", "80000208fe800000000000000002c90300010203"};
    EXPECT_EQ(expected, Brindle::ReadAdapterAddresses(net.Path()));
    EXPECT_TRUE(Brindle::ReadAdapterAddresses(net.Path() + "/missing").empty());
}

TEST(AdapterAddresses, TheProcessListMatchesTheSystemAndStays)
{
    std::vector<std::string> system = Brindle::ReadAdapterAddresses("/sys/class/net");
    int count = Brindle::GetMacAddressCount();
    ASSERT_EQ(static_cast<int>(system.size()), count);
    std::vector<const char*> pointers;
    for (int i = 0; i < count; ++i) {
        const char* address = Brindle::GetMacAddress(i);
        EXPECT_EQ(system[static_cast<std::size_t>(i)], address);
        for (const char* c = address; *c; ++c)
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(*c)) && !std::isupper(static_cast<unsigned char>(*c)));
        pointers.push_back(address);
    }
    EXPECT_EQ(count, Brindle::GetMacAddressCount());
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(pointers[static_cast<std::size_t>(i)], Brindle::GetMacAddress(i));
    EXPECT_STREQ("<unknown>", Brindle::GetMacAddress(count));
    EXPECT_THROW(Brindle::GetMacAddress(-1), std::out_of_range);
}

} // namespace
