#include "orders/YourOrders.h"

#include "orders/TradeButtons.h"
#include "protocol/Protocol.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

#include <set>
#include <utility>

namespace mavo {

namespace {

constexpr int kFullViewLevel = 999;

class CRows {
public:
    // Adds one side of a row, unless that name and side were listed.
    void Add(const std::string& name, bool bid, const std::string& rate, const std::string& quantity)
    {
        if (!m_listed.insert({name, bid}).second)
            return;
        for (YourOrderRow& row : m_rows) {
            if (row.name == name) {
                (bid ? row.bid : row.offer) = rate;
                return;
            }
        }
        YourOrderRow row;
        row.name = name;
        (bid ? row.bid : row.offer) = rate;
        row.quantity = quantity;
        m_rows.push_back(std::move(row));
    }
    std::vector<YourOrderRow> Take() { return std::move(m_rows); }

private:
    std::vector<YourOrderRow> m_rows;
    std::set<std::pair<std::string, bool>> m_listed;
};

} // namespace

std::vector<YourOrderRow> CollectYourOrders(const COrderFeed& feed, const CCustomerRules* customers)
{
    const bool fullView = feed.UserLevel() == kFullViewLevel;
    CRows rows;
    for (int page = 1; page <= ZPHWire::MAX_PAGE; ++page) {
        for (int number = 1; number <= ZPHWire::MAX_LINE; ++number) {
            if (feed.RefCount(page, number) <= 0)
                continue;
            const LineRef line = feed.GetLine(CreateZPHKey(page, number));
            if (!line || line->m_kind != 'F')
                continue;
            if (!fullView) {
                for (bool bid : {true, false}) {
                    const LineSide& side = bid ? line->m_bid : line->m_offer;
                    if (OwnLevel(side) != 0)
                        rows.Add(line->m_issueName, bid, side.m_rate, OwnStackQuantity(*line, bid));
                }
                continue;
            }
            for (bool bid : {true, false}) {
                const LineSide& side = bid ? line->m_bid : line->m_offer;
                for (int level = 0; level < LineSide::LEVELS; ++level) {
                    const std::string customer = bid ? line->GetBidCustomer(level) : line->GetOfferCustomer(level);
                    const char* centre = bid ? line->GetBidCenter(level) : line->GetOfferCenter(level);
                    if (customer.empty() || CentreColourIndex(customer, centre, customers) != 0)
                        continue;
                    const char* quantity = bid ? line->GetBidQuantity(level) : line->GetOfferQuantity(level);
                    rows.Add("(" + customer + ") " + line->m_issueName, bid, side.m_rate, quantity);
                }
            }
        }
    }
    return rows.Take();
}

} // namespace mavo
