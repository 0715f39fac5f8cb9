#include "Platform/RegistryStore.h"

#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <pthread.h>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>
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

// "BREG": marks a database file as a registry store of ours.
constexpr int kApplicationId = 0x42524547;
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 30000;
constexpr std::int64_t kRootId = 1;

// Names are kept as BLOBs: the registry's names are bytes, compared by their
// folded form, and must come back exactly as they were written.
const char* const kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name BLOB NOT NULL, "
    "fold BLOB NOT NULL);"
    "CREATE UNIQUE INDEX keys_by_name ON keys(parent, fold);"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL, name BLOB NOT NULL, "
    "fold BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, fold);"
    "CREATE INDEX vals_in_order ON vals(key, id);"
    "INSERT INTO keys(id, parent, name, fold) VALUES(1, NULL, x'', x'');";

// What sqlite_schema must hold, in name order, for a file to be ours.
const char* const kExpectedObjects[][2] = {
    {"table", "keys"}, {"index", "keys_by_name"}, {"table", "sqlite_sequence"},
    {"table", "vals"}, {"index", "vals_by_name"}, {"index", "vals_in_order"},
};

enum Stmt {
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

bool IsDamage(int rc)
{
    int primary = rc & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

LONG MapSqlite(int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
        return ERROR_ACCESS_DENIED;
    case SQLITE_TOOBIG:
        return ERROR_INVALID_PARAMETER;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_BADDB;
    case SQLITE_FULL:
    case SQLITE_IOERR:
        return ERROR_CANTWRITE;
    default:
        return ERROR_CANTREAD;
    }
}

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

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> scratch(16384);
    if (getpwuid_r(geteuid(), &pw, scratch.data(), scratch.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return "/tmp";
}

// Makes every missing directory of `dir` with `mode`.
bool MakeDirectories(const std::string& dir, mode_t mode)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    std::size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash), mode))
        return false;
    return ::mkdir(dir.c_str(), mode) == 0 || errno == EEXIST;
}

