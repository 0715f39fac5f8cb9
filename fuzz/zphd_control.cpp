// zphd's control commands: any lines, parsed and carried out on a hub with
// two logged-in clients and a moving market, must leave it standing.
#include "Hub.h"
#include "Log.h"

#include "zph/Codec.h"
#include "protocol/FieldIds.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace ZPH;

namespace {

constexpr const char* kConfig = R"(seed 3
rate 20
trade-every 0.2
trade-window 0.05
user alice level=101 password=a pages=1-3 orders=yes
user bob level=102 pages=all withhold=2
default-user bob
page 1 ONE
text "HEAD" flags=0x2000
issue "AAA" 100 0.125
issue "BBB" 50 0.25 decimals=2
page 2 TWO
issue "CCC" 10 0.125
page 3 MON
monitor 3
)";

// Takes every byte, up to a bound: a client that falls behind is dropped.
struct Sink : zphd::SessionLink {
    std::size_t bytes = 0;
    bool Send(std::string_view data) override
    {
        bytes += data.size();
        return bytes < (8u << 20);
    }
    void CloseAfterSend() override {}
    void Drop() override {}
};

void Feed(zphd::Hub& hub, int id, const ZPHMessage& msg)
{
    std::string bytes;
    if (ZPHWire::Encode(msg, bytes))
        hub.Receive(id, bytes.data(), bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const zphd::ServerConfig config = [] {
        zphd::SetQuiet(true);
        zphd::ServerConfig c;
        std::string error;
        zphd::ParseConfig(kConfig, c, error);
        return c;
    }();
    zphd::Hub hub(config, 1718107200, "fuzz");
    Sink a, b;
    for (auto [link, user] : {std::pair {&a, "alice"}, std::pair {&b, "bob"}}) {
        const int id = hub.Connect(zphd::PortKind::Socket, *link, "fuzz");
        ZPHMessage login(ZPHWire::MSG_LOGIN, 0, 0);
        login.AddField(ZPHWire::F_USER, user);
        Feed(hub, id, login);
        for (int page = 1; page <= 3; ++page)
            Feed(hub, id, ZPHMessage(ZPHWire::MSG_PAGE_REQUEST, page, 0));
    }
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::int64_t now = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        hub.Control(text.substr(0, end));
        hub.Tick(now += 3);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return 0;
}
