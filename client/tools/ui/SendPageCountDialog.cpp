#include "tools/ui/SendPageCountDialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

namespace mavo {

CSendPageCountDialog::CSendPageCountDialog(const std::vector<std::string>& entries, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SendPageCountDialog"));
    setWindowTitle(QStringLiteral("Send Page Count"));
    setModal(true);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("Counts"));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    for (const std::string& entry : entries)
        m_list->addItem(QString::fromStdString(entry));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(240, 300);
}

} // namespace mavo
