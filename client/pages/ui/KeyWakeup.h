// CKeyWakeup: a window's key client. The feed thread offers every changed
// line's key; the keys the window watches wait, coalesced (CKeyUpdateQueue),
// and the first of them wakes the window once (CWindowWake). On the window
// thread, customEvent passes each event to Take, which for the wake-up
// returns the waiting keys in the order they came and re-arms it. A window
// that takes its keys later (at its next frame) asks Received instead and
// calls TakeWaiting then; until then further keys wait without waking it.
//
// Thread-safety: OnKeyUpdate from any thread; Watch, Take and Waiting from
// any thread too, though a window calls them on its own.
#pragma once

#include "core/ui/WindowWake.h"
#include "pages/KeyUpdateQueue.h"
#include "core/FeedLibrary.h"
#include "zph/Clients.h"

#include <optional>
#include <vector>

namespace mavo {

class CKeyWakeup final : public KeyClient {
public:
    explicit CKeyWakeup(QObject* window) : m_wake(window, CWindowWake::KeyUpdateType()) {}

    // The keys the window shows; others are dropped as they come.
    void Watch(const std::vector<unsigned>& keys) { m_queue.SetKeys(keys); }
    void OnKeyUpdate(unsigned key) override;
    // The waiting keys when event is the wake-up, else nothing.
    std::optional<std::vector<unsigned>> Take(const QEvent* event);
    // Whether event is the wake-up; the keys stay waiting.
    bool Received(const QEvent* event) { return m_wake.Received(event); }
    // The waiting keys, in the order they came; re-arms the wake-up.
    std::vector<unsigned> TakeWaiting() { return m_queue.Take(); }
    std::size_t Waiting() const { return m_queue.Waiting(); }
    // Drops the waiting keys (the window is emptied); a wake-up on its way
    // then finds none.
    void Discard() { m_queue.Take(); }

private:
    CKeyUpdateQueue m_queue;
    CWindowWake m_wake;
};

} // namespace mavo
