// The state behind one RegistryStore, shared by the store's two sources:
// RegistryStoreFile.cpp keeps the store file's life (where it is, opening
// it, checking it, setting a damaged file aside); RegistryStore.cpp the
// keys, values and transactions on the open connection. Not installed.
#pragma once

#include "Platform/RegistryStore.h"

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace Platform {

// The statements a store prepares once and keeps; their texts are in
// RegistryStore.cpp.
enum RegistryStmt {
    kKeyExists,
    kFindChild,
    kInsertKey,
    kQueryValue,
    kUpdateValue,
    kInsertValue,
    kDeleteValue,
    kDeleteTreeValues,
    kDeleteTreeKeys,
    kEnumKey,
    kEnumValue,
    kInfoKeys,
    kInfoValues,
    kStmtCount
};

struct RegistryStore::Impl {
    explicit Impl(RegistryRoot r) : root(r) {}

    RegistryRoot root;
    std::recursive_mutex mutex;
    sqlite3* db = nullptr;
    std::array<sqlite3_stmt*, kStmtCount> stmts{};
    std::string path;             // the file of the open connection
    dev_t device = 0;             // its identity, so that a file is only set aside
    ino_t inode = 0;              // when it is still the one found damaged
    std::uint64_t generation = 1; // changes when the file in force changes
    bool forked = false;          // set in a child process after fork()

    int txnDepth = 0;
    bool txnWrite = false;
    bool txnDoomed = false;
    std::uint64_t txnGeneration = 0;

    // The store file (RegistryStoreFile.cpp).
    std::string ResolvePath() const;
    void CloseConnection();
    void AbandonInheritedConnection();
    int QueryInt(const char* sql, int* value);
    int CheckFailed(int rc, const char* text, bool* damaged, std::string* why);
    int NotOurs(int rc, std::string text, bool* damaged, std::string* why);
    int Validate(bool* damaged, std::string* why);
    int MakeSchema(bool* damaged, std::string* why);
    int CheckSchemaAndContents(bool* damaged, std::string* why);
    void SetAside(const std::string& file, const std::string& why);
    LONG Connect(const std::string& file);
    LONG Ready();
    LONG Failed(int rc);

    // Keys and values on the open connection (RegistryStore.cpp).
    int Exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    int Prepare(RegistryStmt which, sqlite3_stmt** stmt);
    template <typename Body>
    LONG Run(bool write, bool severalStatements, Body&& body);
    LONG Resolve(RegKeyRef ref, std::int64_t* id) const;
    LONG KeyExists(std::int64_t id, int& rc);
    template <class Deliver>
    LONG EnumRow(RegKeyRef key, RegistryStmt which, DWORD index, int& rc, Deliver&& deliver);
    std::int64_t FindChild(std::int64_t parent, std::string_view name, int& rc);
    std::int64_t InsertChild(std::int64_t parent, std::string_view name, int& rc);
    LONG Walk(std::int64_t start, const std::vector<std::string_view>& segments, bool create, std::int64_t* id,
              bool* created, int& rc);
};

} // namespace Platform
