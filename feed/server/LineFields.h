// LineFields: a LineState as the feed's line fields (id, text) and back.
//
// FieldsOf lists every line field the market keeps, always the same ids in
// the same order, so two lists of the same kind of line compare position by
// position. The line number is not among them (a message's header carries
// it), nor are the per-user fields (own levels) and the withheld mark; the
// session adds those for its user.
//
// Thread-safety: pure functions.
#pragma once

#include "LineState.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zphd {

using LineField = std::pair<int, std::string>;

std::vector<LineField> FieldsOf(const LineState& line);

// Sets one field from its text; false for an id the line does not keep or a
// number field whose text is not a number.
bool SetField(LineState& line, int id, std::string_view text);

// true when the text is what an absent field stands for in a whole line
// ('R', 'I'): empty text, 0 for a number field, 'F' for the kind.
bool IsAbsentValue(int id, std::string_view text);

// The text of one field; false for an id the line does not keep.
bool GetField(const LineState& line, int id, std::string& text);

} // namespace zphd
