#include "zph/LineObject.h"

#include "protocol/FieldIds.h"
#include "protocol/Protocol.h"
#include "zph/NumberText.h"
#include "zph/ZPHKey.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace ZPH {

namespace {

using namespace ZPHWire;

enum class FieldKind : unsigned char { UNKNOWN, TEXT, INT, UNSIGNED, CHAR, DOUBLE };

FieldKind SideKind(int offset)
{
    switch (offset) {
    case 0: case 1: case 6: case 7: case 8: case 9: case 10: case 11: case 15: case 17: case 18:
    case 91: case 92: case 93: case 94: case 95: case 96:
        return FieldKind::TEXT;
    case 2: case 3: case 4: case 12: case 13:
        return FieldKind::INT;
    case 5:
        return FieldKind::CHAR;
    case 97: case 98:
        return FieldKind::DOUBLE;
    default:
        break;
    }
    if (offset >= 20 && offset < 80 && offset % 10 < LineSide::LEVELS)
        return FieldKind::TEXT;
    return FieldKind::UNKNOWN;
}

FieldKind KindOf(int id)
{
    switch (id) {
    case F_KIND: return FieldKind::CHAR;
    case F_LINE_FLAGS: case F_ISSUE_FLAGS: return FieldKind::UNSIGNED;
    case F_LAST_TRADE_TYPE: return FieldKind::INT;
    case F_TEXT: case F_ISSUE_NAME: case F_LAST_TRADE: case F_LAST_TRADE_TIME: case F_LAST_TRADE_NUMBER:
    case F_DAILY_HIGH: case F_DAILY_LOW: case F_DAILY_VOLUME: case F_LAST_PERSIST_TRADE:
    case F_LAST_PERSIST_TRADE_TIME:
        return FieldKind::TEXT;
    default:
        break;
    }
    if (id >= F_BID_RATE && id < F_BID_RATE + 2 * OFFER_SIDE)
        return SideKind(id % 100);
    return FieldKind::UNKNOWN;
}

// The member of a side that a side offset names; const for a const side.
template <typename Side>
auto SideTarget(Side& s, int offset) -> std::conditional_t<std::is_const_v<Side>, const void*, void*>
{
    switch (offset) {
    case 0: return &s.m_rate;
    case 1: return &s.m_quantity;
    case 2: return &s.m_attribute;
    case 3: return &s.m_best;
    case 4: return &s.m_ownLevel;
    case 5: return &s.m_spreadRole;
    case 6: return &s.m_spreadPartner;
    case 7: return &s.m_prevRate;
    case 8: return &s.m_prevDate;
    case 9: return &s.m_prevCustomer;
    case 10: return &s.m_prevPrevCustomer;
    case 11: return &s.m_backup;
    case 12: return &s.m_whenCenter;
    case 13: return &s.m_fastFlash;
    case 15: return &s.m_indicative;
    case 17: return &s.m_prevPrevRate;
    case 18: return &s.m_prevPrevDate;
    case 91: return &s.m_lastTrade;
    case 92: return &s.m_lastTradeTime;
    case 93: return &s.m_tradeHigh;
    case 94: return &s.m_tradeLow;
    case 95: return &s.m_tradeVolume;
    case 96: return &s.m_tradeNumber;
    case 97: return &s.m_realRate;
    case 98: return &s.m_realQuantity;
    default: break;
    }
    const int level = offset % 10;
    switch (offset / 10) {
    case 2: return &s.m_stack[level].m_customer;
    case 3: return &s.m_stack[level].m_center;
    case 4: return &s.m_stack[level].m_quantity;
    case 5: return &s.m_traded[level].m_customer;
    case 6: return &s.m_traded[level].m_center;
    case 7: return &s.m_traded[level].m_quantity;
    default: return nullptr;
    }
}

template <typename Line>
auto Target(Line& line, int id) -> std::conditional_t<std::is_const_v<Line>, const void*, void*>
{
    switch (id) {
    case F_KIND: return &line.m_kind;
    case F_LINE_FLAGS: return &line.m_lineFlags;
    case F_ISSUE_FLAGS: return &line.m_issueFlags;
    case F_LAST_TRADE_TYPE: return &line.m_lastTradeType;
    case F_TEXT: return &line.m_text;
    case F_ISSUE_NAME: return &line.m_issueName;
    case F_LAST_TRADE: return &line.m_lastTrade;
    case F_LAST_TRADE_TIME: return &line.m_lastTradeTime;
    case F_LAST_TRADE_NUMBER: return &line.m_lastTradeNumber;
    case F_DAILY_HIGH: return &line.m_dailyHigh;
    case F_DAILY_LOW: return &line.m_dailyLow;
    case F_DAILY_VOLUME: return &line.m_dailyVolume;
    case F_LAST_PERSIST_TRADE: return &line.m_lastPersistTrade;
    case F_LAST_PERSIST_TRADE_TIME: return &line.m_lastPersistTradeTime;
    default: break;
    }
    return SideTarget(id < F_OFFER_RATE ? line.m_bid : line.m_offer, id % 100);
}

// An empty text stands for the field's empty value (0, ' ').
bool Valid(FieldKind kind, const std::string& text)
{
    if (text.empty())
        return true;
    int i = 0;
    unsigned u = 0;
    double d = 0;
    switch (kind) {
    case FieldKind::INT: return ZPHText::ParseInt(text, i);
    case FieldKind::UNSIGNED: return ZPHText::ParseUnsigned(text, u);
    case FieldKind::DOUBLE: return ZPHText::ParseDouble(text, d);
    case FieldKind::CHAR: return text.size() == 1;
    default: return true;
    }
}

void Store(FieldKind kind, void* target, const std::string& text)
{
    switch (kind) {
    case FieldKind::TEXT:
        *static_cast<std::string*>(target) = text;
        break;
    case FieldKind::INT: {
        int value = 0;
        ZPHText::ParseInt(text, value);
        *static_cast<int*>(target) = value;
        break;
    }
    case FieldKind::UNSIGNED: {
        unsigned value = 0;
        ZPHText::ParseUnsigned(text, value);
        *static_cast<unsigned*>(target) = value;
        break;
    }
    case FieldKind::DOUBLE: {
        double value = 0;
        ZPHText::ParseDouble(text, value);
        *static_cast<double*>(target) = value;
        break;
    }
    case FieldKind::CHAR:
        *static_cast<char*>(target) = text.empty() ? ' ' : text[0];
        break;
    case FieldKind::UNKNOWN:
        break;
    }
}

const char* Level(const StackLevel* levels, int level, std::string StackLevel::*member)
{
    if (level < 0 || level >= LineSide::LEVELS)
        return "";
    return (levels[level].*member).c_str();
}

// The text a rate or quantity cell shows for a side's attribute.
const char* ShownText(const LineSide& side, const std::string& text)
{
    switch (side.m_attribute) {
    case 2: case 3: case 4: case 5: return text.c_str();
    case 6: return "Error";
    case 7: return "<<NL>>";
    case 8: return "<<LF>>";
    default: return "";
    }
}

int Finish(char* buffer, int size, const char* text)
{
    std::size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ')
        --length;
    length = std::min<std::size_t>(length, static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

void AddSide(ZPHMessage& msg, const LineSide& side, const LineSide& empty, int base)
{
    for (int offset = 0; offset < 100; ++offset) {
        const FieldKind kind = SideKind(offset);
        if (kind == FieldKind::UNKNOWN)
            continue;
        const void* value = SideTarget(side, offset);
        const void* none = SideTarget(empty, offset);
        const int id = base + offset;
        switch (kind) {
        case FieldKind::TEXT:
            if (*static_cast<const std::string*>(value) != *static_cast<const std::string*>(none))
                msg.AddField(id, *static_cast<const std::string*>(value));
            break;
        case FieldKind::INT:
            if (*static_cast<const int*>(value) != *static_cast<const int*>(none))
                msg.AddField(id, *static_cast<const int*>(value));
            break;
        case FieldKind::CHAR:
            if (*static_cast<const char*>(value) != *static_cast<const char*>(none))
                msg.AddField(id, *static_cast<const char*>(value));
            break;
        case FieldKind::DOUBLE:
            // Always sent with its text, so that a receiver never derives a
            // different number from the text.
            if (*static_cast<const double*>(value) != 0.0 || !(offset == 97 ? side.m_rate : side.m_quantity).empty())
                msg.AddField(id, *static_cast<const double*>(value));
            break;
        default:
            break;
        }
    }
}

} // namespace

unsigned LineObject::GetKey() const { return CreateZPHKey(m_page, m_line); }

const char* LineObject::GetBidQuantity(int level) const { return Level(m_bid.m_stack, level, &StackLevel::m_quantity); }
const char* LineObject::GetBidCustomer(int level) const { return Level(m_bid.m_stack, level, &StackLevel::m_customer); }
const char* LineObject::GetBidCenter(int level) const { return Level(m_bid.m_stack, level, &StackLevel::m_center); }
const char* LineObject::GetOfferQuantity(int level) const { return Level(m_offer.m_stack, level, &StackLevel::m_quantity); }
const char* LineObject::GetOfferCustomer(int level) const { return Level(m_offer.m_stack, level, &StackLevel::m_customer); }
const char* LineObject::GetOfferCenter(int level) const { return Level(m_offer.m_stack, level, &StackLevel::m_center); }
const char* LineObject::GetTradedBidQuantity(int level) const { return Level(m_bid.m_traded, level, &StackLevel::m_quantity); }
const char* LineObject::GetTradedBidCustomer(int level) const { return Level(m_bid.m_traded, level, &StackLevel::m_customer); }
const char* LineObject::GetTradedBidCenter(int level) const { return Level(m_bid.m_traded, level, &StackLevel::m_center); }
const char* LineObject::GetTradedOfferQuantity(int level) const { return Level(m_offer.m_traded, level, &StackLevel::m_quantity); }
const char* LineObject::GetTradedOfferCustomer(int level) const { return Level(m_offer.m_traded, level, &StackLevel::m_customer); }
const char* LineObject::GetTradedOfferCenter(int level) const { return Level(m_offer.m_traded, level, &StackLevel::m_center); }

int LineObject::GetTextLine(char* buffer, int size, int mode) const
{
    if (buffer == nullptr || size < 1)
        return 0;
    char text[256];
    if (m_kind == LINE_TEXT) {
        return Finish(buffer, size, m_text.c_str());
    }
    if (mode == 1) {
        std::snprintf(text, sizeof text, "%s", m_issueName.c_str());
    } else if (m_kind == LINE_MONITOR) {
        const bool offerSide = !m_offer.m_tradeNumber.empty() || !m_offer.m_rate.empty();
        const LineSide& side = offerSide ? m_offer : m_bid;
        std::snprintf(text, sizeof text, "%-6.6s %-14.14s %6.6s @ %-9.9s", side.m_tradeNumber.c_str(),
                      m_issueName.c_str(), side.m_quantity.c_str(), side.m_rate.c_str());
    } else {
        std::snprintf(text, sizeof text, "%-14.14s %9.9s/%-9.9s %5.5s X %-5.5s", m_issueName.c_str(),
                      ShownText(m_bid, m_bid.m_rate), ShownText(m_offer, m_offer.m_rate),
                      ShownText(m_bid, m_bid.m_quantity), ShownText(m_offer, m_offer.m_quantity));
    }
    return Finish(buffer, size, text);
}

bool LineObject::Apply(const ZPHMessage& msg, bool whole)
{
    for (const auto& [id, text] : msg.GetFields()) {
        const FieldKind kind = KindOf(id);
        if (kind != FieldKind::UNKNOWN && !Valid(kind, text))
            return false;
    }
    if (whole) {
        const int page = m_page;
        const int line = m_line;
        *this = LineObject(page, line);
    }
    bool rate[2] = {false, false}, quantity[2] = {false, false};
    bool realRate[2] = {false, false}, realQuantity[2] = {false, false};
    for (const auto& [id, text] : msg.GetFields()) {
        const FieldKind kind = KindOf(id);
        if (kind == FieldKind::UNKNOWN)
            continue;
        Store(kind, Target(*this, id), text);
        const int side = id >= F_OFFER_RATE ? 1 : 0;
        const int offset = id - side * OFFER_SIDE;
        if (offset == F_BID_RATE)
            rate[side] = true;
        else if (offset == F_BID_QUANTITY)
            quantity[side] = true;
        else if (offset == F_BID_REAL_RATE)
            realRate[side] = true;
        else if (offset == F_BID_REAL_QUANTITY)
            realQuantity[side] = true;
    }
    // A sender that gives only the rate text still leaves a usable number.
    LineSide* sides[2] = {&m_bid, &m_offer};
    for (int s = 0; s < 2; ++s) {
        if (rate[s] && !realRate[s])
            sides[s]->m_realRate = ZPHText::LeadingDouble(sides[s]->m_rate);
        if (quantity[s] && !realQuantity[s])
            sides[s]->m_realQuantity = ZPHText::LeadingDouble(sides[s]->m_quantity);
    }
    return true;
}

bool LineObject::GetFieldText(int id, std::string& text) const
{
    if (id == F_LINE) {
        text = ZPHText::FormatInt(m_line);
        return true;
    }
    const FieldKind kind = KindOf(id);
    if (kind == FieldKind::UNKNOWN)
        return false;
    const void* value = Target(*this, id);
    switch (kind) {
    case FieldKind::TEXT: text = *static_cast<const std::string*>(value); break;
    case FieldKind::INT: text = ZPHText::FormatInt(*static_cast<const int*>(value)); break;
    case FieldKind::UNSIGNED: text = ZPHText::FormatUnsigned(*static_cast<const unsigned*>(value)); break;
    case FieldKind::DOUBLE: text = ZPHText::FormatDouble(*static_cast<const double*>(value)); break;
    case FieldKind::CHAR: text.assign(1, *static_cast<const char*>(value)); break;
    case FieldKind::UNKNOWN: break;
    }
    return true;
}

void LineObject::ToMessage(ZPHMessage& msg) const
{
    const LineObject empty(m_page, m_line);
    if (m_kind != empty.m_kind)
        msg.AddField(F_KIND, m_kind);
    if (m_lineFlags != 0)
        msg.AddField(F_LINE_FLAGS, m_lineFlags);
    if (m_issueFlags != 0)
        msg.AddField(F_ISSUE_FLAGS, m_issueFlags);
    if (m_lastTradeType != 0)
        msg.AddField(F_LAST_TRADE_TYPE, m_lastTradeType);
    const std::pair<int, const std::string*> texts[] = {
        {F_TEXT, &m_text}, {F_ISSUE_NAME, &m_issueName}, {F_LAST_TRADE, &m_lastTrade},
        {F_LAST_TRADE_TIME, &m_lastTradeTime}, {F_LAST_TRADE_NUMBER, &m_lastTradeNumber},
        {F_DAILY_HIGH, &m_dailyHigh}, {F_DAILY_LOW, &m_dailyLow}, {F_DAILY_VOLUME, &m_dailyVolume},
        {F_LAST_PERSIST_TRADE, &m_lastPersistTrade}, {F_LAST_PERSIST_TRADE_TIME, &m_lastPersistTradeTime},
    };
    for (const auto& [id, text] : texts) {
        if (!text->empty())
            msg.AddField(id, *text);
    }
    AddSide(msg, m_bid, empty.m_bid, F_BID_RATE);
    AddSide(msg, m_offer, empty.m_offer, F_OFFER_RATE);
}

} // namespace ZPH
