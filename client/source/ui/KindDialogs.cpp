#include "source/ui/KindDialogs.h"

#include "Brindle/base/RegSection.h"
#include "core/AppIdentity.h"
#include "core/FrameTexts.h"
#include "core/ui/MessageService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <charconv>

namespace mavo {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

constexpr const char* kNotAnInteger = "Please enter an integer.";

// The number in an edit field, read the same in every locale.
std::optional<int> ReadInteger(const QLineEdit* edit)
{
    const std::string text = edit->text().trimmed().toStdString();
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::optional<std::string> CheckInteger(const QLineEdit* edit, int low, int high)
{
    const std::optional<int> value = ReadInteger(edit);
    if (!value)
        return std::string(kNotAnInteger);
    if (*value < low || *value > high)
        return IntegerRangeText(low, high);
    return std::nullopt;
}

QLineEdit* NumberEdit(QWidget* parent, int value, const char* name)
{
    auto* edit = new QLineEdit(QString::number(value), parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(6);
    return edit;
}

QLabel* Label(const char* text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setBuddy(buddy);
    return label;
}

QComboBox* ChoiceBox(QWidget* parent, const char* name, std::initializer_list<const char*> texts)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (const char* text : texts)
        box->addItem(QString::fromLatin1(text));
    return box;
}

template <std::size_t N>
QComboBox* ChoiceBox(QWidget* parent, const char* name, const std::array<const char*, N>& texts)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (const char* text : texts)
        box->addItem(QString::fromLatin1(text));
    return box;
}

} // namespace

// ------------------------------------------------------------------ base

CKindDialog::CKindDialog(std::string connectionPath, CMessageService& messages, QWidget* parent)
    : QDialog(parent), m_path(std::move(connectionPath)), m_messages(messages)
{
    setModal(true);
}

void CKindDialog::FinishLayout(QLayout* controls)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CKindDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CKindDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CKindDialog::accept()
{
    if (const std::optional<std::string> refused = Check()) {
        m_messages.Show(this, QString::fromLatin1(kAppName), Q(*refused), CMessageService::Icon::Warning,
                        CMessageService::Buttons::Ok);
        return;
    }
    Brindle::CRegSection connection(HKEY_CURRENT_USER, m_path.c_str());
    if (!connection.IsOpen() || !Store(connection)) {
        m_messages.Show(this, QString::fromLatin1(kErrorCaption), QString::fromLatin1(kCannotSaveSettings),
                        CMessageService::Icon::Error, CMessageService::Buttons::Ok);
        return;
    }
    QDialog::accept();
}

// ---------------------------------------------------------------- socket

CSocketSettingsDialog::CSocketSettingsDialog(std::string connectionPath, CMessageService& messages, QWidget* parent)
    : CKindDialog(std::move(connectionPath), messages, parent)
{
    setObjectName(QStringLiteral("SocketSettingsDialog"));
    setWindowTitle(QStringLiteral("Socket Settings"));
    const SocketValues values = LoadSocketValues(Brindle::CRegSection(HKEY_CURRENT_USER, ConnectionPath().c_str()));

    m_host = new QLineEdit(Q(values.host), this);
    m_host->setObjectName(QStringLiteral("Host"));
    m_host->setMaxLength(79);
    m_host->setMinimumWidth(200);
    m_port = NumberEdit(this, values.port, "Port");
    m_secure = new QCheckBox(QStringLiteral("Secure connection"), this);
    m_secure->setObjectName(QStringLiteral("Secure"));
    m_secure->setChecked(values.secure);

    auto* grid = new QGridLayout;
    grid->addWidget(Label("Host / Address:", m_host, this), 0, 0);
    grid->addWidget(m_host, 0, 1);
    grid->addWidget(Label("Port:", m_port, this), 1, 0);
    grid->addWidget(m_port, 1, 1);
    grid->addWidget(m_secure, 2, 1);
    FinishLayout(grid);
}

SocketValues CSocketSettingsDialog::Values() const
{
    return SocketValues{S(m_host->text().trimmed()), ReadInteger(m_port).value_or(0), m_secure->isChecked()};
}

std::optional<std::string> CSocketSettingsDialog::Check()
{
    if (auto refused = CheckInteger(m_port, 1, 65535)) {
        m_port->setFocus();
        return refused;
    }
    return CheckSocketValues(Values());
}

