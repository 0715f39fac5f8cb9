#include "core/WindowPlace.h"

#include <algorithm>

namespace mavo {

PlaceRect CentredOn(const PlaceRect& owner, int width, int height)
{
    PlaceRect r;
    r.width = width;
    r.height = height;
    r.x = owner.x + std::max(0, (owner.width - width) / 2);
    r.y = owner.y + std::max(0, (owner.height - height) / 2);
    return r;
}

PlaceRect CascadedOn(const PlaceRect& owner, int width, int height, int depth)
{
    PlaceRect r = CentredOn(owner, width, height);
    const int step = kCascadeStep * (std::max(0, depth) % kCascadeDepth);
    r.x += step;
    r.y += step;
    return r;
}

} // namespace mavo
