#include "lists/ui/CustomerListDialog.h"

#include "lists/UserLists.h"
#include "lists/ui/TabbedItemDelegate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace mavo {

namespace {

QColor ToColour(ColorRef c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

} // namespace

CCustomerListDialog::CCustomerListDialog(const std::vector<CustomerEntry>& entries, bool disableCenter,
                                         bool disableCustomer, ColorRef myCustFG, ColorRef myCustBG, QWidget* parent)
    : QDialog(parent),
      m_editor(entries),
      m_list(new QListWidget(this)),
      m_number(new QLineEdit(this)),
      m_centre(new QComboBox(this)),
      m_add(new QPushButton(QStringLiteral("Add"), this)),
      m_remove(new QPushButton(QStringLiteral("Remove"), this)),
      m_disableCenter(new QCheckBox(QStringLiteral("Disable center colors"), this)),
      m_disableCustomer(new QCheckBox(QStringLiteral("Disable my customer colors"), this)),
      m_fgButton(new QPushButton(QStringLiteral("FG"), this)),
      m_bgButton(new QPushButton(QStringLiteral("BG"), this)),
      m_sample(new QLabel(QStringLiteral("123"), this)),
      m_fg(myCustFG),
      m_bg(myCustBG)
{
    setWindowTitle(QStringLiteral("Customer List"));
    setObjectName(QStringLiteral("CustomerList"));
    m_list->setObjectName(QStringLiteral("Customers"));
    m_list->setItemDelegate(new CTabbedItemDelegate(8, m_list));
    m_list->setMinimumSize(180, 200);
    m_number->setObjectName(QStringLiteral("Number"));
    m_number->setMaxLength(CCustomerListEditor::kNumberChars);
    m_number->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_number));
    m_centre->setObjectName(QStringLiteral("Centre"));
    for (int i = 0; i < kCentreCount; ++i)
        m_centre->addItem(QString::fromUtf8(CentreName(i)));
    m_centre->setCurrentIndex(0);
    for (QPushButton* b : {m_add, m_remove, m_fgButton, m_bgButton})
        b->setAutoDefault(false);
    m_disableCenter->setChecked(disableCenter);
    m_disableCustomer->setChecked(disableCustomer);
    m_sample->setObjectName(QStringLiteral("Sample"));
    m_sample->setAlignment(Qt::AlignCenter);
    m_sample->setAutoFillBackground(true);
    m_sample->setMinimumWidth(48);
    m_sample->setFrameShape(QFrame::Box);

    for (const CustomerEntry& e : m_editor.Entries())
        m_list->addItem(QString::fromStdString(CustomerEntryText(e)));

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Customer:"), this), 0, 0);
    fields->addWidget(m_number, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Center:"), this), 1, 0);
    fields->addWidget(m_centre, 1, 1);
    auto* addRemove = new QHBoxLayout;
    addRemove->addWidget(m_add);
    addRemove->addWidget(m_remove);
    auto* colours = new QHBoxLayout;
    colours->addWidget(m_fgButton);
    colours->addWidget(m_bgButton);
    colours->addWidget(m_sample, 1);
    auto* right = new QVBoxLayout;
    right->addLayout(fields);
    right->addLayout(addRemove);
    right->addSpacing(8);
    right->addWidget(m_disableCenter);
    right->addWidget(m_disableCustomer);
    right->addLayout(colours);
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
    connect(m_number, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_showing)
            return;
        m_editor.SetNumberText(text.toStdString());
        ShowEditor();
    });
    connect(m_centre, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_showing)
            return;
        m_editor.SetCentre(index);
        ShowEditor();
    });
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_showing)
            return;
        m_editor.Select(row);
        ShowEditor();
    });
    connect(m_add, &QPushButton::clicked, this, [this] {
        if (m_editor.Add())
            m_list->addItem(QString::fromStdString(CustomerEntryText(m_editor.Entries().back())));
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
    connect(m_fgButton, &QPushButton::clicked, this, [this] { Choose(true); });
    connect(m_bgButton, &QPushButton::clicked, this, [this] { Choose(false); });

    m_editor.SetNumberText({});
    ShowEditor();
    PaintSample();
}

void CCustomerListDialog::ShowEditor()
{
    // Shows the editor's state without its own signals coming back.
    m_showing = true;
    const QString number = QString::fromStdString(m_editor.NumberText());
    if (m_number->text() != number)
        m_number->setText(number);
    if (m_centre->currentIndex() != m_editor.Centre())
        m_centre->setCurrentIndex(m_editor.Centre());
    const ListButtons& b = m_editor.Buttons();
    m_add->setEnabled(b.addEnabled);
    m_remove->setEnabled(b.removeEnabled);
    if (b.selected >= 0)
        m_list->setCurrentRow(b.selected);
    else
        m_list->setCurrentRow(-1);
    m_showing = false;
}

void CCustomerListDialog::Choose(bool foreground)
{
    if (!m_chooser)
        return;
    const std::optional<ColorRef> chosen = m_chooser(this, foreground ? m_fg : m_bg);
    if (!chosen)
        return;
    (foreground ? m_fg : m_bg) = *chosen & 0xFFFFFFu;
    if (m_coloursChanged)
        m_coloursChanged(m_fg, m_bg);
    PaintSample();
}

void CCustomerListDialog::PaintSample()
{
    QPalette palette = m_sample->palette();
    palette.setColor(QPalette::Window, ToColour(m_bg));
    palette.setColor(QPalette::WindowText, ToColour(m_fg));
    m_sample->setPalette(palette);
    m_sample->update();
}

std::vector<CustomerEntry> CCustomerListDialog::Entries() const { return m_editor.Entries(); }
bool CCustomerListDialog::DisableCenter() const { return m_disableCenter->isChecked(); }
bool CCustomerListDialog::DisableCustomer() const { return m_disableCustomer->isChecked(); }

} // namespace mavo
