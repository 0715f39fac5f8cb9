#include "pages/CenterColor.h"

#include <charconv>

namespace mavo {

std::optional<int> ParseFeedInt(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

int CentreColourIndex(std::string_view customer, std::string_view centre, const CCustomerRules* rules)
{
    const std::optional<int> centreCode = ParseFeedInt(centre);
    if (rules != nullptr && !rules->DisableCustomer()) {
        const std::optional<int> number = ParseFeedInt(customer);
        if (number && rules->IsMyCustomer(*number, centreCode.value_or(0)))
            return 0;
    }
    if (rules != nullptr && rules->DisableCenter())
        return 1;
    if (centreCode) {
        const int index = *centreCode / 100;
        if (*centreCode >= 0 && index >= 1 && index <= 9)
            return index;
    }
    return 1;
}

} // namespace mavo
