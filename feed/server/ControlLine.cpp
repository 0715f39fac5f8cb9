#include "ControlLine.h"

#include "MarketText.h"

namespace zphd {

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

} // namespace

bool ControlLine::Word(std::string& word)
{
    std::size_t i = 0;
    while (i < m_rest.size() && Blank(m_rest[i]))
        ++i;
    if (i == m_rest.size()) {
        m_rest = {};
        return false;
    }
    std::size_t j = i;
    while (j < m_rest.size() && !Blank(m_rest[j]))
        ++j;
    word.assign(m_rest.substr(i, j - i));
    m_rest.remove_prefix(j);
    return true;
}

bool ControlLine::Int(int& value, int lo, int hi)
{
    std::string word;
    int parsed = 0;
    if (!Word(word) || !ParseInt(word, parsed) || parsed < lo || parsed > hi)
        return false;
    value = parsed;
    return true;
}

bool ControlLine::Number(double& value, double lo, double hi)
{
    std::string word;
    double parsed = 0;
    if (!Word(word) || !ParseDecimal(word, parsed) || parsed < lo || parsed > hi)
        return false;
    value = parsed;
    return true;
}

std::string ControlLine::Rest()
{
    std::string_view rest = m_rest;
    if (!rest.empty() && Blank(rest[0]))
        rest.remove_prefix(1);
    m_rest = {};
    return std::string(rest);
}

bool ControlLine::AtEnd() const
{
    for (char c : m_rest)
        if (!Blank(c))
            return false;
    return true;
}

} // namespace zphd
