// The registry calls the library uses, over the store of RegistryStore.h.
//
// Contract
// - HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are the roots (other predefined
//   keys fail with ERROR_INVALID_HANDLE). Opened keys are handles into a
//   process-wide table; a handle value is never reused, so a closed handle
//   fails cleanly with ERROR_INVALID_HANDLE. Closing a predefined key does
//   nothing and succeeds.
// - Sub-key paths are separated by '\\'; empty segments are skipped; a
//   segment is at most 255 bytes. An empty path opens the key itself again
//   (a new handle to close).
// - A handle to a key that was deleted (by this or another process) fails
//   with ERROR_KEY_DELETED.
// - RegDeleteKeyA deletes the key with its whole subtree in one transaction.
//   An empty sub-key name is refused (ERROR_INVALID_PARAMETER): deleting a key
//   through its own handle is never meant; a root key cannot be deleted.
// - Reads are bounded by the caller's buffer: a value or name that does not
//   fit gives ERROR_MORE_DATA, the size needed, and an untouched buffer.
// - Access rights: a key opened without KEY_SET_VALUE refuses value writes
//   and deletes, without KEY_CREATE_SUB_KEY refuses creating sub-keys
//   (ERROR_ACCESS_DENIED). REG_OPTION_VOLATILE is not supported.
// - RegConnectRegistryA reaches the local store when the machine name is
//   null, empty, "localhost" or this host's own name (with or without a
//   leading "\\\\"); other machines fail with ERROR_BAD_NETPATH.
// - RegTransaction groups calls: every registry call of the thread that made
//   it, on keys of its root, joins it; it is all-or-nothing.
// - Failures return the error code as a LONG (Platform/WinError.h); nothing
//   here throws.
//
// Thread-safety: every call may run from any thread. A RegTransaction belongs
// to the thread that made it; other threads' calls on its root wait for it.
#pragma once

#include "Platform/WinError.h"
#include "Platform/WinTypes.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

#ifndef FILETIME_DEFINED
#define FILETIME_DEFINED
struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};
using PFILETIME = FILETIME*;
#endif

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000003u)))

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr DWORD KEY_NOTIFY = 0x0010;
inline constexpr DWORD KEY_CREATE_LINK = 0x0020;
inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_WRITE = 0x20006;
inline constexpr DWORD KEY_EXECUTE = 0x20019;
inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_OPTION_VOLATILE = 1;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM desired,
                     const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition);
// With all access.
LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result);
// Opens an existing key with all access; ERROR_FILE_NOT_FOUND when missing.
LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegCloseKey(HKEY key);

// A null or empty name is the key's default value.
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);

// Sub-keys in case-folded name order. nameChars: in, the buffer's size in
// chars; out, the name's length without NUL (the length needed when it is
// ERROR_MORE_DATA). Class and time are reported empty and zero.
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD classChars, PFILETIME lastWrite);
LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameChars);
// Values in creation order. A name that does not fit gives ERROR_MORE_DATA
// with *nameChars set to the length needed (at least the buffer's size) and
// nothing written; data that do not fit give ERROR_MORE_DATA with the name
// and type delivered (*nameChars below the buffer's size), *size set to the
// size needed and the data buffer untouched.
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD nameChars, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD size);
// Lengths are in bytes without NUL; class, security and time are empty.
LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classChars, LPDWORD reserved, LPDWORD subKeys,
                      LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen,
                      LPDWORD maxValueLen, LPDWORD securityDescriptor, PFILETIME lastWrite);
LONG RegConnectRegistryA(LPCSTR machineName, HKEY key, PHKEY result);

// An all-or-nothing group of registry calls on one root (the root of `key`).
// A write transaction takes the store's write lock at once; a read
// transaction sees one consistent state of the store and refuses writes
// (ERROR_ACCESS_DENIED). Transactions of one thread nest: only the outermost
// commits, and it commits only if every inner one committed. Destroyed
// without Commit, it rolls back.
class RegTransaction {
public:
    enum class Mode { Read, Write };
    explicit RegTransaction(HKEY key, Mode mode = Mode::Write);
    ~RegTransaction();
    RegTransaction(const RegTransaction&) = delete;
    RegTransaction& operator=(const RegTransaction&) = delete;

    // ERROR_SUCCESS when the transaction began.
    LONG Status() const { return m_status; }
    // Makes the changes durable; ERROR_SUCCESS or the reason nothing was
    // kept. The transaction is over afterwards.
    LONG Commit();
    void Rollback();

private:
    int m_root;
    LONG m_status;
    bool m_open;
};
