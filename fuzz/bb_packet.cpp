// Reads page broadcast packets from arbitrary bytes, as a feed's receiver
// does. Every step either reads a packet or skips bytes, so the stream is
// always used up; every packet read renders back to exactly the bytes it
// was read from.
#include "Brindle/comm/BBPacketReader.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

using namespace Brindle;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Page data carries a local time of day: keep it free of clock changes.
    static const bool utc = [] {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        return true;
    }();
    (void)utc;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t used = 0;
        std::unique_ptr<CBBPacket> packet;
        std::string why;
        const std::string_view rest = std::string_view(bytes).substr(at);
        const BBREAD result = CBBPacketReader::Read(rest, used, packet, &why);
        if (result == BB_READ_INCOMPLETE) {
            if (used != 0 || packet)
                std::abort();
            break;
        }
        if (used == 0 || used > rest.size())
            std::abort(); // no progress, or past the end
        if (result == BB_READ_PACKET) {
            if (!packet || packet->CreateString() != rest.substr(0, used))
                std::abort();
        } else if (packet || why.empty()) {
            std::abort();
        }
        at += used;
    }
    // The stream reader gives the same as reading piece by piece.
    CBBPacketReader reader;
    reader.Append(bytes.substr(0, size / 2));
    reader.Append(bytes.substr(size / 2));
    std::unique_ptr<CBBPacket> packet;
    for (std::size_t steps = 0; reader.Next(packet) != BB_READ_INCOMPLETE; ++steps)
        if (steps > size)
            std::abort();
    return 0;
}
