#include "core/ui/WindowWake.h"

#include "core/ui/FrameEvent.h"

#include <QCoreApplication>

namespace mavo {

CWindowWake::CWindowWake(QObject* window, QEvent::Type type) : m_window(window), m_type(type) {}

QEvent::Type CWindowWake::KeyUpdateType()
{
    return FrameEventType(MSG_KEY_UPDATE);
}

void CWindowWake::Post()
{
    auto* event = new QEvent(m_type);
    m_handover.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(m_window, event);
}

bool CWindowWake::Received(const QEvent* event)
{
    if (event->type() != m_type)
        return false;
    m_handover.load(std::memory_order_acquire);
    return true;
}

} // namespace mavo
