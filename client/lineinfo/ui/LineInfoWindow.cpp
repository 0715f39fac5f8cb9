#include "lineinfo/ui/LineInfoWindow.h"

#include "core/PageBounds.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

namespace mavo {

namespace {

bool ValidKey(unsigned key)
{
    int page = 0, line = 0;
    if (key == 0 || !ParseZPHKey(key, page, line))
        return false;
    return IsPageLine(page, line);
}

} // namespace

CLineInfoWindow::CLineInfoWindow(CPageFeed& feed, QWidget* parent)
    : QDialog(parent), m_feed(feed), m_wakeup(this)
{
    setObjectName(QStringLiteral("LineInformation"));
    setWindowTitle(QStringLiteral("Line Information"));
    setModal(false);

    m_bidSpread = new QLabel(QString::fromUtf8(kNoSpreadText), this);
    m_offerSpread = new QLabel(QString::fromUtf8(kNoSpreadText), this);
    m_stack = new QLabel(this);
    m_bidSpread->setObjectName(QStringLiteral("BidSpread"));
    m_offerSpread->setObjectName(QStringLiteral("OfferSpread"));
    m_stack->setObjectName(QStringLiteral("Stack"));
    // Feed texts are shown as they are, never read as markup.
    for (QLabel* label : {m_bidSpread, m_offerSpread, m_stack}) {
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    m_stack->setWordWrap(true);

    m_table = new QTableWidget(kLineInfoRows, kLineInfoColumns, this);
    QStringList titles;
    for (const char* title : kLineInfoColumnTitles)
        titles << QString::fromUtf8(title);
    m_table->setHorizontalHeaderLabels(titles);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    for (int row = 0; row < kLineInfoRows; ++row) {
        for (int column = 0; column < kLineInfoColumns; ++column)
            m_table->setItem(row, column, new QTableWidgetItem());
        m_table->item(row, 0)->setText(QString::fromUtf8(kLineInfoRowNames[static_cast<std::size_t>(row)]));
    }
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int tableHeight =
        m_table->horizontalHeader()->sizeHint().height() + kLineInfoRows * m_table->verticalHeader()->defaultSectionSize() +
        2 * m_table->frameWidth();
    m_table->setMinimumSize(380, tableHeight);

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_bidSpread, 0, 0);
    layout->addWidget(m_offerSpread, 0, 1);
    layout->addWidget(m_stack, 1, 0, 1, 2);
    layout->addWidget(m_table, 2, 0, 1, 2);

    m_registered = m_feed.Register(&m_wakeup);
}

CLineInfoWindow::~CLineInfoWindow()
{
    // Unregister returns only when no call-back is running: nothing posts
    // to this window once it is gone.
    if (m_registered)
        m_feed.Unregister(&m_wakeup);
    SetKey(0);
}

void CLineInfoWindow::SetKey(unsigned key)
{
    if (!ValidKey(key))
        key = 0;
    const unsigned old = m_key;
    if (key == old) {
        Refill();
        return;
    }
    // The new line's reference first, so a shared page is never let go
    // in between.
    if (key != 0)
        m_feed.AddRef(key);
    m_key = key;
    // Only the shown line wakes the window.
    m_wakeup.Watch(key != 0 ? std::vector<unsigned>{key} : std::vector<unsigned>{});
    if (old != 0)
        m_feed.Release(old);
    if (!Refill())
        RequestLine();
}

void CLineInfoWindow::RequestLine()
{
    int page = 0, line = 0;
    // A page the user may not see is never asked for (the feed would only
    // answer with a refusal).
    if (Key() != 0 && ParseZPHKey(Key(), page, line) && m_feed.GetPermission(page))
        m_feed.RequestPage(page);
}

bool CLineInfoWindow::Refill()
{
    const unsigned key = Key();
    if (key == 0)
        return false;
    const LineRef line = m_feed.Cache().GetForRead(key);
    if (!line)
        return false;
    Show(BuildLineInfoTexts(*line, m_feed.IsFullView()));
    return true;
}

void CLineInfoWindow::Show(const LineInfoTexts& texts)
{
    setWindowTitle(QString::fromStdString(texts.caption));
    m_bidSpread->setText(QString::fromStdString(texts.bidSpread));
    m_offerSpread->setText(QString::fromStdString(texts.offerSpread));
    m_stack->setText(QString::fromStdString(texts.stack));
    for (int row = 0; row < kLineInfoRows; ++row) {
        const LineInfoRow& r = texts.table[static_cast<std::size_t>(row)];
        m_table->item(row, 1)->setText(QString::fromStdString(r.total));
        m_table->item(row, 2)->setText(QString::fromStdString(r.bid));
        m_table->item(row, 3)->setText(QString::fromStdString(r.offer));
    }
}

void CLineInfoWindow::customEvent(QEvent* event)
{
    if (!m_wakeup.Take(event)) {
        QDialog::customEvent(event);
        return;
    }
    if (Refill())
        ++m_refills;
}

QString CLineInfoWindow::BidSpreadText() const { return m_bidSpread->text(); }
QString CLineInfoWindow::OfferSpreadText() const { return m_offerSpread->text(); }
QString CLineInfoWindow::StackText() const { return m_stack->text(); }

} // namespace mavo
