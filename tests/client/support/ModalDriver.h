// Acts on a modal dialog once it is shown: polls the active modal widget
// (at most 15 s, generous for a loaded machine) and runs the action on it
// when it is of the wanted class. Used before the call that opens it.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace testsupport {

template <typename Dialog>
void OnModal(std::function<void(Dialog*)> action, int timeoutMs = 15000)
{
    auto deadline = std::make_shared<QDeadlineTimer>(timeoutMs);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action, deadline, poll] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            auto keep = poll;  // the action may open nested dialogs
            action(dialog);
            *keep = nullptr;
            return;
        }
        if (deadline->hasExpired()) {
            *poll = nullptr;
            return;
        }
        QTimer::singleShot(20, *poll);
    };
    QTimer::singleShot(0, *poll);
}

} // namespace testsupport
