// The centre colour index of a stack customer: which colour pair of a
// scheme (entries 60 + 2c and 61 + 2c) a customer in a stack is drawn in.
//
//   0    my customer: "DisableCustomer" is off and the user's customer list
//        holds the customer (CCustomerRules::IsMyCustomer);
//   1    otherwise when "DisableCenter" is on;
//   c    otherwise the centre code / 100 when that is 1..9;
//   1    for any other centre code (10 and above, negative, not a number).
//
// Customer numbers and centre codes arrive from the feed as text; they are
// read as decimal integers without regard to the locale, and text that is
// no number is no customer of the user's and centre 1.
//
// Thread-safety: CentreColourIndex is a pure function; the rules object is
// read on the caller's thread.
#pragma once

#include <optional>
#include <string_view>

namespace mavo {

// The user's customer list and its two switches, as the drawing needs them.
class CCustomerRules {
public:
    virtual ~CCustomerRules() = default;
    // The customer (number and centre code, as the feed gives them) is one
    // of the user's.
    virtual bool IsMyCustomer(int number, int centreCode) const = 0;
    virtual bool DisableCustomer() const = 0;
    virtual bool DisableCenter() const = 0;
};

// A whole decimal integer (optional sign, surrounding blanks allowed), or
// nothing.
std::optional<int> ParseFeedInt(std::string_view text);

// rules may be null: no customer list and both switches off.
int CentreColourIndex(std::string_view customer, std::string_view centre, const CCustomerRules* rules);

} // namespace mavo
