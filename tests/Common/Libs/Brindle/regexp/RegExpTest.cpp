#include "Brindle/regexp/RegExp.h"

#include "ChildProcess.h"
#include "RegExpReference.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using Brindle::CRegExp;
using Brindle::CRegExpMatch;

namespace {

std::string Groups(const CRegExpMatch& m)
{
    std::string out;
    for (int i = 0; i < CRegExpMatch::GROUPS; ++i)
        out += std::to_string(m.start[i]) + "," + std::to_string(m.end[i]) + " ";
    return out;
}

// n pieces, the i-th made by piece(i), one after another, then `last`.
std::string Repeated(int n, const std::function<std::string(int)>& piece, const std::string& last)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += piece(i);
    return out + last;
}

TEST(RegExpProgram, PreChecks)
{
    const struct {
        const char* pattern;
        int first;
        bool anchored;
        const char* must;
    } rows[] = {
        {"abc", 'a', false, ""},      {"^abc", -1, true, ""},       {"x*hello", -1, false, "hello"},
        {"a?bb.ccc", -1, false, "ccc"}, {"ab|cd", -1, false, ""},   {"(abc)*de", -1, false, "de"},
        {"a*b*cd*ef", -1, false, "ef"},  {"[ab]x", -1, false, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.pattern);
        const CRegExp re(r.pattern);
        EXPECT_EQ(re.get_first_char(), r.first);
        EXPECT_EQ(re.is_anchored(), r.anchored);
        EXPECT_EQ(re.get_required_literal(), r.must);
    }
}

