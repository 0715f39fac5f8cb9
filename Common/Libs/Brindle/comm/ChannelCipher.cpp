#include "Brindle/comm/ChannelCipher.h"

#include "Brindle/base/Crypt.h"

namespace Brindle {

void CChannelCipher::SetCipher(CIPHER cipher, const std::string& key, bool anyKeyLength)
{
    m_cipher = cipher;
    m_key = key;
    m_anyKeyLength = anyKeyLength;
    m_blowfish.Reset();
}

void CChannelCipher::ClearCipher()
{
    m_cipher = CIPHER_NONE;
    m_anyKeyLength = false;
    m_key.clear();
    m_blowfish.Reset();
}

bool CChannelCipher::CanEncrypt() const
{
    return m_anyKeyLength || m_key.size() == KeyLength;
}

bool CChannelCipher::EncryptsData() const
{
    return m_cipher != CIPHER_NONE && m_key.size() == KeyLength;
}

bool CChannelCipher::EncryptBuffer(char* data, int length)
{
    return Transform(data, length, true);
}

bool CChannelCipher::DecryptBuffer(char* data, int length)
{
    return Transform(data, length, false);
}

bool CChannelCipher::Transform(char* data, int length, bool encrypt)
{
    if (!CanEncrypt())
        return false;
    if (m_cipher == CIPHER_NONE)
        return true;
    if (m_key.size() != KeyLength)
        return false;
    if (data == nullptr || length <= 0 || length % 8 != 0)
        return false;
    auto* bytes = reinterpret_cast<unsigned char*>(data);
    if (m_cipher == CIPHER_BLOWFISH) {
        if (m_blowfish.IsNull())
            m_blowfish = CRefCountedPtr<CBlowFish>(new CBlowFish(m_key));
        if (encrypt)
            m_blowfish->Encrypt(bytes, static_cast<std::size_t>(length), CBlowFish::ECB);
        else
            m_blowfish->Decrypt(bytes, static_cast<std::size_t>(length), CBlowFish::ECB);
        return true;
    }
    // The setting encoder: whole blocks, at most 65535 bytes a call.
    constexpr int step = static_cast<int>(CRYPT_MAX_LENGTH / 8 * 8);
    for (int done = 0; done < length; done += step) {
        const int n = length - done < step ? length - done : step;
        const bool ok = encrypt ? CryptEncode(data + done, static_cast<unsigned>(n), m_key.c_str(), CRYPT_DES)
                                : CryptDecode(data + done, static_cast<unsigned>(n), m_key.c_str(), CRYPT_DES);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace Brindle
