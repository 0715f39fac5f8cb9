// CNextFrame: calls its handler once at the next screen frame, however
// often it is asked for before then. Frames fall on one 60-a-second grid of
// the monotonic clock, so every window that asks in one frame is handled in
// the same pass of the event loop and the top-level window paints once.
//
// Thread-safety: the thread of the object's owner (a window thread).
#pragma once

#include <QTimer>

#include <functional>

namespace mavo {

class CNextFrame {
public:
    static constexpr long kFrameMicroseconds = 16667;

    explicit CNextFrame(std::function<void()> handler);
    CNextFrame(const CNextFrame&) = delete;
    CNextFrame& operator=(const CNextFrame&) = delete;

    // The handler runs at the next frame; asking again before then changes
    // nothing.
    void Request();
    bool Pending() const { return m_timer.isActive(); }
    // Milliseconds from a moment (microseconds of the monotonic clock) to
    // the frame after it.
    static int DelayFrom(long long microseconds);

private:
    QTimer m_timer;
};

} // namespace mavo
