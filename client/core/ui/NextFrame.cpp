#include "core/ui/NextFrame.h"

#include <chrono>

namespace mavo {

CNextFrame::CNextFrame(std::function<void()> handler)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, std::move(handler));
}

int CNextFrame::DelayFrom(long long microseconds)
{
    const long long untilNext = kFrameMicroseconds - microseconds % kFrameMicroseconds;
    // A timer counts whole milliseconds: rounding up lands just after the
    // frame's start, never before it.
    return static_cast<int>((untilNext + 999) / 1000);
}

void CNextFrame::Request()
{
    if (m_timer.isActive())
        return;
    const auto now =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch());
    m_timer.start(DelayFrom(now.count()));
}

} // namespace mavo
