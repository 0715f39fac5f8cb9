// CRegExp: a small regular-expression matcher. The pattern is compiled once,
// in the constructor, into a program of nodes; is_reg_exp_present tells
// whether a text holds a match anywhere, search also gives the positions of
// the match and of its numbered groups.
//
// Syntax: ^ (beginning of the text), $ (end of the text), . (any byte),
// [...] (a set: a leading ^ negates, ] or - first is literal, a-z is a range
// of byte values), (...) (group, at most nine), | (alternatives), * + ? after
// an atom (greedy), \ quoting the next byte. Every other byte stands for
// itself; bytes are compared as unsigned values, case-sensitively. There is
// no multi-line mode: ^ and $ match only at the ends of the whole text.
//
// Contract
// - Errors are recorded, never thrown: the error count and the last error
//   (number and text, see REGEXP_ERROR) say what went wrong. A pattern that
//   did not compile records its cause and then "Insufficient expression"
//   (count >= 2), and every later search records "Parse overload" and
//   answers 0. A missing (null) text records "Invalid argument".
// - Patterns and texts of any length are taken whole. The compiled program
//   must fit the node layout's 16-bit offsets (65,535 bytes, about as many
//   pattern bytes); a larger one is refused with REGEXP_TOO_BIG.
// - Results are those of a backtracking matcher that tries the start
//   positions left to right and, at each, the alternatives in order and the
//   repeats greedily, taking the first success: the leftmost match, with
//   group positions from that first successful path (the last pass of a
//   repeated group). The matcher runs the program as a breadth-first
//   simulation instead: one pass over the text with a set of threads per
//   position, so time grows linearly with the text (times the program size)
//   for every pattern, and nothing recurses on the text.
// - A text given as const char* ends at its NUL; a string_view is taken
//   byte for byte (a NUL in it is an ordinary byte that . and [^...] match).
//
// Thread-safety: searches are const and may run on one object from any
// number of threads at once (each takes a scratch area of its own from a
// small pool). Copying is safe while searches run on the source. Assigning
// to an object while it is searched is not.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace Brindle {

enum REGEXP_ERROR {
    REGEXP_INVALID_ARGUMENT = 0,   // "Invalid argument"
    REGEXP_INSUFFICIENT = 1,       // "Insufficient expression"
    REGEXP_PARSE_OVERLOAD = 2,     // "Parse overload"
    REGEXP_MISMATCHED = 3,         // "Mismatched () or []"
    REGEXP_EXTRANEOUS = 4,         // "Extraneous characters"
    REGEXP_EMPTY_REPEAT = 5,       // "Illegal use of * or +"
    REGEXP_NESTED_REPEAT = 6,      // "Illegal nesting"
    REGEXP_BAD_RANGE = 7,          // "Illegal [] range"
    REGEXP_REPEAT_NOTHING = 8,     // "Illegal ?, +, or * usage"
    REGEXP_TRAILING_BACKSLASH = 9, // "Illegal backslashes"
    REGEXP_TOO_MANY_GROUPS = 10,   // "Too many ()"
    REGEXP_TOO_BIG = 11,           // "Expression too big"
    REGEXP_NO_ERROR = -1
};

// Where a match lies: group 0 is the whole match, 1 to 9 the numbered
// groups; a group the match did not pass has start and end -1. Positions
// are byte offsets into the text, end exclusive.
struct CRegExpMatch {
    static constexpr int GROUPS = 10;
    std::ptrdiff_t start[GROUPS];
    std::ptrdiff_t end[GROUPS];

    bool has_group(int n) const { return n >= 0 && n < GROUPS && start[n] >= 0; }
    std::string_view group(std::string_view text, int n) const;
};

namespace RegExpDetail {
struct Program;
struct Scratch;
} // namespace RegExpDetail

class CRegExp {
public:
    // Node opcodes of the compiled program.
    enum OPCODE : unsigned char {
        END = 0,
        BOL = 1,
        EOL = 2,
        ANY = 3,
        ANYOF = 4,
        ANYBUT = 5,
        BRANCH = 6,
        BACK = 7,
        EXACTLY = 8,
        NOTHING = 9,
        STAR = 10,
        PLUS = 11,
        OPEN = 20,  // OPEN + n for group n (1-9)
        CLOSE = 30, // CLOSE + n
    };
    static constexpr unsigned char MAGIC = 156;
    static constexpr int MAX_GROUPS = 9;
    static constexpr std::size_t MAX_PROGRAM = 65535;

    // A null pattern records "Invalid argument".
    explicit CRegExp(const char* pattern);
    explicit CRegExp(const std::string& pattern) : CRegExp(pattern.c_str()) {}
    CRegExp(const CRegExp& other);
    CRegExp& operator=(const CRegExp& other);
    ~CRegExp();

    // 1 when a match exists anywhere in the text, else 0.
    int is_reg_exp_present(const char* text) const;
    int is_reg_exp_present(std::string_view text) const;
    int is_reg_exp_present(const std::string& text) const { return is_reg_exp_present(std::string_view(text)); }
    // The leftmost match and its groups; false (match all -1) when there is
    // none or the pattern did not compile.
    bool search(std::string_view text, CRegExpMatch& match) const;

    // The pattern compiled and its program can be used.
    bool is_valid() const { return m_program != nullptr; }
    int get_error_count() const;
    // The last error's text ("" when none) and number (REGEXP_NO_ERROR).
    std::string get_last_error() const;
    int get_last_error_number() const;
    // What made the compile fail (REGEXP_NO_ERROR when it did not): the
    // error recorded just before "Insufficient expression".
    int get_compile_error() const { return m_compileError; }
    static const char* error_text(int number);

    const std::string& get_pattern() const { return m_pattern; }
    // The node program: the magic byte, then the nodes (empty when the
    // compile failed).
    const std::vector<unsigned char>& get_program() const;
    // The pre-check data: the byte every match starts with (-1 when none),
    // whether matches are anchored at the start, the literal every match
    // must contain ("" when none).
    int get_first_char() const;
    bool is_anchored() const;
    std::string get_required_literal() const;

private:
    void RecordError(int number) const;
    void Compile();
    void CompileFailed(int cause);
    std::unique_ptr<RegExpDetail::Scratch> TakeScratch() const;
    void GiveBackScratch(std::unique_ptr<RegExpDetail::Scratch> scratch) const;

    mutable std::mutex m_errorLock; // guards the three error members
    mutable int m_errorCount = 0;
    mutable int m_lastErrorNumber = REGEXP_NO_ERROR;
    mutable std::string m_lastError;

    std::string m_pattern;
    bool m_patternMissing = false;
    int m_compileError = REGEXP_NO_ERROR;
    // Immutable once compiled; copies share it.
    std::shared_ptr<const RegExpDetail::Program> m_program;

    mutable std::mutex m_scratchLock;
    mutable std::vector<std::unique_ptr<RegExpDetail::Scratch>> m_scratch;
};

} // namespace Brindle
