// Small text functions: wide-to-narrow conversion, printable control
// characters, word wrapping, printf-style formatting and number texts.
//
// Contract
// - Narrow text is UTF-8. WideCharToStdString converts UTF-16 (WCHAR) or
//   this platform's wchar_t (UTF-32); a malformed unit becomes U+FFFD. It
//   throws CException (code only, no text) when the conversion fails or
//   comes up short of the size it announced.
// - ConvertCtrlCharsToText replaces each byte 0-31 by its name ("<CR>",
//   "<LF>", ...), copies bytes 32-127 and drops bytes 128-255.
// - word_wrap cuts a text into lines of at most `width` characters, at the
//   last space that allows it, else in the middle of a word. Width 0 means
//   no limit: the text comes back as one line.
// - FormatString formats as printf does, in the "C" locale (a decimal point,
//   never a comma), into a text of whatever length is needed. It throws
//   CException when the C library cannot format the arguments.
// - ToString gives decimal text of integers, the double with six significant
//   digits as a default-formatted stream would ("%g"), and a char as a
//   one-character text; never dependent on the locale.
//
// Thread-safety: every function is re-entrant and may run from any thread.
#pragma once

#include "Platform/WideChar.h"

#include <cstdarg>
#include <cstddef>
#include <string>
#include <vector>

namespace Brindle {

// `length` counts units; 0 means up to the terminating zero. A null or empty
// text gives "".
std::string WideCharToStdString(const WCHAR* text, std::size_t length = 0);
std::string WideCharToStdString(const wchar_t* text, std::size_t length = 0);

std::string ConvertCtrlCharsToText(const std::string& text);
// The same into out, whose room is kept: for a caller converting many texts.
void ConvertCtrlCharsToText(const std::string& text, std::string& out);

// 1. One line: the text without trailing spaces.
// 2. While the last line is longer than width: cut it at the last space at or
//    before index width, the rest (trimmed of spaces at both ends) becoming
//    the new last line; with no such space, cut it at width characters, the
//    rest (untrimmed) becoming the new last line.
std::vector<std::string> word_wrap(const std::string& text, unsigned width);

std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatStringV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

std::string ToString(int value);
std::string ToString(unsigned value);
std::string ToString(long value);
std::string ToString(unsigned long value);
std::string ToString(long long value);
std::string ToString(unsigned long long value);
std::string ToString(double value);
std::string ToString(char value);

} // namespace Brindle
