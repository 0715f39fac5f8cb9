#include "core/ui/DialogChrome.h"

#include "core/ui/Pictures.h"

#include <QDialog>
#include <QEvent>
#include <QWindow>

namespace mavo {

Qt::WindowFlags CDialogChrome::DialogFlags(Qt::WindowFlags flags)
{
    flags &= ~(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowMinMaxButtonsHint);
    return flags | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint;
}

bool CDialogChrome::eventFilter(QObject* watched, QEvent* event)
{
    // Polish comes on the way to the first show: the native window may
    // exist already but is not on the screen, so its hints are set on it
    // directly (setWindowFlags would hide and remake it mid-show).
    if (event->type() == QEvent::Polish) {
        if (auto* dialog = qobject_cast<QDialog*>(watched); dialog != nullptr && dialog->isWindow()) {
            const Qt::WindowFlags wanted = DialogFlags(dialog->windowFlags());
            if (wanted != dialog->windowFlags()) {
                dialog->overrideWindowFlags(wanted);
                if (QWindow* window = dialog->windowHandle())
                    window->setFlags(wanted);
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace mavo
