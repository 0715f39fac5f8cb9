// Draws list texts that hold tabs ("%d\t%s") in columns, as a list box
// with tab stops does: each tab moves on to the next stop.
//
// Thread-safety: the window thread only.
#pragma once

#include <QStyledItemDelegate>

namespace mavo {

class CTabbedItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // stop: the distance between tab stops, in average character widths.
    explicit CTabbedItemDelegate(int stopChars, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), m_stopChars(stopChars) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int m_stopChars;
};

} // namespace mavo
