// The rows of "Your Orders" ("Customer Orders": columns "Issue", "Bid",
// "Offer", "Quantity"), scanned from pages 1..300, lines 1..26, over the
// lines some window shows (reference count above 0).
//
// Outside full view: a line with an own bid gives one row named by its
// issue, with the bid rate and the stack quantity at the own level (level
// L is stack index L-1); an own offer puts the offer rate into the row of
// that issue, or makes one with its quantity. In full view: every stack
// level 0..4 whose customer is one of the user's (centre colour index 0)
// gives a row named "(" customer ") " issue with the rate in "Bid" or
// "Offer" and the level's quantity; a row of that name gets the other
// side's rate. Each name and side is listed once per scan; rows keep the
// order in which they were found.
//
// Thread-safety: reads the feed from the calling thread (the window thread).
#pragma once

#include "orders/OrderFeed.h"
#include "pages/CenterColor.h"

#include <string>
#include <vector>

namespace mavo {

struct YourOrderRow {
    std::string name;
    std::string bid;
    std::string offer;
    std::string quantity;
    friend bool operator==(const YourOrderRow&, const YourOrderRow&) = default;
};

// customers may be null (no customer is the user's).
std::vector<YourOrderRow> CollectYourOrders(const COrderFeed& feed, const CCustomerRules* customers);

} // namespace mavo
