// Where the application's own small windows go: a dialog centred on the
// window it belongs to, and popups that open while others are still up
// cascaded down and right from that centre, so that none hides another.
//
// Thread-safety: pure functions; any thread.
#pragma once

namespace mavo {

struct PlaceRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PlaceRect&, const PlaceRect&) = default;
};

// Steps of a cascade, and after how many it starts again from the centre.
constexpr int kCascadeStep = 24;
constexpr int kCascadeDepth = 8;

// A window of width x height centred on `owner` (its top-left never above
// or left of the owner's).
PlaceRect CentredOn(const PlaceRect& owner, int width, int height);

// The depth-th of the popups open together (0 is the first): centred, then
// kCascadeStep further down and right for each one before it.
PlaceRect CascadedOn(const PlaceRect& owner, int width, int height, int depth);

} // namespace mavo
