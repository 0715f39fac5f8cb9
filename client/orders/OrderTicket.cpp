#include "orders/OrderTicket.h"

#include "orders/TradeButtons.h"
#include "core/FeedLibrary.h"
#include "zph/NumberText.h"

namespace mavo {

namespace {

const COrderNumber kOne = COrderNumber::FromMicros(COrderNumber::kScale);
const COrderNumber kTwo = COrderNumber::FromMicros(2 * COrderNumber::kScale);

COrderNumber StepOf(const std::optional<COrderNumber>& value) { return value.value_or(COrderNumber()); }

} // namespace

std::string KeypadPress(const std::string& text, char key)
{
    if (key >= '0' && key <= '9')
        return text + key;
    if (key == '.')
        return text.find('.') == std::string::npos ? text + '.' : text;
    if (key == kClearKey)
        return {};
    return text;
}

COrderNumber LineNumber(const std::string& text)
{
    return COrderNumber::FromDouble(ZPHText::LeadingDouble(text)).value_or(COrderNumber());
}

COrderTicket::COrderTicket(const LineObject& line, bool bid) : m_bid(bid), m_issue(line.m_issueName)
{
    const LineSide& own = bid ? line.m_bid : line.m_offer;
    const LineSide& other = bid ? line.m_offer : line.m_bid;
    COrderNumber quantity = kTwo;
    if (HasRate(own)) {
        m_startRate = LineNumber(own.m_rate);
        if (OwnLevel(own) != 0) {
            quantity = LineNumber(OwnStackQuantity(line, bid));
            m_join = false;
            m_joinEnabled = false;
        } else {
            m_join = true;
            m_joinEnabled = true;
        }
    } else {
        for (const std::string* text : {&own.m_prevRate, &other.m_rate, &own.m_lastTrade, &other.m_prevRate,
                                        &line.m_lastTrade}) {
            const COrderNumber value = LineNumber(*text);
            if (!value.IsZero()) {
                m_startRate = value;
                break;
            }
        }
    }
    m_rateText = m_startRate.Text();
    m_quantityText = quantity.Text();
}

std::string COrderTicket::Title() const { return std::string(m_bid ? "BID - " : "OFFER - ") + m_issue; }

void COrderTicket::SetRateText(const std::string& text)
{
    if (RateEditable())
        m_rateText = text;
}

void COrderTicket::SetQuantityText(const std::string& text) { m_quantityText = text; }

void COrderTicket::SetJoin(bool join)
{
    if (!m_joinEnabled)
        return;
    m_join = join;
    if (m_join)
        m_rateText = m_startRate.Text();
}

void COrderTicket::RatePlus(const COrderIncrement& increment)
{
    if (RateEditable())
        m_rateText = StepOf(Rate()).Plus(increment.Current().step).Text();
}

void COrderTicket::RateMinus(const COrderIncrement& increment)
{
    if (RateEditable())
        m_rateText = StepOf(Rate()).Minus(increment.Current().step, COrderNumber()).Text();
}

void COrderTicket::QuantityPlus() { m_quantityText = StepOf(Quantity()).Plus(kOne).Text(); }

void COrderTicket::QuantityMinus() { m_quantityText = StepOf(Quantity()).Minus(kOne, kOne).Text(); }

void COrderTicket::PressKey(char key)
{
    if (KeysGoToRate())
        m_rateText = KeypadPress(m_rateText, key);
    else
        m_quantityText = KeypadPress(m_quantityText, key);
}

bool COrderTicket::CanConfirm() const
{
    const std::optional<COrderNumber> rate = Rate();
    const std::optional<COrderNumber> quantity = Quantity();
    return rate && quantity && !rate->IsZero() && !quantity->IsZero();
}

CMaxQuantityTicket::CMaxQuantityTicket(const LineObject& line, bool bid)
    : m_bid(bid), m_issue(line.m_issueName),
      m_quantityText(LineNumber(bid ? line.GetTradedBidQuantity(0) : line.GetTradedOfferQuantity(0)).Text())
{
}

std::string CMaxQuantityTicket::Title() const { return std::string(m_bid ? "SELL - " : "BUY - ") + m_issue; }

void CMaxQuantityTicket::QuantityPlus() { m_quantityText = StepOf(Quantity()).Plus(kOne).Text(); }

void CMaxQuantityTicket::QuantityMinus() { m_quantityText = StepOf(Quantity()).Minus(kOne, kOne).Text(); }

bool CMaxQuantityTicket::CanSend() const
{
    const std::optional<COrderNumber> quantity = Quantity();
    return quantity && *quantity >= kOne;
}

} // namespace mavo
