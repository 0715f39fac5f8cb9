// The registry calls over the SQLite store: keys, values, names, order,
// bounds, deletion, access, remote connection, transactions and files.
#include "Platform/Registry.h"
#include "RegistryDwords.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Names = std::vector<std::string>;

void ExpectDword(HKEY key, const char* name, DWORD want)
{
    DWORD value = 0;
    EXPECT_EQ(ERROR_SUCCESS, GetDword(key, name, &value)) << name;
    EXPECT_EQ(want, value) << name;
}

class RegistryTest : public ::testing::Test {
protected:
    testsupport::ScopedRegistryDir m_dir;
    std::vector<HKEY> m_keys; // closed at the end; a second close is harmless

    void TearDown() override
    {
        for (HKEY key : m_keys)
            RegCloseKey(key);
    }
    HKEY Create(HKEY parent, const char* path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(parent, path, &key)) << path;
        m_keys.push_back(key);
        return key;
    }
    HKEY Open(HKEY parent, const char* path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(parent, path, &key)) << path;
        m_keys.push_back(key);
        return key;
    }
    static Names SubKeys(HKEY key)
    {
        Names names;
        char name[256];
        for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
            names.push_back(name);
        return names;
    }
    static Names ValueNames(HKEY key)
    {
        Names names;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD chars = sizeof name;
            if (RegEnumValueA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                return names;
            names.push_back(name);
        }
    }
};

TEST_F(RegistryTest, CreateReportsNewThenExistingAndOpenFindsOnlyExisting)
{
    HKEY key = nullptr;
    for (const DWORD expected : {DWORD(REG_CREATED_NEW_KEY), DWORD(REG_OPENED_EXISTING_KEY)}) {
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Halvern\\MAVO", 0, nullptr,
                                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition));
        EXPECT_EQ(expected, disposition);
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    }
    Open(HKEY_CURRENT_USER, "Software\\Halvern");
    // Twice: opening does not create.
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Nobody", &key));
    EXPECT_EQ(ERROR_NOT_SUPPORTED, RegCreateKeyExA(HKEY_CURRENT_USER, "Volatile", 0, nullptr, REG_OPTION_VOLATILE,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr));
}

TEST_F(RegistryTest, ClosedUnknownAndReadOnlyHandlesFailCleanly)
{
    HKEY key = Create(HKEY_CURRENT_USER, "A");
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    for (HKEY bad : {key, HKEY(nullptr), HKEY_CLASSES_ROOT})
        EXPECT_EQ(ERROR_INVALID_HANDLE, SetDword(bad, "x", 1));
    // A new key never gets the handle value of a closed one.
    EXPECT_NE(key, Create(HKEY_CURRENT_USER, "A"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER));

    // A read-only handle refuses every write, but opens what exists.
    Create(HKEY_CURRENT_USER, "Locked\\Existing");
    HKEY reader = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Locked", 0, KEY_READ, &reader));
    m_keys.push_back(reader);
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(reader, "x", 1));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(reader, "x"));
    HKEY sub = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyA(reader, "New", &sub));
    Create(reader, "Existing");
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Halvern");
    HKEY same = Open(HKEY_CURRENT_USER, "SOFTWARE\\hALVERN");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "PageCount", 7));
    ExpectDword(same, "PAGECOUNT", 7);
    // Writing under another case changes the value, not its name.
    ASSERT_EQ(ERROR_SUCCESS, SetDword(same, "pagecount", 8));
    EXPECT_EQ(Names{"PageCount"}, ValueNames(key));
    ExpectDword(key, "PageCount", 8);
    EXPECT_EQ(Names{"Halvern"}, SubKeys(Open(HKEY_CURRENT_USER, "software")));
}

TEST_F(RegistryTest, SubKeysEnumerateInUpperCaseFoldedOrderValuesInCreationOrder)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Order");
    for (const char* name : {"b", "_x", "2", "A", "10", "a1"})
        Create(key, name);
    // Folded to upper case: "10" < "2" < "A" < "A1" < "B" < "_X".
    EXPECT_EQ((Names{"10", "2", "A", "a1", "b", "_x"}), SubKeys(key));
    char name[8];
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(key, 6, name, sizeof name));

    // An overwritten value keeps its place; one made again goes last.
    for (const char* value : {"zeta", "Alpha", "mid", ""})
        ASSERT_EQ(ERROR_SUCCESS, SetDword(key, value, 1));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "ALPHA", 2));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "mid"));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "mid", 3));
    EXPECT_EQ((Names{"zeta", "Alpha", "", "mid"}), ValueNames(key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, "never"));
}

