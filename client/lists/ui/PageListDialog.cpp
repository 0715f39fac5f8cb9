#include "lists/ui/PageListDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace mavo {

CPageListDialog::CPageListDialog(const std::vector<int>& pages, CPageListEditor::PermissionTest permitted,
                                 PageChecking checking, QWidget* parent)
    : QDialog(parent),
      m_editor(pages, std::move(permitted)),
      m_list(new QListWidget(this)),
      m_page(new QSpinBox(this)),
      m_add(new QPushButton(QStringLiteral("Add"), this)),
      m_remove(new QPushButton(QStringLiteral("Remove"), this))
{
    setWindowTitle(QStringLiteral("Modify Page List"));
    setObjectName(QStringLiteral("ModifyPageList"));
    m_list->setObjectName(QStringLiteral("Pages"));
    m_list->setMinimumSize(90, 200);
    m_page->setObjectName(QStringLiteral("Page"));
    m_page->setRange(kFirstPage, kLastPage);
    m_page->setValue(m_editor.Page());
    m_add->setAutoDefault(false);
    m_remove->setAutoDefault(false);
    for (int page : m_editor.Pages())
        m_list->addItem(QString::number(page));

    auto* right = new QVBoxLayout;
    right->addWidget(m_page);
    right->addWidget(m_add);
    right->addWidget(m_remove);
    if (checking != PageChecking::NoBox) {
        m_disable = new QCheckBox(QStringLiteral("Disable page checking"), this);
        m_disable->setChecked(checking == PageChecking::Disabled);
        right->addWidget(m_disable);
    }
    right->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(right);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_page, &QSpinBox::valueChanged, this, [this](int page) {
        if (m_showing)
            return;
        m_editor.SetPage(page);
        ShowEditor();
    });
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_showing)
            return;
        m_editor.Select(row);
        ShowEditor();
    });
    connect(m_add, &QPushButton::clicked, this, [this] {
        switch (m_editor.Add()) {
        case CPageListEditor::AddResult::Added: m_list->addItem(QString::number(m_editor.Pages().back())); break;
        case CPageListEditor::AddResult::NoPermission:
            if (m_refusal)
                m_refusal(this);
            break;
        case CPageListEditor::AddResult::Disabled: break;
        }
        ShowEditor();
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        const int row = m_editor.Buttons().selected;
        if (m_editor.Remove()) {
            // The list moves its current row on; that is no user selection.
            m_showing = true;
            delete m_list->takeItem(row);
            m_showing = false;
        }
        ShowEditor();
    });
    ShowEditor();
}

void CPageListDialog::ShowEditor()
{
    m_showing = true;
    if (m_page->value() != m_editor.Page())
        m_page->setValue(m_editor.Page());
    const ListButtons& b = m_editor.Buttons();
    m_add->setEnabled(b.addEnabled);
    m_remove->setEnabled(b.removeEnabled);
    m_list->setCurrentRow(b.selected);
    m_showing = false;
}

bool CPageListDialog::DisablePages() const { return m_disable != nullptr && m_disable->isChecked(); }

} // namespace mavo