bool CSocketSettingsDialog::Store(const Brindle::CRegSection& connection)
{
    return SaveSocketValues(connection, Values());
}

// ---------------------------------------------------------------- serial

CSerialSettingsDialog::CSerialSettingsDialog(std::string connectionPath, CMessageService& messages, QWidget* parent)
    : CKindDialog(std::move(connectionPath), messages, parent)
{
    setObjectName(QStringLiteral("SerialSettingsDialog"));
    setWindowTitle(QStringLiteral("Serial Port Settings"));
    m_values = LoadSerialValues(Brindle::CRegSection(HKEY_CURRENT_USER, ConnectionPath().c_str()));

    m_port = ChoiceBox(this, "Port", {"COM1", "COM2", "COM3", "COM4"});
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_port->setMinimumWidth(160);
    m_baud = ChoiceBox(this, "Baud", kSerialBaudTexts);
    m_parity = ChoiceBox(this, "Parity", kSerialParityTexts);
    m_stopBits = ChoiceBox(this, "StopBits", kSerialStopBitsTexts);
    m_byteSize = ChoiceBox(this, "ByteSize", kSerialByteSizeTexts);
    m_modem = new QCheckBox(QStringLiteral("Use dial-up modem connection"), this);
    m_modem->setObjectName(QStringLiteral("Modem"));
    m_device = new QLabel(this);
    m_device->setObjectName(QStringLiteral("Device"));
    m_device->setTextFormat(Qt::PlainText);

    // The stored texts, preselected (the loader made them known texts).
    m_port->setCurrentText(Q(m_values.port));
    m_baud->setCurrentText(Q(m_values.baud));
    m_parity->setCurrentText(Q(m_values.parity));
    m_stopBits->setCurrentText(Q(m_values.stopBits));
    m_byteSize->setCurrentText(Q(m_values.byteSize));
    m_modem->setChecked(m_values.dtrEnabled == 1);
    ShowDevice();

    connect(m_port, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        m_values.port = S(text.trimmed());
        ShowDevice();
    });
    connect(m_baud, &QComboBox::currentTextChanged, this, [this](const QString& t) { m_values.baud = S(t); });
    connect(m_parity, &QComboBox::currentTextChanged, this, [this](const QString& t) { m_values.parity = S(t); });
    connect(m_stopBits, &QComboBox::currentTextChanged, this, [this](const QString& t) { m_values.stopBits = S(t); });
    connect(m_byteSize, &QComboBox::currentTextChanged, this, [this](const QString& t) { m_values.byteSize = S(t); });
    // A stored 2 (DTR handshake) stays unless the user changes the box.
    connect(m_modem, &QCheckBox::toggled, this, [this](bool on) { m_values.dtrEnabled = on ? 1 : 0; });

    auto* grid = new QGridLayout;
    grid->addWidget(Label("Port:", m_port, this), 0, 0);
    grid->addWidget(m_port, 0, 1);
    grid->addWidget(m_device, 1, 1);
    grid->addWidget(Label("Baud:", m_baud, this), 2, 0);
    grid->addWidget(m_baud, 2, 1);
    grid->addWidget(Label("Parity:", m_parity, this), 3, 0);
    grid->addWidget(m_parity, 3, 1);
    grid->addWidget(Label("Stop Bits:", m_stopBits, this), 4, 0);
    grid->addWidget(m_stopBits, 4, 1);
    grid->addWidget(Label("Byte Size:", m_byteSize, this), 5, 0);
    grid->addWidget(m_byteSize, 5, 1);
    grid->addWidget(m_modem, 6, 0, 1, 2);
    FinishLayout(grid);
}

void CSerialSettingsDialog::ShowDevice()
{
    const std::string device = SerialDeviceOf(m_values.port);
    m_device->setText(device.empty() ? QStringLiteral("(no such device)") : QStringLiteral("Device: ") + Q(device));
}

std::optional<std::string> CSerialSettingsDialog::Check()
{
    return CheckSerialValues(m_values);
}

bool CSerialSettingsDialog::Store(const Brindle::CRegSection& connection)
{
    return SaveSerialValues(connection, m_values);
}