TEST(RegExpCompile, ErrorsByNumberEndWithInsufficientExpression)
{
    const struct {
        int cause;
        std::vector<const char*> patterns;
    } causes[] = {
        {Brindle::REGEXP_NO_ERROR,
         {"ok", "(a)(b)(c)(d)(e)(f)(g)(h)(i)", "(((((((((a)))))))))", "()", "(|a)", "a||b", "^?a", "[]a]", "[^]a]",
          "[a-]", "[-a]", "\\*", "a$b", "x^y", "[a-a]", "\\\\"}},
        {Brindle::REGEXP_TRAILING_BACKSLASH, {"abc\\"}},
        {Brindle::REGEXP_MISMATCHED, {"(abc", "abc)", "[abc", "[]"}},
        {Brindle::REGEXP_NESTED_REPEAT, {"a**", "a+?"}},
        {Brindle::REGEXP_EMPTY_REPEAT, {"(a*)*", "(a*)*b", "(a|)+", "^*"}},
        {Brindle::REGEXP_BAD_RANGE, {"[z-a]"}},
        {Brindle::REGEXP_REPEAT_NOTHING, {"*a", "a|+b", "(?a)"}},
        {Brindle::REGEXP_TOO_MANY_GROUPS, {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "((((((((((a))))))))))"}},
    };
    for (const auto& c : causes) {
        for (const char* pattern : c.patterns) {
            SCOPED_TRACE(pattern);
            const CRegExp re(pattern);
            EXPECT_EQ(re.get_compile_error(), c.cause) << re.get_last_error();
            if (c.cause == Brindle::REGEXP_NO_ERROR) {
                EXPECT_TRUE(re.is_valid());
                EXPECT_EQ(re.get_error_count(), 0);
                continue;
            }
            EXPECT_FALSE(re.is_valid());
            EXPECT_EQ(re.get_error_count(), 2);
            EXPECT_EQ(re.get_last_error(), "Insufficient expression");
            EXPECT_EQ(re.get_last_error_number(), Brindle::REGEXP_INSUFFICIENT);
            EXPECT_EQ(re.is_reg_exp_present("abc"), 0);
            EXPECT_EQ(re.get_error_count(), 3);
            EXPECT_EQ(re.get_last_error(), "Parse overload");
        }
    }
    const CRegExp missing(static_cast<const char*>(nullptr));
    EXPECT_EQ(missing.get_error_count(), 2);
    EXPECT_EQ(missing.get_last_error(), "Insufficient expression");
    EXPECT_EQ(missing.get_compile_error(), Brindle::REGEXP_INVALID_ARGUMENT);
    // A missing text, on a pattern that compiled.
    const CRegExp re("a");
    EXPECT_EQ(re.is_reg_exp_present(static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(re.get_error_count(), 1);
    EXPECT_EQ(re.get_last_error(), "Invalid argument");
    EXPECT_EQ(re.get_last_error_number(), Brindle::REGEXP_INVALID_ARGUMENT);
}

TEST(RegExpCompile, ProgramsBeyondTheOffsetRangeAreRefused)
{
    const CRegExp re(Repeated(9000, [](int) { return "a|"; }, "b"));
    EXPECT_FALSE(re.is_valid());
    EXPECT_EQ(re.get_error_count(), 2);
    EXPECT_EQ(re.is_reg_exp_present("b"), 0);

    EXPECT_EQ(re.get_compile_error(), Brindle::REGEXP_TOO_BIG);
    // Inside: 4,000 alternatives (about 50 KB of program) still work.
    const CRegExp ok(Repeated(4000, [](int i) { return "x" + std::to_string(i) + "y|"; }, "end"));
    ASSERT_TRUE(ok.is_valid()) << ok.get_last_error();
    EXPECT_EQ(ok.is_reg_exp_present("...x3999y..."), 1);
    EXPECT_EQ(ok.is_reg_exp_present("...x4000y..."), 0);
    CRegExpMatch m{};
    ASSERT_TRUE(ok.search("..x17y..", m));
    EXPECT_EQ(m.start[0], 2);
    EXPECT_EQ(m.end[0], 6);
}

TEST(RegExpSearch, TableOfMatchesAndGroups)
{
    // Whether found, where, and where group 1 is (-1 for none).
    const struct {
        const char *pattern, *text;
        int found, start, end, g1s = -1, g1e = -1;
    } rows[] = {
        {"[0-9]+", "abc 42 def", 1, 4, 6},
        {"[0-9]+", "no digits here", 0, -1, -1},
        {"^ab", "abab", 1, 0, 2},
        {"^ab", "xab", 0, -1, -1},
        {"ab$", "abab", 1, 2, 4},
        {"$", "abc", 1, 3, 3},
        {"", "abc", 1, 0, 0},
        {"a*", "bbb", 1, 0, 0},
        {"(a|ab)(c|bcd)", "abcd", 1, 0, 4, 0, 1},
        {"(a*)b", "xaaab", 1, 1, 5, 1, 4},
        {"(a|b)*c", "abac", 1, 0, 4, 2, 3},
        {"x(a|b)*", "xab", 1, 0, 3, 2, 3},
        {"(ab|a)b", "abb", 1, 0, 3, 0, 2},
        {"(a?)a", "a", 1, 0, 1, 0, 0},
        {"(.)\\1", "a1", 1, 0, 2, 0, 1},
        {"a.c", "a\nc", 1, 0, 3},
        {"[^a]", "aaa", 0, -1, -1},
        {"[]]", "x]", 1, 1, 2},
        {"a|b|c", "zzc", 1, 2, 3},
        {"(^a|b)", "ba", 1, 0, 1, 0, 1},
        {"(^a|b)", "ca", 0, -1, -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.pattern) + " / " + r.text);
        const CRegExp re(r.pattern);
        ASSERT_TRUE(re.is_valid());
        EXPECT_EQ(re.is_reg_exp_present(r.text), r.found);
        CRegExpMatch m{};
        EXPECT_EQ(re.search(r.text, m), r.found == 1);
        EXPECT_EQ(m.start[0], r.start);
        EXPECT_EQ(m.end[0], r.end);
        EXPECT_EQ(m.start[1], r.g1s);
        EXPECT_EQ(m.end[1], r.g1e);
    }
}

TEST(RegExpSearch, BytesAreUnsignedAndTextsAreNotCut)
{
    const CRegExp high("[\x7e-\x81]+");
    ASSERT_TRUE(high.is_valid());
    EXPECT_EQ(high.is_reg_exp_present("ab\x80z"), 1);
    EXPECT_EQ(high.is_reg_exp_present("ab\xffz"), 0);
    const CRegExp top("[\xf0-\xff]");
    EXPECT_EQ(top.is_reg_exp_present("\xff"), 1);
    EXPECT_EQ(top.is_reg_exp_present("\xef"), 0);
    const CRegExp negated("^[^\x80]$");
    EXPECT_EQ(negated.is_reg_exp_present("\x80"), 0);
    EXPECT_EQ(negated.is_reg_exp_present("\x81"), 1);

    std::string text(5000, 'x');
    text += "needle";
    const CRegExp late("n[e]+dle$");
    EXPECT_EQ(late.is_reg_exp_present(text.c_str()), 1);
    CRegExpMatch m{};
    ASSERT_TRUE(late.search(text, m));
    EXPECT_EQ(m.start[0], 5000);
    // A pattern longer than 1,024 bytes is compiled whole.
    const CRegExp longPattern(std::string(1500, 'p') + "q");
    EXPECT_EQ(longPattern.is_reg_exp_present(std::string(1500, 'p')), 0);
    EXPECT_EQ(longPattern.is_reg_exp_present(std::string(1600, 'p') + "q"), 1);
    // A string_view keeps NUL as an ordinary byte.
    const CRegExp dot("a.b");
    EXPECT_EQ(dot.is_reg_exp_present(std::string_view("a\0b", 3)), 1);
}

TEST(RegExpSearch, CopiesOwnTheirRequiredLiteral)
{
    auto original = std::make_unique<CRegExp>("x*needle");
    ASSERT_EQ(original->get_required_literal(), "needle");
    CRegExp copy("unrelated");
    copy = *original;
    const CRegExp constructed(*original);
    original.reset();
    EXPECT_EQ(copy.is_reg_exp_present("hayneedlestack"), 1);
    EXPECT_EQ(copy.is_reg_exp_present("haystack"), 0);
    EXPECT_EQ(constructed.is_reg_exp_present("xxneedle"), 1);
    EXPECT_EQ(copy.get_pattern(), "x*needle");

    const CRegExp failed("(");
    CRegExp failedCopy("a");
    failedCopy = failed;
    EXPECT_FALSE(failedCopy.is_valid());
    EXPECT_EQ(failedCopy.get_error_count(), 2);
    EXPECT_EQ(failedCopy.is_reg_exp_present("a"), 0);
}

// Backtracking takes exponential time on these; the breadth-first matcher
// one pass. Each runs over 100,000 bytes.
TEST(RegExpSearch, PathologicalPatternsOnLongTexts)
{
    const std::string as(100000, 'a');
    const struct {
        std::string pattern, text;
        int found;
    } rows[] = {
        {"(a+)+b", as, 0},
        {"(a|aa)*c", as, 0},
        {"(a|a)*b", as, 0},
        {"((a+)+)+b", as, 0},
        {"(.*a)+b", as, 0},
        {"(a+)+$", as, 1},
        {"^(a|aa)*$", as + "b", 0},
        {"(x+x+)+y", std::string(100000, 'x'), 0},
        {"a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?a?aaaaaaaaaaaaaaaaaaaa", std::string(20, 'a'), 1},
        {"(a|b|ab)*bc", std::string(50000, 'a') + std::string(50000, 'b'), 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.pattern);
        const CRegExp re(r.pattern.c_str());
        ASSERT_TRUE(re.is_valid());
        EXPECT_EQ(re.is_reg_exp_present(r.text), r.found);
        CRegExpMatch m{};
        EXPECT_EQ(re.search(r.text, m), r.found == 1);
    }
    // Many alternatives and many repeats do not recurse.
    const CRegExp wide(Repeated(4000, [](int i) { return "a" + std::to_string(i) + "|"; }, "zz"));
    ASSERT_TRUE(wide.is_valid());
    EXPECT_EQ(wide.is_reg_exp_present(as + "zz"), 1);
    const CRegExp deep(Repeated(6000, [](int) { return "a*"; }, "b"));
    ASSERT_TRUE(deep.is_valid());
    EXPECT_EQ(deep.is_reg_exp_present(as), 0);
    CRegExpMatch m{};
    EXPECT_TRUE(deep.search(std::string(1000, 'a') + "b", m));
    EXPECT_EQ(m.start[0], 0);
    EXPECT_EQ(m.end[0], 1001);
}

// Random patterns over a small alphabet against the backtracking reference:
// the same answer, the same match and the same groups.
TEST(RegExpSearch, AgreesWithBacktrackingOnRandomPatterns)
{
    std::mt19937 rng(20240611);
    const std::string atoms[] = {"a", "b", "c", ".", "[ab]", "[^a]", "ab", "^", "$", "()", "\\."};
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::function<std::string(int)> gen = [&](int depth) -> std::string {
        std::string out;
        const int pieces = 1 + pick(3);
        for (int i = 0; i < pieces; ++i) {
            std::string atom;
            if (depth < 3 && pick(4) == 0) {
                atom = "(" + gen(depth + 1);
                if (pick(2) == 0)
                    atom += "|" + gen(depth + 1);
                atom += ")";
            } else {
                atom = atoms[pick(static_cast<int>(std::size(atoms)))];
            }
            out += atom;
            const int rep = pick(6); // a repeat half the time
            if (rep < 3)
                out += "*+?"[rep];
        }
        if (depth == 0 && pick(4) == 0)
            out += "|" + gen(1);
        return out;
    };
    int compiled = 0;
    int compared = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string pattern = gen(0);
        const CRegExp re(pattern.c_str());
        if (!re.is_valid())
            continue;
        ++compiled;
        regexptest::ReferenceMatcher reference(re);
        for (int t = 0; t < 8; ++t) {
            std::string text;
            const int len = pick(9);
            for (int i = 0; i < len; ++i)
                text += "abc."[pick(4)];
            CRegExpMatch want{};
            CRegExpMatch got{};
            const bool expected = reference.Search(text, want);
            ASSERT_EQ(re.is_reg_exp_present(text), expected ? 1 : 0) << pattern << " / " << text;
            ASSERT_EQ(re.search(text, got), expected) << pattern << " / " << text;
            ASSERT_EQ(Groups(got), Groups(want)) << pattern << " / " << text;
            ++compared;
        }
    }
    EXPECT_GT(compiled, 8000);
    EXPECT_GT(compared, 64000);
}

