// What the trade window ("Page %d, Line %d") shows of a line, without a
// display: the issue, "bid / offer" rates and "bid X offer" quantities of
// the bold price line, and the statistics list with the columns "",
// "Last / Total", "Bid Trade", "Offer Trade" and the rows "Last Trade",
// "Time", "High", "Low" ("Last / Total" from the line's last trade, its
// time, the daily high and low; each side's column from that side's last
// trade, time, high and low). A line withheld from the user (0x40000 in
// either flag word) shows every price and statistic empty, and its issue
// too when the issue flags withhold it; a missing line shows nothing.
//
// Also where the window goes when it opens at the pointer: 10 pixels below
// it, or above it when it would leave the bottom of the screen, moved left
// by its width when it would leave the right edge, and always kept on the
// screen.
//
// Pure functions; any thread.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/LineObject.h"

#include <array>
#include <string>

namespace mavo {

constexpr int kStatColumns = 4;
constexpr int kStatRows = 4;

struct TradeWindowContent {
    std::string issue;
    std::string rates;       // "99.5 / 100.0"
    std::string quantities;  // "5 X 10"
    // [row][column]; column 0 is the row's name.
    std::array<std::array<std::string, kStatColumns>, kStatRows> stats;
};

const std::array<const char*, kStatColumns>& StatColumnTitles();
const std::array<const char*, kStatRows>& StatRowTitles();

std::string TradeWindowTitle(unsigned key);
TradeWindowContent TradeWindowContentOf(const LineObject* line);

struct PlaceRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PlaceRect&, const PlaceRect&) = default;
};

// The window's new rectangle (its size kept) for a pointer at (px, py).
PlaceRect PlaceNearPointer(int px, int py, int width, int height, const PlaceRect& screen);

} // namespace mavo