std::string TimeText()
{
    std::time_t now = std::time(nullptr);
    struct tm parts {};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

void Report(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    ::syslog(LOG_USER | LOG_ERR, "%s", text.c_str());
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

    std::string ResolvePath() const
    {
        const char* dir = std::getenv("BRINDLE_REGISTRY_DIR");
        std::string base;
        if (dir != nullptr && dir[0] != '\0') {
            base = dir;
        } else if (root == RegistryRoot::LocalMachine) {
            base = "/var/lib/brindle";
        } else {
            const char* config = std::getenv("XDG_CONFIG_HOME");
            if (config != nullptr && config[0] == '/')
                base = std::string(config) + "/brindle";
            else
                base = HomeDirectory() + "/.config/brindle";
        }
        return base + (root == RegistryRoot::CurrentUser ? "/user.db" : "/machine.db");
    }

    void CloseConnection()
    {
        for (sqlite3_stmt*& stmt : stmts) {
            sqlite3_finalize(stmt);
            stmt = nullptr;
        }
        sqlite3_close_v2(db);
        db = nullptr;
    }

    // A child must not touch the connection its parent made: the parent may
    // still use it, and SQLite's locks belong to the parent process. The old
    // connection is left alone (its memory and descriptors stay with the
    // child) and a new one is opened.
    void AbandonInheritedConnection()
    {
        stmts.fill(nullptr);
        db = nullptr;
        forked = false;
        txnDepth = 0;
    }

    int Exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

    int Prepare(Stmt which, sqlite3_stmt** stmt)
    {
        if (stmts[which] == nullptr) {
            int rc = sqlite3_prepare_v3(db, kSql[which], -1, SQLITE_PREPARE_PERSISTENT, &stmts[which], nullptr);
            if (rc != SQLITE_OK)
                return rc;
        }
        *stmt = stmts[which];
        return SQLITE_OK;
    }

    // One integer a query gives in its first column (0 when NULL).
    int QueryInt(const char* sql, int* value)
    {
        *value = 0;
        return sqlite3_exec(
            db, sql,
            [](void* out, int, char** values, char**) {
                *static_cast<int*>(out) = values[0] != nullptr ? std::atoi(values[0]) : 0;
                return 0;
            },
            value, nullptr);
    }

    // Ends a check that failed: rc is returned; a damage code marks the file
    // damaged, with the text and SQLite's message as the reason.
    int CheckFailed(int rc, const char* text, bool* damaged, std::string* why)
    {
        if (IsDamage(rc)) {
            *damaged = true;
            *why = text;
            if (sqlite3_errmsg(db) != nullptr)
                *why += std::string(": ") + sqlite3_errmsg(db);
        }
        if (!sqlite3_get_autocommit(db))
            Exec("ROLLBACK");
        return rc;
    }

    // Ends a check that found the file is not a sound store of ours.
    int NotOurs(int rc, std::string text, bool* damaged, std::string* why)
    {
        if (!sqlite3_get_autocommit(db))
            Exec("ROLLBACK");
        *damaged = true;
        *why = std::move(text);
        return rc;
    }

    // Checks a database that opened: ours, sound and of our schema. Makes the
    // schema in a new, empty file. Returns an SQLite code; `damaged` tells
    // that the file must be set aside, with `why`.
    int Validate(bool* damaged, std::string* why)
    {
        *damaged = false;
        int rc = Exec("BEGIN");
        if (rc != SQLITE_OK)
            return CheckFailed(rc, "cannot be read", damaged, why);
        int applicationId = 0, objects = 0;
        if ((rc = QueryInt("PRAGMA application_id", &applicationId)) != SQLITE_OK
            || (rc = QueryInt("SELECT count(*) FROM sqlite_schema", &objects)) != SQLITE_OK)
            return CheckFailed(rc, "cannot be read", damaged, why);
        if (applicationId == 0 && objects == 0) {
            rc = MakeSchema(damaged, why);
            return rc == SQLITE_OK ? Validate(damaged, why) : rc;
        }
        if (applicationId != kApplicationId)
            return NotOurs(SQLITE_NOTADB, "not a registry store", damaged, why);
        int version = 0;
        QueryInt("PRAGMA user_version", &version);
        if (version != kSchemaVersion)
            return NotOurs(SQLITE_NOTADB, "unknown store version " + std::to_string(version), damaged, why);
        rc = CheckSchemaAndContents(damaged, why);
        if (rc != SQLITE_OK)
            return rc;
        Exec("COMMIT");
        return SQLITE_OK;
    }

    // Inside Validate's read transaction, in a new file: makes the schema
    // under the write lock. Another process may be doing the same, so it
    // looks again inside.
    int MakeSchema(bool* damaged, std::string* why)
    {
        Exec("ROLLBACK");
        int rc = Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK)
            return CheckFailed(rc, "cannot be written", damaged, why);
        int objects = 0;
        QueryInt("SELECT count(*) FROM sqlite_schema", &objects);
        if (objects == 0) {
            rc = Exec(kSchema);
            if (rc == SQLITE_OK) {
                std::string pragmas = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                                      "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
                rc = Exec(pragmas.c_str());
            }
            if (rc != SQLITE_OK)
                return CheckFailed(rc, "cannot be initialised", damaged, why);
        }
        rc = Exec("COMMIT");
        if (rc != SQLITE_OK)
            return CheckFailed(rc, "cannot be initialised", damaged, why);
        return SQLITE_OK;
    }

    // Inside Validate's read transaction, in a file of our kind and version:
    // the schema must be exactly ours (a view or trigger in place of a table
    // is refused), the file sound and the root key there.
    int CheckSchemaAndContents(bool* damaged, std::string* why)
    {
        std::vector<std::pair<std::string, std::string>> found;
        int rc = sqlite3_exec(
            db, "SELECT type, name FROM sqlite_schema ORDER BY name",
            [](void* out, int count, char** values, char**) {
                auto* list = static_cast<std::vector<std::pair<std::string, std::string>>*>(out);
                if (count == 2)
                    list->emplace_back(values[0] ? values[0] : "", values[1] ? values[1] : "");
                return 0;
            },
            &found, nullptr);
        if (rc != SQLITE_OK)
            return CheckFailed(rc, "schema cannot be read", damaged, why);
        bool schemaMatches = found.size() == std::size(kExpectedObjects);
        for (std::size_t i = 0; schemaMatches && i < found.size(); ++i)
            schemaMatches = found[i].first == kExpectedObjects[i][0] && found[i].second == kExpectedObjects[i][1];
        if (!schemaMatches)
            return NotOurs(SQLITE_NOTADB, "schema is not a registry store's", damaged, why);

        std::string check;
        rc = sqlite3_exec(
            db, "PRAGMA integrity_check",
            [](void* out, int, char** values, char**) {
                auto* text = static_cast<std::string*>(out);
                if (text->empty() && values[0] != nullptr)
                    *text = values[0];
                return 0;
            },
            &check, nullptr);
        if (rc != SQLITE_OK)
            return CheckFailed(rc, "integrity check failed", damaged, why);
        if (check != "ok")
            return NotOurs(SQLITE_CORRUPT, "integrity check: " + check, damaged, why);
        int roots = 0;
        rc = QueryInt("SELECT count(*) FROM keys WHERE id = 1 AND parent IS NULL", &roots);
        if (rc != SQLITE_OK)
            return CheckFailed(rc, "keys cannot be read", damaged, why);
        if (roots != 1)
            return NotOurs(SQLITE_CORRUPT, "root key missing", damaged, why);
        return SQLITE_OK;
    }

    // Moves a damaged file (and any journal of it) out of the way and says so.
    void SetAside(const std::string& file, const std::string& why)
    {
        CloseConnection();
        ++generation;
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || st.st_dev != device || st.st_ino != inode) {
            // Another process set it aside already; a new file is in place.
            return;
        }
        std::string aside = file + ".damaged-" + TimeText() + "-" + std::to_string(::getpid());
        for (int n = 2; ::access(aside.c_str(), F_OK) == 0; ++n)
            aside = file + ".damaged-" + TimeText() + "-" + std::to_string(::getpid()) + "-" + std::to_string(n);
        if (::rename(file.c_str(), aside.c_str()) != 0) {
            Report("brindle: registry store " + file + " is damaged (" + why + ") and cannot be moved aside: " +
                   std::strerror(errno));
            return;
        }
        // A journal belongs to the file it was written for: left behind, it
        // would be played into the new store.
        for (const char* suffix : {"-journal", "-wal", "-shm"}) {
            std::string from = file + suffix;
            if (::access(from.c_str(), F_OK) == 0)
                ::rename(from.c_str(), (aside + suffix).c_str());
        }
        Report("brindle: registry store " + file + " is damaged (" + why + "); moved aside to " + aside +
               ", starting an empty store");
    }

    LONG Connect(const std::string& file)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::string dir = file.substr(0, file.find_last_of('/'));
            mode_t dirMode = root == RegistryRoot::CurrentUser ? 0700 : 0755;
            mode_t fileMode = root == RegistryRoot::CurrentUser ? 0600 : 0644;
            MakeDirectories(dir, dirMode);
            // Made here so the file (and its journals, which copy its mode)
            // never passes through the process umask's permissions.
            int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, fileMode);
            bool writable = fd >= 0;
            if (fd >= 0)
                ::close(fd);
            int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
            int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
            if (rc != SQLITE_OK) {
                sqlite3_close_v2(db);
                db = nullptr;
                return writable ? MapSqlite(rc) : ERROR_ACCESS_DENIED;
            }
            struct stat st {};
            if (::stat(file.c_str(), &st) == 0) {
                device = st.st_dev;
                inode = st.st_ino;
            }
            sqlite3_extended_result_codes(db, 1);
            sqlite3_busy_timeout(db, kBusyTimeoutMs);
            sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
            sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
            Exec("PRAGMA synchronous = FULL");
            bool damaged = false;
            std::string why;
            rc = Validate(&damaged, &why);
            if (rc == SQLITE_OK) {
                path = file;
                return ERROR_SUCCESS;
            }
            if (!damaged) {
                CloseConnection();
                return MapSqlite(rc);
            }
            SetAside(file, why);
        }
        return ERROR_BADDB;
    }

    // Makes the connection for the file in force. Not inside a transaction:
    // a transaction keeps the connection it began on.
    LONG Ready()
    {
        if (forked)
            AbandonInheritedConnection();
        if (txnDepth > 0)
            return db != nullptr && generation == txnGeneration ? ERROR_SUCCESS : ERROR_BADDB;
        std::string file = ResolvePath();
        if (db != nullptr && file != path) {
            CloseConnection();
            ++generation;
        }
        if (db == nullptr)
            return Connect(file);
        return ERROR_SUCCESS;
    }

    // After an SQLite failure: a damaged file is set aside at once.
    LONG Failed(int rc)
    {
        if (db != nullptr && !sqlite3_get_autocommit(db) && txnDepth == 0)
            Exec("ROLLBACK");
        if (IsDamage(rc) && db != nullptr) {
            std::string file = path;
            SetAside(file, std::string("damage found while working: ") + sqlite3_errstr(rc));
        }
        if (txnDepth > 0)
            txnDoomed = true;
        return MapSqlite(rc);
    }

    // Runs one call: `body(rc)` returns the call's result and sets rc on an
    // SQLite failure. Outside a transaction of the caller, writes and calls
    // of several statements run in a transaction of their own.
    template <typename Body>
    LONG Run(bool write, bool severalStatements, Body&& body)
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
    LONG Resolve(RegKeyRef ref, std::int64_t* id) const
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
    LONG KeyExists(std::int64_t id, int& rc)
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
    LONG EnumRow(RegKeyRef key, Stmt which, DWORD index, int& rc, Deliver&& deliver)
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
    std::int64_t FindChild(std::int64_t parent, std::string_view name, int& rc)
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

    std::int64_t InsertChild(std::int64_t parent, std::string_view name, int& rc)
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
    LONG Walk(std::int64_t start, const std::vector<std::string_view>& segments, bool create, std::int64_t* id,
              bool* created, int& rc)
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
};

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
        for (Stmt which : {kDeleteTreeValues, kDeleteTreeKeys}) {
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
