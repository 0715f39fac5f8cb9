#include "Brindle/base/TextUtil.h"

#include "Brindle/base/ClassicLocale.h"
#include "Brindle/base/Exception.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cwchar>
#include <string_view>
#include <type_traits>

namespace Brindle {

namespace {

const char* const kControlNames[32] = {
    "<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOI>", "<ENQ>", "<ACK>", "<BEL>", "<BS>",  "<HT>",  "<LF>",
    "<VI>",  "<FF>",  "<CR>",  "<SO>",  "<SI>",  "<SLE>", "<CS1>", "<DC2>", "<DC3>", "<DC4>", "<NAK>",
    "<SYN>", "<EIB>", "<CAN>", "<EM>",  "<STB>", "<ESC>", "<FS>",  "<GS>",  "<RS>",  "<US>",
};

template <typename Unit>
std::size_t TerminatedLength(const Unit* text)
{
    std::size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

template <typename Integer>
std::string IntegerText(Integer value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string_view TrimTrailingSpaces(std::string_view s)
{
    const std::size_t last = s.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

std::string_view TrimLeadingSpaces(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : s.substr(first);
}

} // namespace

std::string WideCharToStdString(const WCHAR* text, std::size_t length)
{
    if (text == nullptr)
        return std::string();
    if (length == 0)
        length = TerminatedLength(text);
    if (length == 0)
        return std::string();
    if (length > static_cast<std::size_t>(INT_MAX))
        throw CException(ERROR_INVALID_PARAMETER);
    const int units = static_cast<int>(length);
    // Ask for the size, then convert: the second call must deliver it all.
    const int needed = ::WideCharToMultiByte(CP_ACP, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        throw CException(::GetLastError());
    std::string out(static_cast<std::size_t>(needed), '\0');
    const int written = ::WideCharToMultiByte(CP_ACP, 0, text, units, out.data(), needed, nullptr, nullptr);
    if (written != needed)
        throw CException(written == 0 ? ::GetLastError() : ERROR_INVALID_DATA);
    return out;
}

std::string WideCharToStdString(const wchar_t* text, std::size_t length)
{
    static_assert(sizeof(wchar_t) == 4, "wchar_t holds whole code points on this platform");
    if (text == nullptr)
        return std::string();
    if (length == 0)
        length = TerminatedLength(text);
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const auto cp = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        const bool valid = cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        AppendUtf8(out, valid ? cp : U'\uFFFD');
    }
    return out;
}

std::string ConvertCtrlCharsToText(const std::string& text)
{
    std::string out;
    ConvertCtrlCharsToText(text, out);
    return out;
}

void ConvertCtrlCharsToText(const std::string& text, std::string& out)
{
    out.clear();
    out.reserve(text.size());
    // Runs of plain bytes go over whole: most texts are one such run.
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 32 && byte < 128)
            continue;
        out.append(text, run, i - run);
        if (byte < 32)
            out += kControlNames[byte];
        run = i + 1;
    }
    out.append(text, run, std::string::npos);
}

std::vector<std::string> word_wrap(const std::string& text, unsigned width)
{
    // The last line is a view of the text, so wrapping stays linear in the
    // length of the text however many lines it gives.
    std::string_view last = TrimTrailingSpaces(text);
    std::vector<std::string> lines;
    if (width == 0) {
        lines.emplace_back(last); // no limit; cutting at 0 characters would never end
        return lines;
    }
    // Every round makes the last line shorter: a cut at a space drops at
    // least that space, a cut without one moves width >= 1 characters.
    while (last.size() > width) {
        const std::size_t space = last.rfind(' ', width);
        if (space != std::string_view::npos) {
            lines.emplace_back(last.substr(0, space));
            last = TrimTrailingSpaces(TrimLeadingSpaces(last.substr(space)));
        } else {
            lines.emplace_back(last.substr(0, width));
            last = last.substr(width);
        }
    }
    lines.emplace_back(last);
    return lines;
}

std::string FormatString(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    try {
        std::string out = FormatStringV(format, args);
        va_end(args);
        return out;
    } catch (...) {
        va_end(args);
        throw;
    }
}

std::string FormatStringV(const char* format, va_list args)
{
    if (format == nullptr)
        throw CException(ERROR_INVALID_PARAMETER);
    const CClassicLocaleScope classic;
    char small[1024];
    va_list first;
    va_copy(first, args);
    errno = 0;
    const int n = std::vsnprintf(small, sizeof small, format, first);
    va_end(first);
    if (n < 0)
        throw CException(errno != 0 ? static_cast<DWORD>(errno) : ERROR_INVALID_PARAMETER);
    if (static_cast<std::size_t>(n) < sizeof small)
        return std::string(small, static_cast<std::size_t>(n));

    // Longer than the working buffer: format again into one that fits.
    std::string out(static_cast<std::size_t>(n), '\0');
    va_list second;
    va_copy(second, args);
    const int again = std::vsnprintf(out.data(), out.size() + 1, format, second);
    va_end(second);
    if (again != n)
        throw CException(ERROR_INVALID_DATA);
    return out;
}

std::string ToString(int value)
{
    return IntegerText(value);
}

std::string ToString(unsigned value)
{
    return IntegerText(value);
}

std::string ToString(long value)
{
    return IntegerText(value);
}

std::string ToString(unsigned long value)
{
    return IntegerText(value);
}

std::string ToString(long long value)
{
    return IntegerText(value);
}

std::string ToString(unsigned long long value)
{
    return IntegerText(value);
}

std::string ToString(double value)
{
    // Six significant digits in the shorter of fixed and exponent notation,
    // as "%g" and a default-formatted stream write it, in any locale.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

std::string ToString(char value)
{
    return std::string(1, value);
}

} // namespace Brindle
