// CChannelCipher: the data cipher of a secured connection, shared by the
// framed channel (CSecurityContext) and the message security layer
// (CMsgSecurityContext): a cipher kind, the 32-character channel key agreed
// by the key exchange, and the Blowfish cipher made from it on first use.
//
// Kinds: Blowfish in ECB mode keyed with the key's 32 bytes; the setting
// encoder (CryptEncode/CryptDecode algorithm 2, DES-ECB under the key's
// first 8 bytes); or none. EncryptBuffer/DecryptBuffer work in place and
// refuse (false, bytes unchanged) while the key is not exactly 32
// characters, unless the kind was set with any key length allowed, and for
// a length that is not a whole number of 8-byte blocks when a cipher is in
// force. The setting encoder takes at most 65535 bytes per call, so longer
// buffers go through it in steps of whole blocks (ECB: the same result).
//
// Both ciphers are kept for compatibility with deployed peers: with a key
// from a 31-bit Diffie-Hellman group and no chaining this is obfuscation,
// not security.
//
// Thread-safety: none of its own; the owning context locks around it.
#pragma once

#include "Brindle/base/RefCountedPtr.h"
#include "Brindle/comm/BlowFish.h"

#include <string>

namespace Brindle {

class CChannelCipher {
public:
    enum CIPHER { CIPHER_NONE = 0, CIPHER_BLOWFISH = 1, CIPHER_SETTING_ENCODER = 2 };
    static constexpr std::size_t KeyLength = 32;

    CChannelCipher() = default;
    CChannelCipher(const CChannelCipher&) = delete;
    CChannelCipher& operator=(const CChannelCipher&) = delete;
    virtual ~CChannelCipher() = default;

    // In place; false (bytes unchanged) when refused.
    bool EncryptBuffer(char* data, int length);
    bool DecryptBuffer(char* data, int length);

    // True when EncryptBuffer would change the bytes (a cipher is in force
    // and the key is acceptable).
    bool EncryptsData() const;
    // True when EncryptBuffer would not refuse a whole number of blocks.
    bool CanEncrypt() const;

    CIPHER GetCipher() const { return m_cipher; }
    const std::string& GetKey() const { return m_key; }

protected:
    // Sets kind and key; the Blowfish cipher is made anew on next use.
    void SetCipher(CIPHER cipher, const std::string& key, bool anyKeyLength);
    // Kind none, key empty, no Blowfish cipher.
    void ClearCipher();
    // Drops the Blowfish cipher only (kind and key stay).
    void DropCipher() { m_blowfish.Reset(); }

private:
    bool Transform(char* data, int length, bool encrypt);

    CIPHER m_cipher = CIPHER_NONE;
    bool m_anyKeyLength = false;
    std::string m_key;
    CRefCountedPtr<CBlowFish> m_blowfish;
};

} // namespace Brindle
