// The settings store across fork(): a child forked while another thread of
// the parent is inside the store gets a store of its own. It reads what the
// parent committed and writes what the parent then reads, and never waits on
// a lock the parent's thread held.
#include "Platform/Registry.h"
#include "RegistryDwords.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(RegistryFork, AChildForkedWhileAnotherThreadWritesHasAStoreOfItsOwn)
{
    testsupport::ScopedRegistryDir dir;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Software/ForkTest", &key));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Before", 7));
    // A busy writer, as a window saving its place. It pauses while a child
    // runs, so the child's own writes never wait behind it: what is tested
    // is the fork in the middle of its writes, not two processes' contention.
    std::atomic<bool> stop{false}, paused{false};
    std::thread writer([&] {
        for (DWORD i = 0; !stop; ++i) {
            if (!paused)
                SetDword(key, "Busy", i);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    for (DWORD round = 1; round <= 3; ++round) {
        paused = false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // writing again
        const pid_t child = ::fork();
        paused = true;
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(20); // a child stuck on an inherited lock ends, and the test fails
            HKEY mine = nullptr;
            DWORD before = 0;
            const bool ok = RegOpenKeyA(HKEY_CURRENT_USER, "Software/ForkTest", &mine) == ERROR_SUCCESS
                            && GetDword(mine, "Before", &before) == ERROR_SUCCESS && before == 7
                            && SetDword(mine, "Child", round) == ERROR_SUCCESS;
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round << ": status " << status;
        DWORD written = 0;
        EXPECT_EQ(ERROR_SUCCESS, GetDword(key, "Child", &written));
        EXPECT_EQ(written, round);
    }
    stop = true;
    writer.join();
    RegCloseKey(key);
}

} // namespace
