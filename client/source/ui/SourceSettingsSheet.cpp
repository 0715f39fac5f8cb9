#include "source/ui/SourceSettingsSheet.h"

#include "Brindle/base/RegSection.h"
#include "source/SourceKindValues.h"
#include "source/ui/KindDialogs.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>

namespace mavo {

namespace {
constexpr std::array<const char*, 3> kChoiceTexts{"Socket", "Serial Port", "ZPHDB"};
}

CSourceSettingsPage::CSourceSettingsPage(std::string connectionPath, SourceSheetContext context, QWidget* parent)
    : QWidget(parent), m_path(std::move(connectionPath)), m_context(std::move(context))
{
    m_kind = LoadSourceKind(Brindle::CRegSection(HKEY_CURRENT_USER, m_path.c_str()));

    auto* box = new QGroupBox(QStringLiteral("Source"), this);
    auto* grid = new QGridLayout(box);
    m_group = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        auto* choice = new QRadioButton(QString::fromLatin1(kChoiceTexts[static_cast<std::size_t>(i)]), box);
        choice->setObjectName(QStringLiteral("Choice%1").arg(i + 1));
        auto* settings = new QPushButton(QStringLiteral("Settings"), box);
        settings->setObjectName(QStringLiteral("Settings%1").arg(i + 1));
        m_group->addButton(choice, i + 1);
        m_choices[static_cast<std::size_t>(i)] = choice;
        m_settings[static_cast<std::size_t>(i)] = settings;
        grid->addWidget(choice, i, 0);
        grid->addWidget(settings, i, 1);
        connect(settings, &QPushButton::clicked, this, [this, i] { OpenSettings(i); });
    }
    m_timeouts = new QPushButton(QStringLiteral("Timeouts"), this);
    m_timeouts->setObjectName(QStringLiteral("Timeouts"));
    connect(m_timeouts, &QPushButton::clicked, this, &CSourceSettingsPage::OpenTimeouts);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
        m_kind = id;
        UpdateButtons();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(m_timeouts);
    layout->addLayout(row);
    layout->addStretch(1);

    SetKind(m_kind);
}

void CSourceSettingsPage::SetKind(int kind)
{
    m_kind = kind;
    if (QAbstractButton* marked = m_group->button(kind)) {
        marked->setChecked(true);
    } else {
        // No choice: the group would keep one marked otherwise.
        m_group->setExclusive(false);
        for (QRadioButton* choice : m_choices)
            choice->setChecked(false);
        m_group->setExclusive(true);
    }
    UpdateButtons();
}

void CSourceSettingsPage::UpdateButtons()
{
    const KindButtons enabled = ButtonsForKind(m_kind);
    m_settings[0]->setEnabled(enabled.socket);
    m_settings[1]->setEnabled(enabled.serial);
    m_settings[2]->setEnabled(enabled.database);
    m_timeouts->setEnabled(enabled.timeouts);
}

void CSourceSettingsPage::OpenSettings(int index)
{
    std::unique_ptr<QDialog> dialog;
    CMessageService& messages = *m_context.messages;
    switch (index) {
    case 0: dialog = std::make_unique<CSocketSettingsDialog>(m_path, messages, this); break;
    case 1: dialog = std::make_unique<CSerialSettingsDialog>(m_path, messages, this); break;
    default:
        dialog = std::make_unique<CDatabaseSettingsDialog>(m_path, m_context.machine, m_context.defaults, messages,
                                                           this);
        break;
    }
    m_dialogStored = dialog->exec() == QDialog::Accepted || m_dialogStored;
}

void CSourceSettingsPage::OpenTimeouts()
{
    CTimeoutDialog dialog(m_path, *m_context.messages, this);
    m_dialogStored = dialog.exec() == QDialog::Accepted || m_dialogStored;
}

CSourceSettingsSheet::CSourceSettingsSheet(const std::string& controllerPath, const SourceSheetContext& context,
                                           QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SourceSettingsSheet"));
    setWindowTitle(QStringLiteral("Source Settings"));
    setModal(true);
    m_tabs = new QTabWidget(this);
    m_primary = new CSourceSettingsPage(controllerPath, context, m_tabs);
    m_primary->setObjectName(QStringLiteral("PrimaryPage"));
    m_backup = new CSourceSettingsPage(controllerPath + "/Backup", context, m_tabs);
    m_backup->setObjectName(QStringLiteral("BackupPage"));
    m_tabs->addTab(m_primary, QStringLiteral("Primary"));
    m_tabs->addTab(m_backup, QStringLiteral("Backup"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
}

} // namespace mavo
