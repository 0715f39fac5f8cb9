#include "Brindle/base/Tokenizer.h"

namespace Brindle {

CTokenizer::CTokenizer(const std::string& text, const std::string& delimiters)
    : m_text(text), m_delimiters(delimiters), m_position(m_text.find_first_not_of(m_delimiters))
{
}

CVar CTokenizer::next()
{
    if (eof())
        return CVar();
    const std::size_t start = m_position;
    const std::size_t delimiter = m_text.find_first_of(m_delimiters, start);
    if (delimiter == std::string::npos) {
        m_position = std::string::npos;
        return CVar(m_text.substr(start));
    }
    m_position = delimiter + 1 < m_text.size() ? delimiter + 1 : std::string::npos;
    return CVar(m_text.substr(start, delimiter - start));
}

CVar CTokenizer::next(const std::string& delimiters)
{
    m_delimiters = delimiters;
    return next();
}

} // namespace Brindle
