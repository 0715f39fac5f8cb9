#include "tools/ui/ClockWindow.h"

#include "tools/ToolTexts.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <ctime>

namespace mavo {

CClockWindow::CClockWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ClockWindow"));
    setWindowTitle(QStringLiteral("Date and Time"));
    setModal(false);
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("Time"));
    m_text->setReadOnly(true);
    m_text->setAlignment(Qt::AlignCenter);
    // Room for the widest time ("28 Sep 2026 - 12:00:00 PM") in this font.
    m_text->setMinimumWidth(m_text->fontMetrics().horizontalAdvance(QStringLiteral("28 May 2026 - 12:00:00 PM")) + 24);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    Tick();
    m_timer.start(kTickMs, this);
}

QString CClockWindow::Text() const { return m_text->text(); }

void CClockWindow::Tick()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    m_text->setText(QString::fromStdString(ClockText(local)));
}

void CClockWindow::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        Tick();
    else
        QDialog::timerEvent(event);
}

} // namespace mavo