TEST_F(RegistryTest, DataComeBackByteExactWithTheirType)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Data");
    const char multi[] = "one\0two\0";
    const struct {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {"bin", REG_BINARY, {0x00, 0xFF, 0x0A, 0x00, 0x80}},
        {"raw", REG_SZ, {'a', 'b', 'c'}}, // no NUL
        {"multi", REG_MULTI_SZ, std::vector<BYTE>(multi, multi + sizeof multi)},
        {"empty", REG_BINARY, {}},
        {"odd", 0x1234, {0x00, 0xFF}},
    };
    for (const auto& c : cases) {
        const BYTE* data = c.data.empty() ? nullptr : c.data.data();
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, c.name, 0, c.type, data, static_cast<DWORD>(c.data.size())));
    }
    for (const auto& c : cases) {
        BYTE buffer[64];
        DWORD type = 0, size = sizeof buffer;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, c.name, nullptr, &type, buffer, &size)) << c.name;
        EXPECT_EQ(c.type, type) << c.name;
        EXPECT_EQ(c.data, std::vector<BYTE>(buffer, buffer + size)) << c.name;
    }
}

TEST_F(RegistryTest, ReadsNeverPassTheCallersBuffer)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Bounds");
    const char text[] = "0123456789";
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, "LongValueName", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text));
    BYTE buffer[16];
    std::memset(buffer, 0xAB, sizeof buffer);
    DWORD type = 0, size = 10;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "LongValueName", nullptr, &type, buffer, &size));
    EXPECT_EQ(sizeof text, size);
    for (BYTE b : buffer)
        EXPECT_EQ(0xAB, b);
    // Size only.
    size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "LongValueName", nullptr, &type, nullptr, &size));
    EXPECT_EQ(sizeof text, size);

    char name[8];
    std::memset(name, 'Z', sizeof name);
    DWORD chars = sizeof name;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(13u, chars);
    EXPECT_EQ(std::string(8, 'Z'), std::string(name, sizeof name));

    // Name fits, data do not: name delivered, data untouched.
    char bigName[32];
    chars = sizeof bigName;
    size = 4;
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key, 0, bigName, &chars, nullptr, &type, buffer, &size));
    EXPECT_STREQ("LongValueName", bigName);
    EXPECT_EQ(13u, chars);
    EXPECT_EQ(sizeof text, size);
    EXPECT_EQ(0xAB, buffer[0]);

    Create(key, "AVeryLongSubKeyName");
    chars = sizeof name;
    std::memset(name, 'Z', sizeof name);
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::string(8, 'Z'), std::string(name, sizeof name));
}

TEST_F(RegistryTest, DeletingAKeyTakesItsSubtreeAndItsHandlesFail)
{
    HKEY parent = Create(HKEY_CURRENT_USER, "Tree");
    HKEY child = Create(parent, "Child\\Grandchild");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(child, "v", 1));

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, "tree"));
    DWORD value = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, GetDword(child, "v", &value));
    EXPECT_EQ(ERROR_KEY_DELETED, SetDword(child, "v", 2));
    EXPECT_EQ(ERROR_KEY_DELETED, SetDword(parent, "v", 2));
    HKEY probe = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyA(parent, "again", &probe));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_CURRENT_USER, "Tree", &probe));

    // A key made again under the same name is another key: old handles stay dead.
    HKEY again = Create(HKEY_CURRENT_USER, "Tree\\Child\\Grandchild");
    EXPECT_EQ(ERROR_KEY_DELETED, GetDword(child, "v", &value));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetDword(again, "v", &value));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_CURRENT_USER, "Missing"));
}

TEST_F(RegistryTest, OverlongNamesAndDeletingThroughAnEmptyNameOrTheRootAreRefused)
{
    HKEY longest = nullptr;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyA(HKEY_CURRENT_USER, std::string(256, 'k').c_str(), &longest));
    longest = Create(HKEY_CURRENT_USER, std::string(255, 'k').c_str());
    EXPECT_EQ(ERROR_INVALID_PARAMETER, SetDword(longest, std::string(16384, 'v').c_str(), 1));

    HKEY key = Create(HKEY_CURRENT_USER, "Keep\\Inner");
    HKEY keep = Open(HKEY_CURRENT_USER, "Keep");
    for (const char* name : {"", static_cast<const char*>(nullptr), "\\"})
        EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(keep, name));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(HKEY_CURRENT_USER, ""));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "still", 1));
}

TEST_F(RegistryTest, QueryInfoCountsAndMeasures)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Info");
    Create(key, "abc");
    Create(key, "abcdef");
    const BYTE data[100] = {};
    RegSetValueExA(key, "v", 0, REG_BINARY, data, sizeof data);
    RegSetValueExA(key, "longer", 0, REG_BINARY, data, 3);
    DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxValue = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values,
                                              &maxName, &maxValue, nullptr, nullptr));
    EXPECT_EQ((std::vector<DWORD>{2, 6, 2, 6, 100}), (std::vector<DWORD>{subKeys, maxSub, values, maxName, maxValue}));
}

