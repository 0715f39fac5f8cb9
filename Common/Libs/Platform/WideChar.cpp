#include "Platform/WideChar.h"

#include "Platform/WinError.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsUtf8CodePage(UINT codePage)
{
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

int Fail(DWORD code)
{
    SetLastError(code);
    return 0;
}

// Collects output units: counts them, and writes them while there is room.
template <typename Unit>
class Output {
public:
    Output(Unit* buffer, int size) : m_buffer(buffer), m_size(size) {}

    void Put(Unit u)
    {
        if (m_buffer != nullptr && m_count < m_size)
            m_buffer[m_count] = u;
        ++m_count;
    }
    int Count() const { return m_count; }
    bool Overflowed() const { return m_buffer != nullptr && m_count > m_size; }
    // Stops runaway counting: a result must fit an int.
    bool TooLong() const { return m_count > 0x7FFFFFF0; }

private:
    Unit* m_buffer;
    int m_size;
    int m_count = 0;
};

void PutUtf8(Output<char>& out, char32_t cp)
{
    if (cp < 0x80) {
        out.Put(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.Put(static_cast<char>(0xC0 | (cp >> 6)));
        out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.Put(static_cast<char>(0xE0 | (cp >> 12)));
        out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.Put(static_cast<char>(0xF0 | (cp >> 18)));
        out.Put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void PutUtf16(Output<WCHAR>& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.Put(static_cast<WCHAR>(cp));
    } else {
        cp -= 0x10000;
        out.Put(static_cast<WCHAR>(0xD800 + (cp >> 10)));
        out.Put(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
    }
}

// The number of units of a zero-terminated text, including the zero, or -1
// when it is longer than an int can count.
template <typename Unit>
int TerminatedLength(const Unit* text)
{
    for (long long n = 0; n < 0x7FFFFFFF; ++n) {
        if (text[n] == 0)
            return static_cast<int>(n + 1);
    }
    return -1;
}

// The length of the well-formed start of a UTF-8 sequence beginning at s[0]
// (its "maximal subpart"), and the code point when the sequence is whole.
// Returns true with the full length when it is whole.
bool DecodeUtf8(const unsigned char* s, int available, int& length, char32_t& cp)
{
    const unsigned char b0 = s[0];
    if (b0 < 0x80) {
        length = 1;
        cp = b0;
        return true;
    }
    int need = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0; // no overlong forms
        else if (b0 == 0xED)
            hi = 0x9F; // no encoded surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F; // nothing past U+10FFFF
    } else {
        length = 1;
        return false;
    }
    length = 1;
    for (int k = 1; k <= need; ++k) {
        if (k >= available)
            return false;
        const unsigned char b = s[k];
        if (b < lo || b > hi)
            return false;
        cp = (cp << 6) | (b & 0x3F);
        lo = 0x80;
        hi = 0xBF;
        length = k + 1;
    }
    return true;
}

} // namespace

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR narrow, int narrowSize,
                        LPCSTR defaultChar, BOOL* usedDefaultChar)
{
    if (!IsUtf8CodePage(codePage) || (flags & ~WC_ERR_INVALID_CHARS) != 0 || wide == nullptr || wideLength == 0 ||
        wideLength < -1 || narrowSize < 0 || (narrowSize > 0 && narrow == nullptr) ||
        (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr)))
        return Fail(ERROR_INVALID_PARAMETER);
    // Every character has a UTF-8 form: the default character is never used.
    if (usedDefaultChar != nullptr)
        *usedDefaultChar = FALSE;
    if (wideLength == -1) {
        wideLength = TerminatedLength(wide);
        if (wideLength < 0)
            return Fail(ERROR_INVALID_PARAMETER);
    }
    const bool strict = (flags & WC_ERR_INVALID_CHARS) != 0;
    Output<char> out(narrowSize > 0 ? narrow : nullptr, narrowSize);
    for (int i = 0; i < wideLength; ++i) {
        char32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < wideLength && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            if (strict)
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            cp = kReplacement;
        }
        PutUtf8(out, cp);
        if (out.TooLong())
            return Fail(ERROR_INVALID_PARAMETER);
    }
    if (out.Overflowed())
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    SetLastError(ERROR_SUCCESS);
    return out.Count();
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR narrow, int narrowLength, LPWSTR wide, int wideSize)
{
    if (!IsUtf8CodePage(codePage) || (flags & ~MB_ERR_INVALID_CHARS) != 0 || narrow == nullptr ||
        narrowLength == 0 || narrowLength < -1 || wideSize < 0 || (wideSize > 0 && wide == nullptr))
        return Fail(ERROR_INVALID_PARAMETER);
    if (narrowLength == -1) {
        narrowLength = TerminatedLength(narrow);
        if (narrowLength < 0)
            return Fail(ERROR_INVALID_PARAMETER);
    }
    const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(narrow);
    Output<WCHAR> out(wideSize > 0 ? wide : nullptr, wideSize);
    for (int i = 0; i < narrowLength;) {
        int length = 0;
        char32_t cp = 0;
        if (!DecodeUtf8(bytes + i, narrowLength - i, length, cp)) {
            if (strict)
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            cp = kReplacement;
        }
        PutUtf16(out, cp);
        i += length;
    }
    if (out.Overflowed())
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    SetLastError(ERROR_SUCCESS);
    return out.Count();
}
