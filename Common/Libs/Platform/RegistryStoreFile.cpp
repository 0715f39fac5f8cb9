#include "Platform/RegistryStoreImpl.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

namespace Platform {

namespace {

// "BREG": marks a database file as a registry store of ours.
constexpr int kApplicationId = 0x42524547;
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 30000;

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

} // namespace

std::string RegistryStore::Impl::ResolvePath() const
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

void RegistryStore::Impl::CloseConnection()
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
void RegistryStore::Impl::AbandonInheritedConnection()
{
    stmts.fill(nullptr);
    db = nullptr;
    forked = false;
    txnDepth = 0;
}

// One integer a query gives in its first column (0 when NULL).
int RegistryStore::Impl::QueryInt(const char* sql, int* value)
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
int RegistryStore::Impl::CheckFailed(int rc, const char* text, bool* damaged, std::string* why)
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
int RegistryStore::Impl::NotOurs(int rc, std::string text, bool* damaged, std::string* why)
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
int RegistryStore::Impl::Validate(bool* damaged, std::string* why)
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
int RegistryStore::Impl::MakeSchema(bool* damaged, std::string* why)
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
int RegistryStore::Impl::CheckSchemaAndContents(bool* damaged, std::string* why)
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
void RegistryStore::Impl::SetAside(const std::string& file, const std::string& why)
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

LONG RegistryStore::Impl::Connect(const std::string& file)
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
LONG RegistryStore::Impl::Ready()
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
LONG RegistryStore::Impl::Failed(int rc)
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

} // namespace Platform
