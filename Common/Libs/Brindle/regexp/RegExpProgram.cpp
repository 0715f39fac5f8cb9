#include "Brindle/regexp/RegExpProgram.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Brindle::RegExpDetail {

namespace {

constexpr std::int32_t kNoTarget = -1;

bool HasOperandText(unsigned char op)
{
    return op == CRegExp::EXACTLY || op == CRegExp::ANYOF || op == CRegExp::ANYBUT;
}

// Offset of the node after p by its next pointer, or 0 when none.
std::size_t NextNode(const std::vector<unsigned char>& code, std::size_t p)
{
    const std::size_t offset = (static_cast<std::size_t>(code[p + 1]) << 8) | code[p + 2];
    if (offset == 0)
        return 0;
    if (code[p] == CRegExp::BACK)
        return offset <= p ? p - offset : 0;
    return p + offset < code.size() ? p + offset : 0;
}

bool Consumes(INST_OP op)
{
    return op == I_BYTE || op == I_ANY || op == I_SET;
}

bool ByteMatches(const Program& program, const Inst& inst, unsigned char b)
{
    switch (inst.op) {
    case I_BYTE:
        return inst.c == b;
    case I_ANY:
        return true;
    case I_SET:
        return InSet(program.sets[inst.slot], b);
    default:
        return false;
    }
}

const unsigned char* Find(const unsigned char* from, const unsigned char* end, int c)
{
    const void* hit = std::memchr(from, c, static_cast<std::size_t>(end - from));
    return hit != nullptr ? static_cast<const unsigned char*>(hit) : end;
}

bool Contains(std::string_view text, const std::string& literal)
{
    return literal.empty() || text.find(literal) != std::string_view::npos;
}

} // namespace

void ByteSkipper::Build(const ByteSet& set)
{
    m_set = set;
    int count = 0;
    int ranges = 0;
    for (int b = 0; b < 256; ++b) {
        if (!InSet(set, static_cast<unsigned char>(b)))
            continue;
        ++count;
        if (b == 0 || !InSet(set, static_cast<unsigned char>(b - 1))) {
            if (ranges < 4) {
                m_low[ranges] = static_cast<unsigned char>(b);
                m_span[ranges] = 0;
            }
            ++ranges;
        } else if (ranges <= 4) {
            ++m_span[ranges - 1];
        }
    }
    m_ranges = ranges;
    if (count == 0)
        m_mode = TO_END;
    else if (count == 1)
        m_mode = ONE_BYTE;
    else if (count > 128)
        m_mode = NONE;
    else if (ranges <= 4)
        m_mode = RANGES;
    else
        m_mode = TABLE;
}

const unsigned char* ByteSkipper::Skip(const unsigned char* p, const unsigned char* end) const
{
    switch (m_mode) {
    case NONE:
        return p;
    case TO_END:
        return end;
    case ONE_BYTE:
        return Find(p, end, m_low[0]);
    case RANGES:
#if defined(__SSE2__)
    {
        // b is in [low, low + span] when (b - low) mod 256 <= span.
        __m128i low[4];
        __m128i span[4];
        for (int i = 0; i < m_ranges; ++i) {
            low[i] = _mm_set1_epi8(static_cast<char>(m_low[i]));
            span[i] = _mm_set1_epi8(static_cast<char>(m_span[i]));
        }
        while (end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            __m128i hit = _mm_setzero_si128();
            for (int i = 0; i < m_ranges; ++i) {
                const __m128i d = _mm_sub_epi8(v, low[i]);
                hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_min_epu8(d, span[i]), d));
            }
            const int mask = _mm_movemask_epi8(hit);
            if (mask != 0)
                return p + __builtin_ctz(static_cast<unsigned>(mask));
            p += 16;
        }
    }
#endif
        [[fallthrough]];
    case TABLE:
        while (p < end && !InSet(m_set, *p))
            ++p;
        return p;
    }
    return p;
}

