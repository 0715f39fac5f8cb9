// "Select Lines to Add": the lines 1..26 of one page with the columns
// "Page", "Line", "Line#" (the line's own number) and "Issue" (issue name
// or text), several selectable, following feed updates while it is open.
//
// While open it holds a reference on each of the 26 lines (a window that
// shows a line counts it) and asks the feed for the page; it releases them
// when it goes. Feed updates arrive on feed threads, where the dialog only
// queues the key (one wake-up however many arrive); the rows are rewritten
// on the window thread.
//
// Thread-safety: the window thread, except the key client's call-back.
#pragma once

#include "pages/PageFeed.h"
#include "pages/ui/KeyWakeup.h"

#include <QDialog>
#include <QEvent>


#include <vector>

class QTreeWidget;

namespace mavo {

class CSelectLinesDialog : public QDialog {
    Q_OBJECT
public:
    CSelectLinesDialog(CPageFeed& feed, int page, QWidget* parent = nullptr);
    ~CSelectLinesDialog() override;

    QTreeWidget* Tree() const { return m_tree; }
    // The chosen lines' keys, in page order.
    std::vector<unsigned> SelectedKeys() const;
    // Rows rewritten because of feed updates (tests).
    int RowsUpdated() const { return m_rowsUpdated; }

protected:
    void customEvent(QEvent* event) override;

private:
    void FillRow(int row);

    CPageFeed& m_feed;
    int m_page;
    std::vector<unsigned> m_keys;
    QTreeWidget* m_tree;
    CKeyWakeup m_wakeup;
    bool m_registered = false;
    int m_rowsUpdated = 0;
};

} // namespace mavo
