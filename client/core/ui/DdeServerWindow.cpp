#include "core/ui/DdeServerWindow.h"

#include "core/FrameLink.h"
#include "core/ui/FrameEvent.h"
#include "core/ui/MessageService.h"

#include "Brindle/base/Exception.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QListWidget>
#include <QPointer>
#include <QSocketNotifier>
#include <QVBoxLayout>

namespace mavo {

namespace {

constexpr const char* kWindowTitle = "DDE Server";
constexpr const char* kErrorCaption = "DDE Error";
constexpr const char* kCannotStart = "Unable to initialize DDE";

} // namespace

QEvent::Type CDdeServerWindow::UpdateEventType()
{
    return FrameEventType(MSG_DDE_MESSAGE);
}

CDdeServerWindow::CDdeServerWindow(ZPHController& controller, CMessageService& messages, QWidget* parent)
    : QDialog(parent), m_messages(messages)
{
    setObjectName(QStringLiteral("DdeServerWindow"));
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setModal(false);

    m_enable = new QCheckBox(QStringLiteral("Enable DDE Server"), this);
    m_live = new QCheckBox(QStringLiteral("Live Price Data"), this);
    m_history = new QCheckBox(QStringLiteral("History, Trade and Volume Data"), this);
    m_marketText = new QCheckBox(QStringLiteral("Market Text View"), this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ActivityList"));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setUniformItemSizes(true);
    m_list->setMinimumSize(320, 160);

    auto* layout = new QVBoxLayout(this);
    for (QWidget* box : {static_cast<QWidget*>(m_enable), static_cast<QWidget*>(m_live),
                         static_cast<QWidget*>(m_history), static_cast<QWidget*>(m_marketText)})
        layout->addWidget(box);
    layout->addWidget(m_list, 1);

    // The wake function runs on feed threads: it only posts one event to
    // this window, which outlives every call (the server leaves the feed
    // before the window goes).
    m_server = std::make_unique<CDDEServer>(
        controller, [this](const std::string& text) { AddLogEntry(text); },
        [this] { QCoreApplication::postEvent(this, new QEvent(UpdateEventType())); });

    connect(m_enable, &QCheckBox::toggled, this, &CDdeServerWindow::OnEnableToggled);
    connect(m_live, &QCheckBox::toggled, this, [this](bool on) { m_server->SetLive(on); });
    connect(m_history, &QCheckBox::toggled, this, [this](bool on) { m_server->SetHistory(on); });
    connect(m_marketText, &QCheckBox::toggled, this, [this](bool on) { m_server->SetMarketText(on); });
}

CDdeServerWindow::~CDdeServerWindow()
{
    StopServer();
}

void CDdeServerWindow::SetEnabledAtStart(bool enabled)
{
    {
        QSignalBlocker block(m_enable);
        m_enable->setChecked(enabled);
    }
    if (enabled && !StartServer()) {
        QSignalBlocker block(m_enable);
        m_enable->setChecked(false);
    }
}

bool CDdeServerWindow::IsEnabled() const
{
    return m_enable->isChecked();
}

void CDdeServerWindow::OnEnableToggled(bool on)
{
    if (on && !StartServer()) {
        QSignalBlocker block(m_enable);
        m_enable->setChecked(false);
        return;
    }
    if (!on)
        StopServer();
    if (m_enableChanged)
        m_enableChanged(on);
}

bool CDdeServerWindow::StartServer()
{
    if (m_server->IsRunning())
        return true;
    try {
        m_server->Start();
    } catch (const Brindle::CException&) {
        m_messages.Show(this, QString::fromLatin1(kErrorCaption), QString::fromLatin1(kCannotStart),
                        CMessageService::Icon::Error, CMessageService::Buttons::Ok);
        return false;
    }
    m_notifier = new QSocketNotifier(m_server->EventFd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { m_server->ProcessDde(); });
    return true;
}

void CDdeServerWindow::StopServer()
{
    delete m_notifier;  // before the descriptor it watches goes
    m_notifier = nullptr;
    if (m_server)
        m_server->Stop();
}

void CDdeServerWindow::AddLogEntry(const std::string& text)
{
    const std::size_t removed = m_log.Append(text);
    if (removed > 0) {
        // The oldest rows go together; one repaint for the lot.
        m_list->setUpdatesEnabled(false);
        for (std::size_t i = 0; i < removed && m_list->count() > 0; ++i)
            delete m_list->takeItem(0);
        m_list->setUpdatesEnabled(true);
    }
    m_list->addItem(QString::fromStdString(text));
    m_list->scrollToBottom();
}

void CDdeServerWindow::customEvent(QEvent* event)
{
    if (event->type() == UpdateEventType()) {
        m_server->ProcessUpdates();
        return;
    }
    QDialog::customEvent(event);
}

} // namespace mavo
