#include "Brindle/base/DesCipher.h"

#include <array>
#include <bit>
#include <cstring>

namespace Brindle {

namespace {

// The standard's tables, bit positions counted from 1 at the most
// significant bit.
constexpr std::uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr std::uint8_t kPermutation[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr std::uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
    23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
    44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr std::uint8_t kKeyShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr std::uint8_t kSBoxes[8][64] = {
    {14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7,
     0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8,
     4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0,
     15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13},
    {15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10,
     3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15,
     13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9},
    {10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8,
     13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1,
     13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7,
     1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12},
    {7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15,
     13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9,
     10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4,
     3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14},
    {2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9,
     14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6,
     4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14,
     11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3},
    {12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11,
     10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8,
     9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6,
     4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13},
    {4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1,
     13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6,
     1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2,
     6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12},
    {13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7,
     1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2,
     7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8,
     2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}};

// A bit permutation applied nibble by nibble: table[k][v] is the output
// contributed by input nibble k (0 = most significant) holding v. `place`
// maps an input bit (1-based from the most significant of `inputBits`) to
// the output word it sets, or 0.
template <int InputBits>
using NibbleTable = std::array<std::array<std::uint64_t, 16>, InputBits / 4>;

template <int InputBits, typename Place>
constexpr NibbleTable<InputBits> MakeNibbleTable(Place place)
{
    NibbleTable<InputBits> table{};
    for (int in = 1; in <= InputBits; ++in) {
        const std::uint64_t out = place(in);
        const int nibble = (in - 1) / 4;
        const int bitInNibble = 3 - (in - 1) % 4;
        for (int v = 0; v < 16; ++v)
            if ((v >> bitInNibble) & 1)
                table[nibble][v] |= out;
    }
    return table;
}

template <std::size_t Nibbles>
inline std::uint64_t Permute(const std::array<std::array<std::uint64_t, 16>, Nibbles>& table, std::uint64_t x)
{
    std::uint64_t out = 0;
    for (std::size_t k = 0; k < Nibbles; ++k)
        out |= table[k][(x >> (4 * (Nibbles - 1 - k))) & 0xF];
    return out;
}

// The output position (1-based) that input position `in` goes to, for a
// table that lists the input position of each output position.
template <std::size_t N>
constexpr int OutputOf(const std::uint8_t (&outputFromInput)[N], int in)
{
    for (std::size_t out = 0; out < N; ++out)
        if (outputFromInput[out] == in)
            return static_cast<int>(out) + 1;
    return 0;
}

// Key bits into C||D (56 bits, C first).
constexpr auto kChoice1Table = MakeNibbleTable<64>([](int in) {
    const int out = OutputOf(kPermutedChoice1, in);
    return out == 0 ? std::uint64_t{0} : std::uint64_t{1} << (56 - out);
});

// Layout of a round key, chosen so the round function reads each S-box's
// six bits as one byte field: the expansion E makes box b read bits
// 4b .. 4b+5 of R (1-based, wrapping). With A = R rotated right by 27 the
// even boxes 0, 6, 4, 2 lie in bits 0-5 of A's bytes 0, 1, 2, 3; with
// B = R rotated right by 23 the odd boxes 1, 7, 5, 3 lie likewise in B.
// A round key holds the matching key bits: A's in the low 32 bits, B's in
// the high 32 bits.
constexpr int kByteOfBox[8] = {0, 0, 3, 3, 2, 2, 1, 1};

constexpr std::uint64_t RoundKeyBit(int box, int bitInGroup)
{
    const int shift = 8 * kByteOfBox[box] + (box % 2 == 1 ? 32 : 0) + bitInGroup;
    return std::uint64_t{1} << shift;
}

// C||D bits into a round key through PC2.
constexpr auto kChoice2Table = MakeNibbleTable<56>([](int in) {
    const int out = OutputOf(kPermutedChoice2, in);
    if (out == 0)
        return std::uint64_t{0};
    return RoundKeyBit((out - 1) / 6, 5 - (out - 1) % 6);
});

// S-box b followed by the P permutation, indexed by the box's 6 input bits.
using SpTable = std::array<std::array<std::uint32_t, 64>, 8>;

constexpr SpTable MakeSpTable()
{
    SpTable table{};
    for (int box = 0; box < 8; ++box) {
        for (int input = 0; input < 64; ++input) {
            const int row = ((input >> 4) & 2) | (input & 1);
            const int column = (input >> 1) & 0xF;
            const std::uint32_t sOut = std::uint32_t{kSBoxes[box][row * 16 + column]} << (28 - 4 * box);
            std::uint32_t permuted = 0;
            for (int out = 1; out <= 32; ++out)
                if ((sOut >> (32 - kPermutation[out - 1])) & 1)
                    permuted |= std::uint32_t{1} << (32 - out);
            table[box][input] = permuted;
        }
    }
    return table;
}

constexpr SpTable kSp = MakeSpTable();

inline std::uint32_t RoundFunction(std::uint32_t r, std::uint64_t key)
{
    const std::uint32_t a = std::rotr(r, 27) ^ static_cast<std::uint32_t>(key);
    const std::uint32_t b = std::rotr(r, 23) ^ static_cast<std::uint32_t>(key >> 32);
    return kSp[0][a & 0x3F] ^ kSp[6][(a >> 8) & 0x3F] ^ kSp[4][(a >> 16) & 0x3F] ^ kSp[2][(a >> 24) & 0x3F]
         ^ kSp[1][b & 0x3F] ^ kSp[7][(b >> 8) & 0x3F] ^ kSp[5][(b >> 16) & 0x3F] ^ kSp[3][(b >> 24) & 0x3F];
}

// The initial permutation gathers the bits of the block column by column:
// with the block read low byte first, its 8x8 bit matrix transposed gives
// the permuted rows in the order 1 3 5 7 (L) and 0 2 4 6 (R).
constexpr std::uint64_t Transpose8x8(std::uint64_t x)
{
    x = (x & 0xAA55AA55AA55AA55) | ((x & 0x00AA00AA00AA00AA) << 7) | ((x >> 7) & 0x00AA00AA00AA00AA);
    x = (x & 0xCCCC3333CCCC3333) | ((x & 0x0000CCCC0000CCCC) << 14) | ((x >> 14) & 0x0000CCCC0000CCCC);
    x = (x & 0xF0F0F0F00F0F0F0F) | ((x & 0x00000000F0F0F0F0) << 28) | ((x >> 28) & 0x00000000F0F0F0F0);
    return x;
}

// Bytes 0, 2, 4, 6 (from the low end) of x, packed into 32 bits.
constexpr std::uint32_t GatherAlternateBytes(std::uint64_t x)
{
    x &= 0x00FF00FF00FF00FF;
    x = (x | (x >> 8)) & 0x0000FFFF0000FFFF;
    return static_cast<std::uint32_t>(x | (x >> 16));
}

// The inverse of GatherAlternateBytes.
constexpr std::uint64_t SpreadToAlternateBytes(std::uint32_t v)
{
    std::uint64_t x = v;
    x = (x | (x << 16)) & 0x0000FFFF0000FFFF;
    return (x | (x << 8)) & 0x00FF00FF00FF00FF;
}

// The transposition reproduces the standard's table bit for bit: a block
// with only bit `in` set ends up with only output bit IP^-1(in) set. The
// byte-order swap of the load is applied by reversing the bytes here.
constexpr bool InitialPermutationMatchesTable()
{
    for (int out = 1; out <= 64; ++out) {
        const int in = kInitialPermutation[out - 1];
        const std::uint64_t bigEndian = std::uint64_t{1} << (64 - in);
        std::uint64_t littleEndian = 0;
        for (int i = 0; i < 8; ++i)
            littleEndian |= ((bigEndian >> (56 - 8 * i)) & 0xFF) << (8 * i);
        const std::uint64_t columns = Transpose8x8(littleEndian);
        const std::uint64_t permuted =
            (std::uint64_t{GatherAlternateBytes(columns)} << 32) | GatherAlternateBytes(columns >> 8);
        if (permuted != std::uint64_t{1} << (64 - out))
            return false;
    }
    return true;
}
static_assert(InitialPermutationMatchesTable());

inline std::uint64_t LoadLittleEndian(const unsigned char* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

inline void StoreLittleEndian(unsigned char* p, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<unsigned char>(v);
        v >>= 8;
    }
}

inline std::uint64_t LoadBigEndian(const unsigned char* p)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | p[i];
    return v;
}

template <bool Decrypting>
inline void Transform(const std::uint64_t (&keys)[16], unsigned char* block)
{
    const std::uint64_t columns = Transpose8x8(LoadLittleEndian(block));
    std::uint32_t left = GatherAlternateBytes(columns);
    std::uint32_t right = GatherAlternateBytes(columns >> 8);
    for (int round = 0; round < 16; round += 2) {
        left ^= RoundFunction(right, keys[Decrypting ? 15 - round : round]);
        right ^= RoundFunction(left, keys[Decrypting ? 14 - round : round + 1]);
    }
    // The last round does not swap: the halves go out as R16 L16, through
    // the inverse of the initial permutation.
    const std::uint64_t outColumns = SpreadToAlternateBytes(right) | (SpreadToAlternateBytes(left) << 8);
    StoreLittleEndian(block, Transpose8x8(outColumns));
}

} // namespace

CDesCipher::CDesCipher(const unsigned char key[KeySize])
{
    const std::uint64_t cd = Permute(kChoice1Table, LoadBigEndian(key));
    std::uint32_t c = static_cast<std::uint32_t>(cd >> 28);
    std::uint32_t d = static_cast<std::uint32_t>(cd) & 0x0FFFFFFF;
    for (int round = 0; round < 16; ++round) {
        const int shift = kKeyShifts[round];
        c = ((c << shift) | (c >> (28 - shift))) & 0x0FFFFFFF;
        d = ((d << shift) | (d >> (28 - shift))) & 0x0FFFFFFF;
        m_roundKeys[round] = Permute(kChoice2Table, (std::uint64_t{c} << 28) | d);
    }
}

CDesCipher::~CDesCipher()
{
    // Key material does not outlive its use.
    volatile std::uint64_t* p = m_roundKeys;
    for (int i = 0; i < 16; ++i)
        p[i] = 0;
}

void CDesCipher::EncryptBlock(unsigned char block[BlockSize]) const
{
    Transform<false>(m_roundKeys, block);
}

void CDesCipher::DecryptBlock(unsigned char block[BlockSize]) const
{
    Transform<true>(m_roundKeys, block);
}

void CDesCipher::Encrypt(unsigned char* data, std::size_t blocks) const
{
    for (std::size_t i = 0; i < blocks; ++i)
        Transform<false>(m_roundKeys, data + i * BlockSize);
}

void CDesCipher::Decrypt(unsigned char* data, std::size_t blocks) const
{
    for (std::size_t i = 0; i < blocks; ++i)
        Transform<true>(m_roundKeys, data + i * BlockSize);
}

} // namespace Brindle
