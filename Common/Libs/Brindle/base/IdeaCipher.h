// CIdeaCipher: the IDEA block cipher (8 rounds and the output
// transformation, 52 sixteen-bit subkeys from a 128-bit key), one 8-byte
// block at a time, as the setting encoder uses it.
//
// Byte order: every 16-bit word of the key and of each block is taken
// little-endian (low byte first), which is how the stored settings were
// always laid out; the published test vectors, written big-endian per word,
// match after swapping the two bytes of each word.
//
// A cipher object holds both schedules (encryption and the inverted one for
// decryption), built at construction: nothing is shared between objects.
//
// Thread-safety: after construction Encrypt and Decrypt only read the
// schedules, so one object may serve several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Brindle {

class CIdeaCipher {
public:
    static constexpr std::size_t BlockSize = 8;
    static constexpr std::size_t KeySize = 16;
    static constexpr int SubkeyCount = 52;

    explicit CIdeaCipher(const unsigned char key[KeySize]);
    ~CIdeaCipher();

    void EncryptBlock(unsigned char block[BlockSize]) const;
    void DecryptBlock(unsigned char block[BlockSize]) const;

    // Whole blocks in place; `blocks` counts 8-byte blocks.
    void Encrypt(unsigned char* data, std::size_t blocks) const;
    void Decrypt(unsigned char* data, std::size_t blocks) const;

private:
    std::uint16_t m_encryptKeys[SubkeyCount];
    std::uint16_t m_decryptKeys[SubkeyCount];
};

} // namespace Brindle
