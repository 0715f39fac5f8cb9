// CBlowFish: the published Blowfish block cipher (64-bit blocks, P-array and
// S-boxes initialised from the hexadecimal digits of pi, standard key
// schedule), with ECB, CBC and 64-bit CFB modes over whole buffers.
//
// - Keys are 1 to 56 bytes; longer keys use their first 56 bytes; an empty
//   key throws std::invalid_argument "Incorrect key length".
// - A block is two 32-bit words read big-endian from its 8 bytes.
// - Buffers are a whole number of blocks: a length of 0 or one that is not a
//   multiple of 8 throws std::invalid_argument "Incorrect buffer length".
// - CBC and CFB chain from the SBlock given to the constructor; the chain
//   carries over from one call to the next until ResetChain.
//
// The framed channel and the message security layer use ECB with a key
// agreed over a 31-bit Diffie-Hellman group: that keeps peers compatible and
// hides data from a casual look, but it is obfuscation, not security (ECB
// shows equal blocks; a 31-bit group is broken in seconds). Run the channel
// inside TLS where confidentiality matters.
//
// Thread-safety: the key schedule is only read after construction, so ECB
// calls may run on several threads at once. CBC and CFB change the chain:
// one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Brindle {

struct SBlock {
    SBlock(unsigned int left = 0, unsigned int right = 0) : m_uil(left), m_uir(right) {}
    SBlock& operator^=(const SBlock& other)
    {
        m_uil ^= other.m_uil;
        m_uir ^= other.m_uir;
        return *this;
    }
    friend bool operator==(const SBlock&, const SBlock&) = default;

    unsigned int m_uil;
    unsigned int m_uir;
};

class CBlowFish {
public:
    enum { ECB = 0, CBC = 1, CFB = 2 };
    static constexpr std::size_t BlockSize = 8;
    static constexpr std::size_t MaxKeyLength = 56;

    CBlowFish(const unsigned char* key, std::size_t keyLength, const SBlock& chain = SBlock());
    explicit CBlowFish(const std::string& key, const SBlock& chain = SBlock());

    void ResetChain() { m_chain = m_chainStart; }

    // In place.
    void Encrypt(unsigned char* buffer, std::size_t length, int mode = ECB);
    void Decrypt(unsigned char* buffer, std::size_t length, int mode = ECB);
    // From `in` to `out` (which may be the same buffer).
    void Encrypt(const unsigned char* in, unsigned char* out, std::size_t length, int mode = ECB);
    void Decrypt(const unsigned char* in, unsigned char* out, std::size_t length, int mode = ECB);

    void EncryptBlock(SBlock& block) const;
    void DecryptBlock(SBlock& block) const;

private:
    std::uint32_t F(std::uint32_t x) const
    {
        return ((m_s[0][x >> 24] + m_s[1][(x >> 16) & 0xFF]) ^ m_s[2][(x >> 8) & 0xFF]) + m_s[3][x & 0xFF];
    }

    std::uint32_t m_p[18];
    std::uint32_t m_s[4][256];
    SBlock m_chainStart;
    SBlock m_chain;
};

} // namespace Brindle
