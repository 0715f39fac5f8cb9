// GUID generation: the random source of the library's key exchanges.
//
// CoCreateGuid fills a GUID with 128 random bits from the kernel's random
// source (getrandom), with the version 4 / variant bits set as a generated
// GUID carries them. RandomBytes gives raw random bytes from the same
// source. Both block only until the kernel's pool is first initialised and
// retry on interruption; they fail (S_FALSE / false) only when the kernel
// refuses the call.
//
// Thread-safety: every function here may be called from any thread.
#pragma once

#include "Platform/WinTypes.h"

#include <cstddef>

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

using HRESULT = long;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

HRESULT CoCreateGuid(GUID* guid);

namespace Platform {
// Fills `length` bytes; false when the kernel refuses.
bool RandomBytes(void* buffer, std::size_t length);
} // namespace Platform
