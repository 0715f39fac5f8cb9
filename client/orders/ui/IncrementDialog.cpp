#include "orders/ui/IncrementDialog.h"

#include "orders/OrderIncrement.h"

#include <QDialogButtonBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace mavo {

CIncrementDialog::CIncrementDialog(int current, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ChangeIncrement"));
    setWindowTitle(QStringLiteral("Change Increment"));
    auto* layout = new QVBoxLayout(this);
    for (const IncrementChoice& choice : IncrementChoices()) {
        auto* button = new QRadioButton(QString::fromLatin1(choice.choice), this);
        m_choices.push_back(button);
        layout->addWidget(button);
    }
    Choose(current);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int CIncrementDialog::Chosen() const
{
    for (std::size_t i = 0; i < m_choices.size(); ++i)
        if (m_choices[i]->isChecked())
            return static_cast<int>(i);
    return -1;
}

void CIncrementDialog::Choose(int index)
{
    if (index >= 0 && index < static_cast<int>(m_choices.size()))
        m_choices[static_cast<std::size_t>(index)]->setChecked(true);
}

int CIncrementDialog::Run(QWidget* parent, int current)
{
    CIncrementDialog dialog(current, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.Chosen() : -1;
}

} // namespace mavo
