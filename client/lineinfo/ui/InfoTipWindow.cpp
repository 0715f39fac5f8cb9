#include "lineinfo/ui/InfoTipWindow.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>

namespace mavo {

CInfoTipWindow::CInfoTipWindow(QWidget* parent)
    : QLabel(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("InfoTip"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setTextFormat(Qt::PlainText);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    setFont(font);
    setMargin(3);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xE1));
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
}

void CInfoTipWindow::ShowTip(const QString& text, const QPoint& screenPosition)
{
    if (text.isEmpty()) {
        HideTip();
        return;
    }
    if (text != this->text()) {
        setText(text);
        adjustSize();
    }
    QPoint corner = screenPosition + QPoint(kOffsetX, kOffsetY);
    // Kept on the pointer's screen: a tip near the right or bottom edge
    // opens towards the pointer instead.
    if (QScreen* screen = QGuiApplication::screenAt(screenPosition)) {
        const QRect area = screen->availableGeometry();
        if (corner.x() + width() > area.right())
            corner.setX(std::max(area.left(), screenPosition.x() - width() - 2));
        if (corner.y() + height() > area.bottom())
            corner.setY(std::max(area.top(), screenPosition.y() - height() - 2));
    }
    move(corner);
    if (!isVisible())
        show();
}

void CInfoTipWindow::HideTip()
{
    if (isVisible())
        hide();
}

} // namespace mavo
