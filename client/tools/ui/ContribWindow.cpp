#include "tools/ui/ContribWindow.h"

#include "tools/ToolTexts.h"

#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <ctime>

namespace mavo {

namespace {

// Draws "time\ttext" with the text at the tab stop: 40 dialog units are
// ten average character widths of the list's font.
class CTabStopDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static int TabStop(const QFontMetrics& metrics) { return metrics.averageCharWidth() * 10; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QString entry = opt.text;
        opt.text.clear();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

        const int tab = entry.indexOf(QLatin1Char('\t'));
        const QRect area = opt.rect.adjusted(3, 1, -3, -1);
        const int stop = TabStop(opt.fontMetrics);
        painter->save();
        painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                             : QPalette::Text));
        if (tab < 0) {
            painter->drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs, entry);
        } else {
            painter->drawText(area, Qt::AlignLeft | Qt::AlignTop, entry.left(tab));
            painter->drawText(area.adjusted(stop, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, entry.mid(tab + 1));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString entry = index.data(Qt::DisplayRole).toString();
        const QFontMetrics& metrics = option.fontMetrics;
        const QRect text = metrics.boundingRect(QRect(0, 0, 100000, 100000), Qt::AlignLeft | Qt::AlignTop,
                                                entry.mid(entry.indexOf(QLatin1Char('\t')) + 1));
        return QSize(TabStop(metrics) + text.width() + 6, std::max(text.height(), metrics.height()) + 2);
    }
};

} // namespace

CContribWindow::CContribWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ContribWindow"));
    setWindowTitle(QStringLiteral("Client Contributions"));
    setModal(false);
    setSizeGripEnabled(true);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("Entries"));
    m_list->setItemDelegate(new CTabStopDelegate(m_list));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(7, 7, 7, 7);
    layout->addWidget(m_list);
    resize(360, 200);
}

void CContribWindow::AddNotification(const std::string& text)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    AddEntry(ContribEntryText(local, text));
}

void CContribWindow::AddEntry(const std::string& entry)
{
    // Trimmed first, so the list never holds more than the cap.
    while (m_list->count() >= kMaxContribEntries)
        delete m_list->takeItem(0);
    m_list->addItem(QString::fromStdString(entry));
    m_list->scrollToBottom();
}

int CContribWindow::EntryCount() const { return m_list->count(); }

std::string CContribWindow::Entry(int index) const
{
    const QListWidgetItem* item = m_list->item(index);
    return item != nullptr ? item->text().toStdString() : std::string();
}

} // namespace mavo
