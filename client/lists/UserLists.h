// CUserLists: the user's customer list and page list with their three
// switches, kept in the main window's "MainFrame" section; the one object
// behind the customer test and the page test that drawing and order entry
// both use.
//
//   customer test  a customer (number, centre code from the feed) is the
//                  user's when the list holds (number, 0) ("Any") or
//                  (number, centre code / 100);
//   page test      a page is listed when page checking is off
//                  ("DisablePages") or the page list holds it.
//
// Stored values: "CustomerList" and "PageList" (StoredLists.h, read whole),
// "DisablePages" (default 1), "DisableCenter" and "DisableCustomer"
// (default 0). The customer list keeps its order and never holds the same
// entry twice; the page list is kept ascending without repeats.
//
// Thread-safety: the window thread only (the tests are read while drawing).
#pragma once

#include "lists/StoredLists.h"
#include "pages/CenterColor.h"

#include <string>
#include <vector>

namespace Brindle {
class CRegSection;
}

namespace mavo {

inline constexpr int kFirstCustomer = 1;
inline constexpr int kLastCustomer = 998;
inline constexpr int kCentreCount = 10;

// "Any", "New York", ... by centre index 0..9.
const char* CentreName(int index);
// The index of a centre's name; 0 ("Any") for a name that is none.
int CentreIndexOf(std::string_view name);
// A customer list entry as the dialog lists it: "%d\t%s".
std::string CustomerEntryText(const CustomerEntry& entry);
// The entry back from that text: the number before the tab, the centre from
// the name after it (0 when unknown); false when there is no number.
bool ParseCustomerEntryText(std::string_view text, CustomerEntry& entry);

class CUserLists : public CCustomerRules {
public:
    bool IsMyCustomer(int number, int centreCode) const override;
    bool DisableCustomer() const override { return m_disableCustomer; }
    bool DisableCenter() const override { return m_disableCenter; }
    bool DisablePages() const { return m_disablePages; }

    bool IsPageListed(int page) const;

    const std::vector<CustomerEntry>& Customers() const { return m_customers; }
    const std::vector<int>& Pages() const { return m_pages; }

    // Repeated entries are dropped (the first stays).
    void SetCustomers(std::vector<CustomerEntry> entries);
    // Pages outside 1..300 are dropped; kept ascending without repeats.
    void SetPages(std::vector<int> pages);
    void SetDisableCustomer(bool on) { m_disableCustomer = on; }
    void SetDisableCenter(bool on) { m_disableCenter = on; }
    void SetDisablePages(bool on) { m_disablePages = on; }

    // Every value, defaults for those missing.
    void Load(const Brindle::CRegSection& mainFrame);
    // False when the store refused a value.
    bool Save(const Brindle::CRegSection& mainFrame) const;

private:
    std::vector<CustomerEntry> m_customers;
    std::vector<int> m_pages;
    bool m_disablePages = true;
    bool m_disableCenter = false;
    bool m_disableCustomer = false;
};

} // namespace mavo
