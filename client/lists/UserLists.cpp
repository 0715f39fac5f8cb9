#include "lists/UserLists.h"

#include "Brindle/base/RegSection.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace mavo {

namespace {

constexpr std::array<const char*, kCentreCount> kCentreNames = {
    "Any",          "New York",   "London",     "Buenos Aires", "Mexico",
    "New York - KRVM", "Location 6", "Location 7", "Location 8", "Location 9"};

constexpr const char* kCustomerListValue = "CustomerList";
constexpr const char* kPageListValue = "PageList";
constexpr const char* kDisablePagesValue = "DisablePages";
constexpr const char* kDisableCenterValue = "DisableCenter";
constexpr const char* kDisableCustomerValue = "DisableCustomer";

} // namespace

const char* CentreName(int index)
{
    if (index < 0 || index >= kCentreCount)
        return kCentreNames[0];
    return kCentreNames[static_cast<std::size_t>(index)];
}

int CentreIndexOf(std::string_view name)
{
    for (int i = 0; i < kCentreCount; ++i)
        if (name == kCentreNames[static_cast<std::size_t>(i)])
            return i;
    return 0;
}

std::string CustomerEntryText(const CustomerEntry& entry)
{
    return std::to_string(entry.number) + "\t" + CentreName(entry.centre);
}

bool ParseCustomerEntryText(std::string_view text, CustomerEntry& entry)
{
    const std::size_t tab = text.find('\t');
    const std::string_view number = text.substr(0, tab);
    int value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || end != number.data() + number.size())
        return false;
    entry.number = value;
    entry.centre = tab == std::string_view::npos ? 0 : CentreIndexOf(text.substr(tab + 1));
    return true;
}

bool CUserLists::IsMyCustomer(int number, int centreCode) const
{
    const int centre = centreCode / 100;
    return std::any_of(m_customers.begin(), m_customers.end(), [&](const CustomerEntry& e) {
        return e.number == number && (e.centre == 0 || e.centre == centre);
    });
}

bool CUserLists::IsPageListed(int page) const
{
    return m_disablePages || std::binary_search(m_pages.begin(), m_pages.end(), page);
}

void CUserLists::SetCustomers(std::vector<CustomerEntry> entries)
{
    m_customers.clear();
    for (const CustomerEntry& e : entries)
        if (std::find(m_customers.begin(), m_customers.end(), e) == m_customers.end())
            m_customers.push_back(e);
}

void CUserLists::SetPages(std::vector<int> pages)
{
    std::erase_if(pages, [](int p) { return p < kFirstPage || p > kLastPage; });
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    m_pages = std::move(pages);
}

void CUserLists::Load(const Brindle::CRegSection& mainFrame)
{
    std::string text;
    ReadWholeString(mainFrame, kCustomerListValue, text);
    SetCustomers(ParseCustomerList(text));
    ReadWholeString(mainFrame, kPageListValue, text);
    SetPages(ParsePageNumbers(text));
    int value = 0;
    mainFrame.GetInt(kDisablePagesValue, value, 1);
    m_disablePages = value != 0;
    mainFrame.GetInt(kDisableCenterValue, value, 0);
    m_disableCenter = value != 0;
    mainFrame.GetInt(kDisableCustomerValue, value, 0);
    m_disableCustomer = value != 0;
}

bool CUserLists::Save(const Brindle::CRegSection& mainFrame) const
{
    bool ok = mainFrame.SetStr(kCustomerListValue, FormatCustomerList(m_customers)) != 0;
    ok = mainFrame.SetStr(kPageListValue, FormatPageNumbers(m_pages)) != 0 && ok;
    ok = mainFrame.SetInt(kDisablePagesValue, m_disablePages ? 1 : 0) != 0 && ok;
    ok = mainFrame.SetInt(kDisableCenterValue, m_disableCenter ? 1 : 0) != 0 && ok;
    ok = mainFrame.SetInt(kDisableCustomerValue, m_disableCustomer ? 1 : 0) != 0 && ok;
    return ok;
}

} // namespace mavo
