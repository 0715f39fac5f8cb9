// CBBPacketReader: reads page broadcast packets (BBPacket.h) back from the
// bytes of a feed, the inverse of CreateString.
//
// Contract
// - A packet is STX, its kind, its fields, ETX and the LRC byte; the LRC
//   must be right and the fields must lie exactly where the layout puts
//   them. Bytes before an STX, a packet cut short by the next STX, a wrong
//   LRC, an unknown kind or a field out of place are refused (BB_READ_BAD)
//   and skipped, so one bad packet never costs the next one.
// - The monitor and record packets write the city and broker bank codes
//   side by side without a separator: they are read as the class-wide codes
//   (CBBPacket::SetCityCode, SetBrokerBankCode), and a packet with other
//   codes is refused. A heartbeat's bank code is checked likewise.
// - Texts written space-filled come back without their trailing spaces.
//   A packet whose texts outgrew their fields is refused: its layout cannot
//   be told apart. (A record with a single data entry is the exception: its
//   value may have any length.)
// - The packets carry a time of day only (UTC, local time for page data);
//   the time read is the one nearest to now with that time of day.
// - A packet is at most MAX_PACKET bytes; a longer run without an ETX is
//   refused, so a peer cannot make the reader buffer without bound.
//
// Thread-safety: Read is a pure function and may run on any thread. One
// CBBPacketReader object (its buffer) is used by one thread at a time.
#pragma once

#include "Brindle/comm/BBPacket.h"

#include <memory>
#include <string>
#include <string_view>

namespace Brindle {

enum BBREAD {
    BB_READ_PACKET = 0,     // a packet was read
    BB_READ_INCOMPLETE = 1, // more bytes are needed
    BB_READ_BAD = 2,        // bytes were refused and skipped
};

class CBBPacketReader {
public:
    static constexpr std::size_t MAX_PACKET = 64 * 1024;

    // Reads the front of data. BB_READ_PACKET: packet holds it and used is
    // its length. BB_READ_INCOMPLETE: data starts a packet that has not
    // ended yet (used 0). BB_READ_BAD: the first `used` bytes are no packet,
    // why (when given) says what was wrong.
    static BBREAD Read(std::string_view data, std::size_t& used, std::unique_ptr<CBBPacket>& packet,
                       std::string* why = nullptr);

    // Stream use: bytes are appended as they arrive; Next gives the packets
    // in order. BB_READ_BAD means bytes were skipped (GetError says why) and
    // reading can go on.
    void Append(std::string_view bytes) { m_buffer.append(bytes); }
    BBREAD Next(std::unique_ptr<CBBPacket>& packet);
    const std::string& GetError() const { return m_error; }
    std::size_t Buffered() const { return m_buffer.size(); }

private:
    std::string m_buffer;
    std::string m_error;
};

} // namespace Brindle
