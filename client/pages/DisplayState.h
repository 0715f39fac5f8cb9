// Display states: a side's price attribute from the feed mapped to 0..8,
// which chooses the text a rate or quantity cell shows and its colours.
// Drawing, clipboard texts, trade-window buttons and DDE attribute texts all
// use this one mapping.
//
//   attribute 0 -> 0 (empty)       2 -> 1, or 8 when it is the best price
//   attribute 3 -> 2               4 -> 3
//   attribute 5 -> 4 (trading)     6 -> 5 "Error"
//   attribute 7 -> 7 "<<NL>>"      8 -> 6 "<<LF>>"
//   any other   -> 0
//
// Free functions without state; any thread.
#pragma once

#include <string>

namespace mavo {

enum DisplayState : int {
    DS_EMPTY = 0,
    DS_NORMAL = 1,
    DS_STATE2 = 2,
    DS_STATE3 = 3,
    DS_TRADING = 4,
    DS_ERROR = 5,
    DS_LINE_FULL = 6,
    DS_NO_LINE = 7,
    DS_BEST = 8,
};

constexpr int kDisplayStates = 9;

// best: the side is the best price (the option is on, the user is in full
// view and the side's best-price flag is 1).
int DisplayStateOf(int attribute, bool best);

// The text a rate or quantity cell shows in a state: empty, the value
// itself, or the state's own text.
std::string DisplayStateText(int state, const std::string& value);

// How often a rate or quantity text blinks in a state: 0 never, else every
// k ticks of the flash timer (1 or 3). fastFlash: the main frame's trade
// timer is on and the side's fast-flash flag is 1.
int DisplayStateCadence(int state, bool fastFlash);

} // namespace mavo