// "The 12th byte from the end is an a" needs 4,096 automaton states, more
// than the matcher keeps at once: it starts over and still answers right.
TEST(RegExpSearch, ManyStatesOverflowTheCacheAndStillAgree)
{
    std::string pattern = "a";
    for (int i = 0; i < 11; ++i)
        pattern += "[ab]";
    pattern += "$";
    const CRegExp re(pattern.c_str());
    ASSERT_TRUE(re.is_valid());
    std::mt19937 rng(3);
    for (int round = 0; round < 40; ++round) {
        std::string text;
        for (int i = 0; i < 20000; ++i)
            text += (rng() & 1) ? 'a' : 'b';
        const bool expected = text[text.size() - 12] == 'a';
        EXPECT_EQ(re.is_reg_exp_present(text), expected ? 1 : 0);
        CRegExpMatch m{};
        EXPECT_EQ(re.search(text, m), expected);
        if (expected) {
            EXPECT_EQ(m.start[0], static_cast<std::ptrdiff_t>(text.size() - 12));
        }
    }
}

TEST(RegExpSearch, FourThreadsShareOneCompiledPattern)
{
    const CRegExp re("(ab|a)(c|bcd)+(x*)$");
    // Both answers and the groups, in one text.
    auto answer = [&re](const std::string& text) {
        CRegExpMatch m{};
        const bool found = re.search(text, m);
        return std::to_string(re.is_reg_exp_present(text)) + std::to_string(found) + Groups(m);
    };
    std::vector<std::string> texts;
    std::vector<std::string> expected;
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        std::string t;
        const int len = static_cast<int>(rng() % 40);
        for (int k = 0; k < len; ++k)
            t += "abcdx"[rng() % 5];
        expected.push_back(answer(t));
        texts.push_back(std::move(t));
    }
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int th = 0; th < 4; ++th) {
        threads.emplace_back([&, th] {
            for (int pass = 0; pass < 50; ++pass) {
                for (std::size_t i = 0; i < texts.size(); ++i)
                    if (answer(texts[i]) != expected[i])
                        ++mismatches[th];
            }
        });
    }
    for (auto& t : threads)
        t.join();
    for (int th = 0; th < 4; ++th)
        EXPECT_EQ(mismatches[th], 0) << "thread " << th;
    EXPECT_EQ(re.get_error_count(), 0);
}

