#include "core/ui/WaitingDialog.h"

#include "core/FrameTexts.h"
#include "core/WindowPlace.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace mavo {

CWaitingDialog::CWaitingDialog(QWidget* parent) : QDialog(parent), m_text(new QLabel(this))
{
    setWindowTitle(QString::fromLatin1(kWaitingCaption));
    setWindowModality(Qt::WindowModal);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setMinimumWidth(280);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &CWaitingDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(buttons);
}

void CWaitingDialog::Begin(const QString& statusText)
{
    m_text->setText(QString::fromLatin1(kWaitingText) + statusText);
    if (!isVisible())
        open();
}

void CWaitingDialog::End()
{
    if (isVisible())
        QDialog::done(QDialog::Accepted);
}

void CWaitingDialog::showEvent(QShowEvent* event)
{
    if (QWidget* owner = parentWidget(); owner != nullptr && owner->window()->isVisible()) {
        const QRect frame = owner->window()->frameGeometry();
        adjustSize();
        const PlaceRect place =
            CentredOn(PlaceRect{frame.x(), frame.y(), frame.width(), frame.height()}, width(), height());
        move(place.x, place.y);
    }
    QDialog::showEvent(event);
}

void CWaitingDialog::reject()
{
    const bool wasOpen = isVisible();
    QDialog::reject();
    if (wasOpen)
        emit Cancelled();
}

} // namespace mavo
