#include "Brindle/regexp/RegExp.h"

#include "Brindle/regexp/RegExpProgram.h"

#include <cstring>

namespace Brindle {

namespace {

using RegExpDetail::Program;

// Parser flags, passed up from the pieces to their callers.
constexpr int WORST = 0;    // nothing known
constexpr int HASWIDTH = 1; // never matches the empty string
constexpr int SIMPLE = 2;   // one byte wide, fit for STAR and PLUS
constexpr int SPSTART = 4;  // starts with * or ?

constexpr const char* kMeta = "^$.[()|?+*\\";

// Node offsets: kFail marks a failed parse; kDummy is every node of the
// sizing pass; kNone is "no node yet".
constexpr std::ptrdiff_t kFail = -1;
constexpr std::ptrdiff_t kDummy = -2;
constexpr std::ptrdiff_t kNone = -3;

bool IsRepeat(char c)
{
    return c == '*' || c == '+' || c == '?';
}

// One pass of the compiler. The sizing pass only counts bytes; the writing
// pass emits the program into `code`, which the sizing pass showed fits.
// Recursion follows the nesting of groups, which the group limit bounds.
class Compiler {
public:
    Compiler(const char* pattern, std::vector<unsigned char>* code) : m_pattern(pattern), m_code(code) {}

    // The whole pattern; false with error() set when it does not parse.
    bool Run(int& flags)
    {
        Emit(CRegExp::MAGIC);
        return Reg(false, flags) != kFail;
    }
    int error() const { return m_error; }
    std::size_t size() const { return m_code != nullptr ? m_code->size() : m_size; }

private:
    char Peek() const { return m_pattern[m_pos]; }
    bool Sizing() const { return m_code == nullptr; }

    std::ptrdiff_t Fail(int number)
    {
        m_error = number;
        return kFail;
    }

    void Emit(unsigned char b)
    {
        if (Sizing())
            ++m_size;
        else
            m_code->push_back(b);
    }

    std::ptrdiff_t Node(unsigned char op)
    {
        if (Sizing()) {
            m_size += 3;
            return kDummy;
        }
        const auto at = static_cast<std::ptrdiff_t>(m_code->size());
        m_code->push_back(op);
        m_code->push_back(0);
        m_code->push_back(0);
        return at;
    }

    // Puts a node in front of the operand at `at` (moving the operand on).
    void Insert(unsigned char op, std::ptrdiff_t at)
    {
        if (Sizing()) {
            m_size += 3;
            return;
        }
        const unsigned char node[3] = {op, 0, 0};
        m_code->insert(m_code->begin() + at, node, node + 3);
    }

    unsigned char Op(std::ptrdiff_t p) const { return (*m_code)[p]; }

    std::ptrdiff_t Next(std::ptrdiff_t p) const
    {
        const int offset = ((*m_code)[p + 1] << 8) | (*m_code)[p + 2];
        if (offset == 0)
            return kNone;
        return Op(p) == CRegExp::BACK ? p - offset : p + offset;
    }

    // Sets the next pointer of the last node of the chain at p to val.
    void Tail(std::ptrdiff_t p, std::ptrdiff_t val)
    {
        if (p < 0 || val < 0)
            return;
        std::ptrdiff_t scan = p;
        for (std::ptrdiff_t n = Next(scan); n != kNone; n = Next(scan))
            scan = n;
        const std::ptrdiff_t offset = Op(scan) == CRegExp::BACK ? scan - val : val - scan;
        (*m_code)[scan + 1] = static_cast<unsigned char>((offset >> 8) & 0xFF);
        (*m_code)[scan + 2] = static_cast<unsigned char>(offset & 0xFF);
    }

    // Tail on the operand of a BRANCH; nothing for other nodes.
    void OperandTail(std::ptrdiff_t p, std::ptrdiff_t val)
    {
        if (p < 0 || Op(p) != CRegExp::BRANCH)
            return;
        Tail(p + 3, val);
    }