// The syntax both share, against grep -E in the C locale, line by line.
TEST(RegExpSearch, AgreesWithGrepExtended)
{
    const char* patterns[] = {
        "abc", "a", "^a", "a$", "^$", "^abc$", "b.d", "a.*z", ".", "..........",
        "[abc]", "[^abc]", "[a-f]+", "[0-9][0-9]*", "^[0-9]+$", "[A-Z][a-z]+", "[]x]", "[^]x]", "[a-]", "[-z]",
        "ab|cd", "^ab|cd$", "(ab|cd)+", "(a|b)*c", "x(y|z)?w", "(abc)?def", "(a|ab)(c|bcd)", "(ab)+", "((ab)+c)+",
        "a+b+c+", "a*b*c*d", "ab?c", "colou?r", "(foo|bar|baz)", "fo+|ba+r", "(^x|y$)", "^(the|a) ", "end\\.$",
        "\\*", "\\(x\\)", "\\[", "a\\|b", "\\$", "\\^", "\\\\", "[.]", "[*+?]", "(a|b|c|d|e)(f|g)", "q[^u]",
        "[aeiou][aeiou][aeiou]", "^.?$", "^..?.?$", "(x+x+)+y", "(a|aa)+$", "z{", "}", "[\x80-\xff]", "[\xe0-\xef]",
        "^[^ ]+ [^ ]+$", "( |\t)+$", "mississippi", "s(si)+p", "(ss|i)+", "^(ab|a)(bc|c)$", "(.)(.)(.)(.)(.)(.)(.)(.)(.)",
        "()x", "(|y)z", "a||q",
    };
    std::vector<std::string> lines = {
        "abc", "xabcx", "a", "", "abcdefghijklmnopqrstuvwxyz", "bad", "b d", "0123456789", "12ab34", "Hello World",
        "x]y", "]", "-", "z-", "cd", "abcd", "ababab", "ababcabc", "xyw", "xw", "xzw", "xyyw", "def", "abcdef",
        "colour", "color", "colouur", "foo", "fooo", "bar", "baaar", "br", "the end.", "a cat", "the dog", "end.",
        "1*2", "(x)", "[", "a|b", "$5", "x^y", "back\\slash", "aaaaaaaaaaaaaaaaaaaaaaaaa", "xxxxxxxxxxxxxxxxxy",
        "xxxxxxxxxxxxxxxxxxxx", "queen", "qatar", "iraq", "iraqi", "aei", "beautiful", "mississippi", "missippi",
        "one two", "one two three", "trailing ", "trailing\t", "z{2}", "caf\xc3\xa9", "\xff\xfe", "plain ascii",
        "ab", "abc", "bc", "abcabc", "yz", "z", "q", "  spaced  out  ",
    };
    std::mt19937 rng(99);
    constexpr std::string_view alphabet = "abcdxyz .()[]$^*+?|\\0123";
    for (int i = 0; i < 60; ++i) {
        std::string line;
        const int len = static_cast<int>(rng() % 20);
        for (int k = 0; k < len; ++k)
            line += alphabet[rng() % alphabet.size()];
        lines.push_back(line);
    }
    testsupport::TempDir dir;
    const std::string file = dir.str() + "/lines.txt";
    {
        std::ofstream out(file, std::ios::binary);
        for (const auto& l : lines)
            out << l << '\n';
    }
    const testsupport::ScopedEnv cLocale("LC_ALL", "C"); // for grep
    ASSERT_GE(std::size(patterns), 60u);
    for (const char* pattern : patterns) {
        testsupport::ChildProcess grep({"/usr/bin/grep", "-a", "-n", "-E", "-e", pattern, file});
        const int status = grep.Wait();
        ASSERT_TRUE(status == 0 || status == 1) << pattern << ": " << grep.Stderr();
        // "N:line" for each line that matched.
        std::set<std::size_t> grepLines;
        std::istringstream out(grep.Stdout());
        for (std::string line; std::getline(out, line);)
            grepLines.insert(std::stoul(line) - 1);
        const CRegExp re(pattern);
        ASSERT_TRUE(re.is_valid()) << pattern << ": " << re.get_last_error();
        std::set<std::size_t> ours;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (re.is_reg_exp_present(lines[i]) == 1)
                ours.insert(i);
        EXPECT_EQ(ours, grepLines) << pattern;
    }
}

} // namespace
