#include "core/ui/DialogChrome.h"

#include "core/ui/Pictures.h"

#include <QDialog>
#include <QEvent>

namespace mavo {

Qt::WindowFlags CDialogChrome::DialogFlags(Qt::WindowFlags flags)
{
    flags &= ~(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowMinMaxButtonsHint);
    return flags | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint;
}

bool CDialogChrome::eventFilter(QObject* watched, QEvent* event)
{
    // Polish comes before the first show, while a change of flags costs
    // nothing yet.
    if (event->type() == QEvent::Polish) {
        if (auto* dialog = qobject_cast<QDialog*>(watched); dialog != nullptr && dialog->isWindow()) {
            const Qt::WindowFlags wanted = DialogFlags(dialog->windowFlags());
            if (wanted != dialog->windowFlags() && !dialog->isVisible())
                dialog->setWindowFlags(wanted);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace mavo
