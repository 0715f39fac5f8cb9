// The runnable form of a compiled CRegExp, and the two ways of running it.
// Internal to CRegExp; callers use RegExp.h.
//
// The node program (the documented layout: magic byte, then nodes with
// 16-bit next offsets) is translated once into a flat list of instructions:
// consuming ones (a byte, any byte, a byte set), assertions (beginning, end),
// control (jump, split with a preferred branch first, save a group position)
// and match. Two machines run it, both one pass over the text:
// - Exists: a lazily built DFA over sets of instructions, for the yes/no
//   question. Each text byte is one table step once the states it needs are
//   built; building a state costs one closure over the program. Its states
//   are bounded: when the cache is full it is cleared and building goes on.
// - Search: a Pike VM (priority-ordered thread lists, one thread per
//   instruction and position) that keeps group positions. A thread that
//   reaches a state a higher-priority thread already holds at the same
//   position is dropped, which is what makes the result agree with
//   backtracking: both would have the same future from there.
//
// Thread-safety: a Program is immutable once built and shared by any
// number of threads; a Scratch belongs to one search at a time.
#pragma once

#include "Brindle/regexp/RegExp.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Brindle::RegExpDetail {

enum INST_OP : std::uint8_t {
    I_BYTE,  // text byte equals c
    I_ANY,   // any byte
    I_SET,   // byte in sets[set]
    I_BOL,   // at the start of the text
    I_EOL,   // at the end of the text
    I_JMP,   // go to x
    I_SPLIT, // try x, then y
    I_SAVE,  // record the position in slot `slot`
    I_MATCH,
};

struct Inst {
    INST_OP op;
    std::uint8_t c = 0;
    std::uint16_t slot = 0; // I_SAVE slot, I_SET set index
    std::int32_t x = -1;
    std::int32_t y = -1;
};

using ByteSet = std::array<std::uint64_t, 4>;

inline bool InSet(const ByteSet& set, unsigned char b)
{
    return (set[b >> 6] >> (b & 63)) & 1u;
}

// Finds the next byte of a set quickly: memchr for one byte, 16 bytes at a
// time for a few ranges, a table for the rest; sets of more than half the
// bytes are not worth skipping for.
class ByteSkipper {
public:
    void Build(const ByteSet& set);
    bool Useful() const { return m_mode != NONE; }
    // The first byte at or after p that is in the set, or end.
    const unsigned char* Skip(const unsigned char* p, const unsigned char* end) const;

private:
    enum MODE { NONE, TO_END, ONE_BYTE, RANGES, TABLE };
    MODE m_mode = NONE;
    int m_ranges = 0;
    unsigned char m_low[4] = {};
    unsigned char m_span[4] = {};
    ByteSet m_set{};
};

struct Program {
    std::vector<unsigned char> nodes; // the node program, magic byte first
    std::vector<Inst> insts;
    std::vector<ByteSet> sets;
    std::int32_t start = 0;
    int groups = 0;          // numbered groups in the pattern
    int firstChar = -1;      // byte every match starts with, or -1
    bool anchored = false;   // every match starts at the beginning
    std::string mustContain; // literal every match contains
    bool literalOnly = false; // the pattern is `literal` alone: a plain search
    std::string literal;
    // Where a search can skip to when no thread runs: the bytes a thread
    // started after the beginning can take first (unused when such a
    // thread can match without taking one).
    ByteSkipper skipper;
};

// Translates the node program; false when it is malformed (a node the
// matcher does not know, a next offset that leads nowhere).
bool Translate(Program& program);

class Dfa;

// Per-search working memory, kept between searches by the pool of the
// CRegExp that made it (bound to that object's program).
struct Scratch {
    Scratch();
    ~Scratch();
    std::unique_ptr<Dfa> dfa;
    // Pike VM thread lists and the explicit stack of the closure.
    std::vector<std::int32_t> sparse[2];
    std::vector<std::int32_t> dense[2];
    std::vector<std::ptrdiff_t> caps[2];
    std::vector<std::int64_t> stack;
};

bool Exists(const Program& program, Scratch& scratch, std::string_view text);
bool Search(const Program& program, Scratch& scratch, std::string_view text, CRegExpMatch& match);

} // namespace Brindle::RegExpDetail
