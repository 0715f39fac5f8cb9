#include "pages/ui/NewPageDialog.h"

#include "core/PageBounds.h"
#include "pages/MAVODoc.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace mavo {

namespace {
int g_lastPage = 1;
}

int CNewPageDialog::LastPage() { return g_lastPage; }
void CNewPageDialog::SetLastPage(int page) { g_lastPage = std::clamp(page, kFirstPage, kLastPage); }

CNewPageDialog::CNewPageDialog(QWidget* parent)
    : QDialog(parent), m_page(new QSpinBox(this)), m_plus(new QPushButton(QStringLiteral("+10"), this)),
      m_minus(new QPushButton(QStringLiteral("-10"), this))
{
    setWindowTitle(QStringLiteral("Add New Page"));
    setObjectName(QStringLiteral("AddNewPage"));
    m_page->setObjectName(QStringLiteral("Page"));
    m_page->setRange(kFirstPage, kLastPage);
    m_page->setValue(g_lastPage);
    m_plus->setAutoDefault(false);
    m_minus->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("What page?"), this));
    row->addWidget(m_page);
    row->addWidget(m_minus);
    row->addWidget(m_plus);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_plus, &QPushButton::clicked, this, [this] { m_page->setValue(AddTenPages(m_page->value())); });
    connect(m_minus, &QPushButton::clicked, this, [this] { m_page->setValue(SubtractTenPages(m_page->value())); });
}

int CNewPageDialog::Page() const { return m_page->value(); }
void CNewPageDialog::SetPage(int page) { m_page->setValue(page); }

void CNewPageDialog::accept()
{
    g_lastPage = m_page->value();
    QDialog::accept();
}

} // namespace mavo
