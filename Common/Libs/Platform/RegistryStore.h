// RegistryStore: the persistent key store behind the registry calls of
// Registry.h, one SQLite database file per root key.
//
// Contract
// - Files: HKEY_CURRENT_USER lives in $XDG_CONFIG_HOME/brindle/user.db
//   (default ~/.config/brindle/, directory 0700, file 0600), HKEY_LOCAL_MACHINE
//   in /var/lib/brindle/machine.db (directory 0755, file 0644). When
//   BRINDLE_REGISTRY_DIR is set, both files live in that directory. The
//   variables are looked at on every call, so a process (a test) that points
//   them elsewhere reaches the new store on its next call; keys opened in the
//   old store then fail with ERROR_KEY_DELETED.
// - Every call is one transaction: writers take the write lock up front
//   (BEGIN IMMEDIATE), commits are synchronous (synchronous=FULL) and a busy
//   store is waited for (30 s). A crash leaves the old or the new state; two
//   processes writing at once lose nothing.
// - Key and value names compare without regard to ASCII case and keep the case
//   they were created with. Subkeys enumerate in upper-case-folded byte order
//   ("10" before "2"), values in creation order; overwriting a value keeps its
//   place and its name. Data are kept byte-exact with their type.
// - Key ids are never reused, so a key that was deleted (with its subtree,
//   atomically) is never confused with one created later under the same name.
// - A file that is not a sound store of ours (damaged, or another program's
//   database) is renamed to "<file>.damaged-<time>-<pid>", reported on stderr
//   and to syslog, and a new empty store takes its place. It is never reused
//   or overwritten in silence.
// - A child process made by fork() never uses its parent's SQLite connection:
//   it opens its own on its first call.
// - Transactions of the caller (BeginTransaction/EndTransaction, used by
//   RegTransaction) hold the store for the calling thread: calls of that
//   thread join the transaction, calls of other threads wait for its end.
//
// Thread-safety: every member may be called from any thread; one store
// serialises its callers.
#pragma once

#include "Platform/WinError.h"
#include "Platform/WinTypes.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Platform {

enum class RegistryRoot { CurrentUser = 0, LocalMachine = 1 };

// A key as a handle sees it. generation 0 stands for the root key of whatever
// store is in force; any other generation ties the id to one store file.
struct RegKeyRef {
    std::int64_t id = 0;
    std::uint64_t generation = 0;
};

// The limits of names, as the registry has them (in bytes, without NUL).
inline constexpr DWORD kMaxKeyNameLength = 255;
inline constexpr DWORD kMaxValueNameLength = 16383;

class RegistryStore {
public:
    // The process's store for a root.
    static RegistryStore& For(RegistryRoot root);

    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // The database file the store uses now (after the environment rules).
    std::string CurrentPath() const;

    // Opens (or with create, creates) a backslash-separated path below parent.
    // disposition: 1 created, 2 opened existing (may be null).
    LONG OpenKey(RegKeyRef parent, const char* subkey, bool create, RegKeyRef* result, DWORD* disposition);
    // Deletes the key at subkey (non-empty) below parent with its subtree.
    LONG DeleteKey(RegKeyRef parent, const char* subkey);
    LONG SetValue(RegKeyRef key, const char* name, DWORD type, const BYTE* data, DWORD size);
    // Windows semantics: with data null only type and size are reported; a
    // buffer smaller than the value gives ERROR_MORE_DATA, the size needed in
    // *size, and leaves the buffer untouched.
    LONG QueryValue(RegKeyRef key, const char* name, DWORD* type, BYTE* data, DWORD* size);
    LONG DeleteValue(RegKeyRef key, const char* name);
    // nameChars: in, the buffer's size in chars; out, the name's length
    // without NUL. A name that does not fit gives ERROR_MORE_DATA and leaves
    // the buffers untouched.
    LONG EnumKey(RegKeyRef key, DWORD index, char* name, DWORD* nameChars);
    LONG EnumValue(RegKeyRef key, DWORD index, char* name, DWORD* nameChars, DWORD* type, BYTE* data,
                   DWORD* size);

    struct KeyInfo {
        DWORD subKeys = 0;
        DWORD maxSubKeyLen = 0;
        DWORD values = 0;
        DWORD maxValueNameLen = 0;
        DWORD maxValueLen = 0;
    };
    LONG QueryInfo(RegKeyRef key, KeyInfo* info);

    // A transaction of the calling thread; nests. write takes the write lock
    // at once. Ends with EndTransaction(commit); the outermost end commits
    // when every level committed, else rolls back.
    LONG BeginTransaction(bool write);
    LONG EndTransaction(bool commit);

    ~RegistryStore();

private:
    explicit RegistryStore(RegistryRoot root);
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Upper-cases ASCII letters: the key by which names compare and sort.
std::string FoldRegistryName(const char* name, std::size_t length);

} // namespace Platform
