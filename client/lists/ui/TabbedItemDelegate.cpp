#include "lists/ui/TabbedItemDelegate.h"

#include <QApplication>
#include <QPainter>

namespace mavo {

void CTabbedItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    QStyle* style = opt.widget != nullptr ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget).adjusted(2, 0, -2, 0);
    const int stop = std::max(1, m_stopChars * opt.fontMetrics.averageCharWidth());
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    int x = area.left();
    const QStringList parts = text.split(QLatin1Char('\t'));
    for (int i = 0; i < parts.size(); ++i) {
        if (i > 0)
            x = area.left() + ((x - area.left()) / stop + 1) * stop;
        const QRect cell(x, area.top(), std::max(0, area.right() - x), area.height());
        painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, parts[i]);
        x += opt.fontMetrics.horizontalAdvance(parts[i]);
    }
    painter->restore();
}

QSize CTabbedItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    const int stop = std::max(1, m_stopChars * option.fontMetrics.averageCharWidth());
    size.setWidth(std::max(size.width(), stop * static_cast<int>(text.count(QLatin1Char('\t')) + 1) +
                                             option.fontMetrics.horizontalAdvance(text.section(QLatin1Char('\t'), -1))));
    return size;
}

} // namespace mavo
