// The registry's ".reg" text format: parsing, writing, and moving a subtree
// between the store and that form (used by brindle-reg export/import).
//
// Format read and written
//   Windows Registry Editor Version 5.00      (or REGEDIT4)
//   [HKEY_CURRENT_USER\Software\Halvern\MAVO] a key (made when missing)
//   [-HKEY_CURRENT_USER\Software\Old]         a key deleted with its subtree
//   "name"="text"                             REG_SZ; \\ and \" escape
//   @="text"                                  the key's default value
//   "n"=dword:0000000a                        REG_DWORD
//   "n"=hex:00,ff                             REG_BINARY
//   "n"=hex(2):..  hex(7):..  hex(N):..       any other type, N in hex
//   "n"=-                                     a value deleted
// A line ending in '\' goes on in the next line; ';' starts a comment line;
// CRLF and LF line ends both read; a UTF-8 byte-order mark is skipped. Key
// paths start with HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE (HKCU and HKLM
// are accepted). Names and texts are bytes, written as they are.
//
// Parsing never touches the store and stops at the first error with its line
// number. ApplyRegFile writes a parsed file in one transaction per root, so
// a file that cannot be applied changes nothing.
//
// Thread-safety: the functions keep no state; they may run from any thread.
#pragma once

#include "Platform/Registry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

struct RegFileValue {
    std::string name; // empty: the default value (@)
    bool remove = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegFileKey {
    std::string path; // as written, with its root: HKEY_CURRENT_USER\...
    bool remove = false;
    std::vector<RegFileValue> values;
};

struct RegFile {
    std::vector<RegFileKey> keys;
};

// false with "line N: what is wrong" in *error on bad input.
bool ParseRegFile(std::string_view text, RegFile* file, std::string* error);

// The text of a file (header, then each key and its values).
std::string WriteRegFile(const RegFile& file);

// Splits "HKEY_CURRENT_USER\Software\X" (or HKCU\..., HKLM\...) into its
// root and the path below it. The root alone gives an empty path.
bool SplitRegKeyPath(std::string_view path, HKEY* root, std::string* subkey, std::string* error);

// The canonical spelling of a key path (full root name, no trailing '\').
std::string CanonicalRegKeyPath(HKEY root, const std::string& subkey);

// Reads the key at `path` and everything below it, keys in enumeration
// order, each key's values in creation order; in one read transaction.
LONG ExportRegTree(const std::string& path, RegFile* file, std::string* error);

// Applies a parsed file; all or nothing.
LONG ApplyRegFile(const RegFile& file, std::string* error);

} // namespace Platform
