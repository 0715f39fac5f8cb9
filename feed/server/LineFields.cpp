#include "LineFields.h"

#include "MarketText.h"
#include "protocol/FieldIds.h"

#include <functional>

using namespace ZPHWire;

namespace zphd {

namespace {

// One field: how to read it from a line and how to write it.
struct Binding {
    int id;
    bool number = false;
    std::function<std::string(const LineState&)> get;
    std::function<bool(LineState&, std::string_view)> set;
};

Binding Text(int id, std::string LineState::*member)
{
    return {id, false, [member](const LineState& l) { return l.*member; },
            [member](LineState& l, std::string_view t) { return l.*member = t, true; }};
}

Binding SideText(int id, bool bid, std::string SideView::*member)
{
    auto side = [bid](auto& l) -> auto& { return bid ? l.bid : l.offer; };
    return {id, false, [=](const LineState& l) { return side(l).*member; },
            [=](LineState& l, std::string_view t) { return side(l).*member = t, true; }};
}

bool ReadInt(std::string_view text, int& value)
{
    if (text.empty()) {
        value = 0;
        return true;
    }
    return ParseInt(text, value);
}

Binding SideInt(int id, bool bid, int SideView::*member)
{
    auto side = [bid](auto& l) -> auto& { return bid ? l.bid : l.offer; };
    return {id, true, [=](const LineState& l) { return std::to_string(side(l).*member); },
            [=](LineState& l, std::string_view t) { return ReadInt(t, side(l).*member); }};
}

Binding SideChar(int id, bool bid, char SideView::*member)
{
    auto side = [bid](auto& l) -> auto& { return bid ? l.bid : l.offer; };
    return {id, false,
            [=](const LineState& l) {
                const char c = side(l).*member;
                return c == 0 ? std::string() : std::string(1, c);
            },
            [=](LineState& l, std::string_view t) {
                if (t.size() > 1)
                    return false;
                side(l).*member = t.empty() ? 0 : t[0];
                return true;
            }};
}

Binding Flags(int id, std::uint32_t LineState::*member)
{
    return {id, true, [member](const LineState& l) { return std::to_string(l.*member); },
            [member](LineState& l, std::string_view t) {
                std::uint64_t v = 0;
                if (t.empty()) {
                    l.*member = 0;
                    return true;
                }
                if (!ParseUnsigned(t, v) || v > 0xFFFFFFFFull)
                    return false;
                l.*member = static_cast<std::uint32_t>(v);
                return true;
            }};
}

Binding Level(int id, bool bid, bool traded, int which, int level)
{
    auto entry = [=](auto& l) -> auto& {
        auto& side = bid ? l.bid : l.offer;
        return (traded ? side.traded : side.stack)[static_cast<std::size_t>(level)];
    };
    auto part = [which](auto& e) -> auto& { return which == 0 ? e.customer : which == 1 ? e.centre : e.quantity; };
    return {id, false, [=](const LineState& l) { return part(entry(l)); },
            [=](LineState& l, std::string_view t) { return part(entry(l)) = t, true; }};
}

std::vector<Binding> MakeBindings()
{
    std::vector<Binding> b;
    // No F_LINE: the message's header carries the line number.
    b.push_back({F_KIND, false, [](const LineState& l) { return std::string(1, l.kind); },
                 [](LineState& l, std::string_view t) {
                     if (t.size() != 1)
                         return false;
                     l.kind = t[0];
                     return true;
                 }});
    b.push_back(Flags(F_LINE_FLAGS, &LineState::lineFlags));
    b.push_back(Text(F_TEXT, &LineState::text));
    b.push_back(Text(F_ISSUE_NAME, &LineState::issue));
    b.push_back(Flags(F_ISSUE_FLAGS, &LineState::issueFlags));
    b.push_back(Text(F_LAST_TRADE, &LineState::lastTrade));
    b.push_back({F_LAST_TRADE_TYPE, true, [](const LineState& l) { return std::to_string(l.lastTradeType); },
                 [](LineState& l, std::string_view t) { return ReadInt(t, l.lastTradeType); }});
    b.push_back(Text(F_LAST_TRADE_TIME, &LineState::lastTradeTime));
    b.push_back(Text(F_LAST_TRADE_NUMBER, &LineState::transaction));
    b.push_back(Text(F_DAILY_HIGH, &LineState::high));
    b.push_back(Text(F_DAILY_LOW, &LineState::low));
    b.push_back(Text(F_DAILY_VOLUME, &LineState::volume));
    b.push_back(Text(F_LAST_PERSIST_TRADE, &LineState::persistTrade));
    b.push_back(Text(F_LAST_PERSIST_TRADE_TIME, &LineState::persistTime));
    for (bool bid : {true, false}) {
        const int o = bid ? 0 : OFFER_SIDE;
        b.push_back(SideText(F_BID_RATE + o, bid, &SideView::rate));
        b.push_back(SideText(F_BID_QUANTITY + o, bid, &SideView::quantity));
        b.push_back(SideInt(F_BID_ATTRIBUTE + o, bid, &SideView::attribute));
        b.push_back(SideInt(F_BID_BEST + o, bid, &SideView::bestPrice));
        b.push_back(SideChar(F_BID_SPREAD_ROLE + o, bid, &SideView::spreadRole));
        b.push_back(SideText(F_BID_SPREAD_PARTNER + o, bid, &SideView::spreadPartner));
        b.push_back(SideText(F_BID_PREV_RATE + o, bid, &SideView::prevRate));
        b.push_back(SideText(F_BID_PREV_DATE + o, bid, &SideView::prevDate));
        b.push_back(SideText(F_BID_PREV_CUSTOMER + o, bid, &SideView::prevCustomer));
        b.push_back(SideText(F_BID_PREV_PREV_CUSTOMER + o, bid, &SideView::prevPrevCustomer));
        b.push_back(SideText(F_BID_BACKUP + o, bid, &SideView::backup));
        b.push_back(SideInt(F_BID_WHEN_CENTER + o, bid, &SideView::whenCentre));
        b.push_back(SideInt(F_BID_FAST_FLASH + o, bid, &SideView::fastFlash));
        b.push_back(SideText(F_BID_INDICATIVE + o, bid, &SideView::indicative));
        b.push_back(SideText(F_BID_PREV_PREV_RATE + o, bid, &SideView::prevPrevRate));
        b.push_back(SideText(F_BID_PREV_PREV_DATE + o, bid, &SideView::prevPrevDate));
        for (int level = 0; level < STACK_LEVELS; ++level) {
            b.push_back(Level(StackField(F_BID_STACK_CUSTOMER + o, level), bid, false, 0, level));
            b.push_back(Level(StackField(F_BID_STACK_CENTER + o, level), bid, false, 1, level));
            b.push_back(Level(StackField(F_BID_STACK_QUANTITY + o, level), bid, false, 2, level));
            b.push_back(Level(StackField(F_BID_TRADED_CUSTOMER + o, level), bid, true, 0, level));
            b.push_back(Level(StackField(F_BID_TRADED_CENTER + o, level), bid, true, 1, level));
            b.push_back(Level(StackField(F_BID_TRADED_QUANTITY + o, level), bid, true, 2, level));
        }
        b.push_back(SideText(F_BID_LAST_TRADE + o, bid, &SideView::lastTrade));
        b.push_back(SideText(F_BID_LAST_TRADE_TIME + o, bid, &SideView::lastTradeTime));
        b.push_back(SideText(F_BID_TRADE_HIGH + o, bid, &SideView::tradeHigh));
        b.push_back(SideText(F_BID_TRADE_LOW + o, bid, &SideView::tradeLow));
        b.push_back(SideText(F_BID_TRADE_VOLUME + o, bid, &SideView::tradeVolume));
        b.push_back(SideText(F_BID_TRADE_NUMBER + o, bid, &SideView::transaction));
        b.push_back(SideText(F_BID_REAL_RATE + o, bid, &SideView::realRate));
        b.push_back(SideText(F_BID_REAL_QUANTITY + o, bid, &SideView::realQuantity));
    }
    return b;
}

const std::vector<Binding>& Bindings()
{
    static const std::vector<Binding> bindings = MakeBindings();
    return bindings;
}

const Binding* Find(int id)
{
    for (const auto& b : Bindings())
        if (b.id == id)
            return &b;
    return nullptr;
}

} // namespace

std::vector<LineField> FieldsOf(const LineState& line)
{
    std::vector<LineField> fields;
    fields.reserve(Bindings().size());
    for (const auto& b : Bindings())
        fields.emplace_back(b.id, b.get(line));
    return fields;
}

bool SetField(LineState& line, int id, std::string_view text)
{
    const Binding* b = Find(id);
    if (b == nullptr)
        return false;
    LineState changed = line;
    if (!b->set(changed, text))
        return false;
    line = std::move(changed);
    return true;
}

bool IsAbsentValue(int id, std::string_view text)
{
    if (text.empty() || (id == F_KIND && text == "F"))
        return true;
    const Binding* b = Find(id);
    return b != nullptr && b->number && text == "0";
}

bool GetField(const LineState& line, int id, std::string& text)
{
    const Binding* b = Find(id);
    if (b == nullptr)
        return false;
    text = b->get(line);
    return true;
}

} // namespace zphd
