// CLogFormatMsg: a pipe-delimited text made of up to ten values, for log
// records that carry several fields.
//
// Contract: the text is '|', the first value, '|', the second, and so on up
// to the last value that is not empty, then a closing '|'; empty values
// before it keep their place as empty fields. When all ten are empty the
// text is "||". Values are taken as they are (a '|' inside one is not
// escaped).
//
// Thread-safety: a plain value.
#pragma once

#include "Brindle/comm/Var.h"

#include <string>

namespace Brindle {

class CLogFormatMsg {
public:
    static constexpr char Separator = '|';

    explicit CLogFormatMsg(const CVar& v0 = CVar(), const CVar& v1 = CVar(), const CVar& v2 = CVar(),
                           const CVar& v3 = CVar(), const CVar& v4 = CVar(), const CVar& v5 = CVar(),
                           const CVar& v6 = CVar(), const CVar& v7 = CVar(), const CVar& v8 = CVar(),
                           const CVar& v9 = CVar());

    const std::string& GetText() const { return m_text; }
    operator const std::string&() const { return m_text; }
    const char* c_str() const { return m_text.c_str(); }

private:
    std::string m_text;
};

} // namespace Brindle
