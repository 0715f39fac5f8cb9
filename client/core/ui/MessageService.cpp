#include "core/ui/MessageService.h"

#include "core/WindowPlace.h"

#include <QGuiApplication>
#include <QScreen>

namespace mavo {

int CMessageService::Show(QWidget* parent, const QString& caption, const QString& text, Icon icon, Buttons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::None: break;
    }
    switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    // Centred on its window, the ones opened on top of it further down.
    box.adjustSize();
    QRect owner;
    if (parent != nullptr && parent->window()->isVisible())
        owner = parent->window()->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        owner = screen->availableGeometry();
    if (owner.isValid()) {
        const PlaceRect place = CascadedOn(PlaceRect{owner.x(), owner.y(), owner.width(), owner.height()},
                                           box.width(), box.height(), m_open);
        box.move(place.x, place.y);
    }
    ++m_open;
    const int pressed = box.exec();
    --m_open;
    switch (pressed) {
    case QMessageBox::Yes: return Yes;
    case QMessageBox::No: return No;
    case QMessageBox::Cancel: return Cancel;
    default: return buttons == Buttons::Ok ? Ok : Cancel;
    }
}

} // namespace mavo