TEST_F(RegistryTest, RemoteConnectionReachesOnlyThisMachine)
{
    ASSERT_EQ(ERROR_SUCCESS, SetDword(Create(HKEY_LOCAL_MACHINE, "Software\\Remote"), "seen", 5));
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::string backslashed = std::string("\\\\") + host;
    for (const char* machine : {static_cast<const char*>(nullptr), "", "localhost", "LOCALHOST",
                                static_cast<const char*>(host), backslashed.c_str()}) {
        SCOPED_TRACE(machine ? machine : "(null)");
        HKEY remote = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegConnectRegistryA(machine, HKEY_LOCAL_MACHINE, &remote));
        ExpectDword(Open(remote, "Software\\Remote"), "seen", 5);
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(remote));
    }
    HKEY remote = nullptr;
    EXPECT_EQ(ERROR_BAD_NETPATH, RegConnectRegistryA("elsewhere.invalid", HKEY_LOCAL_MACHINE, &remote));
    EXPECT_EQ(ERROR_BAD_NETPATH, RegConnectRegistryA("\\\\other", HKEY_CURRENT_USER, &remote));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegConnectRegistryA(nullptr, HKEY_CLASSES_ROOT, &remote));
}

TEST_F(RegistryTest, RootsAreSeparateStores)
{
    HKEY user = Create(HKEY_CURRENT_USER, "Same");
    HKEY machine = Create(HKEY_LOCAL_MACHINE, "Same");
    SetDword(user, "v", 1);
    SetDword(machine, "v", 2);
    ExpectDword(user, "v", 1);
    ExpectDword(machine, "v", 2);
    EXPECT_TRUE(std::filesystem::exists(m_dir.dir().path() / "user.db"));
    EXPECT_TRUE(std::filesystem::exists(m_dir.dir().path() / "machine.db"));
}

TEST_F(RegistryTest, TransactionCommitsAllOrRollsBackAll)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Txn");
    {
        RegTransaction txn(key);
        ASSERT_EQ(ERROR_SUCCESS, txn.Status());
        SetDword(key, "a", 1);
        Create(key, "made");
        // Destroyed without Commit.
    }
    EXPECT_TRUE(ValueNames(key).empty());
    EXPECT_TRUE(SubKeys(key).empty());
    {
        RegTransaction txn(key);
        SetDword(key, "a", 1);
        SetDword(key, "b", 2);
        EXPECT_EQ(ERROR_SUCCESS, txn.Commit());
    }
    EXPECT_EQ((Names{"a", "b"}), ValueNames(key));

    // An inner level that gives up takes the whole transaction with it.
    {
        RegTransaction outer(key);
        SetDword(key, "c", 3);
        {
            RegTransaction inner(HKEY_CURRENT_USER);
            ASSERT_EQ(ERROR_SUCCESS, inner.Status());
            SetDword(key, "d", 4);
        }
        EXPECT_EQ(ERROR_OPERATION_ABORTED, outer.Commit());
    }
    EXPECT_EQ((Names{"a", "b"}), ValueNames(key));

    // A read transaction refuses writes.
    {
        RegTransaction reading(key, RegTransaction::Mode::Read);
        EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(key, "e", 5));
    }
    RegCloseKey(key);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegTransaction(key).Status());
}

TEST_F(RegistryTest, OtherThreadsWaitForATransaction)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Wait");
    std::atomic<bool> written{false};
    std::thread other;
    {
        RegTransaction txn(key);
        SetDword(key, "first", 1);
        other = std::thread([&] {
            SetDword(key, "second", 2);
            written = true;
        });
        // The other thread cannot get in while the transaction runs.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(written.load());
        EXPECT_EQ(ERROR_SUCCESS, txn.Commit());
    }
    other.join();
    EXPECT_EQ((Names{"first", "second"}), ValueNames(key));
}

TEST_F(RegistryTest, ConcurrentThreadsLoseNoWrite)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Threads");
    SetDword(key, "count", 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([key] {
            for (int i = 0; i < 25; ++i) {
                RegTransaction txn(key);
                DWORD value = 0;
                GetDword(key, "count", &value);
                SetDword(key, "count", value + 1);
                txn.Commit();
            }
        });
    }
    for (auto& t : threads)
        t.join();
    ExpectDword(key, "count", 100);
}

TEST(RegistryFiles, DefaultUserStoreLivesUnderXdgConfigWithPrivateModes)
{
    testsupport::TempDir config;
    ::unsetenv("BRINDLE_REGISTRY_DIR");
    ::setenv("XDG_CONFIG_HOME", (config.path() / "cfg").c_str(), 1);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Software", &key));
    RegCloseKey(key);
    ::unsetenv("XDG_CONFIG_HOME");
    for (const auto& [path, mode] : {std::pair{"cfg/brindle", 0700u}, std::pair{"cfg/brindle/user.db", 0600u}}) {
        struct stat st {};
        ASSERT_EQ(0, ::stat((config.path() / path).c_str(), &st)) << path;
        EXPECT_EQ(mode, st.st_mode & 0777) << path;
    }
}

TEST(RegistryFiles, ChangingTheStoreDirectoryReachesANewStore)
{
    HKEY old = nullptr;
    {
        testsupport::ScopedRegistryDir first;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "First", &old));
        ASSERT_EQ(ERROR_SUCCESS, SetDword(old, "v", 1));
    }
    testsupport::ScopedRegistryDir second;
    HKEY probe = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_CURRENT_USER, "First", &probe));
    // A key of the old store does not reach into the new one.
    EXPECT_EQ(ERROR_KEY_DELETED, SetDword(old, "v", 1));
    RegCloseKey(old);
}

} // namespace
