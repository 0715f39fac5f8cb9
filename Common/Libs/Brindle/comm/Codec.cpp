#include "Brindle/comm/Codec.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace Brindle {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 0-63 for an alphabet byte, 64 for '=', 255 for anything else.
constexpr std::array<unsigned char, 256> MakeDecodeTable()
{
    std::array<unsigned char, 256> table{};
    for (auto& entry : table)
        entry = 255;
    for (unsigned i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
    table[static_cast<unsigned char>('=')] = 64;
    return table;
}
constexpr std::array<unsigned char, 256> kDecode = MakeDecodeTable();
constexpr unsigned char kPad = 64;
constexpr unsigned char kBad = 255;

// One-shot inflate into `capacity` bytes: the zlib result code, the length
// produced in `produced`.
int Inflate(const char* data, unsigned length, std::string& out, unsigned capacity)
{
    out.assign(capacity, ' ');
    uLongf produced = capacity;
    const int rc = ::uncompress(reinterpret_cast<Bytef*>(out.data()), &produced,
                                reinterpret_cast<const Bytef*>(data), length);
    if (rc == Z_OK)
        out.resize(produced);
    return rc;
}

} // namespace

bool CompressTo(const char* data, unsigned length, std::string& out)
{
    const std::size_t start = out.size();
    uLongf produced = ::compressBound(length);
    out.resize(start + produced);
    const Bytef* source = reinterpret_cast<const Bytef*>(data != nullptr ? data : "");
    if (::compress2(reinterpret_cast<Bytef*>(out.data() + start), &produced, source, length, Z_DEFAULT_COMPRESSION) !=
        Z_OK) {
        out.resize(start);
        return false;
    }
    out.resize(start + produced);
    return true;
}

std::string Compress(const char* data, unsigned length)
{
    std::string out;
    if (!CompressTo(data, length, out))
        out.assign(data != nullptr ? data : "", data != nullptr ? length : 0);
    return out;
}

std::string Decompress(const char* data, unsigned length, unsigned size)
{
    std::string out;
    if (data == nullptr || Inflate(data, length, out, size) != Z_OK)
        return {};
    return out;
}

std::string Decompress(const char* data, unsigned& length)
{
    return DecompressBounded(data, length, DECOMPRESS_DEFAULT_LIMIT);
}

std::string DecompressBounded(const char* data, unsigned& length, unsigned limit)
{
    if (data == nullptr || limit == 0)
        return {};
    std::uint64_t capacity = std::max<std::uint64_t>(2ull * length, DECOMPRESS_MIN_BUFFER);
    std::string out;
    for (;;) {
        if (capacity > limit)
            capacity = limit;
        const int rc = Inflate(data, length, out, static_cast<unsigned>(capacity));
        if (rc == Z_OK) {
            length = static_cast<unsigned>(out.size());
            return out;
        }
        // Z_BUF_ERROR with a full buffer: too small; anything else is a
        // broken stream.
        if (rc != Z_BUF_ERROR || capacity >= limit)
            return {};
        capacity *= 2;
    }
}

std::string MimeEncode(const char* data, unsigned length)
{
    std::string out;
    if (data == nullptr || length == 0)
        return out;
    out.reserve((static_cast<std::size_t>(length) + 2) / 3 * 4);
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    unsigned i = 0;
    for (; i + 3 <= length; i += 3) {
        const std::uint32_t triple = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        out += kAlphabet[(triple >> 18) & 63];
        out += kAlphabet[(triple >> 12) & 63];
        out += kAlphabet[(triple >> 6) & 63];
        out += kAlphabet[triple & 63];
    }
    if (const unsigned rest = length - i; rest > 0) {
        const std::uint32_t triple = (in[i] << 16) | (rest == 2 ? in[i + 1] << 8 : 0);
        out += kAlphabet[(triple >> 18) & 63];
        out += kAlphabet[(triple >> 12) & 63];
        out += rest == 2 ? kAlphabet[(triple >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string MimeDecode(const char* data, unsigned length)
{
    std::string out;
    if (data == nullptr || length % 4 != 0)
        return out;
    out.reserve(length / 4 * 3);
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    for (unsigned i = 0; i < length; i += 4) {
        const unsigned char a = kDecode[in[i]];
        const unsigned char b = kDecode[in[i + 1]];
        const unsigned char c = kDecode[in[i + 2]];
        const unsigned char d = kDecode[in[i + 3]];
        if (a >= kPad || b >= kPad || c == kBad || d == kBad)
            return {};
        // '=' only closes the last group: "xx==" or "xxx=".
        const bool padded = c == kPad || d == kPad;
        if (padded && (i + 4 != length || (c == kPad && d != kPad)))
            return {};
        const std::uint32_t triple = (a << 18) | (b << 12) | ((c == kPad ? 0 : c) << 6) | (d == kPad ? 0 : d);
        out += static_cast<char>(triple >> 16);
        if (c != kPad)
            out += static_cast<char>((triple >> 8) & 0xFF);
        if (d != kPad)
            out += static_cast<char>(triple & 0xFF);
    }
    return out;
}

unsigned long CalcCRC32(const char* data, unsigned length)
{
    if (data == nullptr || length == 0)
        return 0;
    return ::crc32(0L, reinterpret_cast<const Bytef*>(data), length);
}

} // namespace Brindle
