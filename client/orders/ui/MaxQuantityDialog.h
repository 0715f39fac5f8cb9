// "Maximum Quantity Desired", opened by "Sell" or "Buy" while that side
// trades: titled "SELL - " / "BUY - " and the issue; shows the issue and
// both prices; one quantity field with "+" and "-" and a keypad; OK is
// enabled only while the quantity is at least 1. Its rules live in the
// CMaxQuantityTicket it edits; the quantity is read when it closes.
//
// Thread-safety: the window thread only.
#pragma once

#include "orders/OrderTicket.h"

#include <QDialog>

#include <utility>
#include <vector>

class QLineEdit;
class QPushButton;

namespace mavo {

class CMaxQuantityDialog : public QDialog {
    Q_OBJECT
public:
    CMaxQuantityDialog(const LineObject& line, CMaxQuantityTicket ticket, QWidget* parent = nullptr);

    const CMaxQuantityTicket& Ticket() const { return m_ticket; }
    QLineEdit* QuantityField() const { return m_quantity; }
    QPushButton* QuantityPlus() const { return m_plus; }
    QPushButton* QuantityMinus() const { return m_minus; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* Key(char key) const;

private:
    void Refresh();

    CMaxQuantityTicket m_ticket;
    QLineEdit* m_quantity = nullptr;
    QPushButton* m_plus = nullptr;
    QPushButton* m_minus = nullptr;
    QPushButton* m_ok = nullptr;
    std::vector<std::pair<char, QPushButton*>> m_keys;
};

} // namespace mavo
