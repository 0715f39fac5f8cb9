#include "Brindle/base/IdeaCipher.h"

namespace Brindle {

namespace {

// Multiplication modulo 2^16 + 1, where the word 0 stands for 2^16.
inline std::uint16_t Multiply(std::uint16_t a, std::uint16_t b)
{
    if (a == 0)
        return static_cast<std::uint16_t>(1 - b);
    if (b == 0)
        return static_cast<std::uint16_t>(1 - a);
    const std::uint32_t product = std::uint32_t{a} * b;
    const std::uint16_t low = static_cast<std::uint16_t>(product);
    const std::uint16_t high = static_cast<std::uint16_t>(product >> 16);
    return static_cast<std::uint16_t>(low - high + (low < high ? 1 : 0));
}

// The multiplicative inverse modulo 2^16 + 1 (0 and 1 are their own).
std::uint16_t Inverse(std::uint16_t x)
{
    if (x <= 1)
        return x;
    // 65537 is prime: x^(65537-2) is the inverse.
    std::uint64_t result = 1;
    std::uint64_t base = x;
    for (std::uint32_t e = 65535; e != 0; e >>= 1) {
        if (e & 1)
            result = result * base % 65537;
        base = base * base % 65537;
    }
    return static_cast<std::uint16_t>(result);
}

inline std::uint16_t Negate(std::uint16_t x)
{
    return static_cast<std::uint16_t>(0u - x);
}

inline std::uint16_t LoadWord(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline void StoreWord(unsigned char* p, std::uint16_t w)
{
    p[0] = static_cast<unsigned char>(w);
    p[1] = static_cast<unsigned char>(w >> 8);
}

void Transform(const std::uint16_t* z, unsigned char* block)
{
    std::uint16_t x1 = LoadWord(block);
    std::uint16_t x2 = LoadWord(block + 2);
    std::uint16_t x3 = LoadWord(block + 4);
    std::uint16_t x4 = LoadWord(block + 6);
    for (int round = 0; round < 8; ++round, z += 6) {
        x1 = Multiply(x1, z[0]);
        x2 = static_cast<std::uint16_t>(x2 + z[1]);
        x3 = static_cast<std::uint16_t>(x3 + z[2]);
        x4 = Multiply(x4, z[3]);
        std::uint16_t t0 = Multiply(static_cast<std::uint16_t>(x1 ^ x3), z[4]);
        std::uint16_t t1 = Multiply(static_cast<std::uint16_t>((x2 ^ x4) + t0), z[5]);
        t0 = static_cast<std::uint16_t>(t0 + t1);
        x1 ^= t1;
        x4 ^= t0;
        // The middle words change places after every round.
        const std::uint16_t swapped = static_cast<std::uint16_t>(x2 ^ t0);
        x2 = static_cast<std::uint16_t>(x3 ^ t1);
        x3 = swapped;
    }
    // The output transformation undoes the last round's swap.
    StoreWord(block, Multiply(x1, z[0]));
    StoreWord(block + 2, static_cast<std::uint16_t>(x3 + z[1]));
    StoreWord(block + 4, static_cast<std::uint16_t>(x2 + z[2]));
    StoreWord(block + 6, Multiply(x4, z[3]));
}

} // namespace

CIdeaCipher::CIdeaCipher(const unsigned char key[KeySize])
{
    // The 128-bit key as one number, first word most significant; each group
    // of eight subkeys is read from it, then it turns 25 bits to the left.
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    for (int i = 0; i < 4; ++i) {
        high = (high << 16) | LoadWord(key + 2 * i);
        low = (low << 16) | LoadWord(key + 8 + 2 * i);
    }
    for (int n = 0; n < SubkeyCount; ++n) {
        const int inGroup = n % 8;
        if (n != 0 && inGroup == 0) {
            const std::uint64_t newHigh = (high << 25) | (low >> 39);
            const std::uint64_t newLow = (low << 25) | (high >> 39);
            high = newHigh;
            low = newLow;
        }
        const std::uint64_t half = inGroup < 4 ? high : low;
        m_encryptKeys[n] = static_cast<std::uint16_t>(half >> (48 - 16 * (inGroup % 4)));
    }

    const std::uint16_t* z = m_encryptKeys;
    std::uint16_t* d = m_decryptKeys;
    d[0] = Inverse(z[48]);
    d[1] = Negate(z[49]);
    d[2] = Negate(z[50]);
    d[3] = Inverse(z[51]);
    d[4] = z[46];
    d[5] = z[47];
    for (int round = 1; round < 8; ++round) {
        const int base = 48 - 6 * round;
        d[6 * round + 0] = Inverse(z[base]);
        d[6 * round + 1] = Negate(z[base + 2]);
        d[6 * round + 2] = Negate(z[base + 1]);
        d[6 * round + 3] = Inverse(z[base + 3]);
        d[6 * round + 4] = z[base - 2];
        d[6 * round + 5] = z[base - 1];
    }
    d[48] = Inverse(z[0]);
    d[49] = Negate(z[1]);
    d[50] = Negate(z[2]);
    d[51] = Inverse(z[3]);
}

CIdeaCipher::~CIdeaCipher()
{
    // Key material does not outlive its use.
    volatile std::uint16_t* e = m_encryptKeys;
    volatile std::uint16_t* d = m_decryptKeys;
    for (int i = 0; i < SubkeyCount; ++i) {
        e[i] = 0;
        d[i] = 0;
    }
}

void CIdeaCipher::EncryptBlock(unsigned char block[BlockSize]) const
{
    Transform(m_encryptKeys, block);
}

void CIdeaCipher::DecryptBlock(unsigned char block[BlockSize]) const
{
    Transform(m_decryptKeys, block);
}

void CIdeaCipher::Encrypt(unsigned char* data, std::size_t blocks) const
{
    for (std::size_t i = 0; i < blocks; ++i)
        Transform(m_encryptKeys, data + i * BlockSize);
}

void CIdeaCipher::Decrypt(unsigned char* data, std::size_t blocks) const
{
    for (std::size_t i = 0; i < blocks; ++i)
        Transform(m_decryptKeys, data + i * BlockSize);
}

} // namespace Brindle
