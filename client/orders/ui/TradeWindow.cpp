#include "orders/ui/TradeWindow.h"

#include "core/ui/MessageService.h"
#include "orders/TradeWindowText.h"
#include "orders/ui/MaxQuantityDialog.h"
#include "orders/ui/OrderDialog.h"

#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace mavo {

namespace {

constexpr const char* kOrderCaption = "MAVO";
constexpr const char* kOrderNotSent = "The order could not be sent: the feed did not take it.";

QString Text(const std::string& text) { return QString::fromStdString(text); }

} // namespace

CTradeWindow::CTradeWindow(COrderDesk& desk, COrderIncrement& increment, CMessageService& messages, QWidget* parent)
    : QDialog(parent), m_desk(desk), m_increment(increment), m_messages(messages)
{
    setObjectName(QStringLiteral("TradeWindow"));
    setWindowTitle(Text(TradeWindowTitle(0)));
    m_runDialog = [](QDialog& dialog) { return dialog.exec(); };

    QFont bold = font();
    bold.setBold(true);
    m_issue = new QLabel(this);
    m_rates = new QLabel(this);
    m_quantities = new QLabel(this);
    for (QLabel* label : {m_issue, m_rates, m_quantities}) {
        label->setFont(bold);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("888.888 / 888.888")));
    }
    m_issue->setObjectName(QStringLiteral("Issue"));
    m_rates->setObjectName(QStringLiteral("Rates"));
    m_quantities->setObjectName(QStringLiteral("Quantities"));

    m_stats = new QTreeWidget(this);
    m_stats->setObjectName(QStringLiteral("Statistics"));
    m_stats->setColumnCount(kStatColumns);
    QStringList headers;
    for (const char* title : StatColumnTitles())
        headers << QString::fromLatin1(title);
    m_stats->setHeaderLabels(headers);
    m_stats->setRootIsDecorated(false);
    m_stats->setSelectionMode(QAbstractItemView::NoSelection);
    m_stats->setFocusPolicy(Qt::NoFocus);
    for (int row = 0; row < kStatRows; ++row)
        m_stats->addTopLevelItem(new QTreeWidgetItem(m_stats));
    const QFontMetrics metrics(m_stats->font());
    int width = 0;
    for (int column = 0; column < kStatColumns; ++column) {
        const int wanted = std::max(metrics.horizontalAdvance(headers[column]), metrics.horizontalAdvance(QStringLiteral("Last Trade"))) + 20;
        m_stats->setColumnWidth(column, wanted);
        width += wanted;
    }
    const int rowHeight = m_stats->sizeHintForRow(0) > 0 ? m_stats->sizeHintForRow(0) : metrics.height() + 4;
    m_stats->setFixedSize(width + 4, m_stats->header()->sizeHint().height() + kStatRows * rowHeight + 6);
    m_stats->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_stats->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_buttonPanel = new QWidget(this);
    m_buttonPanel->setObjectName(QStringLiteral("Buttons"));
    auto* grid = new QGridLayout(m_buttonPanel);
    grid->setContentsMargins(0, 0, 0, 0);
    const std::array<std::pair<TradeButton, const char*>, 6> buttons{{{TB_SELL, "Sell"},
                                                                       {TB_BID, "Bid"},
                                                                       {TB_BID_OUT, "Bid Out"},
                                                                       {TB_BUY, "Buy"},
                                                                       {TB_OFFER, "Offer"},
                                                                       {TB_OFFER_OUT, "Offer Out"}}};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        auto* button = new QPushButton(QString::fromLatin1(buttons[i].second), m_buttonPanel);
        button->setAutoDefault(false);
        button->setEnabled(false);
        const TradeButton id = buttons[i].first;
        connect(button, &QPushButton::clicked, this, [this, id] { Press(id); });
        grid->addWidget(button, static_cast<int>(i / 3), static_cast<int>(i % 3));
        m_buttons[i] = {id, button};
    }

    auto* prices = new QHBoxLayout;
    prices->addWidget(m_issue);
    prices->addWidget(m_rates);
    prices->addWidget(m_quantities);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(prices);
    layout->addWidget(m_stats);
    layout->addWidget(m_buttonPanel);
    m_buttonPanel->hide();
}

CTradeWindow::~CTradeWindow()
{
    if (m_registered)
        m_desk.Feed().Unregister(this);
}

QPushButton* CTradeWindow::Button(TradeButton button) const
{
    for (const auto& [id, widget] : m_buttons)
        if (id == button)
            return widget;
    return nullptr;
}

