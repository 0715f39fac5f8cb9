#include "Brindle/comm/ProtocolPacket.h"

#include "Brindle/base/Exception.h"
#include "Brindle/comm/ChannelCipher.h"
#include "Brindle/comm/Codec.h"

#include <ostream>

namespace Brindle {

namespace {

void PutHex(char* out, std::uint32_t value, int digits)
{
    static const char hex[] = "0123456789abcdef";
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = hex[value & 15];
        value >>= 4;
    }
}

bool GetHex(const char* in, int digits, std::uint32_t& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = in[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

char HeaderXor(const char* header)
{
    char x = 0;
    for (std::size_t i = 0; i < CProtocolPacket::HeaderSize; ++i)
        if (i != 4)
            x = static_cast<char>(x ^ header[i]);
    return x;
}

} // namespace

void CProtocolPacket::Reset()
{
    m_type = 0;
    m_method = 0;
    m_compressed = false;
    m_encrypted = false;
    m_pad = 0;
    m_uncompressed = 0;
    m_body = 0;
    m_crc = 0;
    m_frameLength = 0;
    m_buffer.clear();
}

bool CProtocolPacket::Create(char type, char method, const std::string& data, bool compress, bool encrypt)
{
    Reset();
    if (data.size() > 0xFFFFFFFFu)
        return false;
    if (encrypt && (m_context == nullptr || !m_context->CanEncrypt()))
        return false;
    const bool cipher = encrypt && m_context->EncryptsData();
    m_type = type;
    m_method = method;
    m_uncompressed = static_cast<std::uint32_t>(data.size());
    m_crc = static_cast<std::uint32_t>(CalcCRC32(data.data(), m_uncompressed));

    m_buffer.reserve(HeaderSize + data.size() + 64);
    m_buffer.assign(HeaderSize, ' ');
    m_compressed = compress && CompressTo(data.data(), m_uncompressed, m_buffer);
    if (!m_compressed)
        m_buffer.append(data);
    if (m_buffer.size() - HeaderSize > 0xFFFFFFFFu - 32)
        return false;
    m_body = static_cast<std::uint32_t>(m_buffer.size() - HeaderSize);
    if (cipher) {
        m_pad = 32 - m_body % 32;
        m_buffer.append(m_pad, ' ');
        if (!m_context->EncryptBuffer(m_buffer.data() + HeaderSize, static_cast<int>(m_body + m_pad))) {
            Reset();
            return false;
        }
        m_encrypted = true;
    }

    char* h = m_buffer.data();
    h[0] = type;
    h[1] = method;
    h[2] = m_compressed ? '1' : '0';
    h[3] = m_encrypted ? '1' : '0';
    h[4] = 0;
    h[5] = ' ';
    PutHex(h + 6, m_pad, 2);
    PutHex(h + 8, m_uncompressed, 8);
    PutHex(h + 16, m_body, 8);
    PutHex(h + 24, m_crc, 8);
    h[4] = HeaderXor(h);
    m_frameLength = m_buffer.size();
    return true;
}

std::size_t CProtocolPacket::Parse(std::string_view bytes)
{
    Reset();
    if (m_trace != nullptr) {
        *m_trace << "CProtocolPacket::Parse: " << bytes.size() << " bytes";
        if (bytes.size() < 1024)
            *m_trace << " [" << bytes << "]";
        *m_trace << '\n';
    }
    if (bytes.size() < HeaderSize)
        return NOT_ENOUGH;
    const char* h = bytes.data();
    if (HeaderXor(h) != h[4])
        throw CException("Bad header XOR!", 0);
    std::uint32_t pad = 0;
    std::uint32_t body = 0;
    std::uint32_t uncompressed = 0;
    std::uint32_t crc = 0;
    if (!GetHex(h + 6, 2, pad) || !GetHex(h + 8, 8, uncompressed) || !GetHex(h + 16, 8, body) ||
        !GetHex(h + 24, 8, crc))
        throw CException("Bad header field!", 0);
    const std::uint64_t payload = static_cast<std::uint64_t>(body) + pad;
    m_frameLength = HeaderSize + payload;
    if (payload > m_limit || uncompressed > m_limit)
        throw CException("Bad frame length!", 0);
    if (bytes.size() < m_frameLength)
        return NOT_ENOUGH;

    const std::uint64_t frameLength = m_frameLength;
    m_type = h[0];
    m_method = h[1];
    m_compressed = h[2] == '1';
    m_encrypted = h[3] == '1';
    m_pad = pad;
    m_uncompressed = uncompressed;
    m_body = body;
    m_crc = crc;
    m_buffer.assign(h + HeaderSize, static_cast<std::size_t>(payload));
    if (m_encrypted && payload > 0 &&
        (m_context == nullptr || !m_context->DecryptBuffer(m_buffer.data(), static_cast<int>(payload)))) {
        Reset();
        m_frameLength = frameLength;
        throw CException("Bad frame decryption!", 0);
    }
    m_buffer.resize(body);
    if (m_compressed) {
        std::string data = Decompress(m_buffer.data(), body, uncompressed);
        if (data.size() != uncompressed) {
            Reset();
            m_frameLength = frameLength;
            throw CException("Bad frame body!", 0);
        }
        m_buffer = std::move(data);
    }
    if (CalcCRC32(m_buffer.data(), static_cast<unsigned>(m_buffer.size())) != crc) {
        Reset();
        m_frameLength = frameLength;
        throw CException("Bad buffer CRC!", 0);
    }
    return static_cast<std::size_t>(frameLength);
}

} // namespace Brindle
