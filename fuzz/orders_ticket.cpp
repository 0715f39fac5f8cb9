// Feeds arbitrary texts, as the feed and the user give them, to order
// entry: the line's rates, quantities and fallbacks come from the input's
// lines, the first line is a list of operations on the order dialog's and
// the maximum-quantity dialog's values (steps, Join, focus, keypad keys,
// typed texts, increments). Checked: a number read from a text reads back
// from its own text; a ticket that can be confirmed holds two non-zero
// values; Join keeps the start rate; the maximum is sent only when at
// least 1; the enabling mask holds only the six buttons; a window placed
// near any pointer on a screen it fits stays on that screen.
#include "orders/OrderMessages.h"
#include "zph/ZPHKey.h"
#include "orders/OrderNumber.h"
#include "orders/OrderTicket.h"
#include "orders/TradeButtons.h"
#include "orders/TradeWindowText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace mavo;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckNumberText(const std::string& text)
{
    const std::optional<COrderNumber> number = COrderNumber::FromText(text);
    if (!number)
        return;
    Check(number->Micros() >= 0 && number->Micros() <= COrderNumber::kMaxMicros);
    const std::optional<COrderNumber> again = COrderNumber::FromText(number->Text());
    Check(again && *again == *number);
    if (number->Micros() < 1000000LL * COrderNumber::kScale)
        Check(OrderNumberText(number->ToDouble()) == number->Text());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= input.size() && parts.size() < 24) {
        const std::size_t end = input.find('\n', start);
        parts.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    const auto part = [&](std::size_t i) { return i < parts.size() ? parts[i] : std::string(); };
    const std::string ops = part(0);
    const auto op = [&](std::size_t i) { return i < ops.size() ? static_cast<unsigned char>(ops[i]) : 0u; };

    for (const std::string& p : parts)
        CheckNumberText(p);
    if (size >= sizeof(double)) {
        double value = 0;
        std::memcpy(&value, data, sizeof value);
        Check(!OrderNumberText(value).empty());
    }

    LineObject line(1, 1);
    line.m_kind = op(0) % 4 == 0 ? 'T' : 'F';
    line.m_lineFlags = (op(1) & 1 ? 0x200u : 0u) | (op(1) & 2 ? 0x40000u : 0u);
    line.m_bid.m_attribute = static_cast<int>(op(2) % 10);
    line.m_offer.m_attribute = static_cast<int>(op(3) % 10);
    line.m_bid.m_best = static_cast<int>(op(4) % 3);
    line.m_bid.m_ownLevel = static_cast<int>(op(5) % 8) - 1;
    line.m_offer.m_ownLevel = static_cast<int>(op(6) % 8) - 1;
    line.m_bid.m_rate = part(1);
    line.m_offer.m_rate = part(2);
    line.m_bid.m_prevRate = part(3);
    line.m_offer.m_prevRate = part(4);
    line.m_bid.m_lastTrade = part(5);
    line.m_offer.m_lastTrade = part(6);
    line.m_lastTrade = part(7);
    for (int i = 0; i < LineSide::LEVELS; ++i) {
        line.m_bid.m_stack[i].m_quantity = part(8 + static_cast<std::size_t>(i));
        line.m_offer.m_stack[i].m_quantity = part(13 - static_cast<std::size_t>(i));
    }
    line.m_bid.m_traded[0].m_quantity = part(13);
    line.m_bid.m_traded[0].m_customer = part(14);
    line.m_offer.m_traded[0].m_quantity = part(15);

    const int level = static_cast<int>(op(7)) * 4;
    const unsigned mask = TradeButtonMask(&line, level, op(8) % 2 == 0);
    Check((mask & ~0x3Fu) == 0);

    const bool bid = op(9) % 2 == 0;
    COrderTicket ticket(line, bid);
    CMaxQuantityTicket maximum(line, bid);
    COrderIncrement increment;
    const COrderNumber one = COrderNumber::FromMicros(COrderNumber::kScale);
    for (std::size_t i = 10; i < ops.size(); ++i) {
        const unsigned code = op(i);
        switch (code % 12) {
        case 0: ticket.RatePlus(increment); break;
        case 1: ticket.RateMinus(increment); break;
        case 2: ticket.QuantityPlus(); break;
        case 3:
            ticket.QuantityMinus();
            Check(ticket.Quantity() && *ticket.Quantity() >= one);
            break;
        case 4: ticket.SetJoin(!ticket.Join()); break;
        case 5: ticket.SetRateFocused(code & 0x10); break;
        case 6: ticket.PressKey(static_cast<char>(code >> 4 < 10 ? '0' + (code >> 4) : code >> 4 == 10 ? '.' : kClearKey)); break;
        case 7: ticket.SetRateText(part(16 + (code >> 4) % 4)); break;
        case 8: ticket.SetQuantityText(part(16 + (code >> 4) % 4)); break;
        case 9: increment.SetIndex(static_cast<int>(code >> 4) % 8 - 1); break;
        case 10: maximum.PressKey(static_cast<char>(code >> 4 < 10 ? '0' + (code >> 4) : kClearKey)); break;
        case 11:
            if (code & 0x10)
                maximum.QuantityPlus();
            else
                maximum.QuantityMinus();
            break;
        }
        if (ticket.Join())
            Check(ticket.RateText() == ticket.StartRate().Text());
        if (ticket.CanConfirm()) {
            Check(!ticket.Rate()->IsZero() && !ticket.Quantity()->IsZero());
            const ZPHMessage msg = EnterOrder(CreateZPHKey(1, 1), level, bid, ticket.Join(), ticket.Rate()->ToDouble(),
                                              ticket.Quantity()->ToDouble());
            Check(msg.GetFieldCount() == 10);
        }
        if (maximum.CanSend())
            Check(*maximum.Quantity() >= one);
    }

    const int width = static_cast<int>(op(1)) * 4 + 1;
    const int height = static_cast<int>(op(2)) * 3 + 1;
    const PlaceRect screen{static_cast<int>(op(3)) - 128, static_cast<int>(op(4)) - 128, 1100, 900};
    const PlaceRect place = PlaceNearPointer(static_cast<int>(op(5)) * 8 - 200, static_cast<int>(op(6)) * 8 - 200,
                                             width, height, screen);
    Check(place.x >= screen.x && place.y >= screen.y && place.x + width <= screen.x + screen.width
          && place.y + height <= screen.y + screen.height);
    return 0;
}
