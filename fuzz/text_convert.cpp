// Feeds arbitrary bytes to the text conversions: as UTF-8 to the wide
// decoder and back, as UTF-16 units to the narrow encoder, and as text to
// the control-character renderer and the word wrapper.
#include "Brindle/base/TextUtil.h"
#include "Platform/WideChar.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace Brindle;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Narrow to wide and back: valid UTF-8 must come back unchanged.
    if (size > 0) {
        const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(size), nullptr, 0);
        if (units <= 0)
            std::abort();
        std::vector<WCHAR> wide(static_cast<size_t>(units));
        if (MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(size), wide.data(), units) != units)
            std::abort();
        const std::string back = WideCharToStdString(wide.data(), wide.size());
        const bool valid = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(size),
                                               nullptr, 0) > 0;
        if (valid && back != text)
            std::abort();
    }

    // The bytes as UTF-16 units, lone surrogates and all.
    std::vector<WCHAR> units(size / 2);
    if (!units.empty()) {
        std::memcpy(units.data(), data, units.size() * 2);
        (void)WideCharToStdString(units.data(), units.size());
    }

    const std::string printable = ConvertCtrlCharsToText(text);
    for (char c : printable) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b > 127)
            std::abort();
    }
    // A text converts as its bytes one by one would, put together.
    std::string byByte;
    for (char c : text)
        byByte += ConvertCtrlCharsToText(std::string(1, c));
    if (byByte != printable)
        std::abort();

    const unsigned width = size > 0 ? data[0] % 40 : 0;
    for (const std::string& line : word_wrap(text, width)) {
        if (width > 0 && line.size() > width)
            std::abort();
    }
    return 0;
}
