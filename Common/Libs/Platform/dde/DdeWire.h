// The frames that DDE instances exchange over a Unix-domain stream socket,
// and a bounded reader that cuts a byte stream into them.
//
// One socket carries one conversation. A frame is
//
//   u32 body length (little-endian, 1..MAX_BODY)   body: u8 kind, fields
//
// with fields by kind (u32 little-endian; str: u16 length 0..MAX_NAME and
// the bytes, never a NUL; blob: u32 length 0..MAX_DATA and the bytes):
//
//   CONNECT        client -> server: u32 version, u32 flags (WILD), str
//                  client instance, str service, str topic
//   CONNECT_REPLY  server -> client: u32 error (0 accepted), str server
//                  instance, str service, str topic (the pair connected)
//   TRANSACT       client -> server: u32 id, u32 type (XTYP_ with its
//                  XTYPF_ bits), u32 format, str item, u32 has-data, blob
//   REPLY          server -> client: u32 id, u32 error, u32 status (DDE_F
//                  bits), u32 format, u32 has-data, blob
//   ADVISE         server -> client: u32 format, str item, u32 has-data, blob
//
// A frame of an unknown kind, with a field cut short, with bytes left over,
// a string too long or holding a NUL, or a body over the limit, is bad: the
// receiver drops the connection. The reader never buffers more than one
// frame's maximum plus the last appended block.
//
// Plain values and functions; a reader belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Platform::Dde {

constexpr std::uint32_t WIRE_VERSION = 1;
constexpr std::size_t MAX_NAME = 255;                // a string handle's longest text
constexpr std::size_t MAX_DATA = 1024 * 1024;        // largest data item
constexpr std::size_t MAX_BODY = MAX_DATA + 2 * MAX_NAME + 64;
constexpr std::size_t HEADER_SIZE = 4;

constexpr std::uint32_t CONNECT_WILD = 1;            // service or topic left open

enum class FrameKind : std::uint8_t {
    CONNECT = 1,
    CONNECT_REPLY = 2,
    TRANSACT = 3,
    REPLY = 4,
    ADVISE = 5,
};

// Every field any frame carries; each kind reads and writes its own.
struct Frame {
    FrameKind kind = FrameKind::CONNECT;
    std::uint32_t version = WIRE_VERSION;
    std::uint32_t flags = 0;
    std::uint32_t id = 0;
    std::uint32_t type = 0;
    std::uint32_t format = 0;
    std::uint32_t error = 0;
    std::uint32_t status = 0;
    bool hasData = false;
    std::string instance;   // CONNECT, CONNECT_REPLY
    std::string service;    // CONNECT, CONNECT_REPLY
    std::string topic;      // CONNECT, CONNECT_REPLY
    std::string item;       // TRANSACT, ADVISE
    std::string data;       // TRANSACT, REPLY, ADVISE

    friend bool operator==(const Frame&, const Frame&) = default;
};

// Appends the frame's bytes to `out`. False (and `out` unchanged) when a
// string is too long or holds a NUL, or the data is too big.
bool EncodeFrame(const Frame& frame, std::string& out);

// Decodes one body (without the length prefix). False for a bad body.
bool DecodeBody(std::string_view body, Frame& frame);

class FrameReader {
public:
    enum Result { NEED_MORE, FRAME, BAD };

    void Append(const char* data, std::size_t size);

    // The next frame. After BAD the stream cannot be trusted: the reader
    // stays BAD until Reset.
    Result Next(Frame& frame);
    void Reset();

    std::size_t Buffered() const { return m_buffer.size() - m_pos; }

private:
    std::string m_buffer;
    std::size_t m_pos = 0;
    bool m_bad = false;
};

} // namespace Platform::Dde
