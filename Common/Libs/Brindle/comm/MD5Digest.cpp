#include "Brindle/comm/MD5Digest.h"

#include "Brindle/base/Exception.h"

#include <cstring>

namespace Brindle {

namespace {

// floor(|sin(i + 1)| * 2^32) for i = 0..63.
const std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee,
    0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa,
    0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05,
    0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039,
    0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                        5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline std::uint32_t Rotate(std::uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

void Transform(std::uint32_t state[4], const unsigned char block[64])
{
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = static_cast<std::uint32_t>(block[4 * i]) | (static_cast<std::uint32_t>(block[4 * i + 1]) << 8) |
               (static_cast<std::uint32_t>(block[4 * i + 2]) << 16) | (static_cast<std::uint32_t>(block[4 * i + 3]) << 24);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t next = b + Rotate(a + f + kSine[i] + m[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

void CMD5Digest::Compute(const void* data, std::size_t length, unsigned char digest[DigestSize])
{
    std::uint32_t state[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
    const auto* in = static_cast<const unsigned char*>(data);
    std::size_t whole = length / 64 * 64;
    for (std::size_t i = 0; i < whole; i += 64)
        Transform(state, in + i);
    // The tail, a 0x80 byte, zeros, and the bit length, little-endian.
    unsigned char tail[128] = {};
    const std::size_t rest = length - whole;
    if (rest > 0)
        std::memcpy(tail, in + whole, rest);
    tail[rest] = 0x80;
    const std::size_t tailLength = rest < 56 ? 64 : 128;
    const std::uint64_t bits = static_cast<std::uint64_t>(length) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailLength - 8 + i] = static_cast<unsigned char>(bits >> (8 * i));
    for (std::size_t i = 0; i < tailLength; i += 64)
        Transform(state, tail + i);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<unsigned char>(state[i] >> (8 * j));
}

CMD5Digest::CMD5Digest(const char* input, std::size_t length, bool copy)
{
    Init(input, input != nullptr && length == 0 ? std::strlen(input) : length, copy);
}

CMD5Digest::CMD5Digest(const std::string& input, bool copy)
{
    Init(input.data(), input.size(), copy);
}

void CMD5Digest::Init(const char* input, std::size_t length, bool copy)
{
    if (input == nullptr || length == 0)
        throw CException("Cannot get digest of empty string", 0);
    m_input = input;
    m_length = length;
    if (copy) {
        m_copy.assign(input, input + length);
        m_copy.push_back('\0');
    }
    Compute(input, length, m_digest);
}

std::string CMD5Digest::GetDigestString() const
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * DigestSize);
    for (const unsigned char byte : m_digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

bool CMD5Digest::operator==(const CMD5Digest& other) const
{
    return std::memcmp(m_digest, other.m_digest, DigestSize) == 0;
}

bool CMD5Digest::operator==(const unsigned char (&digest)[DigestSize]) const
{
    return std::memcmp(m_digest, digest, DigestSize) == 0;
}

bool CMD5Digest::operator==(const unsigned char* digest) const
{
    return digest != nullptr && std::memcmp(m_digest, digest, DigestSize) == 0;
}

} // namespace Brindle
