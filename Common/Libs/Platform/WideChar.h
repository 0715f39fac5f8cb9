// Conversions between wide text (UTF-16 units, WCHAR) and narrow text, with
// the contract of the Windows code-page calls.
//
// Contract
// - The narrow encoding is UTF-8: CP_ACP, CP_OEMCP, CP_THREAD_ACP and CP_UTF8
//   all mean UTF-8. Any other code page fails with ERROR_INVALID_PARAMETER.
// - A source length of -1 means "up to and including the terminating zero"
//   (the zero is converted and counted); 0 or any other negative length
//   fails with ERROR_INVALID_PARAMETER, as does a null source.
// - A destination size of 0 asks for the size needed (nothing is written);
//   a destination too small fails with ERROR_INSUFFICIENT_BUFFER.
// - Malformed input (a lone surrogate in UTF-16; in UTF-8 a stray or missing
//   continuation byte, an overlong form, an encoded surrogate or a value past
//   U+10FFFF) becomes U+FFFD, one per malformed unit or byte sequence; with
//   WC_ERR_INVALID_CHARS / MB_ERR_INVALID_CHARS the call fails instead with
//   ERROR_NO_UNICODE_TRANSLATION.
// - Every character has a UTF-8 form, so the default character is never
//   used: *usedDefaultChar, if given, is set to FALSE. As on Windows, CP_UTF8
//   takes no default-character arguments (ERROR_INVALID_PARAMETER otherwise).
// - Flags other than the two below fail with ERROR_INVALID_PARAMETER.
// - Results count units (WCHAR or bytes); 0 means failure and the thread's
//   last error says why.
//
// Thread-safety: every call is re-entrant and may run from any thread.
#pragma once

#include "Platform/WinTypes.h"

using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_OEMCP = 1;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_UTF8 = 65001;

inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080u;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008u;

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR narrow, int narrowSize,
                        LPCSTR defaultChar, BOOL* usedDefaultChar);

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR narrow, int narrowLength, LPWSTR wide, int wideSize);
