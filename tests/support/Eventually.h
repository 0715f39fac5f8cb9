// Waits for a condition that another thread or process makes true: polls it
// until it holds or a generous limit has passed.
#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

// Whether pred held within `limit`, asked every `step`.
template <typename Pred>
bool Eventually(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(60),
                std::chrono::milliseconds step = std::chrono::milliseconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}

} // namespace testsupport
