// Windows type names used by the library's public interfaces.
//
// The library was shaped by a Windows API; callers keep reading and writing
// the same names (DWORD, HANDLE, HKEY, BOOL ...). These are plain aliases with
// the Windows widths (DWORD is 32-bit even on LP64), declared in the global
// namespace as the Windows headers declare them. No behaviour lives here.
#pragma once

#include <cstdint>
#include <cstddef>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = int;
using UINT = unsigned int;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using DWORD_PTR = std::uintptr_t;
using ULONG_PTR = std::uintptr_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// A kernel object handle: an opaque id into the process's handle table
// (see KernelObjects.h). Ids are never reused, so a stale handle finds nothing.
using HANDLE = void*;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

// Waits.
inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0u;
inline constexpr DWORD WAIT_ABANDONED = 0x80u;
inline constexpr DWORD WAIT_ABANDONED_0 = 0x80u;
inline constexpr DWORD WAIT_TIMEOUT = 258u;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64u;
inline constexpr DWORD STILL_ACTIVE = 259u;

// Access rights accepted (and not enforced: every object is process-local).
inline constexpr DWORD SYNCHRONIZE = 0x00100000u;
inline constexpr DWORD EVENT_ALL_ACCESS = 0x1F0003u;
inline constexpr DWORD EVENT_MODIFY_STATE = 0x0002u;
inline constexpr DWORD MUTEX_ALL_ACCESS = 0x1F0001u;
inline constexpr DWORD SEMAPHORE_ALL_ACCESS = 0x1F0003u;
inline constexpr DWORD SEMAPHORE_MODIFY_STATE = 0x0002u;
inline constexpr DWORD GENERIC_ALL = 0x10000000u;
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;

struct SECURITY_ATTRIBUTES {
    DWORD nLength = sizeof(SECURITY_ATTRIBUTES);
    void* lpSecurityDescriptor = nullptr;
    BOOL bInheritHandle = FALSE;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// The record of an overlapped operation: its result lands in Internal (the
// error code) and InternalHigh (the bytes moved), and hEvent, when given, is
// set once the operation has completed.
struct OVERLAPPED {
    ULONG_PTR Internal = 0;
    ULONG_PTR InternalHigh = 0;
    DWORD Offset = 0;
    DWORD OffsetHigh = 0;
    HANDLE hEvent = nullptr;
};
using LPOVERLAPPED = OVERLAPPED*;
