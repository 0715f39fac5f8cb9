#include "status/ui/SourceStatusWindow.h"

#include "core/FrameTexts.h"
#include "core/ScreenController.h"
#include "core/ui/Pictures.h"
#include "core/FeedLibrary.h"
#include "zphsource/Source.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <ctime>
#include <utility>

namespace mavo {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString Q(const char* text) { return QString::fromUtf8(text); }

QIcon FeedStateIcon(FeedState state)
{
    QIcon icon;
    icon.addPixmap(FeedStateMark(state));
    icon.addPixmap(FeedStateMark(state).scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    return icon;
}

QLabel* ValueLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(Q(name));
    label->setTextFormat(Qt::PlainText);
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    // Room for a connect time such as "07 Dec 2026 00:31:16" in any font.
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("00 MMM 0000 00:00:00")) + 16);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

// ------------------------------------------------------------- listener

QEvent::Type CSourceStatusWindow::Listener::TimeEventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void CSourceStatusWindow::Listener::Wake(bool& pending, CWindowWake& wake)
{
    if (pending)
        return;
    pending = true;
    wake.Post();
}

void CSourceStatusWindow::Listener::OnKeyUpdate(unsigned key)
{
    std::lock_guard hold(m_lock);
    if (m_keys.size() >= kMaxPendingKeys) {
        ++m_dropped;
        return;
    }
    m_keys.push_back(key);
    Wake(m_keysPending, m_keysWake);
}

void CSourceStatusWindow::Listener::OnTimestamp(const Timestamp& timestamp)
{
    std::lock_guard hold(m_lock);
    m_timestamp = timestamp;
    Wake(m_timePending, m_timeWake);
}

std::deque<unsigned> CSourceStatusWindow::Listener::TakeKeys(unsigned long& dropped)
{
    std::lock_guard hold(m_lock);
    m_keysPending = false;
    dropped = m_dropped;
    m_dropped = 0;
    return std::exchange(m_keys, {});
}

std::optional<Timestamp> CSourceStatusWindow::Listener::TakeTimestamp()
{
    std::lock_guard hold(m_lock);
    m_timePending = false;
    return std::exchange(m_timestamp, std::nullopt);
}

void CSourceStatusWindow::Listener::DiscardTimestamp()
{
    std::lock_guard hold(m_lock);
    m_timestamp.reset();
}

// --------------------------------------------------------------- window

CSourceStatusWindow::CSourceStatusWindow(CScreenController& controller, QWidget* parent)
    : QDialog(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("SourceStatus"));
    setWindowTitle(Q(kSourceStatusTitle));
    setModal(false);

    auto* layout = new QVBoxLayout(this);

    auto* source = new QHBoxLayout;
    m_kind = new QLabel(Q(SourceKindText(0)), this);
    m_kind->setObjectName(QStringLiteral("Kind"));
    m_kind->setMinimumWidth(m_kind->fontMetrics().horizontalAdvance(QStringLiteral("Unknown")) + 12);
    m_address = new QLabel(this);
    m_address->setObjectName(QStringLiteral("Address"));
    m_address->setTextFormat(Qt::PlainText);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    source->addWidget(m_kind);
    source->addWidget(m_address, 1);
    layout->addLayout(source);

    auto* metrics = new QGroupBox(Q(kFeedMetricsGroup), this);
    auto* grid = new QGridLayout(metrics);
    m_connectTime = ValueLabel(metrics, "ConnectTime");
    m_packets = ValueLabel(metrics, "Packets");
    m_badPackets = ValueLabel(metrics, "BadPackets");
    m_maxDelay = ValueLabel(metrics, "MaxDelay");
    grid->addWidget(new QLabel(Q(kConnectTimeLabel), metrics), 0, 0);
    grid->addWidget(m_connectTime, 0, 1);
    grid->addWidget(new QLabel(Q(kPacketsLabel), metrics), 1, 0);
    grid->addWidget(m_packets, 1, 1);
    grid->addWidget(new QLabel(Q(kBadPacketsLabel), metrics), 2, 0);
    grid->addWidget(m_badPackets, 2, 1);
    grid->addWidget(new QLabel(Q(kMaxDelayLabel), metrics), 3, 0);
    grid->addWidget(m_maxDelay, 3, 1);
    m_reset = new QPushButton(Q(kResetButton), metrics);
    m_reset->setObjectName(QStringLiteral("Reset"));
    m_reset->setAutoDefault(false);
    grid->addWidget(m_reset, 3, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(metrics);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("Log"));
    m_list->setMinimumSize(360, 160);
    // Whole entries, scrolled sideways when long, never cut short: each
    // entry measured for itself (uniform sizes would take every line to be
    // as long as the first and cut the longer ones behind the edge).
    m_list->setUniformItemSizes(false);
    m_list->setTextElideMode(Qt::ElideNone);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(m_list, 1);

    m_lineBox = new QCheckBox(Q(kLogLineUpdatesSwitch), this);
    m_badBox = new QCheckBox(Q(kLogBadPacketsSwitch), this);
    m_timeBox = new QCheckBox(Q(kLogFeedTimesSwitch), this);
    layout->addWidget(m_lineBox);
    layout->addWidget(m_badBox);
    layout->addWidget(m_timeBox);

    // The library logs bad packets from the start.
    m_badBox->setChecked(true);
    m_controller.SetLogging(true);

    connect(m_reset, &QPushButton::clicked, this, [this] { ResetMetrics(); });
    connect(m_lineBox, &QCheckBox::toggled, this, [this](bool on) { SetLineLogging(on); });
    connect(m_badBox, &QCheckBox::toggled, this, [this](bool on) { SetBadPacketLogging(on); });

    setWindowIcon(FeedStateIcon(FeedState::Dead));
    m_listening = m_controller.Register(static_cast<TimestampClient*>(&m_listener));
}

