#include "modem/ui/ModemDialog.h"

#include "Brindle/base/RegSection.h"
#include "core/FrameTexts.h"
#include "core/ui/MessageService.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace mavo {

namespace {

QString Q(const char* text) { return QString::fromUtf8(text); }

QEvent::Type StateEventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// The worker's state, as the original's message 1033 carried it.
class CDialStateEvent : public QEvent {
public:
    explicit CDialStateEvent(int state) : QEvent(StateEventType()), m_state(state) {}
    int State() const { return m_state; }

private:
    int m_state;
};

Brindle::CRegSection DialupSection(const std::string& root)
{
    return Brindle::CRegSection(HKEY_CURRENT_USER, (root + "/" + kDialupSection).c_str());
}

} // namespace

CModemDialog::CModemDialog(Brindle::CSerialPort& port, CMessageService& messages, std::string root,
                           QWidget* parent)
    : QDialog(parent), m_port(port), m_messages(messages), m_root(std::move(root))
{
    setObjectName(QStringLiteral("ModemDial"));
    setWindowTitle(Q(kModemDialTitle));
    setModal(true);

    m_dialer = MakeDialer({});

    auto* layout = new QHBoxLayout(this);
    auto* fields = new QGridLayout;
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("PhoneNumber"));
    m_number->setMaxLength(static_cast<int>(kMaxPhoneNumber));
    // Dial characters only: a line end typed or pasted in would end the
    // dial command and start one of its own.
    m_number->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9*#,!@WwPpTt ()\\-]{0,%1}").arg(kMaxPhoneNumber)), m_number));
    m_number->setMinimumWidth(m_number->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 24);
    m_status = new QLineEdit(this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setReadOnly(true);
    m_status->setFocusPolicy(Qt::NoFocus);
    auto* numberLabel = new QLabel(QStringLiteral("Phone Number:"), this);
    numberLabel->setBuddy(m_number);
    fields->addWidget(numberLabel, 0, 0);
    fields->addWidget(m_number, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Status:"), this), 1, 0);
    fields->addWidget(m_status, 1, 1);
    layout->addLayout(fields, 1);

    auto* buttons = new QVBoxLayout;
    m_dial = new QPushButton(QStringLiteral("Dial"), this);
    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_dial->setDefault(true);
    m_close->setAutoDefault(false);
    m_cancel->setAutoDefault(false);
    buttons->addWidget(m_dial);
    buttons->addWidget(m_close);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(m_number, &QLineEdit::textEdited, this, [this](const QString& text) { OnNumberEdited(text); });
    connect(m_dial, &QPushButton::clicked, this, [this] { Dial(); });
    connect(m_close, &QPushButton::clicked, this, [this] { CloseDialog(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });

    const std::string stored = LoadPhoneNumber(DialupSection(m_root));
    if (stored.empty()) {
        m_dial->setEnabled(false);
        SetStatus("Enter phone number");
    } else {
        m_number->setText(QString::fromStdString(stored));
        m_dial->setEnabled(true);
        SetStatus("Ready to dial");
    }
}

CModemDialog::~CModemDialog()
{
    // The worker posts to this object: it ends before the object does.
    m_dialer->Stop();
}

void CModemDialog::SetDialTiming(CModemDialer::Timing timing)
{
    if (m_dialer->HasWorker())
        return;
    m_dialer = MakeDialer(timing);
}

std::unique_ptr<CModemDialer> CModemDialog::MakeDialer(CModemDialer::Timing timing)
{
    return std::make_unique<CModemDialer>(
        [this](int state) {
            auto* event = new CDialStateEvent(state);
            m_handover.fetch_add(1, std::memory_order_release);
            QCoreApplication::postEvent(this, event);
        },
        timing);
}

QString CModemDialog::StatusText() const { return m_status->text(); }

void CModemDialog::SetStatus(const char* text) { m_status->setText(QString::fromUtf8(text)); }

void CModemDialog::OnNumberEdited(const QString& text)
{
    if (text.isEmpty()) {
        m_dial->setEnabled(false);
        SetStatus("Enter phone number...");
    } else {
        m_dial->setEnabled(true);
        SetStatus("Ready to dial");
    }
}

void CModemDialog::Dial()
{
    const std::string number = m_number->text().toStdString();
    if (!IsValidPhoneNumber(number))
        return;
    SavePhoneNumber(DialupSection(m_root), number);
    m_dial->setEnabled(false);
    if (m_dialer->IsDialing())
        return;
    if (!m_dialer->Start(m_port, number)) {
        // No worker: say so and let the user try again.
        OnState(DIAL_UNABLE);
    }
}

void CModemDialog::customEvent(QEvent* event)
{
    m_handover.load(std::memory_order_acquire);
    if (event->type() == StateEventType())
        OnState(static_cast<CDialStateEvent*>(event)->State());
    else
        QDialog::customEvent(event);
}

void CModemDialog::OnState(int state)
{
    m_state = state;
    switch (state) {
    case DIAL_DIALING:
        SetStatus("Dialing");
        m_dial->setEnabled(false);
        break;
    case DIAL_CONNECTED:
        SetStatus("Connected");
        m_dial->setEnabled(false);
        m_dialer->Stop();
        accept();
        break;
    case DIAL_BUSY:
        SetStatus("Busy");
        m_dial->setEnabled(true);
        m_dialer->Stop();
        break;
    default:
        SetStatus("Unable to connect");
        m_dial->setEnabled(true);
        m_dialer->Stop();
        break;
    }
}

void CModemDialog::CloseDialog()
{
    const bool dialingOrConnected = m_state == DIAL_DIALING || m_state == DIAL_CONNECTED;
    done(dialingOrConnected ? QDialog::Accepted : QDialog::Rejected);
}

void CModemDialog::reject()
{
    if (m_state == DIAL_CONNECTED &&
        m_messages.Show(this, Q(kHangupCaption), Q(kHangupQuestion), CMessageService::Icon::Question,
                        CMessageService::Buttons::YesNo) != CMessageService::Yes)
        return;
    done(QDialog::Rejected);
}

void CModemDialog::done(int result)
{
    m_dialer->Stop();
    QDialog::done(result);
}

} // namespace mavo