    // An expression: alternatives, in a group (paren) or the whole pattern.
    std::ptrdiff_t Reg(bool paren, int& flags)
    {
        flags = HASWIDTH;
        std::ptrdiff_t ret = kNone;
        int group = 0;
        if (paren) {
            if (m_groups > CRegExp::MAX_GROUPS)
                return Fail(REGEXP_TOO_MANY_GROUPS);
            group = m_groups++;
            ret = Node(static_cast<unsigned char>(CRegExp::OPEN + group));
        }
        int branchFlags = 0;
        std::ptrdiff_t br = Branch(branchFlags);
        if (br == kFail)
            return kFail;
        if (ret != kNone)
            Tail(ret, br);
        else
            ret = br;
        if (!(branchFlags & HASWIDTH))
            flags &= ~HASWIDTH;
        flags |= branchFlags & SPSTART;
        while (Peek() == '|') {
            ++m_pos;
            br = Branch(branchFlags);
            if (br == kFail)
                return kFail;
            Tail(ret, br);
            if (!(branchFlags & HASWIDTH))
                flags &= ~HASWIDTH;
            flags |= branchFlags & SPSTART;
        }
        const std::ptrdiff_t ender =
            Node(paren ? static_cast<unsigned char>(CRegExp::CLOSE + group) : static_cast<unsigned char>(CRegExp::END));
        Tail(ret, ender);
        if (!Sizing())
            for (std::ptrdiff_t b = ret; b != kNone; b = Next(b))
                OperandTail(b, ender);
        if (paren) {
            if (Peek() != ')')
                return Fail(REGEXP_MISMATCHED);
            ++m_pos;
        } else if (Peek() != '\0') {
            return Fail(Peek() == ')' ? REGEXP_MISMATCHED : REGEXP_EXTRANEOUS);
        }
        return ret;
    }

    // One alternative: a chain of pieces.
    std::ptrdiff_t Branch(int& flags)
    {
        flags = WORST;
        const std::ptrdiff_t ret = Node(CRegExp::BRANCH);
        std::ptrdiff_t chain = kNone;
        while (Peek() != '\0' && Peek() != '|' && Peek() != ')') {
            int pieceFlags = 0;
            const std::ptrdiff_t latest = Piece(pieceFlags);
            if (latest == kFail)
                return kFail;
            flags |= pieceFlags & HASWIDTH;
            if (chain == kNone)
                flags |= pieceFlags & SPSTART;
            else
                Tail(chain, latest);
            chain = latest;
        }
        if (chain == kNone)
            Node(CRegExp::NOTHING);
        return ret;
    }

    // An atom and the repeat operator after it.
    std::ptrdiff_t Piece(int& flags)
    {
        int atomFlags = 0;
        const std::ptrdiff_t ret = Atom(atomFlags);
        if (ret == kFail)
            return kFail;
        const char op = Peek();
        if (!IsRepeat(op)) {
            flags = atomFlags;
            return ret;
        }
        if (!(atomFlags & HASWIDTH) && op != '?')
            return Fail(REGEXP_EMPTY_REPEAT);
        flags = op != '+' ? (WORST | SPSTART) : (WORST | HASWIDTH);
        if (op == '*' && (atomFlags & SIMPLE)) {
            Insert(CRegExp::STAR, ret);
        } else if (op == '*') {
            // x* is (x BACK | NOTHING): either x and loop back, or nothing.
            Insert(CRegExp::BRANCH, ret);
            OperandTail(ret, Node(CRegExp::BACK));
            OperandTail(ret, ret);
            Tail(ret, Node(CRegExp::BRANCH));
            Tail(ret, Node(CRegExp::NOTHING));
        } else if (op == '+' && (atomFlags & SIMPLE)) {
            Insert(CRegExp::PLUS, ret);
        } else if (op == '+') {
            // x+ is x (BACK | NOTHING).
            const std::ptrdiff_t next = Node(CRegExp::BRANCH);
            Tail(ret, next);
            Tail(Node(CRegExp::BACK), ret);
            Tail(next, Node(CRegExp::BRANCH));
            Tail(ret, Node(CRegExp::NOTHING));
        } else {
            // x? is (x | NOTHING).
            Insert(CRegExp::BRANCH, ret);
            Tail(ret, Node(CRegExp::BRANCH));
            const std::ptrdiff_t next = Node(CRegExp::NOTHING);
            Tail(ret, next);
            OperandTail(ret, next);
        }
        ++m_pos;
        if (IsRepeat(Peek()))
            return Fail(REGEXP_NESTED_REPEAT);
        return ret;
    }

