// Helpers for tests of threads and the objects they share: gates, waits,
// threads started and joined, lock probes and thrown texts. Every wait has a generous time-out so a
// loaded machine slows the tests down but never fails them.
#pragma once

#include "Brindle/base/Exception.h"
#include "Eventually.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace threadtest {

inline constexpr std::chrono::seconds Patience{30};

// A one-way gate: threads wait until it is opened.
class Gate {
public:
    void Open()
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    bool WaitOpen(std::chrono::milliseconds timeout = Patience)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [this] { return m_open; });
    }
    bool IsOpen()
    {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_open;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

// Polls until pred() holds; false when it never did within the time-out.
template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = Patience)
{
    return testsupport::Eventually(pred, timeout, std::chrono::milliseconds(2));
}

// Runs fn(0) .. fn(n - 1) on n threads of their own and waits for them all.
template <typename Fn>
void OnThreads(int n, Fn fn)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i)
        threads.emplace_back(fn, i);
    for (auto& thread : threads)
        thread.join();
}

// Expects `fn` to throw CException with exactly `text` and `code`.
template <typename Fn>
void ExpectThrows(Fn fn, const char* text, DWORD code)
{
    try {
        fn();
        ADD_FAILURE() << "no exception, expected: " << text;
    } catch (const Brindle::CException& e) {
        EXPECT_STREQ(e.what(), text);
        EXPECT_EQ(e.GetLastError(), code);
    }
}

// Whether another thread could take the lock now (it lets go again at once).
template <typename Lock>
bool FreeElsewhere(Lock& lock)
{
    bool got = false;
    std::thread([&] {
        got = lock.try_acquire();
        if (got)
            lock.release();
    }).join();
    return got;
}

} // namespace threadtest
