// CDesCipher: the Data Encryption Standard block cipher (FIPS 46), one
// 8-byte block at a time, as the setting encoder uses it.
//
// A CDesCipher holds the 16 round keys built from an 8-byte key; the low bit
// of each key byte (its parity bit) is ignored and weak keys are accepted.
// Blocks are in the standard byte order (first byte holds the most
// significant bits). Transforms work in place.
//
// Thread-safety: construction builds the schedule; afterwards Encrypt and
// Decrypt only read it, so one object may serve several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Brindle {

class CDesCipher {
public:
    static constexpr std::size_t BlockSize = 8;
    static constexpr std::size_t KeySize = 8;

    explicit CDesCipher(const unsigned char key[KeySize]);
    ~CDesCipher();

    void EncryptBlock(unsigned char block[BlockSize]) const;
    void DecryptBlock(unsigned char block[BlockSize]) const;

    // Whole blocks in place; `blocks` counts 8-byte blocks.
    void Encrypt(unsigned char* data, std::size_t blocks) const;
    void Decrypt(unsigned char* data, std::size_t blocks) const;

private:
    // Round r's 48-bit key, laid out as the round function reads it.
    std::uint64_t m_roundKeys[16];
};

} // namespace Brindle
