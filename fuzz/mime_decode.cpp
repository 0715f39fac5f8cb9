// Feeds arbitrary bytes to the base64 decoder. A text that decodes must be
// the encoding of what it decodes to (modulo unused low bits of the last
// group, which the decoder ignores), and nothing is read past the length.
#include "Brindle/comm/Codec.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A private copy of exactly `size` bytes, so reading past it is caught.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string decoded = Brindle::MimeDecode(input.data(), static_cast<unsigned>(size));
    if (decoded.empty())
        return 0;
    if (size % 4 != 0 || decoded.size() > size / 4 * 3)
        std::abort();
    const std::string again = Brindle::MimeEncode(decoded.data(), static_cast<unsigned>(decoded.size()));
    if (again.size() != size || Brindle::MimeDecode(again.data(), static_cast<unsigned>(again.size())) != decoded)
        std::abort();
    return 0;
}
