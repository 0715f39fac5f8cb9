// Line keys: a line of the feed is named by one unsigned number,
// page * 100 + line. Key 0 names no line. The feed addresses pages 1..300
// and lines 1..26 (ZPHWire::MAX_PAGE, MAX_LINE).
//
// Free functions without state; any thread.
#pragma once

namespace ZPH {

// The key of (page, line); 0 when either is outside 1..300 or 1..26.
unsigned CreateZPHKey(int page, int line);

// Splits a key into page and line; true for a key of a valid page and line.
// On false, page and line are set to 0.
bool ParseZPHKey(unsigned key, int& page, int& line);

// Highest key CreateZPHKey can return (page 300, line 26).
constexpr unsigned ZPH_MAX_KEY = 300u * 100u + 26u;

} // namespace ZPH
