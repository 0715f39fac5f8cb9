// COrderFeed: what order entry needs of the feed controller, as one
// interface, so that the trade window and "Your Orders" work the same over
// the real controller (CControllerOrderFeed) and over a line cache in
// tests: lines as they stand, the user's level and order-entry flag, the
// reference counts of lines that windows show, the trade-window mark on a
// line (flag 0x80000, written and then dispatched to every key client),
// key clients, and the active source's send.
//
// Thread-safety: every member from any thread (as the controller); order
// entry calls them from the window thread.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/Clients.h"
#include "zph/LineCache.h"
#include "zph/ZPHMessage.h"

namespace ZPH {
class CController;
} // namespace ZPH

namespace mavo {

class COrderFeed {
public:
    virtual ~COrderFeed() = default;
    // The line as it stands now, or null.
    virtual LineRef GetLine(unsigned key) const = 0;
    virtual int UserLevel() const = 0;
    virtual bool OrderEntry() const = 0;
    virtual int RefCount(int page, int line) const = 0;
    // Sets or clears the trade-window mark and tells the key clients;
    // false when the line is absent.
    virtual bool MarkLine(unsigned key, bool on) = 0;
    virtual bool Register(KeyClient* client) = 0;
    virtual bool Unregister(KeyClient* client) = 0;
    // Hands an order to the active source; false when it was not taken
    // (not logged in, queue full, a text the wire cannot carry).
    virtual bool Send(const ZPHMessage& msg) = 0;
};

class CControllerOrderFeed : public COrderFeed {
public:
    explicit CControllerOrderFeed(CController& controller) : m_controller(controller) {}

    LineRef GetLine(unsigned key) const override;
    int UserLevel() const override;
    bool OrderEntry() const override;
    int RefCount(int page, int line) const override;
    bool MarkLine(unsigned key, bool on) override;
    bool Register(KeyClient* client) override;
    bool Unregister(KeyClient* client) override;
    bool Send(const ZPHMessage& msg) override;

private:
    CController& m_controller;
};

} // namespace mavo
