// CTradeWindow: the trade window of one line ("Page %d, Line %d"): the
// issue, rates and quantities in bold, the statistics list, and the six
// buttons "Sell", "Buy", "Bid Out", "Offer Out", "Bid" and "Offer". Made
// once by the order module and then shown and hidden.
//
// Showing a line clears the trade-window mark (line flag 0x80000) on the
// line shown before, sets it on the new one (each dispatched to the key
// clients), registers the window as a key client once and fills it;
// showing no line (key 0) clears the mark and unregisters. Updates of the
// shown line refill it; other keys are ignored. With the order-entry flag
// the window is shown at full height with its buttons, enabled as
// TradeButtons.h says; without it the buttons are hidden and disabled.
// Every press goes through COrderDesk, which acts on the line as it stands
// at the press; an order the source did not take is reported in a message
// box, never passed over in silence.
//
// Thread-safety: OnKeyUpdate runs on feed threads and only queues the key
// (CKeyWakeup: at most one wake-up waiting); everything else on the window
// thread. The
// destructor unregisters, which returns only when no call-back runs.
#pragma once

#include "orders/OrderDesk.h"
#include "orders/OrderIncrement.h"
#include "pages/ui/KeyWakeup.h"

#include <QDialog>
#include <QPoint>

#include <array>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace mavo {

class CMessageService;

class CTradeWindow : public QDialog, public KeyClient {
    Q_OBJECT
public:
    CTradeWindow(COrderDesk& desk, COrderIncrement& increment, CMessageService& messages, QWidget* parent = nullptr);
    ~CTradeWindow() override;

    // The page windows' click: open (at the pointer, or where it was for a
    // double click) or, for the release of an info click, hide.
    void OnLineClick(unsigned key, std::optional<QPoint> at, bool open);
    void ShowLine(unsigned key);
    unsigned Key() const { return m_key; }
    // Fills the window from the line as it stands.
    void Fill();
    // Near the pointer (global coordinates), kept on its screen.
    void PlaceNear(const QPoint& pointer);

    // Runs a modal dialog the buttons open (the order dialog, the
    // maximum-quantity dialog); returns its result. Tests replace it.
    using DialogRunner = std::function<int(QDialog& dialog)>;
    void SetDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }

    // Presses a button as a click does.
    void Press(TradeButton button);
    QPushButton* Button(TradeButton button) const;
    QWidget* ButtonPanel() const { return m_buttonPanel; }
    QLabel* IssueLabel() const { return m_issue; }
    QLabel* RatesLabel() const { return m_rates; }
    QLabel* QuantitiesLabel() const { return m_quantities; }
    QTreeWidget* Statistics() const { return m_stats; }
    // The order-entry flag as the window last showed it.
    bool OrderEntryShown() const { return m_orderEntryShown; }
    // Refills done (tests).
    int Fills() const { return m_fills; }

    // KeyClient, on a feed thread.
    void OnKeyUpdate(unsigned key) override { m_wakeup.OnKeyUpdate(key); }

protected:
    void customEvent(QEvent* event) override;

private:
    void Report(OrderOutcome outcome);

    COrderDesk& m_desk;
    COrderIncrement& m_increment;
    CMessageService& m_messages;
    DialogRunner m_runDialog;
    unsigned m_key = 0;
    // Only the shown line wakes the window.
    CKeyWakeup m_wakeup{this};
    bool m_registered = false;
    bool m_orderEntryShown = false;
    int m_fills = 0;

    QLabel* m_issue = nullptr;
    QLabel* m_rates = nullptr;
    QLabel* m_quantities = nullptr;
    QTreeWidget* m_stats = nullptr;
    QWidget* m_buttonPanel = nullptr;
    std::array<std::pair<TradeButton, QPushButton*>, 6> m_buttons{};
};

} // namespace mavo
