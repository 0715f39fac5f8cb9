// Settings reads and writes per second through CRegSection, beside the cost
// floor (a raw prepared SQLite statement on the same store file) and Qt's
// QSettings in INI format doing the same work (one value read; one value
// written and made durable).
#include "Brindle/base/RegSection.h"
#include "TempDir.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef BRINDLE_BENCH_HAVE_QT
#include <QSettings>
#include <QString>
#endif

namespace {

constexpr int kValues = 1000;
constexpr const char* kSection = "Software/Halvern/MAVO/Bench";

struct Fixture {
    testsupport::ScopedRegistryDir dir;
    std::vector<std::string> names;
    Fixture()
    {
        Brindle::CRegSection section(HKEY_CURRENT_USER, kSection);
        for (int i = 0; i < kValues; ++i) {
            names.push_back("Value" + std::to_string(i));
        }
        HKEY key = section;
        RegTransaction txn(key);
        for (int i = 0; i < kValues; ++i)
            section.SetInt(names[static_cast<std::size_t>(i)].c_str(), i);
        txn.Commit();
    }
    std::string StoreFile() const { return dir.dir().str() + "/user.db"; }
};

Fixture& Shared()
{
    static Fixture fixture;
    return fixture;
}

// --- CRegSection ---------------------------------------------------------

void RegSection_Read(benchmark::State& state)
{
    Fixture& f = Shared();
    Brindle::CRegSection section(HKEY_CURRENT_USER, kSection);
    std::size_t i = 0;
    for (auto _ : state) {
        int value = 0;
        section.GetInt(f.names[i].c_str(), value, -1);
        benchmark::DoNotOptimize(value);
        i = (i + 1) % kValues;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RegSection_Read);

void RegSection_Write(benchmark::State& state)
{
    Fixture& f = Shared();
    Brindle::CRegSection section(HKEY_CURRENT_USER, kSection);
    std::size_t i = 0;
    int n = 0;
    for (auto _ : state) {
        section.SetInt(f.names[i].c_str(), ++n);
        i = (i + 1) % kValues;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RegSection_Write)->UseRealTime();

// --- raw SQLite on the same file: the floor -------------------------------

struct RawStore {
    sqlite3* db = nullptr;
    sqlite3_stmt* read = nullptr;
    sqlite3_stmt* write = nullptr;
    sqlite3_int64 key = 0;
    explicit RawStore(const std::string& file)
    {
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 30000);
        sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
        sqlite3_stmt* find = nullptr;
        sqlite3_prepare_v2(db, "SELECT key FROM vals WHERE fold = ?1", -1, &find, nullptr);
        sqlite3_bind_blob(find, 1, "VALUE0", 6, SQLITE_STATIC);
        if (sqlite3_step(find) == SQLITE_ROW)
            key = sqlite3_column_int64(find, 0);
        sqlite3_finalize(find);
        sqlite3_prepare_v3(db, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2", -1,
                           SQLITE_PREPARE_PERSISTENT, &read, nullptr);
        sqlite3_prepare_v3(db, "UPDATE vals SET data = ?3 WHERE key = ?1 AND fold = ?2", -1,
                           SQLITE_PREPARE_PERSISTENT, &write, nullptr);
    }
    ~RawStore()
    {
        sqlite3_finalize(read);
        sqlite3_finalize(write);
        sqlite3_close(db);
    }
};

std::vector<std::string> Folded(const Fixture& f)
{
    std::vector<std::string> folded;
    for (const std::string& name : f.names) {
        std::string up = name;
        for (char& c : up)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
        folded.push_back(up);
    }
    return folded;
}

void RawSqlite_Read(benchmark::State& state)
{
    Fixture& f = Shared();
    RawStore raw(f.StoreFile());
    std::vector<std::string> folded = Folded(f);
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& name = folded[i];
        sqlite3_bind_int64(raw.read, 1, raw.key);
        sqlite3_bind_blob(raw.read, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        int value = -1;
        if (sqlite3_step(raw.read) == SQLITE_ROW && sqlite3_column_bytes(raw.read, 1) == 4)
            std::memcpy(&value, sqlite3_column_blob(raw.read, 1), 4);
        sqlite3_reset(raw.read);
        benchmark::DoNotOptimize(value);
        i = (i + 1) % kValues;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RawSqlite_Read);

void RawSqlite_Write(benchmark::State& state)
{
    Fixture& f = Shared();
    RawStore raw(f.StoreFile());
    std::vector<std::string> folded = Folded(f);
    std::size_t i = 0;
    int n = 0;
    for (auto _ : state) {
        const std::string& name = folded[i];
        ++n;
        sqlite3_bind_int64(raw.write, 1, raw.key);
        sqlite3_bind_blob(raw.write, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        sqlite3_bind_blob(raw.write, 3, &n, 4, SQLITE_STATIC);
        sqlite3_step(raw.write);
        sqlite3_reset(raw.write);
        i = (i + 1) % kValues;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RawSqlite_Write)->UseRealTime();

// --- QSettings, INI format --------------------------------------------------

#ifdef BRINDLE_BENCH_HAVE_QT
struct IniFixture {
    testsupport::TempDir dir;
    std::unique_ptr<QSettings> settings;
    std::vector<QString> keys;
    IniFixture()
    {
        settings = std::make_unique<QSettings>(QString::fromStdString(dir.str() + "/bench.ini"), QSettings::IniFormat);
        for (int i = 0; i < kValues; ++i) {
            keys.push_back(QString("MAVO/Bench/Value%1").arg(i));
            settings->setValue(keys.back(), i);
        }
        settings->sync();
    }
};

IniFixture& Ini()
{
    static IniFixture fixture;
    return fixture;
}

void QSettingsIni_Read(benchmark::State& state)
{
    IniFixture& f = Ini();
    std::size_t i = 0;
    for (auto _ : state) {
        int value = f.settings->value(f.keys[i], -1).toInt();
        benchmark::DoNotOptimize(value);
        i = (i + 1) % kValues;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(QSettingsIni_Read);

void QSettingsIni_Write(benchmark::State& state)
{
    IniFixture& f = Ini();
    std::size_t i = 0;
    int n = 0;
    for (auto _ : state) {
        f.settings->setValue(f.keys[i], ++n);
        // Durable like a registry write: the file is written out now.
        f.settings->sync();
        i = (i + 1) % kValues;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(QSettingsIni_Write)->UseRealTime();
#endif

} // namespace

BENCHMARK_MAIN();
