// The values behind the order dialog ("BID - " / "OFFER - " and the issue)
// and its keypad, without a display.
//
// Start values for a bid (an offer mirrors it with the offer fields):
// with a bid rate, the rate is that rate; with an own bid at level L the
// quantity is the stack quantity at level L (stack index L-1) and Join is
// off and disabled, otherwise the quantity is 2.0 and Join is on and
// enabled. Without a bid rate the rate is the first non-zero of the
// previous bid rate, the offer rate, the last bid trade, the previous
// offer rate and the last trade (an offer: previous offer rate, bid rate,
// last offer trade, previous bid rate, last trade), the quantity 2.0, and
// Join off and disabled.
//
// Join on resets the rate to the start rate and locks it. Rate "+"/"-" step
// by the current increment, never below 0; quantity "+"/"-" step by 1,
// never below 1. Values are held in whole millionths (COrderNumber), so
// steps never accumulate rounding errors. Keypad: "0".."9" append, "."
// appends unless the field has a point, "CE" clears; keys go to the rate
// while it had the focus last and Join is off, else to the quantity.
// Confirm needs a rate and a quantity that both read as non-negative
// numbers and are not zero at the shown precision.
//
// Thread-safety: a plain value; one thread at a time.
#pragma once

#include "orders/OrderIncrement.h"
#include "orders/OrderNumber.h"
#include "core/FeedLibrary.h"
#include "zph/LineObject.h"

#include <optional>
#include <string>

namespace mavo {

// Keypad keys: '0'..'9', '.', and kClearKey for "CE".
constexpr char kClearKey = 'C';
// The field's text after a key; other keys change nothing.
std::string KeypadPress(const std::string& text, char key);

// The rate a line's side shows as an order value (0 when it is no number
// or negative).
COrderNumber LineNumber(const std::string& text);

class COrderTicket {
public:
    COrderTicket(const LineObject& line, bool bid);

    bool IsBid() const { return m_bid; }
    // "BID - ISSUE" or "OFFER - ISSUE".
    std::string Title() const;

    const std::string& RateText() const { return m_rateText; }
    const std::string& QuantityText() const { return m_quantityText; }
    // Typed text; ignored for the rate while Join locks it.
    void SetRateText(const std::string& text);
    void SetQuantityText(const std::string& text);
    // The values the fields hold; nothing when a text is no number.
    std::optional<COrderNumber> Rate() const { return COrderNumber::FromText(m_rateText); }
    std::optional<COrderNumber> Quantity() const { return COrderNumber::FromText(m_quantityText); }
    COrderNumber StartRate() const { return m_startRate; }

    bool Join() const { return m_join; }
    bool JoinEnabled() const { return m_joinEnabled; }
    // Ignored while Join is disabled.
    void SetJoin(bool join);
    // The rate field and its "+" and "-" take input.
    bool RateEditable() const { return !m_join; }

    void RatePlus(const COrderIncrement& increment);
    void RateMinus(const COrderIncrement& increment);
    void QuantityPlus();
    void QuantityMinus();

    // The field that last had the focus: true for the rate.
    void SetRateFocused(bool rate) { m_rateFocused = rate; }
    bool KeysGoToRate() const { return m_rateFocused && !m_join; }
    void PressKey(char key);

    bool CanConfirm() const;

private:
    bool m_bid;
    std::string m_issue;
    COrderNumber m_startRate;
    std::string m_rateText;
    std::string m_quantityText;
    bool m_join = false;
    bool m_joinEnabled = false;
    bool m_rateFocused = false;
};

// The maximum-quantity dialog ("Maximum Quantity Desired"): "SELL - " or
// "BUY - " and the issue; one quantity starting at the side's first traded
// quantity (level 0), "+"/"-" by 1 never below 1, the same keypad. It may
// be sent only with a quantity of at least 1.
class CMaxQuantityTicket {
public:
    CMaxQuantityTicket(const LineObject& line, bool bid);

    bool IsBid() const { return m_bid; }
    std::string Title() const;
    const std::string& QuantityText() const { return m_quantityText; }
    void SetQuantityText(const std::string& text) { m_quantityText = text; }
    std::optional<COrderNumber> Quantity() const { return COrderNumber::FromText(m_quantityText); }
    void QuantityPlus();
    void QuantityMinus();
    void PressKey(char key) { m_quantityText = KeypadPress(m_quantityText, key); }
    bool CanSend() const;

private:
    bool m_bid;
    std::string m_issue;
    std::string m_quantityText;
};

} // namespace mavo