    std::ptrdiff_t Atom(int& flags)
    {
        flags = WORST;
        std::ptrdiff_t ret = kNone;
        const char c = m_pattern[m_pos++];
        switch (c) {
        case '^':
            ret = Node(CRegExp::BOL);
            break;
        case '$':
            ret = Node(CRegExp::EOL);
            break;
        case '.':
            ret = Node(CRegExp::ANY);
            flags |= HASWIDTH | SIMPLE;
            break;
        case '[': {
            if (Peek() == '^') {
                ret = Node(CRegExp::ANYBUT);
                ++m_pos;
            } else {
                ret = Node(CRegExp::ANYOF);
            }
            if (Peek() == ']' || Peek() == '-')
                Emit(static_cast<unsigned char>(m_pattern[m_pos++]));
            while (Peek() != '\0' && Peek() != ']') {
                if (Peek() != '-') {
                    Emit(static_cast<unsigned char>(m_pattern[m_pos++]));
                    continue;
                }
                ++m_pos;
                if (Peek() == ']' || Peek() == '\0') {
                    Emit('-');
                    continue;
                }
                // A range runs from the byte before the '-' (already in the
                // set) to the byte after it, as unsigned values.
                int from = static_cast<unsigned char>(m_pattern[m_pos - 2]) + 1;
                const int to = static_cast<unsigned char>(m_pattern[m_pos]);
                if (from > to + 1)
                    return Fail(REGEXP_BAD_RANGE);
                for (; from <= to; ++from)
                    Emit(static_cast<unsigned char>(from));
                ++m_pos;
            }
            Emit('\0');
            if (Peek() != ']')
                return Fail(REGEXP_MISMATCHED);
            ++m_pos;
            flags |= HASWIDTH | SIMPLE;
            break;
        }
        case '(': {
            int groupFlags = 0;
            ret = Reg(true, groupFlags);
            if (ret == kFail)
                return kFail;
            flags |= groupFlags & (HASWIDTH | SPSTART);
            break;
        }
        case '\0':
        case '|':
        case ')':
            // The branch loop stops before these.
            return Fail(REGEXP_PARSE_OVERLOAD);
        case '?':
        case '+':
        case '*':
            return Fail(REGEXP_REPEAT_NOTHING);
        case '\\':
            if (Peek() == '\0')
                return Fail(REGEXP_TRAILING_BACKSLASH);
            ret = Node(CRegExp::EXACTLY);
            Emit(static_cast<unsigned char>(m_pattern[m_pos++]));
            Emit('\0');
            flags |= HASWIDTH | SIMPLE;
            break;
        default: {
            // A run of ordinary bytes is one literal, less its last byte
            // when a repeat follows: the repeat takes that byte alone.
            --m_pos;
            std::size_t len = std::strcspn(m_pattern + m_pos, kMeta);
            if (len == 0)
                return Fail(REGEXP_PARSE_OVERLOAD);
            if (len > 1 && IsRepeat(m_pattern[m_pos + len]))
                --len;
            flags |= HASWIDTH;
            if (len == 1)
                flags |= SIMPLE;
            ret = Node(CRegExp::EXACTLY);
            for (; len > 0; --len)
                Emit(static_cast<unsigned char>(m_pattern[m_pos++]));
            Emit('\0');
            break;
        }
        }
        return ret;
    }

