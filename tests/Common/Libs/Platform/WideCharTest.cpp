#include "Platform/WideChar.h"
#include "Platform/WinError.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <random>
#include <string>

namespace {

std::string ToNarrow(const std::u16string& wide, DWORD flags = 0)
{
    const int n = WideCharToMultiByte(CP_UTF8, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n == 0)
        return "<fail>";
    std::string out(static_cast<std::size_t>(n), '\0');
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, flags, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                                  nullptr),
              n);
    return out;
}

std::u16string ToWide(const std::string& narrow, DWORD flags = 0)
{
    const int n = MultiByteToWideChar(CP_UTF8, flags, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
    if (n == 0)
        return u"<fail>";
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, flags, narrow.data(), static_cast<int>(narrow.size()), out.data(), n), n);
    return out;
}

// The C library's own converter, as an independent peer for valid text.
std::string IconvToUtf8(const std::u16string& wide)
{
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    std::string out(wide.size() * 4 + 4, '\0');
    char* inp = in.data();
    char* outp = out.data();
    size_t inLeft = in.size();
    size_t outLeft = out.size();
    EXPECT_NE(iconv(cd, &inp, &inLeft, &outp, &outLeft), static_cast<size_t>(-1));
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(WideCharToMultiByte, SizeQueryThenConversionAndNoOverrunOfTooSmallABuffer)
{
    EXPECT_EQ(ToNarrow(u"a\u00E9\u20AC\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    // -1: up to and including the terminating zero.
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ab", -1, nullptr, 0, nullptr, nullptr), 3);
    char buffer[8] = "zzzzzzz";
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ab", -1, buffer, sizeof buffer, nullptr, nullptr), 3);
    EXPECT_STREQ(buffer, "ab");

    std::memset(buffer, 'x', sizeof buffer);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u20AC\u20AC", 2, buffer, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(buffer[4], 'x');
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"abcd", 4, buffer, 3, nullptr, nullptr), 0);
    EXPECT_EQ(buffer[3], '\xE2'); // from the first call: nothing past the size given
}

TEST(WideCharToMultiByte, BadArgumentsAreRefused)
{
    char buffer[8];
    BOOL used = TRUE;
    const int results[] = {
        WideCharToMultiByte(1252, 0, u"a", 1, buffer, 8, nullptr, nullptr),
        WideCharToMultiByte(CP_UTF8, 0, nullptr, 1, buffer, 8, nullptr, nullptr),
        WideCharToMultiByte(CP_UTF8, 0, u"a", 0, buffer, 8, nullptr, nullptr),
        WideCharToMultiByte(CP_UTF8, 0, u"a", -2, buffer, 8, nullptr, nullptr),
        WideCharToMultiByte(CP_UTF8, 0, u"a", 1, nullptr, 8, nullptr, nullptr),
        WideCharToMultiByte(CP_UTF8, 0, u"a", 1, buffer, -1, nullptr, nullptr),
        WideCharToMultiByte(CP_UTF8, 0x400, u"a", 1, buffer, 8, nullptr, nullptr),
        WideCharToMultiByte(CP_UTF8, 0, u"a", 1, buffer, 8, "?", nullptr),
        WideCharToMultiByte(CP_UTF8, 0, u"a", 1, buffer, 8, nullptr, &used),
    };
    for (std::size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], 0) << "call " << i;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // The ANSI code page takes the default-character arguments and never
    // needs them.
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9", 1, buffer, 8, "?", &used), 2);
    EXPECT_EQ(used, FALSE);
}

TEST(WideCharToMultiByte, LoneSurrogatesAreReplacedOrRefusedWhenStrict)
{
    const std::u16string lone{u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    EXPECT_EQ(ToNarrow(lone), "a" + kReplacement + "b" + kReplacement);
    EXPECT_EQ(ToNarrow(lone, WC_ERR_INVALID_CHARS), "<fail>");
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    const std::u16string reversed{char16_t(0xDC00), char16_t(0xD800)};
    EXPECT_EQ(ToNarrow(reversed), kReplacement + kReplacement);
}

TEST(MultiByteToWideChar, DecodesAndReplacesEachMalformedSequenceOnce)
{
    // Valid, overlong, an encoded surrogate, past U+10FFFF, and cut sequences (one replacement each).
    for (const auto& [narrow, wide] : {std::pair{"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"a\u00E9\u20AC\U0001F600"},
                                       {"\xC0\xAF", u"\uFFFD\uFFFD"}, {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                                       {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, {"\xE2\x82x", u"\uFFFDx"},
                                       {"\xE2\x82", u"\uFFFD"}, {"\x80z", u"\uFFFDz"}})
        EXPECT_EQ(ToWide(narrow), wide) << narrow;
    EXPECT_EQ(ToWide("\xC3\xA9", MB_ERR_INVALID_CHARS), u"\u00E9");
    EXPECT_EQ(ToWide("\xC3", MB_ERR_INVALID_CHARS), u"<fail>");
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 0), 3);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", 0, nullptr, 0), 0);
}

TEST(WideText, RandomValidTextRoundTripsAndMatchesIconv)
{
    std::mt19937 random(3);
    for (int round = 0; round < 2000; ++round) {
        std::u16string wide;
        const int length = 1 + static_cast<int>(random() % 30);
        for (int i = 0; i < length; ++i) {
            char32_t cp = 0;
            switch (random() % 4) {
            case 0: cp = 0x20 + random() % 0x5F; break;
            case 1: cp = 0x80 + random() % 0x780; break;
            case 2: cp = 0x800 + random() % (0xD800 - 0x800); break;
            default: cp = 0x10000 + random() % 0x100000; break;
            }
            if (cp >= 0x10000) {
                wide += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                wide += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                wide += static_cast<char16_t>(cp);
            }
        }
        const std::string narrow = ToNarrow(wide, WC_ERR_INVALID_CHARS);
        ASSERT_EQ(narrow, IconvToUtf8(wide));
        ASSERT_EQ(ToWide(narrow, MB_ERR_INVALID_CHARS), wide);
    }
}

} // namespace
