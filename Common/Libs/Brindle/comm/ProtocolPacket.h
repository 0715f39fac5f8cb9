// CProtocolPacket: one frame of the framed secure channel, a 32-byte ASCII
// header and a body.
//
// Header: [0] packet type, [1] method character, [2] "1" compressed / "0",
// [3] "1" encrypted / "0", [4] check byte (XOR of bytes 0-3 and 5-31),
// [5] space, [6..7] pad count, [8..15] uncompressed length, [16..23] body
// length before padding, [24..31] CRC-32 of the uncompressed data; all
// numbers lowercase hexadecimal. The body is the data (zlib-compressed when
// flagged), then pad-count spaces, the whole encrypted when flagged.
// Encrypted bodies are padded to the next multiple of 32 strictly above
// their length (1 to 32 pad bytes).
//
// Create builds a frame into GetBuffer. It marks a body compressed only when
// zlib compressed it, and encrypted only when the context's cipher really
// transforms the bytes (a method without a cipher, such as "5", sends the
// body unpadded and flagged plain); it refuses (false) when encryption is
// asked for and the context refuses it, or the data is 4 GiB or more.
//
// Parse reads one frame from the front of a byte string: the bytes it used,
// or NOT_ENOUGH while the frame is incomplete. Failures throw CException:
// "Bad header XOR!", "Bad header field!" (a number that is not hexadecimal),
// "Bad frame length!" (body and padding, or the uncompressed length, above
// the limit: 16 MiB unless SetLimit says otherwise; the check comes before
// the body is awaited or anything allocated), "Bad frame decryption!" (an
// encrypted body that the context cannot decrypt), "Bad frame body!" (a body
// that does not decompress to its length), "Bad buffer CRC!" (code 0).
// After a throw, GetFrameLength tells how long the failed frame is (0 when
// the header itself is bad), so the reader can step over it.
//
// Thread-safety: a packet is used by one thread at a time.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace Brindle {

class CChannelCipher;

class CProtocolPacket {
public:
    static constexpr std::size_t HeaderSize = 32;
    static constexpr std::size_t NOT_ENOUGH = std::string::npos;
    static constexpr unsigned DEFAULT_LIMIT = 16u * 1024u * 1024u;

    CProtocolPacket() = default;

    char GetType() const { return m_type; }
    char GetMethod() const { return m_method; }
    bool IsCompressed() const { return m_compressed; }
    bool IsEncrypted() const { return m_encrypted; }
    unsigned GetPadCount() const { return m_pad; }
    std::uint32_t GetUncompressedLength() const { return m_uncompressed; }
    std::uint32_t GetBodyLength() const { return m_body; }
    std::uint32_t GetCRC() const { return m_crc; }
    // The whole frame after Create; the payload (the data) after Parse.
    const std::string& GetBuffer() const { return m_buffer; }
    std::string& GetBuffer() { return m_buffer; }
    // Header plus body plus padding of the last frame read; 0 when unknown.
    std::uint64_t GetFrameLength() const { return m_frameLength; }

    // The cipher that encrypts and decrypts (the connection's context).
    void SetContext(CChannelCipher* context) { m_context = context; }
    void SetLimit(unsigned limit) { m_limit = limit; }
    unsigned GetLimit() const { return m_limit; }
    // Where Parse writes its trace line; none (the default) writes nothing.
    void SetTrace(std::ostream* trace) { m_trace = trace; }
    // Clears type, method, numbers and buffer (context, limit, trace stay).
    void Reset();

    bool Create(char type, char method, const std::string& data, bool compress, bool encrypt);
    std::size_t Parse(std::string_view bytes);

private:
    CChannelCipher* m_context = nullptr;
    std::ostream* m_trace = nullptr;
    unsigned m_limit = DEFAULT_LIMIT;
    char m_type = 0;
    char m_method = 0;
    bool m_compressed = false;
    bool m_encrypted = false;
    unsigned m_pad = 0;
    std::uint32_t m_uncompressed = 0;
    std::uint32_t m_body = 0;
    std::uint32_t m_crc = 0;
    std::uint64_t m_frameLength = 0;
    std::string m_buffer;
};

} // namespace Brindle
