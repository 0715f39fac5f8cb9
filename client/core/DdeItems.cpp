#include "core/DdeItems.h"

#include "core/PageBounds.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

#include <charconv>
#include <cstdio>

namespace mavo {

namespace {

constexpr unsigned kWithheld = 0x40000;

} // namespace

bool DdeNameEquals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

namespace {

bool ReadDigits(std::string_view text, int& value)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// "%f" of the C locale: six decimals.
std::string Fixed(double value)
{
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    if (result.ec != std::errc())
        return {};
    return std::string(text, result.ptr);
}

std::string Integer(long long value)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Attribute(int attribute, const char* tradingText)
{
    if (attribute == 5)
        return tradingText;
    if (attribute >= 0 && attribute <= 4)
        return {};
    return "ERR";
}

std::string TextLine(const LineObject& line, int mode)
{
    char buffer[50];
    line.GetTextLine(buffer, sizeof buffer, mode);
    return buffer;
}

// The value of a side's item, by the bid field number.
std::string SideValue(const LineSide& side, int bidField, bool offer)
{
    switch (bidField) {
    case 100: return side.m_rate;
    case 101: return side.m_attribute != 0 ? side.m_quantity : std::string();
    case 102: return Attribute(side.m_attribute, offer ? "TAK" : "HIT");
    case 107: return side.m_prevRate;
    case 108: return side.m_prevDate;
    case 115: return side.m_indicative;
    case 117: return side.m_prevPrevRate;
    case 118: return side.m_prevPrevDate;
    case 191: return side.m_lastTrade;
    case 192: return side.m_lastTradeTime;
    case 193: return side.m_tradeHigh;
    case 194: return side.m_tradeLow;
    case 195: return side.m_tradeVolume;
    case 197: return Fixed(side.m_realRate);
    case 198: return Fixed(side.m_realQuantity);
    default: return {};
    }
}

} // namespace

const std::vector<DdeItem>& DdeLineItems()
{
    using G = DdeGroup;
    static const std::vector<DdeItem> items = {
        {"LINE", 1, G::Always},
        {"TEXT", 4, G::Always},
        {"ISSUENAME", 5, G::Live},
        {"LASTTRADE", 10, G::History},
        {"LASTTRADETYPE", 11, G::History},
        {"LASTTRADETIME", 12, G::History},
        {"DAILYHIGH", 14, G::History},
        {"DAILYLOW", 15, G::History},
        {"DAILYVOLUME", 16, G::History},
        {"LASTPERSISTTRADE", 17, G::History},
        {"LASTPERSISTTRADETIME", 18, G::History},
        {"BIDRATE", 100, G::Live},
        {"BIDQUAN", 101, G::Live},
        {"BIDATTR", 102, G::Live},
        {"PREVBIDRATE", 107, G::History},
        {"PREVBIDDATE", 108, G::History},
        {"INDICATIVEBID", 115, G::Live},
        {"PREVPREVBIDRATE", 117, G::History},
        {"PREVPREVBIDDATE", 118, G::History},
        {"LASTBIDTRADE", 191, G::History},
        {"LASTBIDTRADETIME", 192, G::History},
        {"HIGHBIDTRADE", 193, G::History},
        {"LOWBIDTRADE", 194, G::History},
        {"BIDTRADEVOLUME", 195, G::History},
        {"BIDREALRATE", 197, G::Live},
        {"BIDREALQUAN", 198, G::Live},
        {"OFFERRATE", 200, G::Live},
        {"OFFERQUAN", 201, G::Live},
        {"OFFERATTR", 202, G::Live},
        {"PREVOFFERRATE", 207, G::History},
        {"PREVOFFERDATE", 208, G::History},
        {"INDICATIVEOFFER", 215, G::Live},
        {"PREVPREVOFFERRATE", 217, G::History},
        {"PREVPREVOFFERDATE", 218, G::History},
        {"LASTOFFERTRADE", 291, G::History},
        {"LASTOFFERTRADETIME", 292, G::History},
        {"HIGHOFFERTRADE", 293, G::History},
        {"LOWOFFERTRADE", 294, G::History},
        {"OFFERTRADEVOLUME", 295, G::History},
        {"OFFERREALRATE", 297, G::Live},
        {"OFFERREALQUAN", 298, G::Live},
    };
    return items;
}

const DdeItem* FindDdeItem(std::string_view name)
{
    for (const auto& item : DdeLineItems()) {
        if (DdeNameEquals(item.name, name))
            return &item;
    }
    return nullptr;
}

int DdeItemIndex(int field)
{
    const auto& items = DdeLineItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].field == field)
            return static_cast<int>(i);
    }
    return -1;
}

const DdeItem* FindDdeItemByField(int field)
{
    const int index = DdeItemIndex(field);
    return index < 0 ? nullptr : &DdeLineItems()[static_cast<std::size_t>(index)];
}

bool ParseDdeTopic(std::string_view topic, unsigned& key)
{
    key = 0;
    if (topic.size() < 4 || topic.size() > 7 || topic[0] != 'P')
        return false;
    const auto letter = topic.find('L', 1);
    if (letter == std::string_view::npos)
        return false;
    int page = 0;
    int line = 0;
    if (!ReadDigits(topic.substr(1, letter - 1), page) || !ReadDigits(topic.substr(letter + 1), line))
        return false;
    if (!IsPageLine(page, line))
        return false;
    key = CreateZPHKey(page, line);
    return key != 0;
}

std::string MakeDdeTopic(unsigned key)
{
    int page = 0;
    int line = 0;
    if (!ParseZPHKey(key, page, line))
        return {};
    return "P" + Integer(page) + "L" + Integer(line);
}

bool IsDdeRestricted(const LineObject& line, bool fullView)
{
    return !fullView && ((line.m_lineFlags | line.m_issueFlags) & kWithheld) != 0;
}

bool DdeLineValue(const LineObject& line, int field, bool fullView, std::string& value)
{
    if (FindDdeItemByField(field) == nullptr)
        return false;
    const bool restricted = IsDdeRestricted(line, fullView);
    const bool textLine = line.m_kind == 'T';
    std::string text;
    switch (field) {
    case 1:
        text = Integer(line.m_line);
        break;
    case 4:
        if (restricted)
            text = TextLine(line, 1);
        else
            text = textLine ? line.m_text : TextLine(line, 0);
        break;
    case 5:
        text = "'" + (textLine ? line.m_text : line.m_issueName);
        break;
    default:
        if (restricted)
            break;
        switch (field) {
        case 10: text = line.m_lastTrade; break;
        case 11: text = Integer(line.m_lastTradeType); break;
        case 12: text = line.m_lastTradeTime; break;
        case 14: text = line.m_dailyHigh; break;
        case 15: text = line.m_dailyLow; break;
        case 16: text = line.m_dailyVolume; break;
        case 17: text = line.m_lastPersistTrade; break;
        case 18: text = line.m_lastPersistTradeTime; break;
        default:
            text = field < 200 ? SideValue(line.m_bid, field, false) : SideValue(line.m_offer, field - 100, true);
            break;
        }
        break;
    }
    value = text.empty() ? std::string(" ") : std::move(text);
    return true;
}

} // namespace mavo
