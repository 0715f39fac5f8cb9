// CFrameEvent: a FrameMessage (FrameLink.h) as a Qt event, posted to the
// main window from a feed thread and handled on the window thread. The
// event owns its copy of the message's data; Qt deletes the event, and
// with it the copy, after handling (or when the receiver goes first).
//
// Event types are QEvent::User plus the message number less 1024, so each
// message of the original windows keeps its own event type.
//
// Thread-safety: made on any thread, handled on the receiver's.
#pragma once

#include "core/FrameLink.h"

#include <QEvent>

namespace mavo {

inline QEvent::Type FrameEventType(int messageId) { return static_cast<QEvent::Type>(QEvent::User + (messageId - 1024)); }

// The main window's messages: a changed line's key (1025) goes to the
// page windows, never to the main window, so it is not one of them.
inline bool IsFrameEventType(QEvent::Type type)
{
    return type > FrameEventType(MSG_KEY_UPDATE) && type <= FrameEventType(MSG_SOURCE_LOG);
}

class CFrameEvent : public QEvent {
public:
    explicit CFrameEvent(FrameMessage message) : QEvent(FrameEventType(message.id)), m_message(std::move(message)) {}
    const FrameMessage& Message() const { return m_message; }

private:
    FrameMessage m_message;
};

} // namespace mavo
