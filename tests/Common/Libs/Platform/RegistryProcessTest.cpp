// The store across processes: concurrent writers, a writer killed at any
// point, forked children, and damaged files.
#include "Platform/Registry.h"
#include "FileText.h"
#include "RegistryDwords.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int WaitExit(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class RegistryProcesses : public ::testing::Test {
protected:
    testsupport::ScopedRegistryDir m_dir;
    std::filesystem::path Dir() const { return m_dir.dir().path(); }

    // The files the store set aside as damaged.
    std::vector<std::string> Damaged() const
    {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
            std::string name = entry.path().filename().string();
            if (name.find(".damaged-") != std::string::npos)
                found.push_back(name);
        }
        return found;
    }
    // Makes HKCU\name with the store's complaints captured; what it reported.
    static std::string CreateReporting(const char* name, HKEY& key)
    {
        testing::internal::CaptureStderr();
        const LONG r = RegCreateKeyA(HKEY_CURRENT_USER, name, &key);
        std::string reported = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ERROR_SUCCESS, r);
        return reported;
    }
};

TEST_F(RegistryProcesses, TwoWritingProcessesLoseNothing)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Shared", &key));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "counter", 0));

    constexpr int kWrites = 100;
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // The child uses the parent's handle: the store opens its own
            // connection in the child.
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                std::string name = "c" + std::to_string(child) + "_" + std::to_string(i);
                failures += SetDword(key, name.c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS;
                RegTransaction txn(key);
                DWORD count = 0;
                failures += GetDword(key, "counter", &count) != ERROR_SUCCESS;
                failures += SetDword(key, "counter", count + 1) != ERROR_SUCCESS;
                failures += txn.Commit() != ERROR_SUCCESS;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children)
        EXPECT_EQ(0, WaitExit(pid));

    DWORD count = 0;
    ASSERT_EQ(ERROR_SUCCESS, GetDword(key, "counter", &count));
    EXPECT_EQ(2u * kWrites, count);
    for (int child = 0; child < 2; ++child) {
        for (int i = 0; i < kWrites; ++i) {
            std::string name = "c" + std::to_string(child) + "_" + std::to_string(i);
            DWORD value = 0xFFFFFFFF;
            ASSERT_EQ(ERROR_SUCCESS, GetDword(key, name.c_str(), &value)) << name;
            EXPECT_EQ(static_cast<DWORD>(i), value);
        }
    }
    // The parent's own connection still works after its children.
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "after", 1));
    RegCloseKey(key);
    EXPECT_TRUE(Damaged().empty());
}

TEST_F(RegistryProcesses, AWriterKilledAtAnyPointLeavesOldOrNewState)
{
    for (int round = 0; round < 4; ++round) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            HKEY key = nullptr;
            if (RegCreateKeyA(HKEY_CURRENT_USER, "Crash", &key) != ERROR_SUCCESS)
                _exit(2);
            std::vector<BYTE> blob(3000);
            for (DWORD i = 1;; ++i) {
                // A pair written together, a growing blob, and keys made and
                // deleted, so the kill lands in every kind of write.
                RegTransaction txn(key);
                SetDword(key, "a", i);
                std::memset(blob.data(), static_cast<int>(i & 0xFF), blob.size());
                RegSetValueExA(key, "blob", 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
                SetDword(key, "b", i);
                txn.Commit();
                HKEY sub = nullptr;
                std::string name = "k" + std::to_string(i % 7);
                RegCreateKeyA(key, name.c_str(), &sub);
                SetDword(sub, "v", i);
                RegCloseKey(sub);
                RegDeleteKeyA(key, ("k" + std::to_string((i + 3) % 7)).c_str());
            }
        }
        // Let the child get going, then kill it without warning.
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 70 * round));
        kill(pid, SIGKILL);
        EXPECT_EQ(128 + SIGKILL, WaitExit(pid));

        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Crash", &key));
        DWORD a = 0, b = 0;
        LONG ra = GetDword(key, "a", &a);
        LONG rb = GetDword(key, "b", &b);
        EXPECT_EQ(ra, rb);
        EXPECT_EQ(a, b) << "a transaction was torn in round " << round;
        BYTE blob[3000];
        DWORD type = 0, size = sizeof blob;
        if (RegQueryValueExA(key, "blob", nullptr, &type, blob, &size) == ERROR_SUCCESS) {
            EXPECT_EQ(sizeof blob, size);
            for (BYTE byte : blob)
                ASSERT_EQ(static_cast<BYTE>(a & 0xFF), byte);
        }
        // The store takes writes again.
        EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "alive", 1));
        RegCloseKey(key);
        ASSERT_TRUE(Damaged().empty()) << "round " << round;
    }
}

TEST_F(RegistryProcesses, ADamagedFileIsSetAsideAndReported)
{
    const std::filesystem::path file = Dir() / "user.db";
    const std::string data = "this is not a database, but it is somebody's data";
    std::ofstream(file, std::ios::binary) << data;
    HKEY key = nullptr;
    const std::string reported = CreateReporting("Fresh", key);
    EXPECT_NE(std::string::npos, reported.find("damaged")) << reported;
    EXPECT_NE(std::string::npos, reported.find(file.string())) << reported;

    const std::vector<std::string> aside = Damaged();
    ASSERT_EQ(1u, aside.size());
    EXPECT_EQ(data, testsupport::ReadFile(Dir() / aside[0]));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "v", 1));
    RegCloseKey(key);
}

TEST_F(RegistryProcesses, AnotherProgramsDatabaseIsNotTakenOver)
{
    const std::filesystem::path file = Dir() / "user.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file.c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", nullptr,
                                      nullptr, nullptr));
    sqlite3_close(db);

    HKEY key = nullptr;
    CreateReporting("Fresh", key);
    RegCloseKey(key);
    const std::vector<std::string> aside = Damaged();
    ASSERT_EQ(1u, aside.size());
    // Their data are intact in the file set aside.
    ASSERT_EQ(SQLITE_OK, sqlite3_open((Dir() / aside[0]).c_str(), &db));
    std::string text;
    sqlite3_exec(
        db, "SELECT text FROM notes",
        [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) = values[0];
            return 0;
        },
        &text, nullptr);
    sqlite3_close(db);
    EXPECT_EQ("mine", text);
}

TEST_F(RegistryProcesses, AStoreDamagedInsideIsSetAsideOnItsNextOpen)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Full", &key));
    std::vector<BYTE> blob(2000, 0x5A);
    for (int i = 0; i < 40; ++i)
        RegSetValueExA(key, ("v" + std::to_string(i)).c_str(), 0, REG_BINARY, blob.data(), 2000);
    RegCloseKey(key);
    {
        // Point the process elsewhere, so its connection to the file closes;
        // it comes back at the end of the block.
        testsupport::ScopedRegistryDir elsewhere;
        RegCreateKeyA(HKEY_CURRENT_USER, "x", &key);
        RegCloseKey(key);
    }
    // Scribble over the pages after the header page.
    {
        std::fstream io(Dir() / "user.db", std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(4096 + 100);
        std::string junk(30000, '\x7F');
        io.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    const std::string reported = CreateReporting("Full", key);
    EXPECT_NE(std::string::npos, reported.find("damaged")) << reported;
    EXPECT_EQ(1u, Damaged().size());
    // The new store is empty: the damaged values are not passed off as good.
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "v0", nullptr, nullptr, nullptr, &size));
    RegCloseKey(key);
}

} // namespace