// -------------------------------------------------------------- database

CDatabaseSettingsDialog::CDatabaseSettingsDialog(std::string connectionPath, std::string machine,
                                                 const DatabaseDefaults& defaults, CMessageService& messages,
                                                 QWidget* parent)
    : CKindDialog(std::move(connectionPath), messages, parent), m_machine(std::move(machine))
{
    setObjectName(QStringLiteral("DatabaseSettingsDialog"));
    setWindowTitle(QStringLiteral("ZPHDB Settings"));
    const DatabaseValues values =
        LoadDatabaseValues(Brindle::CRegSection(HKEY_CURRENT_USER, ConnectionPath().c_str()), m_machine, defaults);

    m_host = new QLineEdit(Q(values.host), this);
    m_host->setObjectName(QStringLiteral("Host"));
    m_host->setMaxLength(63);
    m_host->setMinimumWidth(200);
    m_user = new QLineEdit(Q(values.user), this);
    m_user->setObjectName(QStringLiteral("UserId"));
    m_user->setMaxLength(63);
    m_port = NumberEdit(this, values.port, "Port");
    m_password = new QLineEdit(Q(values.password), this);
    m_password->setObjectName(QStringLiteral("Password"));
    m_password->setEchoMode(QLineEdit::Password);
    // The stored block keeps room for its terminating zero.
    m_password->setMaxLength(static_cast<int>(kPasswordMax));
    m_secure = new QCheckBox(QStringLiteral("Secure connection"), this);
    m_secure->setObjectName(QStringLiteral("Secure"));
    m_secure->setChecked(values.secure);

    auto* grid = new QGridLayout;
    grid->addWidget(Label("Host / Address:", m_host, this), 0, 0);
    grid->addWidget(m_host, 0, 1);
    grid->addWidget(Label("Username:", m_user, this), 1, 0);
    grid->addWidget(m_user, 1, 1);
    grid->addWidget(Label("Port:", m_port, this), 2, 0);
    grid->addWidget(m_port, 2, 1);
    grid->addWidget(Label("Password:", m_password, this), 3, 0);
    grid->addWidget(m_password, 3, 1);
    grid->addWidget(m_secure, 4, 1);
    FinishLayout(grid);
}

DatabaseValues CDatabaseSettingsDialog::Values() const
{
    return DatabaseValues{S(m_host->text().trimmed()), S(m_user->text().trimmed()), ReadInteger(m_port).value_or(0),
                          S(m_password->text()), m_secure->isChecked()};
}

std::optional<std::string> CDatabaseSettingsDialog::Check()
{
    if (auto refused = CheckInteger(m_port, 1, 65535)) {
        m_port->setFocus();
        return refused;
    }
    // Counted in stored bytes: a character outside ASCII takes several.
    auto refused = CheckDatabaseValues(Values());
    if (refused)
        m_password->setFocus();
    return refused;
}

bool CDatabaseSettingsDialog::Store(const Brindle::CRegSection& connection)
{
    return SaveDatabaseValues(connection, m_machine, Values());
}

// -------------------------------------------------------------- timeouts

CTimeoutDialog::CTimeoutDialog(std::string connectionPath, CMessageService& messages, QWidget* parent)
    : CKindDialog(std::move(connectionPath), messages, parent)
{
    setObjectName(QStringLiteral("TimeoutDialog"));
    setWindowTitle(QStringLiteral("Data Feed Timeout"));
    const int timeout = LoadTimeout(Brindle::CRegSection(HKEY_CURRENT_USER, ConnectionPath().c_str()));
    m_timeout = NumberEdit(this, timeout, "Timeout");
    auto* grid = new QGridLayout;
    grid->addWidget(Label("Timeout (sec):\n(0 = infinite)", m_timeout, this), 0, 0);
    grid->addWidget(m_timeout, 0, 1);
    FinishLayout(grid);
}

std::optional<std::string> CTimeoutDialog::Check()
{
    return CheckInteger(m_timeout, kTimeoutMin, kTimeoutMax);
}

bool CTimeoutDialog::Store(const Brindle::CRegSection& connection)
{
    return SaveTimeout(connection, ReadInteger(m_timeout).value_or(-1));
}

} // namespace mavo
