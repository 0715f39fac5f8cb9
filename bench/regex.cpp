// Searching 64 KiB of text for literals, sets, alternations and anchored
// patterns with CRegExp, glibc's regexec, std::regex and RE2, side by side;
// each search scans the whole text (the only match, if any, is at its end).
// Items are searches. The worst case, (a+)+b over a run of a's that never
// ends in b, runs on growing texts to show how time grows with the text
// (std::regex backtracks exponentially there and is left out).
#include "Brindle/regexp/RegExp.h"

#include <benchmark/benchmark.h>
#include <re2/re2.h>
#include <regex.h>

#include <algorithm>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>
#include <random>
#include <regex>
#include <string>

using Brindle::CRegExp;

namespace {

constexpr std::size_t kTextSize = 64 * 1024;

// Lower-case words, digits and spaces, like a log of plain messages, with
// the tail each pattern looks for written at the end.
std::string MakeText(const std::string& tail)
{
    static const char* words[] = {"price", "update", "line", "page", "bid", "offer", "trade", "feed",
                                  "status", "live", "stale", "session", "record", "value", "order"};
    std::mt19937 rng(42);
    std::string text;
    text.reserve(kTextSize + tail.size());
    while (text.size() + tail.size() < kTextSize) {
        text += words[rng() % std::size(words)];
        text += ' ';
        if (rng() % 4 == 0)
            text += std::to_string(rng() % 1000) + ' ';
    }
    text.resize(kTextSize - tail.size(), ' ');
    return text + tail;
}

struct Case {
    const char* pattern;
    std::string text;
    bool found;
};

const Case& GetCase(int index)
{
    static const Case cases[] = {
        {"zebra42", MakeText("zebra42"), true},
        {"[xyz][0-9]+[qj]", MakeText("x1234q"), true},
        {"alpha|bravo|charlie|delta", MakeText("delta"), true},
        {"^[a-z0-9 ]*$", MakeText("!"), false},
        {"(ab|cd)e*f", MakeText("cdeef"), true},
    };
    return cases[index];
}

const char* CaseName(int index)
{
    static const char* names[] = {"literal", "set", "alternation", "anchored", "group"};
    return names[index];
}

void Check(benchmark::State& state, bool got, bool want)
{
    if (got != want)
        state.SkipWithError("wrong answer");
}

void Ours(benchmark::State& state)
{
    const Case& c = GetCase(static_cast<int>(state.range(0)));
    const CRegExp re(c.pattern);
    for (auto _ : state) {
        const int found = re.is_reg_exp_present(c.text);
        benchmark::DoNotOptimize(found);
        Check(state, found == 1, c.found);
    }
    state.SetLabel(CaseName(static_cast<int>(state.range(0))));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.text.size()));
}

void Glibc(benchmark::State& state)
{
    const Case& c = GetCase(static_cast<int>(state.range(0)));
    regex_t re;
    if (regcomp(&re, c.pattern, REG_EXTENDED | REG_NOSUB) != 0) {
        state.SkipWithError("regcomp failed");
        return;
    }
    for (auto _ : state) {
        const bool found = regexec(&re, c.text.c_str(), 0, nullptr, 0) == 0;
        benchmark::DoNotOptimize(found);
        Check(state, found, c.found);
    }
    regfree(&re);
    state.SetLabel(CaseName(static_cast<int>(state.range(0))));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.text.size()));
}

void StdRegex(benchmark::State& state)
{
    const Case& c = GetCase(static_cast<int>(state.range(0)));
    const std::regex re(c.pattern, std::regex::extended | std::regex::nosubs);
    for (auto _ : state) {
        const bool found = std::regex_search(c.text, re);
        benchmark::DoNotOptimize(found);
        Check(state, found, c.found);
    }
    state.SetLabel(CaseName(static_cast<int>(state.range(0))));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.text.size()));
}

void Re2(benchmark::State& state)
{
    const Case& c = GetCase(static_cast<int>(state.range(0)));
    RE2::Options options(RE2::Latin1);
    const RE2 re(c.pattern, options);
    for (auto _ : state) {
        const bool found = RE2::PartialMatch(c.text, re);
        benchmark::DoNotOptimize(found);
        Check(state, found, c.found);
    }
    state.SetLabel(CaseName(static_cast<int>(state.range(0))));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.text.size()));
}

BENCHMARK(Ours)->DenseRange(0, 4);
BENCHMARK(Glibc)->DenseRange(0, 4);
BENCHMARK(StdRegex)->DenseRange(0, 4);
BENCHMARK(Re2)->DenseRange(0, 4);

// (a+)+b over n a's: no match, and every start position fails.
constexpr const char* kWorst = "(a+)+b";

void Worst_Ours(benchmark::State& state)
{
    const std::string text(static_cast<std::size_t>(state.range(0)), 'a');
    const CRegExp re(kWorst);
    for (auto _ : state) {
        Brindle::CRegExpMatch m;
        const bool found = re.search(text, m);
        benchmark::DoNotOptimize(found);
        Check(state, found, false);
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void Worst_OursYesNo(benchmark::State& state)
{
    const std::string text(static_cast<std::size_t>(state.range(0)), 'a');
    const CRegExp re(kWorst);
    for (auto _ : state) {
        const int found = re.is_reg_exp_present(text);
        benchmark::DoNotOptimize(found);
        Check(state, found == 1, false);
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void Worst_Glibc(benchmark::State& state)
{
    const std::string text(static_cast<std::size_t>(state.range(0)), 'a');
    regex_t re;
    regcomp(&re, kWorst, REG_EXTENDED | REG_NOSUB);
    for (auto _ : state) {
        const bool found = regexec(&re, text.c_str(), 0, nullptr, 0) == 0;
        benchmark::DoNotOptimize(found);
        Check(state, found, false);
    }
    regfree(&re);
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void Worst_Re2(benchmark::State& state)
{
    const std::string text(static_cast<std::size_t>(state.range(0)), 'a');
    const RE2 re(kWorst);
    for (auto _ : state) {
        const bool found = RE2::PartialMatch(text, re);
        benchmark::DoNotOptimize(found);
        Check(state, found, false);
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK(Worst_Ours)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();
BENCHMARK(Worst_OursYesNo)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();
BENCHMARK(Worst_Glibc)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();
BENCHMARK(Worst_Re2)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();

} // namespace

// std::regex recurses once per byte a repeat takes: on 64 KiB it needs far
// more than the usual 8 MiB of stack. The main thread's stack limit is read
// when the program starts, so raise it and start again.
int main(int argc, char** argv)
{
    rlimit limit{};
    constexpr rlim_t kWanted = rlim_t{1} << 30;
    if (::getenv("BENCH_REGEX_RESTARTED") == nullptr && ::getrlimit(RLIMIT_STACK, &limit) == 0 &&
        limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < kWanted) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
        if (::setrlimit(RLIMIT_STACK, &limit) == 0) {
            ::setenv("BENCH_REGEX_RESTARTED", "1", 1);
            ::execv("/proc/self/exe", argv);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