    const char* m_pattern;
    std::vector<unsigned char>* m_code;
    std::size_t m_pos = 0;
    std::size_t m_size = 0;
    int m_groups = 1;
    int m_error = REGEXP_NO_ERROR;
};

constexpr const char* kErrorTexts[] = {
    "Invalid argument",
    "Insufficient expression",
    "Parse overload",
    "Mismatched () or []",
    "Extraneous characters",
    "Illegal use of * or +",
    "Illegal nesting",
    "Illegal [] range",
    "Illegal ?, +, or * usage",
    "Illegal backslashes",
    "Too many ()",
    "Expression too big",
};

std::size_t NodeNext(const std::vector<unsigned char>& code, std::size_t p)
{
    const std::size_t offset = (static_cast<std::size_t>(code[p + 1]) << 8) | code[p + 2];
    if (offset == 0)
        return 0;
    return code[p] == CRegExp::BACK ? p - offset : p + offset;
}

// The pre-check data, from the program's single top-level alternative.
void FindPreChecks(Program& program, int flags)
{
    const std::vector<unsigned char>& code = program.nodes;
    const std::size_t first = 1; // the first top-level BRANCH
    const std::size_t after = NodeNext(code, first);
    if (after == 0 || code[after] != CRegExp::END)
        return;
    std::size_t scan = first + 3;
    if (code[scan] == CRegExp::EXACTLY) {
        program.firstChar = code[scan + 3];
        const std::size_t next = NodeNext(code, scan);
        if (next != 0 && code[next] == CRegExp::END) {
            program.literalOnly = true;
            program.literal = reinterpret_cast<const char*>(&code[scan + 3]);
        }
    } else if (code[scan] == CRegExp::BOL) {
        program.anchored = true;
    }
    if (!(flags & SPSTART))
        return;
    // The longest literal on the top-level chain (ties go to the later one,
    // since the first-character check already covers the start).
    std::size_t longest = 0;
    for (; scan != 0; scan = NodeNext(code, scan)) {
        if (code[scan] != CRegExp::EXACTLY)
            continue;
        const char* text = reinterpret_cast<const char*>(&code[scan + 3]);
        const std::size_t len = std::strlen(text);
        if (len >= longest) {
            longest = len;
            program.mustContain.assign(text, len);
        }
    }
}

} // namespace

std::string_view CRegExpMatch::group(std::string_view text, int n) const
{
    if (!has_group(n) || end[n] < start[n] || static_cast<std::size_t>(end[n]) > text.size())
        return {};
    return text.substr(static_cast<std::size_t>(start[n]), static_cast<std::size_t>(end[n] - start[n]));
}

CRegExp::CRegExp(const char* pattern)
{
    if (pattern == nullptr)
        m_patternMissing = true;
    else
        m_pattern = pattern;
    Compile();
}

CRegExp::CRegExp(const CRegExp& other)
{
    *this = other;
}

CRegExp& CRegExp::operator=(const CRegExp& other)
{
    if (this == &other)
        return *this;
    {
        std::scoped_lock guard(m_errorLock, other.m_errorLock);
        m_errorCount = other.m_errorCount;
        m_lastErrorNumber = other.m_lastErrorNumber;
        m_lastError = other.m_lastError;
    }
    m_pattern = other.m_pattern;
    m_patternMissing = other.m_patternMissing;
    m_compileError = other.m_compileError;
    m_program = other.m_program;
    // Scratch areas are bound to the program they were made for.
    std::lock_guard<std::mutex> guard(m_scratchLock);
    m_scratch.clear();
    return *this;
}

CRegExp::~CRegExp() = default;

void CRegExp::RecordError(int number) const
{
    std::lock_guard<std::mutex> guard(m_errorLock);
    ++m_errorCount;
    m_lastErrorNumber = number;
    m_lastError = error_text(number);
}

const char* CRegExp::error_text(int number)
{
    if (number < 0 || number >= static_cast<int>(std::size(kErrorTexts)))
        return "";
    return kErrorTexts[number];
}

int CRegExp::get_error_count() const
{
    std::lock_guard<std::mutex> guard(m_errorLock);
    return m_errorCount;
}

std::string CRegExp::get_last_error() const
{
    std::lock_guard<std::mutex> guard(m_errorLock);
    return m_lastError;
}

int CRegExp::get_last_error_number() const
{
    std::lock_guard<std::mutex> guard(m_errorLock);
    return m_lastErrorNumber;
}

void CRegExp::CompileFailed(int cause)
{
    m_compileError = cause;
    RecordError(cause);
    RecordError(REGEXP_INSUFFICIENT);
}

void CRegExp::Compile()
{
    if (m_patternMissing)
        return CompileFailed(REGEXP_INVALID_ARGUMENT);
    int flags = 0;
    Compiler sizing(m_pattern.c_str(), nullptr);
    if (!sizing.Run(flags))
        return CompileFailed(sizing.error());
    if (sizing.size() > MAX_PROGRAM)
        return CompileFailed(REGEXP_TOO_BIG);
    auto program = std::make_shared<Program>();
    program->nodes.reserve(sizing.size());
    Compiler writing(m_pattern.c_str(), &program->nodes);
    if (!writing.Run(flags) || program->nodes.size() != sizing.size())
        return CompileFailed(writing.error() != REGEXP_NO_ERROR ? writing.error() : REGEXP_PARSE_OVERLOAD);
    FindPreChecks(*program, flags);
    if (!RegExpDetail::Translate(*program))
        return CompileFailed(REGEXP_PARSE_OVERLOAD);
    m_program = std::move(program);
}

std::unique_ptr<RegExpDetail::Scratch> CRegExp::TakeScratch() const
{
    {
        std::lock_guard<std::mutex> guard(m_scratchLock);
        if (!m_scratch.empty()) {
            auto scratch = std::move(m_scratch.back());
            m_scratch.pop_back();
            return scratch;
        }
    }
    return std::make_unique<RegExpDetail::Scratch>();
}

void CRegExp::GiveBackScratch(std::unique_ptr<RegExpDetail::Scratch> scratch) const
{
    std::lock_guard<std::mutex> guard(m_scratchLock);
    // Keep no more than a few: one per thread that searches at once.
    if (m_scratch.size() < 16)
        m_scratch.push_back(std::move(scratch));
}

int CRegExp::is_reg_exp_present(const char* text) const
{
    if (text == nullptr) {
        RecordError(REGEXP_INVALID_ARGUMENT);
        return 0;
    }
    return is_reg_exp_present(std::string_view(text));
}

int CRegExp::is_reg_exp_present(std::string_view text) const
{
    if (!m_program) {
        RecordError(REGEXP_PARSE_OVERLOAD);
        return 0;
    }
    auto scratch = TakeScratch();
    const bool found = RegExpDetail::Exists(*m_program, *scratch, text);
    GiveBackScratch(std::move(scratch));
    return found ? 1 : 0;
}

bool CRegExp::search(std::string_view text, CRegExpMatch& match) const
{
    for (int i = 0; i < CRegExpMatch::GROUPS; ++i)
        match.start[i] = match.end[i] = -1;
    if (!m_program) {
        RecordError(REGEXP_PARSE_OVERLOAD);
        return false;
    }
    auto scratch = TakeScratch();
    const bool found = RegExpDetail::Search(*m_program, *scratch, text, match);
    GiveBackScratch(std::move(scratch));
    return found;
}

const std::vector<unsigned char>& CRegExp::get_program() const
{
    static const std::vector<unsigned char> none;
    return m_program ? m_program->nodes : none;
}

int CRegExp::get_first_char() const
{
    return m_program ? m_program->firstChar : -1;
}

bool CRegExp::is_anchored() const
{
    return m_program && m_program->anchored;
}

std::string CRegExp::get_required_literal() const
{
    return m_program ? m_program->mustContain : std::string();
}

} // namespace Brindle
