#include "core/ui/SplashWindow.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

namespace mavo {

CSplashWindow::CSplashWindow(const QPixmap& picture)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_picture(picture)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(m_picture.size());
}

CSplashWindow::~CSplashWindow()
{
    if (m_showing)
        qApp->removeEventFilter(this);
}

bool CSplashWindow::ShowOnce()
{
    if (m_shown)
        return false;
    m_shown = true;
    m_showing = true;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    // Key and button presses anywhere end it, not only those aimed at it.
    qApp->installEventFilter(this);
    m_timer.start(kShowMs, this);
    show();
    return true;
}

void CSplashWindow::Dismiss()
{
    if (!m_showing)
        return;
    m_showing = false;
    m_timer.stop();
    qApp->removeEventFilter(this);
    hide();
    emit Finished();
}

void CSplashWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

void CSplashWindow::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        Dismiss();
    else
        QWidget::timerEvent(event);
}

bool CSplashWindow::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        Dismiss();
        break;
    default:
        break;
    }
    return false;
}

} // namespace mavo
