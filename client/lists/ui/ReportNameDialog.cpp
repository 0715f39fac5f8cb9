#include "lists/ui/ReportNameDialog.h"

#include "lists/VolumeReport.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace mavo {

CReportNameDialog::CReportNameDialog(QWidget* parent) : QDialog(parent), m_edit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Enter Report Name"));
    setObjectName(QStringLiteral("EnterReportName"));
    m_edit->setObjectName(QStringLiteral("Name"));
    m_edit->setMaxLength(kReportNameChars);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Please enter the\nname of the report:"), this));
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (IsValidReportName(Name()))
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_edit, &QLineEdit::textChanged, this,
            [this] { m_ok->setEnabled(IsValidReportName(Name())); });
}

std::string CReportNameDialog::Name() const { return TrimReportName(m_edit->text().toStdString()); }

} // namespace mavo
