// The feed state of the active source: the wire's number, named. Sources
// keep it as that number; the controller's call-back and its readers name it.
//
// Thread-safety: constants and pure functions.
#pragma once

#include "protocol/Protocol.h"

namespace ZPH {

enum class FeedState : int {
    Dead = ZPHWire::FEED_DEAD,
    Stale = ZPHWire::FEED_STALE,
    Live = ZPHWire::FEED_LIVE,
};

// The state a reported number names; a number outside the three keeps its
// value, so that each reader decides how it shows an unknown state.
constexpr FeedState FeedStateFromWire(int state)
{
    return static_cast<FeedState>(state);
}

constexpr int WireValue(FeedState state)
{
    return static_cast<int>(state);
}

} // namespace ZPH
