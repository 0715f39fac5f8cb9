#include "pages/ui/PageMessages.h"

#include <QMessageBox>

namespace mavo {

PageAsker DefaultPageAsker()
{
    return [](QWidget* parent, const QString& caption, const QString& text, PageMessageKind kind) {
        switch (kind) {
        case PageMessageKind::Question:
            return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        case PageMessageKind::Stop: QMessageBox::critical(parent, caption, text); return true;
        case PageMessageKind::Information:
        default: QMessageBox::information(parent, caption, text); return true;
        }
    };
}

} // namespace mavo
