// The setting encoder takes stored bytes and key texts from the settings
// store: any key, length and algorithm must be handled without reading past
// the key's end, and decoding must undo encoding.
#include "Brindle/base/Crypt.h"

#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int algorithm = static_cast<int>(static_cast<std::int8_t>(data[0]));
    // The key: the bytes up to the first NUL (or the next 20 bytes), copied
    // into a buffer of exactly that size so the sanitizer sees any overread.
    std::size_t keyLength = 0;
    while (1 + keyLength < size && keyLength < 20 && data[1 + keyLength] != 0)
        ++keyLength;
    std::vector<char> key(keyLength + 1, '\0');
    std::memcpy(key.data(), data + 1, keyLength);
    const std::size_t offset = std::min(size, 2 + keyLength);
    std::vector<char> plain(data + offset, data + size);

    std::vector<char> buffer = plain;
    const unsigned length = static_cast<unsigned>(buffer.size());
    const bool encoded = Brindle::CryptEncode(buffer.data(), length, key.data(), algorithm);
    if (!encoded) {
        if (buffer != plain)
            std::abort(); // a refusal changes nothing
        return 0;
    }
    if (!Brindle::CryptDecode(buffer.data(), length, key.data(), algorithm) || buffer != plain)
        std::abort();
    return 0;
}