CSourceStatusWindow::~CSourceStatusWindow()
{
    // No call-back of ours runs once these return.
    if (m_lineLogging) {
        m_controller.SetLineLogging(false);
        m_controller.Unregister(static_cast<KeyClient*>(&m_listener));
    }
    if (m_listening)
        m_controller.Unregister(static_cast<TimestampClient*>(&m_listener));
}

void CSourceStatusWindow::AddLog(const std::string& text)
{
    if (text.empty()) {
        m_log.Clear();
        m_list->clear();
        return;
    }
    const std::string& entry = m_log.Add(text, std::time(nullptr));
    for (std::size_t i = 0; i < m_log.LastTrimmed() && m_list->count() > 0; ++i)
        delete m_list->takeItem(0);
    auto* item = new QListWidgetItem(Q(entry), m_list);
    (void)item;
    m_list->scrollToBottom();
}

void CSourceStatusWindow::SetFeedState(FeedState state)
{
    AddLog(FeedStateText(state));
    m_feedState = (state == FeedState::Stale || state == FeedState::Live) ? state : FeedState::Dead;
    setWindowIcon(FeedStateIcon(m_feedState));
}

void CSourceStatusWindow::SetKind(int kind) { m_kind->setText(Q(SourceKindText(kind))); }

void CSourceStatusWindow::SetAddress(const std::string& address) { m_address->setText(Q(address)); }

QString CSourceStatusWindow::KindText() const { return m_kind->text(); }
QString CSourceStatusWindow::AddressText() const { return m_address->text(); }

void CSourceStatusWindow::SetLineLogging(bool on)
{
    if (m_lineBox->isChecked() != on) {
        m_lineBox->setChecked(on);  // comes back here through toggled
        return;
    }
    if (on == m_lineLogging)
        return;
    if (on) {
        AddLog(kStartLineLogging);
        m_lineLogging = m_controller.Register(static_cast<KeyClient*>(&m_listener));
        m_controller.SetLineLogging(m_lineLogging);
    } else {
        AddLog(kStopLineLogging);
        m_controller.SetLineLogging(false);
        m_controller.Unregister(static_cast<KeyClient*>(&m_listener));
        m_lineLogging = false;
        // Keys that were on their way are not logged once logging stopped.
        unsigned long dropped = 0;
        m_listener.TakeKeys(dropped);
    }
}

void CSourceStatusWindow::SetBadPacketLogging(bool on)
{
    if (m_badBox->isChecked() != on) {
        m_badBox->setChecked(on);
        return;
    }
    m_controller.SetLogging(on);
}

void CSourceStatusWindow::SetFeedTimeLogging(bool on) { m_timeBox->setChecked(on); }

void CSourceStatusWindow::ResetMetrics()
{
    if (ZPHSource* source = m_controller.GetSource())
        source->ResetMetrics();
    // A feed time still on its way carries the counts from before.
    m_listener.DiscardTimestamp();
    ShowMetrics(MetricTexts{});
}

void CSourceStatusWindow::ShowMetrics(const MetricTexts& texts)
{
    m_connectTime->setText(Q(texts.connectTime));
    m_packets->setText(Q(texts.packets));
    m_badPackets->setText(Q(texts.badPackets));
    m_maxDelay->setText(Q(texts.maxDelay));
}

MetricTexts CSourceStatusWindow::ShownMetrics() const
{
    return MetricTexts{m_connectTime->text().toStdString(), m_packets->text().toStdString(),
                       m_badPackets->text().toStdString(), m_maxDelay->text().toStdString()};
}

void CSourceStatusWindow::customEvent(QEvent* event)
{
    if (m_listener.IsKeysWake(event))
        OnKeys();
    else if (m_listener.IsTimeWake(event))
        OnFeedTime();
    else
        QDialog::customEvent(event);
}

void CSourceStatusWindow::OnKeys()
{
    unsigned long dropped = 0;
    const std::deque<unsigned> keys = m_listener.TakeKeys(dropped);
    if (!m_lineLogging)
        return;
    for (unsigned key : keys)
        AddLog(LineUpdateText(key));
    if (dropped > 0)
        AddLog(std::to_string(dropped) + " line updates arrived faster than they could be logged");
}

void CSourceStatusWindow::OnFeedTime()
{
    const std::optional<Timestamp> timestamp = m_listener.TakeTimestamp();
    if (!timestamp)
        return;
    if (m_timeBox->isChecked() && *timestamp->GetFeedTime() != '\0')
        AddLog(timestamp->GetFeedTime());
    ShowMetrics(MetricTextsOf(*timestamp));
}

} // namespace mavo
