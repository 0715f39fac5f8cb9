// The rate increments of the order dialog: six choices, each with the
// label the dialog shows and the text "Change Increment" lists. One choice
// is shared by every order dialog for the life of the program; it starts
// at index 4 (0.25). The order module owns that one COrderIncrement.
//
// Thread-safety: the table is constant (any thread); a COrderIncrement is
// used on the window thread.
#pragma once

#include "orders/OrderNumber.h"

#include <array>

namespace mavo {

struct IncrementChoice {
    COrderNumber step;
    const char* label;   // "0.25"
    const char* choice;  // "0.25     (1/4)"
};

constexpr int kIncrementCount = 6;
constexpr int kDefaultIncrement = 4;

const std::array<IncrementChoice, kIncrementCount>& IncrementChoices();

class COrderIncrement {
public:
    int Index() const { return m_index; }
    // False (and nothing changed) for an index outside 0..5.
    bool SetIndex(int index);
    const IncrementChoice& Current() const { return IncrementChoices()[static_cast<std::size_t>(m_index)]; }

private:
    int m_index = kDefaultIncrement;
};

} // namespace mavo
