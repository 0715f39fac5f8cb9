// Compiles the bytes before the first NUL as a pattern and searches the
// bytes after it (or the pattern itself when there is no NUL). A pattern
// either compiles or records its cause and "Insufficient expression"; the
// yes/no answer and the search agree, the match and its groups lie inside
// the text, and on short inputs every answer equals that of a plain
// backtracking matcher. Time stays linear in the text: libFuzzer's time-out
// catches any pattern that would blow up.
#include "Brindle/regexp/RegExp.h"

#include "../tests/Common/Libs/Brindle/regexp/RegExpReference.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using Brindle::CRegExp;
using Brindle::CRegExpMatch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const void* nul = std::memchr(data, 0, size);
    const std::size_t patternLength = nul != nullptr ? static_cast<const uint8_t*>(nul) - data : size;
    const std::string pattern(bytes, patternLength);
    const std::string text = nul != nullptr ? std::string(bytes + patternLength + 1, size - patternLength - 1) : pattern;

    const CRegExp re(pattern.c_str());
    if (!re.is_valid()) {
        if (re.get_error_count() < 2 || re.get_last_error() != "Insufficient expression" ||
            re.get_compile_error() == Brindle::REGEXP_NO_ERROR)
            std::abort();
        if (re.is_reg_exp_present(text) != 0)
            std::abort();
        return 0;
    }
    if (re.get_error_count() != 0)
        std::abort();

    const int present = re.is_reg_exp_present(text);
    CRegExpMatch m{};
    const bool found = re.search(text, m);
    if ((present == 1) != found)
        std::abort();
    if (found) {
        for (int g = 0; g < CRegExpMatch::GROUPS; ++g) {
            if ((m.start[g] < 0) != (m.end[g] < 0))
                std::abort();
            if (m.start[g] >= 0 && (m.start[g] > m.end[g] || static_cast<std::size_t>(m.end[g]) > text.size()))
                std::abort();
        }
        if (m.start[0] < 0)
            std::abort();
    }
    // A copy answers the same.
    const CRegExp copy(re);
    if (copy.is_reg_exp_present(text) != present)
        std::abort();

    if (pattern.size() <= 24 && text.size() <= 12) {
        regexptest::ReferenceMatcher reference(re);
        CRegExpMatch want{};
        if (reference.Search(text, want) != found)
            std::abort();
        for (int g = 0; g < CRegExpMatch::GROUPS; ++g)
            if (want.start[g] != m.start[g] || want.end[g] != m.end[g])
                std::abort();
    }
    return 0;
}