namespace {

// The bytes that the threads started after the beginning can take first;
// false when such a thread reaches the match without taking any.
bool FirstBytes(const Program& program, ByteSet& bytes)
{
    bytes = ByteSet{};
    std::vector<char> seen(program.insts.size(), 0);
    std::vector<std::int32_t> work{program.start};
    while (!work.empty()) {
        const std::int32_t pc = work.back();
        work.pop_back();
        if (pc < 0 || seen[pc])
            continue;
        seen[pc] = 1;
        const Inst& inst = program.insts[pc];
        switch (inst.op) {
        case I_MATCH:
            return false;
        case I_BYTE:
            bytes[inst.c >> 6] |= std::uint64_t{1} << (inst.c & 63);
            break;
        case I_ANY:
            bytes.fill(~std::uint64_t{0});
            break;
        case I_SET:
            for (int i = 0; i < 4; ++i)
                bytes[i] |= program.sets[inst.slot][i];
            break;
        case I_BOL:
            break; // never true after the beginning
        case I_EOL:
            break; // true only at the end, which skipping reaches
        case I_SPLIT:
            work.push_back(inst.y);
            work.push_back(inst.x);
            break;
        default:
            work.push_back(inst.x);
            break;
        }
    }
    return true;
}

// One pass over the nodes: each node gets its instructions, and the targets
// that name a node (often one not reached yet) wait in `pending` until every
// node has its first instruction.
class Translation {
public:
    explicit Translation(Program& program)
        : m_program(program), m_code(program.nodes), m_insts(program.insts), m_first(program.nodes.size(), kNoTarget)
    {
    }

    // Emits every node; false when the nodes are malformed.
    bool EmitAll()
    {
        std::size_t p = 1;
        while (p + 3 <= m_code.size()) {
            const unsigned char op = m_code[p];
            std::size_t length = 3;
            if (HasOperandText(op)) {
                const void* nul = std::memchr(&m_code[p + 3], 0, m_code.size() - (p + 3));
                if (nul == nullptr)
                    return false;
                length = static_cast<const unsigned char*>(nul) - &m_code[p] + 1;
            }
            m_first[p] = static_cast<std::int32_t>(m_insts.size());
            if (!EmitNode(p, op))
                return false;
            p += length;
        }
        return p == m_code.size();
    }

    // Points every waiting target at its node's first instruction.
    void PatchPending()
    {
        for (const Pending& pend : m_pending) {
            const std::int32_t target =
                pend.node != 0 && pend.node < m_first.size() ? m_first[pend.node] : kNoTarget;
            (pend.y ? m_insts[pend.inst].y : m_insts[pend.inst].x) = target;
        }
    }

    // The first instruction of the first node.
    std::int32_t Entry() const { return m_first[1]; }

private:
    struct Pending {
        std::int32_t inst;
        bool y;
        std::size_t node; // 0: none
    };

    std::int32_t Add(Inst inst)
    {
        m_insts.push_back(inst);
        return static_cast<std::int32_t>(m_insts.size() - 1);
    }

    void Later(std::int32_t inst, bool y, std::size_t node) { m_pending.push_back({inst, y, node}); }

    // The one consuming instruction of a simple node (the operand of STAR
    // and PLUS); -1 when the node is not one.
    std::int32_t Simple(std::size_t p)
    {
        if (p + 3 > m_code.size())
            return -1;
        switch (m_code[p]) {
        case CRegExp::ANY:
            return Add({I_ANY});
        case CRegExp::EXACTLY:
            if (p + 4 >= m_code.size() || m_code[p + 3] == 0 || m_code[p + 4] != 0)
                return -1;
            return Add({I_BYTE, m_code[p + 3]});
        case CRegExp::ANYOF:
        case CRegExp::ANYBUT: {
            ByteSet set{};
            for (std::size_t i = p + 3; i < m_code.size() && m_code[i] != 0; ++i)
                set[m_code[i] >> 6] |= std::uint64_t{1} << (m_code[i] & 63);
            if (m_code[p] == CRegExp::ANYBUT)
                for (auto& word : set)
                    word = ~word;
            m_program.sets.push_back(set);
            Inst inst{I_SET};
            inst.slot = static_cast<std::uint16_t>(m_program.sets.size() - 1);
            return Add(inst);
        }
        default:
            return -1;
        }
    }

