// Reads arbitrary bytes as the stored customer list, page list and report
// pages, and as a typed report name and volume text. Checks that what is
// read is in range (customers at least 1, centres 0..9, pages 1..300), that
// the written form reads back the same, that the customer test agrees with
// the entries, and that names and volumes never misbehave.
#include "lists/StoredLists.h"
#include "lists/UserLists.h"
#include "lists/VolumeReport.h"
#include "pages/CenterColor.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::vector<mavo::CustomerEntry> customers = mavo::ParseCustomerList(text);
    for (const mavo::CustomerEntry& e : customers)
        if (e.number < 1 || e.centre < 0 || e.centre > 9)
            std::abort();
    if (mavo::ParseCustomerList(mavo::FormatCustomerList(customers)) != customers)
        std::abort();

    const std::vector<int> pages = mavo::ParsePageNumbers(text);
    for (int page : pages)
        if (page < 1 || page > 300)
            std::abort();
    if (mavo::ParsePageNumbers(mavo::FormatPageNumbers(pages)) != pages)
        std::abort();

    mavo::CUserLists lists;
    lists.SetCustomers(customers);
    lists.SetPages(pages);
    lists.SetDisablePages(false);
    for (const mavo::CustomerEntry& e : lists.Customers())
        if (!lists.IsMyCustomer(e.number, e.centre * 100 + 50))
            std::abort();
    for (int page : pages)
        if (!lists.IsPageListed(page))
            std::abort();
    for (std::size_t i = 1; i < lists.Pages().size(); ++i)
        if (lists.Pages()[i - 1] >= lists.Pages()[i])
            std::abort();

    const std::string name = mavo::TrimReportName(text);
    if (mavo::IsValidReportName(name) && (name.empty() || name.size() > 20))
        std::abort();
    if (!mavo::SameReportName(text, text))
        std::abort();
    const double volume = mavo::VolumeValue(text);
    if (!std::isfinite(volume))
        std::abort();
    if (mavo::FormatTotal(volume).size() < 8)
        std::abort();
    mavo::CustomerEntry entry;
    mavo::ParseCustomerEntryText(text, entry);
    return 0;
}
