// CKeyUpdateQueue: the keys of changed lines on their way from the feed
// thread to a page window, coalesced.
//
// The window tells the queue which keys it shows (SetKeys). The feed
// thread offers each changed key: a key the window does not show is
// dropped; a key already waiting is not queued twice; the first key after
// the window has taken the queue asks for one wake-up (Offer returns true),
// later ones ride on it. The window takes every waiting key at once (Take),
// which re-arms the wake-up. So a flood of updates holds at most one entry
// per shown key and one wake-up in the window's event queue.
//
// Thread-safety: every member from any thread; one lock, held briefly.
#pragma once

#include <mutex>
#include <unordered_set>
#include <vector>

namespace mavo {

class CKeyUpdateQueue {
public:
    void SetKeys(const std::vector<unsigned>& keys);
    // True when the caller must post a wake-up.
    bool Offer(unsigned key);
    // The waiting keys in the order they first arrived.
    std::vector<unsigned> Take();
    std::size_t Waiting() const;

private:
    mutable std::mutex m_lock;
    std::unordered_set<unsigned> m_shown;
    std::unordered_set<unsigned> m_waitingSet;
    std::vector<unsigned> m_waiting;
    bool m_wakePosted = false;
};

} // namespace mavo