    // The instructions of the node at p; false when it is malformed.
    bool EmitNode(std::size_t p, unsigned char op)
    {
        const std::size_t next = NextNode(m_code, p);
        switch (op) {
        case CRegExp::END:
            Add({I_MATCH});
            break;
        case CRegExp::BOL:
            Later(Add({I_BOL}), false, next);
            break;
        case CRegExp::EOL:
            Later(Add({I_EOL}), false, next);
            break;
        case CRegExp::ANY:
        case CRegExp::ANYOF:
        case CRegExp::ANYBUT: {
            const std::int32_t at = Simple(p);
            if (at < 0)
                return false;
            Later(at, false, next);
            break;
        }
        case CRegExp::EXACTLY:
            return EmitExactly(p, next);
        case CRegExp::NOTHING:
        case CRegExp::BACK:
            Later(Add({I_JMP}), false, next);
            break;
        case CRegExp::BRANCH:
            // A BRANCH followed by another is a choice; the last of a chain
            // (or a lone one) just enters its operand.
            if (next != 0 && m_code[next] == CRegExp::BRANCH) {
                const std::int32_t at = Add({I_SPLIT});
                Later(at, false, p + 3);
                Later(at, true, next);
            } else {
                Later(Add({I_JMP}), false, p + 3);
            }
            break;
        case CRegExp::STAR: {
            const std::int32_t loop = Add({I_SPLIT});
            const std::int32_t body = Simple(p + 3);
            if (body < 0)
                return false;
            m_insts[loop].x = body;
            m_insts[body].x = loop;
            Later(loop, true, next);
            break;
        }
        case CRegExp::PLUS: {
            const std::int32_t body = Simple(p + 3);
            if (body < 0)
                return false;
            const std::int32_t loop = Add({I_SPLIT});
            m_insts[body].x = loop;
            m_insts[loop].x = body;
            Later(loop, true, next);
            break;
        }
        default:
            return EmitGroupMark(op, next);
        }
        return true;
    }

    // One byte instruction per character, each leading to the next.
    bool EmitExactly(std::size_t p, std::size_t next)
    {
        if (m_code[p + 3] == 0)
            return false;
        for (std::size_t i = p + 3; m_code[i] != 0; ++i) {
            const std::int32_t at = Add({I_BYTE, m_code[i]});
            if (m_code[i + 1] != 0)
                m_insts[at].x = at + 1;
            else
                Later(at, false, next);
        }
        return true;
    }

    // OPEN and CLOSE of a group save a position; any other node is unknown.
    bool EmitGroupMark(unsigned char op, std::size_t next)
    {
        if (op > CRegExp::OPEN && op <= CRegExp::OPEN + CRegExp::MAX_GROUPS) {
            Inst inst{I_SAVE};
            inst.slot = static_cast<std::uint16_t>(2 * (op - CRegExp::OPEN));
            Later(Add(inst), false, next);
            m_program.groups = std::max(m_program.groups, op - CRegExp::OPEN);
        } else if (op > CRegExp::CLOSE && op <= CRegExp::CLOSE + CRegExp::MAX_GROUPS) {
            Inst inst{I_SAVE};
            inst.slot = static_cast<std::uint16_t>(2 * (op - CRegExp::CLOSE) + 1);
            Later(Add(inst), false, next);
        } else {
            return false; // a node the matcher does not know
        }
        return true;
    }

