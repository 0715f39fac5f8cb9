// CLineInfoWindow: the line information window of the full view. It shows
// one line: the caption "Page %d, Line %d - %s", the bid and offer spread
// texts, the stack text and the 14-row table (LineInfoTexts.h).
//
// It is a key client of the feed (CKeyWakeup): the call-back (on a feed
// thread) only posts one wake-up for the line it shows, however many
// updates arrive before the window thread takes it; the window then
// refills from the line cache. A key with no line in the cache leaves the window as it is.
//
// The window holds one reference on the line it shows (AddRef when it
// takes a key, Release when it lets it go or is destroyed), so the feed
// keeps the line even when no page window lists it; a line that is not in
// the cache is asked for with its page.
//
// Thread-safety: the window thread, except the key client's call-back.
#pragma once

#include "lineinfo/LineInfoTexts.h"
#include "pages/PageFeed.h"
#include "pages/ui/KeyWakeup.h"

#include <QDialog>

class QLabel;
class QTableWidget;

namespace mavo {

class CLineInfoWindow : public QDialog {
    Q_OBJECT
public:
    CLineInfoWindow(CPageFeed& feed, QWidget* parent = nullptr);
    ~CLineInfoWindow() override;

    // Shows this line from now on (0: none); a key outside pages 1..300 and
    // lines 1..26 counts as none. Fills at once when the line is cached.
    void SetKey(unsigned key);
    unsigned Key() const { return m_key; }

    // Reads the line again; false (window unchanged) when there is none.
    bool Refill();
    // Asks the feed for the shown line's page (the line is not cached, or
    // the feed came alive again); nothing without a line.
    void RequestLine();

    // What the window shows (tests, pictures).
    QString BidSpreadText() const;
    QString OfferSpreadText() const;
    QString StackText() const;
    QTableWidget* Table() const { return m_table; }
    // Wake-ups handled and fills made from the feed.
    int Refills() const { return m_refills; }

protected:
    void customEvent(QEvent* event) override;

private:
    void Show(const LineInfoTexts& texts);

    CPageFeed& m_feed;
    CKeyWakeup m_wakeup;
    bool m_registered = false;
    unsigned m_key = 0;
    int m_refills = 0;

    QLabel* m_bidSpread = nullptr;
    QLabel* m_offerSpread = nullptr;
    QLabel* m_stack = nullptr;
    QTableWidget* m_table = nullptr;
};

} // namespace mavo
