// CControllerPageFeed: the page windows' CPageFeed over the feed-source
// library's controller: its line cache, reference counts, key clients,
// user level, order-entry flag and permissions, and the active source for
// page requests.
//
// Thread-safety: as the controller: every member from any thread.
#pragma once

#include "pages/PageFeed.h"
#include "core/FeedLibrary.h"

namespace ZPH {
class CController;
} // namespace ZPH

namespace mavo {

class CControllerPageFeed : public CPageFeed {
public:
    explicit CControllerPageFeed(CController& controller) : m_controller(controller) {}

    const LineCache& Cache() const override;
    LineCache& MutableCache() override;
    int AddRef(unsigned key) override;
    int Release(unsigned key) override;
    bool Register(KeyClient* client) override;
    bool Unregister(KeyClient* client) override;
    int UserLevel() const override;
    bool OrderEntry() const override;
    bool GetPermission(int page) const override;
    // Asks the active source; nothing when there is none.
    void RequestPage(int page) override;

private:
    CController& m_controller;
};

} // namespace mavo
