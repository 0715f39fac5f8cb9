// A plain recursive backtracking matcher over CRegExp's node program, written
// straight from the matching rules: start positions left to right (only the
// start when anchored, only where the first character stands when one is
// known), BRANCH alternatives in order, STAR and PLUS greedy and giving back
// one byte at a time, OPEN and CLOSE recording a group boundary when the
// rest of the match has succeeded and the boundary is not yet recorded.
// Exponential on bad patterns and recursive on the text: for short texts in
// tests only, as the yardstick of the library's breadth-first matcher.
#pragma once

#include "Brindle/regexp/RegExp.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace regexptest {

class ReferenceMatcher {
public:
    explicit ReferenceMatcher(const Brindle::CRegExp& re) : m_re(re), m_code(re.get_program()) {}

    // true with the groups of the first match found; false when none.
    bool Search(std::string_view text, Brindle::CRegExpMatch& match)
    {
        m_text = text;
        for (int i = 0; i < Brindle::CRegExpMatch::GROUPS; ++i)
            match.start[i] = match.end[i] = -1;
        const std::string must = m_re.get_required_literal();
        if (m_code.empty() || (!must.empty() && text.find(must) == std::string_view::npos))
            return false;
        const int first = m_re.get_first_char();
        for (std::size_t at = 0; at <= text.size() && (at == 0 || !m_re.is_anchored()); ++at) {
            if (first >= 0 && (at == text.size() || static_cast<unsigned char>(text[at]) != first))
                continue;
            for (int i = 0; i < Brindle::CRegExpMatch::GROUPS; ++i)
                m_start[i] = m_end[i] = -1;
            std::size_t pos = at;
            if (!Match(1, pos))
                continue;
            for (int i = 1; i < Brindle::CRegExpMatch::GROUPS; ++i) {
                if (m_start[i] >= 0 && m_end[i] >= 0) {
                    match.start[i] = m_start[i];
                    match.end[i] = m_end[i];
                }
            }
            match.start[0] = static_cast<std::ptrdiff_t>(at);
            match.end[0] = static_cast<std::ptrdiff_t>(pos);
            return true;
        }
        return false;
    }

private:
    unsigned char Op(std::size_t p) const { return m_code[p]; }
    const char* Operand(std::size_t p) const { return reinterpret_cast<const char*>(&m_code[p + 3]); }
    std::size_t Next(std::size_t p) const
    {
        const std::size_t offset = (static_cast<std::size_t>(m_code[p + 1]) << 8) | m_code[p + 2];
        if (offset == 0)
            return 0;
        return Op(p) == Brindle::CRegExp::BACK ? p - offset : p + offset;
    }
    // Whether the one-byte node at p takes the byte at pos.
    bool TakesByte(std::size_t p, std::size_t pos) const
    {
        using R = Brindle::CRegExp;
        if (pos >= m_text.size())
            return false;
        if (Op(p) == R::ANY || Op(p) == R::EXACTLY)
            return Op(p) == R::ANY || m_text[pos] == Operand(p)[0];
        const char* set = Operand(p);
        const bool inSet = std::memchr(set, m_text[pos], std::strlen(set)) != nullptr && m_text[pos] != '\0';
        return Op(p) == R::ANYOF ? inSet : Op(p) == R::ANYBUT && !inSet;
    }

    bool Match(std::size_t scan, std::size_t& pos)
    {
        using R = Brindle::CRegExp;
        while (scan != 0) {
            std::size_t next = Next(scan);
            const unsigned char op = Op(scan);
            switch (op) {
            case R::BOL:
                if (pos != 0)
                    return false;
                break;
            case R::EOL:
                if (pos != m_text.size())
                    return false;
                break;
            case R::EXACTLY: {
                const std::size_t len = std::strlen(Operand(scan));
                if (m_text.substr(pos, len) != std::string_view(Operand(scan), len))
                    return false;
                pos += len;
                break;
            }
            case R::ANY:
            case R::ANYOF:
            case R::ANYBUT:
                if (!TakesByte(scan, pos))
                    return false;
                ++pos;
                break;
            case R::NOTHING:
            case R::BACK:
                break;
            case R::BRANCH: {
                if (Op(next) != R::BRANCH) {
                    next = scan + 3;
                    break;
                }
                do {
                    std::size_t p = pos;
                    if (Match(scan + 3, p)) {
                        pos = p;
                        return true;
                    }
                    scan = Next(scan);
                } while (scan != 0 && Op(scan) == R::BRANCH);
                return false;
            }
            case R::STAR:
            case R::PLUS: {
                const int nextch = Op(next) == R::EXACTLY ? static_cast<unsigned char>(Operand(next)[0]) : -1;
                const std::size_t min = op == R::STAR ? 0 : 1;
                std::size_t n = 0; // as many as the node takes, then one fewer at a time
                while (TakesByte(scan + 3, pos + n))
                    ++n;
                while (n + 1 > min) {
                    const std::size_t at = pos + n;
                    if (nextch < 0 || (at < m_text.size() && static_cast<unsigned char>(m_text[at]) == nextch)) {
                        std::size_t p = at;
                        if (Match(next, p)) {
                            pos = p;
                            return true;
                        }
                    }
                    if (n == 0)
                        break;
                    --n;
                }
                return false;
            }
            case R::END:
                return true;
            default: {
                const bool open = op > R::OPEN && op <= R::OPEN + 9;
                if (!open && !(op > R::CLOSE && op <= R::CLOSE + 9))
                    return false;
                const std::size_t save = pos;
                if (!Match(next, pos))
                    return false;
                std::ptrdiff_t& mark = open ? m_start[op - R::OPEN] : m_end[op - R::CLOSE];
                if (mark < 0)
                    mark = static_cast<std::ptrdiff_t>(save);
                return true;
            }
            }
            scan = next;
        }
        return false;
    }

    const Brindle::CRegExp& m_re;
    const std::vector<unsigned char>& m_code;
    std::string_view m_text;
    std::ptrdiff_t m_start[Brindle::CRegExpMatch::GROUPS];
    std::ptrdiff_t m_end[Brindle::CRegExpMatch::GROUPS];
};

} // namespace regexptest
