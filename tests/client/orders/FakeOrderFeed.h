// A COrderFeed over a line cache of the test's own: user level, order
// entry and reference counts are plain fields; marks are written into the
// cache; sent orders are recorded (and refused while `sendWorks` is off).
#pragma once

#include "orders/OrderFeed.h"
#include "orders/TradeButtons.h"
#include "zph/ZPHKey.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

using namespace ZPH;

namespace orderstest {

class FakeOrderFeed : public mavo::COrderFeed {
public:
    LineCache cache;
    int userLevel = 101;
    bool orderEntry = true;
    bool sendWorks = true;
    std::map<unsigned, int> refs;
    std::vector<ZPHMessage> sent;
    std::vector<unsigned> dispatched;
    std::vector<KeyClient*> clients;

    LineRef GetLine(unsigned key) const override { return cache.GetForRead(key); }
    int UserLevel() const override { return userLevel; }
    bool OrderEntry() const override { return orderEntry; }
    int RefCount(int page, int line) const override
    {
        const auto it = refs.find(CreateZPHKey(page, line));
        return it == refs.end() ? 0 : it->second;
    }
    bool MarkLine(unsigned key, bool on) override
    {
        {
            LineWriter writer = cache.GetForWrite(key);
            if (!writer)
                return false;
            if (on)
                writer->m_lineFlags |= mavo::kTradeWindowLineFlag;
            else
                writer->m_lineFlags &= ~mavo::kTradeWindowLineFlag;
        }
        dispatched.push_back(key);
        return true;
    }
    bool Register(KeyClient* client) override
    {
        clients.push_back(client);
        return true;
    }
    bool Unregister(KeyClient* client) override
    {
        clients.erase(std::remove(clients.begin(), clients.end(), client), clients.end());
        return true;
    }
    bool Send(const ZPHMessage& msg) override
    {
        if (!sendWorks)
            return false;
        sent.push_back(msg);
        return true;
    }
};

// A field line with a firm bid 99.5 x 5 and offer 100 x 10 (state 1).
inline LineObject FirmLine(int page = 2, int line = 3)
{
    LineObject l(page, line);
    l.m_kind = 'F';
    l.m_issueName = "ARG 2030";
    l.m_bid.m_attribute = 2;
    l.m_bid.m_rate = "99.5";
    l.m_bid.m_quantity = "5";
    l.m_offer.m_attribute = 2;
    l.m_offer.m_rate = "100";
    l.m_offer.m_quantity = "10";
    return l;
}

} // namespace orderstest
