// Acts on a dialog once it is shown: polls the shown windows (at most
// 15 s, generous for a loaded machine) and runs the action on the first
// visible one of the wanted class. Used before the call that opens it. The
// active modal widget is not enough: a window-modal dialog that opens
// meanwhile (the connection's waiting dialog) can lie above it.
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
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<Dialog*>(window);
            if (dialog == nullptr || !dialog->isVisible())
                continue;
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