void CTradeWindow::OnLineClick(unsigned key, std::optional<QPoint> at, bool open)
{
    if (!open) {
        hide();
        return;
    }
    ShowLine(key);
    if (at)
        PlaceNear(*at);
    show();
    raise();
    activateWindow();
}

void CTradeWindow::ShowLine(unsigned key)
{
    COrderFeed& feed = m_desk.Feed();
    const unsigned previous = m_key;
    if (previous != 0)
        feed.MarkLine(previous, false);
    m_key = key;
    m_wakeup.Watch(key != 0 ? std::vector<unsigned>{key} : std::vector<unsigned>{});
    if (key != 0) {
        feed.MarkLine(key, true);
        if (!m_registered)
            m_registered = feed.Register(this);
    } else if (m_registered) {
        feed.Unregister(this);
        m_registered = false;
    }
    setWindowTitle(Text(TradeWindowTitle(key)));
    Fill();
}

void CTradeWindow::Fill()
{
    ++m_fills;
    const unsigned key = m_key;
    const LineRef line = key != 0 ? m_desk.Feed().GetLine(key) : LineRef();
    // A line that arrives after it was chosen (the saved line at start-up)
    // takes the mark when it comes.
    if (line && (line->m_lineFlags & kTradeWindowLineFlag) == 0)
        m_desk.Feed().MarkLine(key, true);
    const TradeWindowContent content = TradeWindowContentOf(line.get());
    m_issue->setText(Text(content.issue));
    m_rates->setText(Text(content.rates));
    m_quantities->setText(Text(content.quantities));
    for (int row = 0; row < kStatRows; ++row) {
        QTreeWidgetItem* item = m_stats->topLevelItem(row);
        for (int column = 0; column < kStatColumns; ++column)
            item->setText(column, Text(content.stats[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]));
    }
    const bool orderEntry = m_desk.Feed().OrderEntry();
    if (orderEntry != m_buttonPanel->isVisibleTo(this)) {
        m_buttonPanel->setVisible(orderEntry);
        adjustSize();
    }
    m_orderEntryShown = orderEntry;
    const unsigned mask = orderEntry && key != 0 ? m_desk.Buttons(key) : 0;
    for (const auto& [id, button] : m_buttons)
        button->setEnabled((mask & id) != 0);
}

void CTradeWindow::PlaceNear(const QPoint& pointer)
{
    QScreen* screen = QGuiApplication::screenAt(pointer);
    if (screen == nullptr)
        screen = this->screen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize size = frameGeometry().size().isValid() ? frameGeometry().size() : sizeHint();
    const PlaceRect place = PlaceNearPointer(pointer.x(), pointer.y(), size.width(), size.height(),
                                             PlaceRect{area.x(), area.y(), area.width(), area.height()});
    move(place.x, place.y);
}

void CTradeWindow::Press(TradeButton button)
{
    const unsigned key = m_key;
    OrderOutcome outcome = m_desk.Press(key, button);
    if (outcome == OrderOutcome::NeedsMaximum || outcome == OrderOutcome::NeedsTicket) {
        const LineRef line = m_desk.Feed().GetLine(key);
        outcome = OrderOutcome::Refused;
        if (line) {
            const bool bid = button == TB_SELL || button == TB_BID;
            if (button == TB_SELL || button == TB_BUY) {
                CMaxQuantityDialog dialog(*line, CMaxQuantityTicket(*line, bid), this);
                if (m_runDialog(dialog) == QDialog::Accepted && dialog.Ticket().CanSend())
                    outcome = m_desk.SendMaximum(key, bid, *dialog.Ticket().Quantity());
            } else {
                COrderDialog dialog(*line, COrderTicket(*line, bid), m_increment, this);
                if (m_runDialog(dialog) == QDialog::Accepted)
                    outcome = m_desk.SendTicket(key, dialog.Ticket());
            }
        }
    }
    Report(outcome);
    Fill();
}

void CTradeWindow::Report(OrderOutcome outcome)
{
    if (outcome == OrderOutcome::NotDelivered)
        m_messages.Show(this, QString::fromLatin1(kOrderCaption), QString::fromLatin1(kOrderNotSent),
                        CMessageService::Icon::Warning, CMessageService::Buttons::Ok);
}

void CTradeWindow::customEvent(QEvent* event)
{
    if (!m_wakeup.Take(event)) {
        QDialog::customEvent(event);
        return;
    }
    Fill();
}

} // namespace mavo
