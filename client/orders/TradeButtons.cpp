#include "orders/TradeButtons.h"

#include "pages/CenterColor.h"
#include "pages/DisplayState.h"

namespace mavo {

namespace {

constexpr int kFullViewLevel = 999;

bool IsUser(const char* tradedCustomer, int userLevel)
{
    const std::optional<int> customer = ParseFeedInt(tradedCustomer == nullptr ? "" : tradedCustomer);
    return customer && *customer == userLevel;
}

} // namespace

int TradeSideState(const LineSide& side) { return DisplayStateOf(side.m_attribute, side.m_best == 1); }

bool HasRate(const LineSide& side) { return side.m_rate.find_first_not_of(" \t") != std::string::npos; }

int OwnLevel(const LineSide& side) { return side.m_ownLevel >= 1 && side.m_ownLevel <= 5 ? side.m_ownLevel : 0; }

std::string OwnStackQuantity(const LineObject& line, bool bid)
{
    const int level = OwnLevel(bid ? line.m_bid : line.m_offer);
    if (level == 0)
        return {};
    return bid ? line.GetBidQuantity(level - 1) : line.GetOfferQuantity(level - 1);
}

bool IsWithheld(const LineObject& line) { return ((line.m_lineFlags | line.m_issueFlags) & kWithheldFlag) != 0; }

unsigned TradeButtonMask(const LineObject* line, int userLevel, bool orderEntry)
{
    if (line == nullptr || !orderEntry || userLevel == kFullViewLevel || line->m_kind != 'F'
        || (line->m_lineFlags & kNoLineTrading) != 0 || IsWithheld(*line))
        return 0;
    unsigned mask = 0;

    const LineSide& bid = line->m_bid;
    if (HasRate(bid)) {
        const int state = TradeSideState(bid);
        if (OwnLevel(bid) == 0) {
            if (IsUser(line->GetTradedBidCustomer(0), userLevel))
                mask |= TB_SELL;
            else if (state == DS_NORMAL)
                mask |= TB_SELL | TB_BID;
            else if (state != DS_TRADING)
                mask |= TB_BID;
        } else if (state != DS_TRADING) {
            mask |= TB_BID | TB_BID_OUT;
        }
    } else {
        mask |= TB_BID;
    }

    const LineSide& offer = line->m_offer;
    if (HasRate(offer)) {
        const int state = TradeSideState(offer);
        if (OwnLevel(offer) != 0) {
            if (state != DS_TRADING)
                mask |= TB_OFFER | TB_OFFER_OUT;
        } else if (IsUser(line->GetTradedOfferCustomer(0), userLevel)) {
            mask |= TB_BUY;
        } else if (state == DS_NORMAL) {
            mask |= TB_BUY | TB_OFFER;
        } else if (state != DS_TRADING) {
            mask |= TB_OFFER;
        }
    } else {
        mask |= TB_OFFER;
    }
    return mask;
}

} // namespace mavo
