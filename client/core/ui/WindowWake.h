// CWindowWake: the one way a feed thread wakes a window. The feed thread
// posts a wake-up event to the window (Post); the window, handling events on
// its own thread, asks Received whether an event is this wake-up. Whether a
// wake-up is already on its way is the caller's to know (its pending mark,
// kept with the data it hands over), so a flood posts one event, not one
// per update.
//
// Hand-over: Post releases before the event is queued and Received acquires
// before the event is used, so what the feed thread wrote before posting is
// seen by the window, even where Qt's own queue is invisible to a race
// checker.
//
// Thread-safety: Post from any thread; Received on the window's thread.
#pragma once

#include <QEvent>

#include <atomic>

class QObject;

namespace mavo {

class CWindowWake {
public:
    // type: the event type of this wake-up; a window with two kinds of
    // wake-up gives each its own.
    CWindowWake(QObject* window, QEvent::Type type);
    CWindowWake(const CWindowWake&) = delete;
    CWindowWake& operator=(const CWindowWake&) = delete;

    // The event type of a changed line's wake-up (message 1025), which no
    // frame message shares.
    static QEvent::Type KeyUpdateType();

    void Post();
    bool Received(const QEvent* event);

private:
    QObject* m_window;
    const QEvent::Type m_type;
    std::atomic<unsigned> m_handover{0};
};

} // namespace mavo
