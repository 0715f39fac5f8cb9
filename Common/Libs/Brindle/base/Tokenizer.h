// CTokenizer: splits a text into tokens at any one of a set of delimiter
// characters.
//
// Contract
// - Delimiters before the first token are skipped when the tokenizer is
//   made; after that every delimiter ends a token, so two delimiters in a
//   row give an empty token between them, and one delimiter at the very end
//   of the text gives no empty token after it.
// - next() gives the next token, or an empty value once eof() is true.
//   next(delimiters) first replaces the delimiter set (without skipping
//   anything) and then does the same.
// - Any byte may be a delimiter, NUL included; an empty set makes the whole
//   rest of the text one token.
//
// Thread-safety: one tokenizer is used by one thread at a time; copies are
// independent.
#pragma once

#include "Brindle/comm/Var.h"

#include <cstddef>
#include <string>

namespace Brindle {

class CTokenizer {
public:
    CTokenizer(const std::string& text, const std::string& delimiters);

    bool eof() const { return m_position == std::string::npos; }
    CVar next();
    CVar next(const std::string& delimiters);

private:
    std::string m_text;
    std::string m_delimiters;
    std::size_t m_position; // of the next token; npos when the text is used up
};

} // namespace Brindle