    Program& m_program;
    const std::vector<unsigned char>& m_code;
    std::vector<Inst>& m_insts;
    std::vector<std::int32_t> m_first;
    std::vector<Pending> m_pending;
};

// Jumps to jumps go straight to their end (bounded: a ring of jumps,
// which the compiler never makes, stays as it is); sets the start.
void ShortcutJumps(Program& program, std::int32_t entry)
{
    std::vector<Inst>& insts = program.insts;
    auto resolve = [&](std::int32_t target) {
        for (std::size_t hops = 0; target >= 0 && insts[target].op == I_JMP && hops < insts.size(); ++hops)
            target = insts[target].x;
        return target;
    };
    for (Inst& inst : insts) {
        if (inst.op == I_MATCH)
            continue;
        inst.x = resolve(inst.x);
        if (inst.op == I_SPLIT)
            inst.y = resolve(inst.y);
    }
    program.start = resolve(entry);
}

// Every instruction the matcher can reach must lead somewhere.
bool EveryPathLeads(const Program& program)
{
    const std::vector<Inst>& insts = program.insts;
    std::vector<char> seen(insts.size(), 0);
    std::vector<std::int32_t> work{program.start};
    while (!work.empty()) {
        const std::int32_t pc = work.back();
        work.pop_back();
        if (pc < 0 || pc >= static_cast<std::int32_t>(insts.size()))
            return false;
        if (seen[pc])
            continue;
        seen[pc] = 1;
        const Inst& inst = insts[pc];
        if (inst.op == I_MATCH)
            continue;
        work.push_back(inst.x);
        if (inst.op == I_SPLIT)
            work.push_back(inst.y);
    }
    return true;
}

} // namespace

bool Translate(Program& program)
{
    const std::vector<unsigned char>& code = program.nodes;
    if (code.size() < 4 || code[0] != CRegExp::MAGIC)
        return false;
    program.insts.clear();
    Translation translation(program);
    if (!translation.EmitAll())
        return false;
    translation.PatchPending();
    ShortcutJumps(program, translation.Entry());
    if (!EveryPathLeads(program))
        return false;
    ByteSet firstBytes;
    if (FirstBytes(program, firstBytes))
        program.skipper.Build(firstBytes);
    return true;
}

// The lazily built DFA of the yes/no question. A state is the set of
// instructions the threads stand on before the next byte: consuming ones,
// and end assertions that wait for the end of the text. Every state also
// holds the threads that start at the next position (the restart set), so
// one pass answers for every start at once. Transitions into a state that
// holds the match are kMatch: the answer is known there. A state is named
// by where its row starts in the transition table (its number times 256),
// which keeps the step from one byte to the next a single load.
class Dfa {
public:
    static constexpr std::int32_t kUnknown = -1;
    static constexpr std::int32_t kMatch = -2;
    static constexpr std::int32_t kDead = -3; // nothing can match any more
    static constexpr std::size_t kMaxStates = 1024;

    explicit Dfa(const Program& program) : m_program(program), m_mark(program.insts.size(), 0) { Reset(); }

    bool Run(std::string_view text)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        const unsigned char* const end = p + text.size();
        std::int32_t s = m_start;
        if (s == kMatch)
            return true;
        if (s == kDead)
            return false;
        const ByteSkipper& skipper = m_program.skipper;
        const bool skip = skipper.Useful();
        const std::int32_t* table = m_table.data();
        std::int32_t idle = m_idle;
        while (p < end) {
            if (s == idle && skip) {
                p = skipper.Skip(p, end);
                if (p == end)
                    break;
            }
            std::int32_t next = table[s + *p];
            if (next < 0) {
                next = next == kUnknown ? Build(s, *p) : next;
                if (next == kMatch)
                    return true;
                if (next == kDead)
                    return false;
                table = m_table.data();
                idle = m_idle;
            }
            s = next;
            ++p;
        }
        return AcceptsAtEnd(s, text.empty());
    }

