#include "Brindle/base/Crypt.h"
#include "Brindle/base/DesCipher.h"
#include "Brindle/base/IdeaCipher.h"

#include <cstddef>
#include <cstring>

namespace Brindle {

namespace {

constexpr std::size_t kXorBlockSize = 16;

// Block size of a known algorithm; 0 for numbers without a transform.
std::size_t BlockSizeOf(int algorithm)
{
    switch (algorithm) {
    case CRYPT_IDEA:
        return CIdeaCipher::BlockSize;
    case CRYPT_DES:
        return CDesCipher::BlockSize;
    case CRYPT_XOR:
        return kXorBlockSize;
    default:
        return 0;
    }
}

// The first `size` key bytes, taken from the text up to its NUL and
// completed with zeros, so a short key never leads the read past its end.
template <std::size_t Size>
struct KeyBytes {
    unsigned char bytes[Size]{};

    explicit KeyBytes(const char* key) { std::memcpy(bytes, key, ::strnlen(key, Size)); }
    ~KeyBytes()
    {
        volatile unsigned char* p = bytes;
        for (std::size_t i = 0; i < Size; ++i)
            p[i] = 0;
    }
    KeyBytes(const KeyBytes&) = delete;
    KeyBytes& operator=(const KeyBytes&) = delete;
};

bool Transform(char* data, unsigned length, const char* key, int algorithm, bool encoding)
{
    const std::size_t blockSize = BlockSizeOf(algorithm);
    if (blockSize == 0 || length > CRYPT_MAX_LENGTH)
        return false;
    if (key == nullptr || length == 0)
        return true;
    if (length % blockSize != 0)
        return false;

    auto* bytes = reinterpret_cast<unsigned char*>(data);
    const std::size_t blocks = length / blockSize;
    switch (algorithm) {
    case CRYPT_IDEA: {
        const KeyBytes<CIdeaCipher::KeySize> k(key);
        const CIdeaCipher cipher(k.bytes);
        encoding ? cipher.Encrypt(bytes, blocks) : cipher.Decrypt(bytes, blocks);
        return true;
    }
    case CRYPT_DES: {
        const KeyBytes<CDesCipher::KeySize> k(key);
        const CDesCipher cipher(k.bytes);
        encoding ? cipher.Encrypt(bytes, blocks) : cipher.Decrypt(bytes, blocks);
        return true;
    }
    case CRYPT_XOR: {
        const KeyBytes<kXorBlockSize> k(key);
        for (std::size_t i = 0; i < length; ++i)
            bytes[i] ^= k.bytes[i % kXorBlockSize];
        return true;
    }
    default:
        return false;
    }
}

} // namespace

bool CryptEncode(char* data, unsigned length, const char* key, int algorithm)
{
    return Transform(data, length, key, algorithm, true);
}

bool CryptDecode(char* data, unsigned length, const char* key, int algorithm)
{
    return Transform(data, length, key, algorithm, false);
}

} // namespace Brindle
