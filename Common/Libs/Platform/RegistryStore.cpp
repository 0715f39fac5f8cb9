#include "Platform/RegistryStoreImpl.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <pthread.h>
#include <string_view>
#include <vector>

namespace Platform {

std::string FoldRegistryName(const char* name, std::size_t length)
{
    std::string folded(name, length);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return folded;
}

namespace {

constexpr std::int64_t kRootId = 1;

const char* const kSql[kStmtCount] = {
    "SELECT 1 FROM keys WHERE id = ?1",
    "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2",
    "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)",
    "SELECT v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id AND v.fold = ?2 WHERE k.id = ?1",
    "UPDATE vals SET type = ?3, data = ?4 WHERE key = ?1 AND fold = ?2",
    "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
    "DELETE FROM vals WHERE key IN tree",
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
    "DELETE FROM keys WHERE id IN tree",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT count(*), coalesce(max(length(name)), 0) FROM keys WHERE parent = ?1",
    "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0) FROM vals WHERE key = ?1",
};

// Splits a backslash-separated path; empty segments are skipped.
LONG SplitPath(const char* path, std::vector<std::string_view>* segments)
{
    segments->clear();
    if (path == nullptr)
        return ERROR_SUCCESS;
    std::string_view rest(path);
    while (!rest.empty()) {
        std::size_t cut = rest.find('\\');
        std::string_view segment = rest.substr(0, cut);
        if (segment.size() > kMaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
        if (!segment.empty())
            segments->push_back(segment);
        if (cut == std::string_view::npos)
            break;
        rest.remove_prefix(cut + 1);
    }
    return ERROR_SUCCESS;
}

// Resets a statement and its bindings when a call is done with it.
class StmtUse {
public:
    explicit StmtUse(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~StmtUse()
    {
        if (m_stmt != nullptr) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    StmtUse(const StmtUse&) = delete;
    StmtUse& operator=(const StmtUse&) = delete;

private:
    sqlite3_stmt* m_stmt;
};

int BindText(sqlite3_stmt* stmt, int index, std::string_view bytes)
{
    if (bytes.empty())
        return sqlite3_bind_zeroblob(stmt, index, 0);
    return sqlite3_bind_blob(stmt, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

std::string_view ValueName(const char* name)
{
    return name == nullptr ? std::string_view() : std::string_view(name);
}

} // namespace

int RegistryStore::Impl::Prepare(RegistryStmt which, sqlite3_stmt** stmt)
{
    if (stmts[which] == nullptr) {
        int rc = sqlite3_prepare_v3(db, kSql[which], -1, SQLITE_PREPARE_PERSISTENT, &stmts[which], nullptr);
        if (rc != SQLITE_OK)
            return rc;
    }
    *stmt = stmts[which];
    return SQLITE_OK;
}

// Runs one call: `body(rc)` returns the call's result and sets rc on an
// SQLite failure. Outside a transaction of the caller, writes and calls
// of several statements run in a transaction of their own.
template <typename Body>
LONG RegistryStore::Impl::Run(bool write, bool severalStatements, Body&& body)
{
    std::lock_guard<std::recursive_mutex> hold(mutex);
    LONG ready = Ready();
    if (ready != ERROR_SUCCESS)
        return ready;
    if (txnDepth > 0) {
        if (write && !txnWrite)
            return ERROR_ACCESS_DENIED;
        int rc = SQLITE_OK;
        LONG result = body(rc);
        if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
            return Failed(rc);
        return result;
    }
    bool own = write || severalStatements;
    if (own) {
        int rc = Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
        if (rc != SQLITE_OK)
            return Failed(rc);
    }
    int rc = SQLITE_OK;
    LONG result = body(rc);
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        return Failed(rc);
    if (own) {
        // A refused write changed nothing, but roll back to be sure.
        rc = Exec(result == ERROR_SUCCESS || !write ? "COMMIT" : "ROLLBACK");
        if (rc != SQLITE_OK)
            return Failed(rc);
    }
    return result;
}

// The id behind a reference, or ERROR_KEY_DELETED when it belongs to a
// store file no longer in force.
LONG RegistryStore::Impl::Resolve(RegKeyRef ref, std::int64_t* id) const
{
    if (ref.generation == 0) {
        *id = kRootId;
        return ERROR_SUCCESS;
    }
    if (ref.generation != generation)
        return ERROR_KEY_DELETED;
    *id = ref.id;
    return ERROR_SUCCESS;
}

// Inside Run: is the key still there?
LONG RegistryStore::Impl::KeyExists(std::int64_t id, int& rc)
{
    sqlite3_stmt* stmt = nullptr;
    if ((rc = Prepare(kKeyExists, &stmt)) != SQLITE_OK)
        return ERROR_CANTREAD;
    StmtUse use(stmt);
    sqlite3_bind_int64(stmt, 1, id);
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        rc = SQLITE_OK;
        return ERROR_SUCCESS;
    }
    if (rc == SQLITE_DONE) {
        rc = SQLITE_OK;
        return ERROR_KEY_DELETED;
    }
    return ERROR_CANTREAD;
}

// Inside Run: row `index` of an enumeration (subkeys or values) of a
// live key, handed to deliver; ERROR_NO_MORE_ITEMS past the last row.
template <class Deliver>
LONG RegistryStore::Impl::EnumRow(RegKeyRef key, RegistryStmt which, DWORD index, int& rc, Deliver&& deliver)
{
    std::int64_t id = 0;
    if (LONG r = Resolve(key, &id); r != ERROR_SUCCESS)
        return r;
    LONG exists = KeyExists(id, rc);
    if (exists != ERROR_SUCCESS || rc != SQLITE_OK)
        return exists;
    sqlite3_stmt* stmt = nullptr;
    if ((rc = Prepare(which, &stmt)) != SQLITE_OK)
        return ERROR_CANTREAD;
    StmtUse use(stmt);
    sqlite3_bind_int64(stmt, 1, id);
    sqlite3_bind_int64(stmt, 2, index);
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) {
        rc = SQLITE_OK;
        return ERROR_NO_MORE_ITEMS;
    }
    if (rc != SQLITE_ROW)
        return ERROR_CANTREAD;
    rc = SQLITE_OK;
    return deliver(stmt);
}

// Inside Run: the id of one child, 0 when absent.
std::int64_t RegistryStore::Impl::FindChild(std::int64_t parent, std::string_view name, int& rc)
{
    sqlite3_stmt* stmt = nullptr;
    if ((rc = Prepare(kFindChild, &stmt)) != SQLITE_OK)
        return 0;
    StmtUse use(stmt);
    std::string fold = FoldRegistryName(name.data(), name.size());
    sqlite3_bind_int64(stmt, 1, parent);
    BindText(stmt, 2, fold);
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        rc = SQLITE_OK;
        return sqlite3_column_int64(stmt, 0);
    }
    if (rc == SQLITE_DONE)
        rc = SQLITE_OK;
    return 0;
}

std::int64_t RegistryStore::Impl::InsertChild(std::int64_t parent, std::string_view name, int& rc)
{
    sqlite3_stmt* stmt = nullptr;
    if ((rc = Prepare(kInsertKey, &stmt)) != SQLITE_OK)
        return 0;
    StmtUse use(stmt);
    std::string fold = FoldRegistryName(name.data(), name.size());
    sqlite3_bind_int64(stmt, 1, parent);
    BindText(stmt, 2, name);
    BindText(stmt, 3, fold);
    rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE)
        return 0;
    rc = SQLITE_OK;
    return sqlite3_last_insert_rowid(db);
}

// Inside Run: walks (and with create, makes) the path below `start`.
LONG RegistryStore::Impl::Walk(std::int64_t start, const std::vector<std::string_view>& segments, bool create,
                               std::int64_t* id, bool* created, int& rc)
{
    LONG exists = KeyExists(start, rc);
    if (exists != ERROR_SUCCESS || rc != SQLITE_OK)
        return exists;
    std::int64_t current = start;
    *created = false;
    for (std::string_view segment : segments) {
        std::int64_t child = FindChild(current, segment, rc);
        if (rc != SQLITE_OK)
            return ERROR_CANTREAD;
        if (child == 0) {
            if (!create)
                return ERROR_FILE_NOT_FOUND;
            child = InsertChild(current, segment, rc);
            if (rc != SQLITE_OK)
                return ERROR_CANTWRITE;
            *created = true;
        } else {
            *created = false;
        }
        current = child;
    }
    *id = current;
    return ERROR_SUCCESS;
}

RegistryStore::RegistryStore(RegistryRoot root) : m_impl(std::make_unique<Impl>(root)) {}

RegistryStore::~RegistryStore()
{
    if (m_impl->db != nullptr && !m_impl->forked)
        m_impl->CloseConnection();
}

namespace {
RegistryStore* g_stores[2] = {nullptr, nullptr};
std::once_flag g_storesMade;
} // namespace

RegistryStore& RegistryStore::For(RegistryRoot root)
{
    std::call_once(g_storesMade, [] {
        // The stores live as long as the process: settings may still be
        // written by other objects' destructors while the process ends.
        g_stores[0] = new RegistryStore(RegistryRoot::CurrentUser);
        g_stores[1] = new RegistryStore(RegistryRoot::LocalMachine);
        // fork() waits until no call is inside a store, so the child never
        // inherits a connection in the middle of a transaction; the child then
        // opens connections of its own.
        pthread_atfork(
            [] {
                g_stores[0]->m_impl->mutex.lock();
                g_stores[1]->m_impl->mutex.lock();
            },
            [] {
                g_stores[1]->m_impl->mutex.unlock();
                g_stores[0]->m_impl->mutex.unlock();
            },
            [] {
                // The child's only thread is not the owner the mutexes
                // record (its thread id changed), so they are made anew
                // rather than unlocked.
                for (RegistryStore* store : g_stores) {
                    Impl& impl = *store->m_impl;
                    if (impl.db != nullptr)
                        impl.forked = true;
                    new (&impl.mutex) std::recursive_mutex();
                }
            });
    });
    return *g_stores[root == RegistryRoot::CurrentUser ? 0 : 1];
}

std::string RegistryStore::CurrentPath() const
{
    return m_impl->ResolvePath();
}

LONG RegistryStore::OpenKey(RegKeyRef parent, const char* subkey, bool create, RegKeyRef* result,
                            DWORD* disposition)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::string_view> segments;
    if (LONG split = SplitPath(subkey, &segments); split != ERROR_SUCCESS)
        return split;
    Impl& s = *m_impl;
    std::int64_t id = 0;
    bool created = false;
    std::uint64_t generation = 0;
    auto walk = [&](bool make) {
        return [&, make](int& rc) -> LONG {
            std::int64_t start = 0;
            if (LONG r = s.Resolve(parent, &start); r != ERROR_SUCCESS)
                return r;
            generation = s.generation;
            return s.Walk(start, segments, make, &id, &created, rc);
        };
    };
    // Most opens find the key: look first without the write lock.
    LONG r = s.Run(false, true, walk(false));
    if (r == ERROR_FILE_NOT_FOUND && create)
        r = s.Run(true, true, walk(true));
    if (r != ERROR_SUCCESS)
        return r;
    result->id = id;
    result->generation = generation;
    if (disposition != nullptr)
        *disposition = created ? 1 : 2;
    return ERROR_SUCCESS;
}

LONG RegistryStore::DeleteKey(RegKeyRef parent, const char* subkey)
{
    std::vector<std::string_view> segments;
    if (LONG split = SplitPath(subkey, &segments); split != ERROR_SUCCESS)
        return split;
    // Deleting a key through its own handle is never what a caller meant.
    if (segments.empty())
        return ERROR_INVALID_PARAMETER;
    Impl& s = *m_impl;
    return s.Run(true, true, [&](int& rc) -> LONG {
        std::int64_t start = 0, id = 0;
        bool created = false;
        if (LONG r = s.Resolve(parent, &start); r != ERROR_SUCCESS)
            return r;
        LONG r = s.Walk(start, segments, false, &id, &created, rc);
        if (r != ERROR_SUCCESS || rc != SQLITE_OK)
            return r;
        for (RegistryStmt which : {kDeleteTreeValues, kDeleteTreeKeys}) {
            sqlite3_stmt* stmt = nullptr;
            if ((rc = s.Prepare(which, &stmt)) != SQLITE_OK)
                return ERROR_CANTWRITE;
            StmtUse use(stmt);
            sqlite3_bind_int64(stmt, 1, id);
            rc = sqlite3_step(stmt);
            if (rc != SQLITE_DONE)
                return ERROR_CANTWRITE;
            rc = SQLITE_OK;
        }
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::SetValue(RegKeyRef key, const char* name, DWORD type, const BYTE* data, DWORD size)
{
    std::string_view valueName = ValueName(name);
    if (valueName.size() > kMaxValueNameLength || (data == nullptr && size > 0))
        return ERROR_INVALID_PARAMETER;
    if (size > static_cast<DWORD>(INT32_MAX))
        return ERROR_INVALID_PARAMETER;
    std::string fold = FoldRegistryName(valueName.data(), valueName.size());
    Impl& s = *m_impl;
    return s.Run(true, true, [&](int& rc) -> LONG {
        std::int64_t id = 0;
        if (LONG r = s.Resolve(key, &id); r != ERROR_SUCCESS)
            return r;
        LONG exists = s.KeyExists(id, rc);
        if (exists != ERROR_SUCCESS || rc != SQLITE_OK)
            return exists;
        auto bindData = [&](sqlite3_stmt* stmt, int index) {
            if (size == 0)
                return sqlite3_bind_zeroblob(stmt, index, 0);
            return sqlite3_bind_blob(stmt, index, data, static_cast<int>(size), SQLITE_STATIC);
        };
        sqlite3_stmt* stmt = nullptr;
        if ((rc = s.Prepare(kUpdateValue, &stmt)) != SQLITE_OK)
            return ERROR_CANTWRITE;
        {
            StmtUse use(stmt);
            sqlite3_bind_int64(stmt, 1, id);
            BindText(stmt, 2, fold);
            sqlite3_bind_int64(stmt, 3, type);
            bindData(stmt, 4);
            rc = sqlite3_step(stmt);
            if (rc != SQLITE_DONE)
                return ERROR_CANTWRITE;
            rc = SQLITE_OK;
            if (sqlite3_changes(s.db) > 0)
                return ERROR_SUCCESS;
        }
        if ((rc = s.Prepare(kInsertValue, &stmt)) != SQLITE_OK)
            return ERROR_CANTWRITE;
        StmtUse use(stmt);
        sqlite3_bind_int64(stmt, 1, id);
        BindText(stmt, 2, valueName);
        BindText(stmt, 3, fold);
        sqlite3_bind_int64(stmt, 4, type);
        bindData(stmt, 5);
        rc = sqlite3_step(stmt);
        if (rc != SQLITE_DONE)
            return ERROR_CANTWRITE;
        rc = SQLITE_OK;
        return ERROR_SUCCESS;
    });
}

namespace {
// Hands a value's bytes to a caller's buffer with the registry's rules.
LONG DeliverData(const void* bytes, int length, DWORD* type, DWORD storedType, BYTE* data, DWORD* size)
{
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (type != nullptr)
        *type = storedType;
    if (size == nullptr)
        return ERROR_SUCCESS;
    DWORD needed = static_cast<DWORD>(length);
    if (data != nullptr) {
        if (needed > *size) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed > 0)
            std::memcpy(data, bytes, needed);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

LONG DeliverName(const void* bytes, int length, char* name, DWORD* nameChars)
{
    if (name == nullptr || nameChars == nullptr)
        return ERROR_INVALID_PARAMETER;
    DWORD needed = static_cast<DWORD>(length);
    if (needed + 1 > *nameChars) {
        *nameChars = needed;
        return ERROR_MORE_DATA;
    }
    if (needed > 0)
        std::memcpy(name, bytes, needed);
    name[needed] = '\0';
    *nameChars = needed;
    return ERROR_SUCCESS;
}
} // namespace

LONG RegistryStore::QueryValue(RegKeyRef key, const char* name, DWORD* type, BYTE* data, DWORD* size)
{
    std::string_view valueName = ValueName(name);
    if (valueName.size() > kMaxValueNameLength)
        return ERROR_FILE_NOT_FOUND;
    std::string fold = FoldRegistryName(valueName.data(), valueName.size());
    Impl& s = *m_impl;
    return s.Run(false, false, [&](int& rc) -> LONG {
        std::int64_t id = 0;
        if (LONG r = s.Resolve(key, &id); r != ERROR_SUCCESS)
            return r;
        sqlite3_stmt* stmt = nullptr;
        if ((rc = s.Prepare(kQueryValue, &stmt)) != SQLITE_OK)
            return ERROR_CANTREAD;
        StmtUse use(stmt);
        sqlite3_bind_int64(stmt, 1, id);
        BindText(stmt, 2, fold);
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) {
            rc = SQLITE_OK;
            return ERROR_KEY_DELETED;
        }
        if (rc != SQLITE_ROW)
            return ERROR_CANTREAD;
        rc = SQLITE_OK;
        if (sqlite3_column_type(stmt, 0) == SQLITE_NULL)
            return ERROR_FILE_NOT_FOUND;
        DWORD storedType = static_cast<DWORD>(sqlite3_column_int64(stmt, 0));
        const void* bytes = sqlite3_column_blob(stmt, 1);
        int length = sqlite3_column_bytes(stmt, 1);
        return DeliverData(bytes, length, type, storedType, data, size);
    });
}

LONG RegistryStore::DeleteValue(RegKeyRef key, const char* name)
{
    std::string_view valueName = ValueName(name);
    if (valueName.size() > kMaxValueNameLength)
        return ERROR_FILE_NOT_FOUND;
    std::string fold = FoldRegistryName(valueName.data(), valueName.size());
    Impl& s = *m_impl;
    return s.Run(true, true, [&](int& rc) -> LONG {
        std::int64_t id = 0;
        if (LONG r = s.Resolve(key, &id); r != ERROR_SUCCESS)
            return r;
        LONG exists = s.KeyExists(id, rc);
        if (exists != ERROR_SUCCESS || rc != SQLITE_OK)
            return exists;
        sqlite3_stmt* stmt = nullptr;
        if ((rc = s.Prepare(kDeleteValue, &stmt)) != SQLITE_OK)
            return ERROR_CANTWRITE;
        StmtUse use(stmt);
        sqlite3_bind_int64(stmt, 1, id);
        BindText(stmt, 2, fold);
        rc = sqlite3_step(stmt);
        if (rc != SQLITE_DONE)
            return ERROR_CANTWRITE;
        rc = SQLITE_OK;
        return sqlite3_changes(s.db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegistryStore::EnumKey(RegKeyRef key, DWORD index, char* name, DWORD* nameChars)
{
    if (name == nullptr || nameChars == nullptr)
        return ERROR_INVALID_PARAMETER;
    Impl& s = *m_impl;
    return s.Run(false, true, [&](int& rc) -> LONG {
        return s.EnumRow(key, kEnumKey, index, rc, [&](sqlite3_stmt* stmt) {
            return DeliverName(sqlite3_column_blob(stmt, 0), sqlite3_column_bytes(stmt, 0), name, nameChars);
        });
    });
}

LONG RegistryStore::EnumValue(RegKeyRef key, DWORD index, char* name, DWORD* nameChars, DWORD* type, BYTE* data,
                              DWORD* size)
{
    if (name == nullptr || nameChars == nullptr)
        return ERROR_INVALID_PARAMETER;
    Impl& s = *m_impl;
    return s.Run(false, true, [&](int& rc) -> LONG {
        return s.EnumRow(key, kEnumValue, index, rc, [&](sqlite3_stmt* stmt) {
            LONG named = DeliverName(sqlite3_column_blob(stmt, 0), sqlite3_column_bytes(stmt, 0), name, nameChars);
            if (named != ERROR_SUCCESS)
                return named;
            return DeliverData(sqlite3_column_blob(stmt, 2), sqlite3_column_bytes(stmt, 2), type,
                               static_cast<DWORD>(sqlite3_column_int64(stmt, 1)), data, size);
        });
    });
}

LONG RegistryStore::QueryInfo(RegKeyRef key, KeyInfo* info)
{
    if (info == nullptr)
        return ERROR_INVALID_PARAMETER;
    Impl& s = *m_impl;
    return s.Run(false, true, [&](int& rc) -> LONG {
        std::int64_t id = 0;
        if (LONG r = s.Resolve(key, &id); r != ERROR_SUCCESS)
            return r;
        LONG exists = s.KeyExists(id, rc);
        if (exists != ERROR_SUCCESS || rc != SQLITE_OK)
            return exists;
        sqlite3_stmt* stmt = nullptr;
        if ((rc = s.Prepare(kInfoKeys, &stmt)) != SQLITE_OK)
            return ERROR_CANTREAD;
        {
            StmtUse use(stmt);
            sqlite3_bind_int64(stmt, 1, id);
            if ((rc = sqlite3_step(stmt)) != SQLITE_ROW)
                return ERROR_CANTREAD;
            info->subKeys = static_cast<DWORD>(sqlite3_column_int64(stmt, 0));
            info->maxSubKeyLen = static_cast<DWORD>(sqlite3_column_int64(stmt, 1));
        }
        if ((rc = s.Prepare(kInfoValues, &stmt)) != SQLITE_OK)
            return ERROR_CANTREAD;
        StmtUse use(stmt);
        sqlite3_bind_int64(stmt, 1, id);
        if ((rc = sqlite3_step(stmt)) != SQLITE_ROW)
            return ERROR_CANTREAD;
        rc = SQLITE_OK;
        info->values = static_cast<DWORD>(sqlite3_column_int64(stmt, 0));
        info->maxValueNameLen = static_cast<DWORD>(sqlite3_column_int64(stmt, 1));
        info->maxValueLen = static_cast<DWORD>(sqlite3_column_int64(stmt, 2));
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::BeginTransaction(bool write)
{
    Impl& s = *m_impl;
    s.mutex.lock();
    if (s.forked)
        s.AbandonInheritedConnection();
    if (s.txnDepth > 0) {
        if (write && !s.txnWrite) {
            s.mutex.unlock();
            return ERROR_ACCESS_DENIED;
        }
        ++s.txnDepth;
        return ERROR_SUCCESS;
    }
    LONG ready = s.Ready();
    if (ready != ERROR_SUCCESS) {
        s.mutex.unlock();
        return ready;
    }
    int rc = s.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
    if (rc != SQLITE_OK) {
        LONG failed = s.Failed(rc);
        s.mutex.unlock();
        return failed;
    }
    s.txnDepth = 1;
    s.txnWrite = write;
    s.txnDoomed = false;
    s.txnGeneration = s.generation;
    return ERROR_SUCCESS;
}

LONG RegistryStore::EndTransaction(bool commit)
{
    Impl& s = *m_impl;
    if (s.txnDepth == 0)
        return ERROR_INVALID_FUNCTION;
    if (!commit)
        s.txnDoomed = true;
    if (--s.txnDepth > 0) {
        s.mutex.unlock();
        return ERROR_SUCCESS;
    }
    LONG result = ERROR_SUCCESS;
    if (s.db == nullptr || s.generation != s.txnGeneration) {
        result = ERROR_BADDB;
    } else if (s.txnDoomed) {
        if (!sqlite3_get_autocommit(s.db))
            s.Exec("ROLLBACK");
        result = commit ? ERROR_OPERATION_ABORTED : ERROR_SUCCESS;
    } else if (sqlite3_get_autocommit(s.db)) {
        // SQLite rolled the transaction back on a failure of its own.
        result = ERROR_OPERATION_ABORTED;
    } else {
        int rc = s.Exec("COMMIT");
        if (rc != SQLITE_OK)
            result = s.Failed(rc);
    }
    s.txnDoomed = false;
    s.mutex.unlock();
    return result;
}

} // namespace Platform