private:
    struct State {
        std::vector<std::int32_t> pcs;
        signed char acceptsAtEnd = -1; // -1: not yet known
    };

    void Reset()
    {
        m_states.clear();
        m_table.clear();
        m_index.clear();
        bool matched = false;
        std::vector<std::int32_t> seeds{m_program.start};
        m_restart = Closure(seeds, false, false, matched);
        m_restartMatches = matched;
        std::vector<std::int32_t> pcs = m_restart;
        m_idle = m_restartMatches ? kMatch : m_restart.empty() ? kDead : Intern(pcs);
        matched = false;
        pcs = Closure(seeds, true, false, matched);
        m_start = matched ? kMatch : pcs.empty() ? kDead : Intern(pcs);
    }

    // Follows the non-consuming instructions from the seeds; gives the
    // consuming ones and the waiting end assertions reached, sorted.
    std::vector<std::int32_t> Closure(const std::vector<std::int32_t>& seeds, bool atStart, bool atEnd, bool& matched)
    {
        std::vector<std::int32_t> out;
        if (++m_generation == 0) {
            std::fill(m_mark.begin(), m_mark.end(), 0);
            m_generation = 1;
        }
        m_stack.assign(seeds.rbegin(), seeds.rend());
        while (!m_stack.empty()) {
            std::int32_t pc = m_stack.back();
            m_stack.pop_back();
            while (pc >= 0 && m_mark[pc] != m_generation) {
                m_mark[pc] = m_generation;
                const Inst& inst = m_program.insts[pc];
                switch (inst.op) {
                case I_JMP:
                case I_SAVE:
                    pc = inst.x;
                    continue;
                case I_SPLIT:
                    m_stack.push_back(inst.y);
                    pc = inst.x;
                    continue;
                case I_BOL:
                    pc = atStart ? inst.x : -1;
                    continue;
                case I_EOL:
                    if (atEnd) {
                        pc = inst.x;
                        continue;
                    }
                    out.push_back(pc);
                    break;
                case I_MATCH:
                    matched = true;
                    break;
                default:
                    if (!atEnd)
                        out.push_back(pc);
                    break;
                }
                break;
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    std::int32_t Intern(std::vector<std::int32_t>& pcs)
    {
        std::string key(reinterpret_cast<const char*>(pcs.data()), pcs.size() * sizeof(std::int32_t));
        auto it = m_index.find(key);
        if (it != m_index.end())
            return it->second;
        const auto id = static_cast<std::int32_t>(m_states.size() * 256);
        m_states.push_back({std::move(pcs)});
        m_table.resize(m_states.size() * 256, kUnknown);
        m_index.emplace(std::move(key), id);
        return id;
    }

    std::int32_t Build(std::int32_t s, unsigned char b)
    {
        std::vector<std::int32_t> seeds;
        for (std::int32_t pc : m_states[static_cast<std::size_t>(s) >> 8].pcs) {
            const Inst& inst = m_program.insts[pc];
            if (Consumes(inst.op) && ByteMatches(m_program, inst, b))
                seeds.push_back(inst.x);
        }
        if (m_restartMatches)
            return kMatch;
        bool matched = false;
        std::vector<std::int32_t> pcs = Closure(seeds, false, false, matched);
        if (!matched) {
            // Add the restart set (already closed, and sorted).
            std::vector<std::int32_t> merged;
            merged.reserve(pcs.size() + m_restart.size());
            std::set_union(pcs.begin(), pcs.end(), m_restart.begin(), m_restart.end(), std::back_inserter(merged));
            pcs.swap(merged);
        }
        if (matched || pcs.empty()) {
            const std::int32_t end = matched ? kMatch : kDead;
            m_table[static_cast<std::size_t>(s) + b] = end;
            return end;
        }
        if (m_states.size() >= kMaxStates) {
            // Full: start over with the states this text needs from here.
            Reset();
            return Intern(pcs);
        }
        const std::int32_t id = Intern(pcs);
        m_table[static_cast<std::size_t>(s) + b] = id;
        return id;
    }

    bool AcceptsAtEnd(std::int32_t s, bool emptyText)
    {
        if (s < 0)
            return s == kMatch;
        State& state = m_states[static_cast<std::size_t>(s) >> 8];
        if (!emptyText && state.acceptsAtEnd >= 0)
            return state.acceptsAtEnd != 0;
        std::vector<std::int32_t> seeds;
        for (std::int32_t pc : state.pcs)
            if (m_program.insts[pc].op == I_EOL)
                seeds.push_back(pc);
        bool matched = false;
        Closure(seeds, emptyText, true, matched);
        if (!emptyText)
            state.acceptsAtEnd = matched ? 1 : 0;
        return matched;
    }

    const Program& m_program;
    std::vector<State> m_states;
    std::vector<std::int32_t> m_table; // states x 256
    std::unordered_map<std::string, std::int32_t> m_index;
    std::vector<std::int32_t> m_restart;
    bool m_restartMatches = false;
    std::int32_t m_start = kUnknown;
    std::int32_t m_idle = kUnknown;
    std::vector<std::uint32_t> m_mark;
    std::uint32_t m_generation = 0;
    std::vector<std::int32_t> m_stack;
};

Scratch::Scratch() = default;
Scratch::~Scratch() = default;

bool Exists(const Program& program, Scratch& scratch, std::string_view text)
{
    if (program.literalOnly)
        return text.find(program.literal) != std::string_view::npos;
    if (!Contains(text, program.mustContain))
        return false;
    if (!scratch.dfa)
        scratch.dfa = std::make_unique<Dfa>(program);
    return scratch.dfa->Run(text);
}

namespace {

// One list of Pike VM threads: a sparse set of instructions in priority
// order, with the group positions of each thread that stands on a consuming
// instruction or the match.
struct ThreadList {
    std::vector<std::int32_t>& sparse;
    std::vector<std::int32_t>& dense;
    std::vector<std::ptrdiff_t>& caps;
    std::size_t n = 0;
    std::size_t width;

    bool Has(std::int32_t pc) const
    {
        const auto i = static_cast<std::size_t>(sparse[pc]);
        return i < n && dense[i] == pc;
    }
    std::size_t Add(std::int32_t pc)
    {
        sparse[pc] = static_cast<std::int32_t>(n);
        dense[n] = pc;
        if (caps.size() < (n + 1) * width)
            caps.resize((n + 1) * width);
        return n++;
    }
};

class PikeVm {
public:
    PikeVm(const Program& program, Scratch& scratch, std::string_view text)
        : m_program(program), m_text(text), m_width(2 * static_cast<std::size_t>(program.groups + 1)),
          m_stack(scratch.stack),
          m_lists{ThreadList{scratch.sparse[0], scratch.dense[0], scratch.caps[0], 0, m_width},
                  ThreadList{scratch.sparse[1], scratch.dense[1], scratch.caps[1], 0, m_width}}
    {
        const std::size_t count = program.insts.size();
        for (int i = 0; i < 2; ++i) {
            if (scratch.sparse[i].size() < count) {
                scratch.sparse[i].assign(count, 0);
                scratch.dense[i].assign(count, 0);
            }
        }
        m_cur.assign(m_width, -1);
    }

    bool Run(CRegExpMatch& match)
    {
        const auto* base = reinterpret_cast<const unsigned char*>(m_text.data());
        const std::size_t len = m_text.size();
        ThreadList* clist = &m_lists[0];
        ThreadList* nlist = &m_lists[1];
        bool matched = false;
        std::vector<std::ptrdiff_t> best;
        std::size_t pos = 0;
        for (;;) {
            if (!matched && Candidate(pos)) {
                std::fill(m_cur.begin(), m_cur.end(), -1);
                m_cur[0] = static_cast<std::ptrdiff_t>(pos);
                AddThread(*clist, m_program.start, pos);
            }
            if (clist->n == 0) {
                if (matched || pos >= len || m_program.anchored)
                    break;
                // Nothing running: go straight to the next place a match
                // can start.
                ++pos;
                if (m_program.skipper.Useful())
                    pos = static_cast<std::size_t>(m_program.skipper.Skip(base + pos, base + len) - base);
                continue;
            }
            nlist->n = 0;
            for (std::size_t i = 0; i < clist->n; ++i) {
                const std::int32_t pc = clist->dense[i];
                const Inst& inst = m_program.insts[pc];
                const std::ptrdiff_t* caps = &clist->caps[i * m_width];
                if (inst.op == I_MATCH) {
                    best.assign(caps, caps + m_width);
                    best[1] = static_cast<std::ptrdiff_t>(pos);
                    matched = true;
                    break; // threads after this one have lower priority
                }
                if (pos < len && Consumes(inst.op) && ByteMatches(m_program, inst, base[pos])) {
                    std::copy(caps, caps + m_width, m_cur.begin());
                    AddThread(*nlist, inst.x, pos + 1);
                }
            }
            std::swap(clist, nlist);
            if (pos >= len)
                break;
            ++pos;
        }
        if (!matched)
            return false;
        for (int g = 0; g < CRegExpMatch::GROUPS; ++g) {
            const auto i = static_cast<std::size_t>(2 * g);
            if (i + 1 < m_width && best[i] >= 0 && best[i + 1] >= 0) {
                match.start[g] = best[i];
                match.end[g] = best[i + 1];
            }
        }
        return true;
    }

private:
    bool Candidate(std::size_t pos) const
    {
        if (m_program.anchored)
            return pos == 0;
        if (m_program.firstChar >= 0)
            return pos < m_text.size() && static_cast<unsigned char>(m_text[pos]) == m_program.firstChar;
        return true;
    }

    // Adds the thread at pc and everything its non-consuming instructions
    // lead to, in priority order, with an explicit stack. Entries >= 0 are
    // instructions still to visit; a negative entry -1-slot restores that
    // group slot to the value stored under it.
    void AddThread(ThreadList& list, std::int32_t pc0, std::size_t pos)
    {
        m_stack.clear();
        m_stack.push_back(pc0);
        while (!m_stack.empty()) {
            const std::int64_t entry = m_stack.back();
            m_stack.pop_back();
            if (entry < 0) {
                const auto slot = static_cast<std::size_t>(-1 - entry);
                m_cur[slot] = static_cast<std::ptrdiff_t>(m_stack.back());
                m_stack.pop_back();
                continue;
            }
            auto pc = static_cast<std::int32_t>(entry);
            while (pc >= 0 && !list.Has(pc)) {
                const std::size_t at = list.Add(pc);
                const Inst& inst = m_program.insts[pc];
                switch (inst.op) {
                case I_JMP:
                    pc = inst.x;
                    continue;
                case I_SPLIT:
                    m_stack.push_back(inst.y);
                    pc = inst.x;
                    continue;
                case I_SAVE:
                    if (inst.slot < m_width) {
                        m_stack.push_back(m_cur[inst.slot]);
                        m_stack.push_back(-1 - static_cast<std::int64_t>(inst.slot));
                        m_cur[inst.slot] = static_cast<std::ptrdiff_t>(pos);
                    }
                    pc = inst.x;
                    continue;
                case I_BOL:
                    pc = pos == 0 ? inst.x : -1;
                    continue;
                case I_EOL:
                    pc = pos == m_text.size() ? inst.x : -1;
                    continue;
                default:
                    std::copy(m_cur.begin(), m_cur.end(), list.caps.begin() + static_cast<std::ptrdiff_t>(at * m_width));
                    break;
                }
                break;
            }
        }
    }

    const Program& m_program;
    std::string_view m_text;
    std::size_t m_width;
    std::vector<std::int64_t>& m_stack;
    ThreadList m_lists[2];
    std::vector<std::ptrdiff_t> m_cur;
};

} // namespace

bool Search(const Program& program, Scratch& scratch, std::string_view text, CRegExpMatch& match)
{
    if (program.literalOnly) {
        const std::size_t at = text.find(program.literal);
        if (at == std::string_view::npos)
            return false;
        match.start[0] = static_cast<std::ptrdiff_t>(at);
        match.end[0] = static_cast<std::ptrdiff_t>(at + program.literal.size());
        return true;
    }
    if (!Contains(text, program.mustContain))
        return false;
    PikeVm vm(program, scratch, text);
    return vm.Run(match);
}

} // namespace Brindle::RegExpDetail
