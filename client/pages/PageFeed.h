// CPageFeed: what the page windows and their documents need of the feed
// controller, as one interface, so that the pages work the same over the
// real controller (PageFeedAdapter.h) and over a line cache in tests.
//
//   Cache          the feed's lines and page titles;
//   AddRef/Release the reference a document holds on each line it lists;
//   Register/Unregister a key client (Unregister returns only when no
//                  call-back to that client is running);
//   UserLevel      999 is the full view;
//   OrderEntry     the user's own orders are shown and guarded;
//   GetPermission  the user may see the page;
//   RequestPage    the active source asks the feed for a page.
//
// Thread-safety: every member may be called from any thread (the real
// controller allows it); the pages call them from the window thread, and
// the key clients are called back on feed threads.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/Clients.h"
#include "zph/LineCache.h"

namespace mavo {

class CPageFeed {
public:
    static constexpr int kFullViewLevel = 999;

    virtual ~CPageFeed() = default;
    virtual const LineCache& Cache() const = 0;
    virtual LineCache& MutableCache() = 0;
    virtual int AddRef(unsigned key) = 0;
    virtual int Release(unsigned key) = 0;
    virtual bool Register(KeyClient* client) = 0;
    virtual bool Unregister(KeyClient* client) = 0;
    virtual int UserLevel() const = 0;
    virtual bool OrderEntry() const = 0;
    virtual bool GetPermission(int page) const = 0;
    virtual void RequestPage(int page) = 0;

    bool IsFullView() const { return UserLevel() == kFullViewLevel; }
};

} // namespace mavo
