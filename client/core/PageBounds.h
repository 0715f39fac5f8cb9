// The pages and lines a desk can show: the feed's own bounds, named once for
// every window, dialog and link of the client.
//
// Thread-safety: constants and pure functions.
#pragma once

#include "protocol/Protocol.h"

namespace mavo {

inline constexpr int kFirstPage = 1;
inline constexpr int kLastPage = ZPHWire::MAX_PAGE;
inline constexpr int kLinesPerPage = ZPHWire::MAX_LINE;

constexpr bool IsPageNumber(int page)
{
    return page >= kFirstPage && page <= kLastPage;
}

constexpr bool IsPageLine(int page, int line)
{
    return IsPageNumber(page) && line >= 1 && line <= kLinesPerPage;
}

} // namespace mavo
