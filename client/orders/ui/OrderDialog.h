// The order dialog ("BID - " / "OFFER - " and the issue), opened by "Bid"
// and "Offer": the issue, both rates and quantities; the rate and quantity
// fields with their "+" and "-"; Join; "Increment" (runs "Change
// Increment" and shows the chosen label); "Keypad >>>" / "<< Keypad",
// which widens the dialog to show the keypad; "Confirm", enabled only
// while the values can be confirmed; "Cancel". Every rule lives in the
// COrderTicket it edits; the dialog only shows it.
//
// Thread-safety: the window thread only.
#pragma once

#include "orders/OrderIncrement.h"
#include "orders/OrderTicket.h"

#include <QDialog>

#include <functional>
#include <utility>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace mavo {

class COrderDialog : public QDialog {
    Q_OBJECT
public:
    // increment: the program's one choice, changed by "Increment".
    COrderDialog(const LineObject& line, COrderTicket ticket, COrderIncrement& increment, QWidget* parent = nullptr);

    const COrderTicket& Ticket() const { return m_ticket; }

    // Controls, for tests and the keypad.
    QLineEdit* RateField() const { return m_rate; }
    QLineEdit* QuantityField() const { return m_quantity; }
    QCheckBox* JoinBox() const { return m_join; }
    QPushButton* RatePlus() const { return m_ratePlus; }
    QPushButton* RateMinus() const { return m_rateMinus; }
    QPushButton* QuantityPlus() const { return m_quantityPlus; }
    QPushButton* QuantityMinus() const { return m_quantityMinus; }
    QPushButton* IncrementButton() const { return m_incrementButton; }
    QLabel* IncrementLabel() const { return m_incrementLabel; }
    QPushButton* KeypadToggle() const { return m_keypadToggle; }
    QWidget* Keypad() const { return m_keypad; }
    // "0".."9", ".", "CE".
    QPushButton* Key(char key) const;
    QPushButton* ConfirmButton() const { return m_confirm; }

    // "Change Increment" as "Increment" runs it; tests replace it. Returns
    // the chosen index, or -1 when cancelled.
    using IncrementChooser = std::function<int(QWidget* parent, int current)>;
    void SetIncrementChooser(IncrementChooser chooser) { m_chooseIncrement = std::move(chooser); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void LayOut(const LineObject& line);
    void ConnectControls();
    void Refresh();
    void ToggleKeypad();
    void ChooseIncrement();

    COrderTicket m_ticket;
    COrderIncrement& m_increment;
    IncrementChooser m_chooseIncrement;
    QLineEdit* m_rate = nullptr;
    QLineEdit* m_quantity = nullptr;
    QCheckBox* m_join = nullptr;
    QPushButton* m_ratePlus = nullptr;
    QPushButton* m_rateMinus = nullptr;
    QPushButton* m_quantityPlus = nullptr;
    QPushButton* m_quantityMinus = nullptr;
    QPushButton* m_incrementButton = nullptr;
    QLabel* m_incrementLabel = nullptr;
    QPushButton* m_keypadToggle = nullptr;
    QWidget* m_keypad = nullptr;
    std::vector<std::pair<char, QPushButton*>> m_keys;
    QPushButton* m_confirm = nullptr;
    QPushButton* m_cancel = nullptr;
};

// The keypad of both order dialogs: "7 8 9 / 4 5 6 / 1 2 3 / 0 . CE", keys
// that never take the focus. Calls back with '0'..'9', '.' or kClearKey.
QWidget* MakeKeypad(QWidget* parent, const std::function<void(char)>& pressed,
                    std::vector<std::pair<char, QPushButton*>>& keys);

} // namespace mavo
