// CCommMultiplexer: a layer that serves many bottom objects at once. Every
// layer linked under it (SetChain with the multiplexer as up layer) joins
// its list of down layers; sends are routed to the down layer whose source
// they name. Placed above a listener, it keeps every accepted connection.
//
// Contract
// - SetDownChain appends (a layer linked twice is listed twice),
//   RemoveChain removes every occurrence, GetDownLayer(source) is the first
//   listed layer whose source is `source`, or null.
// - Destruction unlinks every listed layer (each forgets the multiplexer as
//   its up layer).
//
// Thread-safety: the list is locked, so connections may join and leave on
// worker threads while sends are routed on others.
#pragma once

#include "Brindle/comm/CommLayer.h"

#include <shared_mutex>
#include <vector>

namespace Brindle {

class CCommMultiplexer : public CCommLayer {
public:
    CCommMultiplexer() = default;
    ~CCommMultiplexer() override;

    void RemoveChain(CCommLayer* down) override;
    void SetDownChain(CCommLayer* down) override;
    CCommLayer* GetDownLayer(void* source) override;

    // Down layers listed now.
    std::size_t size() const;

private:
    struct Link {
        CCommLayer* layer;
        void* source; // the layer's source, taken when it joined
    };
    mutable std::shared_mutex m_lock;
    std::vector<Link> m_links;
};

} // namespace Brindle
