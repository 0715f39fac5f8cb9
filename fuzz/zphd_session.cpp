// zphd's handling of what a client sends: any bytes, in any pieces, on a
// socket, database or serial session, logged in or not, must leave the hub
// standing and never let it hold more than a frame's worth of them.
#include "Hub.h"
#include "Log.h"

#include "zph/Codec.h"
#include "protocol/FieldIds.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace ZPH;

namespace {

constexpr const char* kConfig = R"(seed 5
rate 0
trade-every 0
trade-window 0.01
user alice level=101 password=a pages=1-2 orders=yes
user desk level=999 pages=all
default-user desk
serial-user alice
page 1 ONE
issue "AAA" 100 0.125
issue "BBB" 50 0.25 decimals=2 flags=0x200
page 2 MON
monitor 2
)";

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
    if (size < 2)
        return 0;
    // The first byte chooses the port and whether a good login comes first;
    // the second the size of the pieces the rest arrives in.
    const std::uint8_t mode = data[0];
    const std::size_t piece = 1 + data[1] % 97;
    data += 2;
    size -= 2;
    const auto kind = mode % 3 == 0 ? zphd::PortKind::Socket
        : mode % 3 == 1             ? zphd::PortKind::Database
                                    : zphd::PortKind::Serial;
    zphd::Hub hub(config, 1718107200, "fuzz");
    Sink link;
    const int id = hub.Connect(kind, link, "fuzz");
    if (mode & 0x10) {
        ZPHMessage login(ZPHWire::MSG_LOGIN, 0, 0);
        login.AddField(ZPHWire::F_USER, (mode & 0x20) ? "alice" : "desk");
        std::string bytes;
        ZPHWire::Encode(login, bytes);
        hub.Receive(id, bytes.data(), bytes.size());
    }
    std::int64_t now = 0;
    for (std::size_t at = 0; at < size; at += piece) {
        hub.Receive(id, reinterpret_cast<const char*>(data) + at, std::min(piece, size - at));
        hub.Tick(now += 7);
    }
    return 0;
}
