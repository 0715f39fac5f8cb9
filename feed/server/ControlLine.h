// ControlLine: reads the words of one control command line. Words are
// separated by blanks; the free text at the end of some commands (a title, a
// notification, a field's value) is the rest of the line after one blank,
// taken as it is.
//
// Thread-safety: a plain value over a view of the caller's text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zphd {

class ControlLine {
public:
    explicit ControlLine(std::string_view text) : m_rest(text) {}

    // The next word; false at the end of the line.
    bool Word(std::string& word);
    // The next word as a number within [lo, hi]; false when it is missing or
    // is not one.
    bool Int(int& value, int lo, int hi);
    bool Number(double& value, double lo, double hi);
    // What is left after one separating blank, as it is (may be empty).
    std::string Rest();
    bool AtEnd() const;

private:
    std::string_view m_rest;
};

// The longest control line the server reads.
constexpr std::size_t kMaxControlLine = 64 * 1024;

} // namespace zphd
