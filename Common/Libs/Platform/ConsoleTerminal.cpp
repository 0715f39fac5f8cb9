#include "Platform/ConsoleTerminal.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <sys/ioctl.h>
#include <unistd.h>

namespace Platform {

namespace {

// Code page 437 as Unicode, the control range as the glyphs the console
// shows for it.
constexpr char16_t kCp437[256] = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640,
    0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8, 0x2191, 0x2193,
    0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC, 0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026,
    0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033,
    0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x0040,
    0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047, 0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D,
    0x004E, 0x004F, 0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, 0x0058, 0x0059, 0x005A,
    0x005B, 0x005C, 0x005D, 0x005E, 0x005F, 0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F, 0x0070, 0x0071, 0x0072, 0x0073, 0x0074,
    0x0075, 0x0076, 0x0077, 0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x2302, 0x00C7, 0x00FC,
    0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4,
    0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF,
    0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561,
    0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C,
    0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584,
    0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398,
    0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7,
    0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

struct GlyphTable {
    std::array<std::array<char, 4>, 256> utf8{};
    GlyphTable()
    {
        for (int i = 0; i < 256; ++i) {
            const unsigned u = kCp437[i];
            auto& out = utf8[i];
            if (u < 0x80) {
                out[0] = static_cast<char>(u);
            } else if (u < 0x800) {
                out[0] = static_cast<char>(0xC0 | (u >> 6));
                out[1] = static_cast<char>(0x80 | (u & 0x3F));
            } else {
                out[0] = static_cast<char>(0xE0 | (u >> 12));
                out[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                out[2] = static_cast<char>(0x80 | (u & 0x3F));
            }
        }
    }
};

const GlyphTable& Glyphs()
{
    static const GlyphTable table;
    return table;
}

constexpr WORD kUnknown = 0xFFFF;
constexpr const char* kEnterScreen = "\x1b[?1049h\x1b[?7l\x1b[?25l\x1b[0m\x1b[2J";
constexpr const char* kLeaveScreen = "\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";

// What a fatal signal needs to give the terminal back, kept where a signal
// handler can reach it without locks or allocation.
struct RestoreState {
    volatile sig_atomic_t armed = 0;
    int outFd = -1;
    int inFd = -1;
    bool haveTermios = false;
    termios saved{};
    struct sigaction previous[4]{};
};
RestoreState g_restore;
constexpr int kFatalSignals[4] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void RestoreNow()
{
    if (!g_restore.armed)
        return;
    g_restore.armed = 0;
    if (g_restore.outFd >= 0)
        (void)!::write(g_restore.outFd, kLeaveScreen, std::strlen(kLeaveScreen));
    if (g_restore.haveTermios)
        ::tcsetattr(g_restore.inFd, TCSANOW, &g_restore.saved);
}

void OnFatalSignal(int signal)
{
    RestoreNow();
    for (int i = 0; i < 4; ++i)
        if (kFatalSignals[i] == signal)
            ::sigaction(signal, &g_restore.previous[i], nullptr);
    ::raise(signal);
}

void RestoreAtExit()
{
    RestoreNow();
}

void AppendNumber(std::string& out, int n)
{
    char text[12];
    const int len = std::snprintf(text, sizeof text, "%d", n);
    out.append(text, static_cast<std::size_t>(len));
}

// SGR for the attribute's low byte: Windows bits are blue 1, green 2, red 4,
// intensity 8; ANSI colour numbers are red 1, green 2, blue 4.
void AppendColour(std::string& out, WORD attr)
{
    auto ansi = [](unsigned bits) { return ((bits & 4) ? 1 : 0) | (bits & 2) | ((bits & 1) ? 4 : 0); };
    const unsigned fg = attr & 0x0F;
    const unsigned bg = (attr >> 4) & 0x0F;
    out += "\x1b[";
    AppendNumber(out, ((fg & 8) ? 90 : 30) + ansi(fg));
    out += ';';
    AppendNumber(out, ((bg & 8) ? 100 : 40) + ansi(bg));
    out += 'm';
}

std::size_t Digits(int n)
{
    std::size_t d = 1;
    while (n >= 10) {
        n /= 10;
        ++d;
    }
    return d;
}

// Cursor forward: CUF, the count left out for 1.
void AppendForward(std::string& out, int n)
{
    out += "\x1b[";
    if (n != 1)
        AppendNumber(out, n);
    out += 'C';
}

void AppendMove(std::string& out, int row, int col)
{
    out += "\x1b[";
    AppendNumber(out, row + 1);
    out += ';';
    AppendNumber(out, col + 1);
    out += 'H';
}

} // namespace

const char* Cp437Glyph(unsigned char c)
{
    return Glyphs().utf8[c].data();
}

ConsoleTerminal::ConsoleTerminal(int outFd, int inFd) : m_outFd(outFd), m_inFd(inFd)
{
    ReadSize();
}

ConsoleTerminal::~ConsoleTerminal()
{
    Leave();
}

void ConsoleTerminal::ReadSize()
{
    winsize ws{};
    if (m_outFd >= 0 && ::ioctl(m_outFd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
        m_size.X = static_cast<SHORT>(ws.ws_col > 32767 ? 32767 : ws.ws_col);
        m_size.Y = static_cast<SHORT>(ws.ws_row > 32767 ? 32767 : ws.ws_row);
    } else {
        m_size = {80, 25};
    }
}

bool ConsoleTerminal::PollSize()
{
    const COORD before = m_size;
    ReadSize();
    if (before.X == m_size.X && before.Y == m_size.Y)
        return false;
    if (m_entered)
        Write("\x1b[0m\x1b[2J");
    Invalidate();
    return true;
}

void ConsoleTerminal::Enter()
{
    if (m_entered)
        return;
    m_entered = true;
    if (m_inFd >= 0 && ::isatty(m_inFd) && ::tcgetattr(m_inFd, &m_saved) == 0) {
        m_haveTermios = true;
        termios raw = m_saved;
        raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
        raw.c_lflag |= ISIG;
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        ::tcsetattr(m_inFd, TCSANOW, &raw);
    }
    static std::once_flag atExit;
    std::call_once(atExit, [] { std::atexit(RestoreAtExit); });
    g_restore.outFd = m_outFd;
    g_restore.inFd = m_inFd;
    g_restore.haveTermios = m_haveTermios;
    g_restore.saved = m_saved;
    for (int i = 0; i < 4; ++i) {
        struct sigaction action{};
        action.sa_handler = OnFatalSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(kFatalSignals[i], &action, &g_restore.previous[i]);
    }
    g_restore.armed = 1;
    Write(kEnterScreen);
    Invalidate();
}

void ConsoleTerminal::Leave()
{
    if (!m_entered)
        return;
    m_entered = false;
    g_restore.armed = 0;
    for (int i = 0; i < 4; ++i)
        ::sigaction(kFatalSignals[i], &g_restore.previous[i], nullptr);
    Write(kLeaveScreen);
    if (m_haveTermios)
        ::tcsetattr(m_inFd, TCSANOW, &m_saved);
    m_haveTermios = false;
}

void ConsoleTerminal::SetProcessedInput(bool on)
{
    if (!m_haveTermios)
        return;
    termios now{};
    if (::tcgetattr(m_inFd, &now) != 0)
        return;
    if (on)
        now.c_lflag |= ISIG;
    else
        now.c_lflag &= ~static_cast<tcflag_t>(ISIG);
    ::tcsetattr(m_inFd, TCSANOW, &now);
}

void ConsoleTerminal::Invalidate()
{
    m_shown.assign(static_cast<std::size_t>(m_size.X) * static_cast<std::size_t>(m_size.Y), CHAR_INFO{});
    for (CHAR_INFO& c : m_shown)
        c.Attributes = kUnknown;
    m_shownWidth = m_size.X;
    m_shownHeight = m_size.Y;
    m_cursorShown = false;
}

void ConsoleTerminal::Write(const std::string& bytes)
{
    if (m_outFd < 0)
        return;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_outFd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // a terminal that went away loses what is left
        done += static_cast<std::size_t>(n);
    }
    m_written += done;
}

void ConsoleTerminal::SetTitle(const std::string& title)
{
    if (!m_entered)
        return;
    std::string out = "\x1b]2;";
    // Controls become '?' (a BEL or ESC would end the title early); bytes
    // from 0x80 on are code page 437 like the cells, so no stray C1 control
    // or broken UTF-8 reaches the terminal either.
    for (const char c : title) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            out += '?';
        else
            out += Cp437Glyph(b);
    }
    out += '\x07';
    Write(out);
}

void ConsoleTerminal::Draw(const CHAR_INFO* cells, int width, int height, int stride, int firstRow, int lastRow,
                           COORD cursor, bool cursorVisible)
{
    if (!m_entered)
        return;
    if (m_shownWidth != m_size.X || m_shownHeight != m_size.Y)
        Invalidate();
    const int rows = height < m_size.Y ? height : m_size.Y;
    const int cols = width < m_size.X ? width : m_size.X;
    std::string out;
    int atRow = -1; // where the terminal's cursor is; -1: unknown
    int atCol = -1;
    WORD colour = kUnknown;
    const GlyphTable& glyphs = Glyphs();
    for (int r = firstRow < 0 ? 0 : firstRow; r < rows && r <= lastRow; ++r) {
        const CHAR_INFO* row = cells + static_cast<std::ptrdiff_t>(r) * stride;
        CHAR_INFO* shown = m_shown.data() + static_cast<std::ptrdiff_t>(r) * m_size.X;
        for (int c = 0; c < cols; ++c) {
            const CHAR_INFO& cell = row[c];
            if (shown[c].Attributes == cell.Attributes && shown[c].Char.AsciiChar == cell.Char.AsciiChar)
                continue;
            if (atRow == r && atCol >= 0 && atCol < c) {
                // Over unchanged cells of the same row: write them again when
                // that is no longer than a move to the right (and they are in
                // the colour already set), else move right.
                const int gap = c - atCol;
                const std::size_t forward = gap == 1 ? 3 : 3 + Digits(gap);
                std::size_t again = 0;
                for (int k = atCol; k < c && again <= forward; ++k)
                    again = row[k].Attributes == colour
                                ? again + std::strlen(glyphs.utf8[static_cast<unsigned char>(row[k].Char.AsciiChar)].data())
                                : forward + 1;
                if (again <= forward) {
                    for (int k = atCol; k < c; ++k)
                        out += glyphs.utf8[static_cast<unsigned char>(row[k].Char.AsciiChar)].data();
                } else {
                    AppendForward(out, gap);
                }
            } else if (atRow != r || atCol != c) {
                AppendMove(out, r, c);
            }
            if (cell.Attributes != colour) {
                AppendColour(out, cell.Attributes);
                colour = cell.Attributes;
            }
            out += glyphs.utf8[static_cast<unsigned char>(cell.Char.AsciiChar)].data();
            shown[c] = cell;
            atRow = r;
            atCol = c + 1 < m_size.X ? c + 1 : -1; // autowrap is off: the last column keeps the cursor
            if (atCol < 0)
                atRow = -1;
        }
    }
    const bool show = cursorVisible && cursor.X >= 0 && cursor.Y >= 0 && cursor.X < cols && cursor.Y < rows;
    if (out.empty() && show == m_cursorShown && (!show || (cursor.X == m_cursorAt.X && cursor.Y == m_cursorAt.Y)))
        return; // nothing changed
    // The cursor hides while cells are written, so it never flickers over them.
    std::string bytes = m_cursorShown && !out.empty() ? "\x1b[?25l" : "";
    bytes += out;
    if (show) {
        AppendMove(bytes, cursor.Y, cursor.X);
        if (!m_cursorShown || !out.empty())
            bytes += "\x1b[?25h";
        m_cursorAt = cursor;
    } else if (m_cursorShown && out.empty()) {
        bytes += "\x1b[?25l";
    }
    m_cursorShown = show;
    Write(bytes);
}

// Keyboard decoding.

namespace {

INPUT_RECORD KeyRecord(bool down, WORD vk, char ch, DWORD state)
{
    INPUT_RECORD r{};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.wVirtualKeyCode = vk;
    r.Event.KeyEvent.uChar.AsciiChar = ch;
    r.Event.KeyEvent.dwControlKeyState = state;
    return r;
}

void Key(std::vector<INPUT_RECORD>& out, WORD vk, char ch, DWORD state = 0)
{
    out.push_back(KeyRecord(true, vk, ch, state));
    out.push_back(KeyRecord(false, vk, ch, state));
}

// The key of a plain byte.
void ByteKey(std::vector<INPUT_RECORD>& out, unsigned char b)
{
    const char ch = static_cast<char>(b);
    if (b == '\r' || b == '\n')
        return Key(out, VK_RETURN, '\r');
    if (b == '\t')
        return Key(out, VK_TAB, '\t');
    if (b == 0x7F || b == 0x08)
        return Key(out, VK_BACK, '\b');
    if (b == 0x1B)
        return Key(out, VK_ESCAPE, ch);
    if (b == 0)
        return Key(out, VK_SPACE, 0, LEFT_CTRL_PRESSED);
    if (b < 0x20)
        return Key(out, static_cast<WORD>('A' + b - 1), ch, LEFT_CTRL_PRESSED);
    if (b >= 'a' && b <= 'z')
        return Key(out, static_cast<WORD>(b - 'a' + 'A'), ch);
    if (b >= 'A' && b <= 'Z')
        return Key(out, b, ch, SHIFT_PRESSED);
    if ((b >= '0' && b <= '9') || b == ' ')
        return Key(out, b, ch);
    Key(out, 0, ch);
}

// The modifier parameter of CSI 1;m X: 2 shift, 3 alt, 5 ctrl (and sums).
DWORD Modifiers(int m)
{
    DWORD state = 0;
    if (m > 1) {
        const int bits = m - 1;
        if (bits & 1)
            state |= SHIFT_PRESSED;
        if (bits & 2)
            state |= LEFT_ALT_PRESSED;
        if (bits & 4)
            state |= LEFT_CTRL_PRESSED;
    }
    return state;
}

} // namespace

void KeyDecoder::Feed(const unsigned char* bytes, std::size_t length, std::vector<INPUT_RECORD>& out)
{
    m_pending.append(reinterpret_cast<const char*>(bytes), length);
    while (!m_pending.empty()) {
        const std::size_t used = DecodeOne(false, out);
        if (used == 0)
            break;
        m_pending.erase(0, used);
    }
}

void KeyDecoder::Flush(std::vector<INPUT_RECORD>& out)
{
    while (!m_pending.empty())
        m_pending.erase(0, DecodeOne(true, out));
}

std::size_t KeyDecoder::DecodeOne(bool final, std::vector<INPUT_RECORD>& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(m_pending.data());
    const std::size_t n = m_pending.size();
    if (p[0] != 0x1B) {
        ByteKey(out, p[0]);
        return 1;
    }
    if (n == 1) {
        if (!final)
            return 0;
        Key(out, VK_ESCAPE, 0x1B);
        return 1;
    }
    if (p[1] == 'O') {
        // SS3: F1-F4, and the cursor keys in application mode.
        if (n < 3) {
            if (!final)
                return 0;
            Key(out, VK_ESCAPE, 0x1B);
            return 1;
        }
        static const struct {
            char c;
            WORD vk;
        } ss3[] = {{'P', VK_F1}, {'Q', VK_F1 + 1}, {'R', VK_F1 + 2}, {'S', VK_F1 + 3}, {'A', VK_UP},
                   {'B', VK_DOWN}, {'C', VK_RIGHT}, {'D', VK_LEFT}, {'H', VK_HOME}, {'F', VK_END}};
        for (const auto& k : ss3)
            if (p[2] == static_cast<unsigned char>(k.c)) {
                Key(out, k.vk, 0, ENHANCED_KEY);
                return 3;
            }
        Key(out, VK_ESCAPE, 0x1B);
        return 1;
    }
    if (p[1] != '[') {
        // Alt + key: the key with Alt held.
        std::vector<INPUT_RECORD> key;
        ByteKey(key, p[1]);
        for (auto& r : key)
            r.Event.KeyEvent.dwControlKeyState |= LEFT_ALT_PRESSED;
        out.insert(out.end(), key.begin(), key.end());
        return 2;
    }
    // CSI: parameters (digits and ';') up to a final byte.
    std::size_t i = 2;
    while (i < n && ((p[i] >= '0' && p[i] <= '9') || p[i] == ';'))
        ++i;
    if (i >= n) {
        if (!final && n < 16)
            return 0;
        Key(out, VK_ESCAPE, 0x1B);
        return 1;
    }
    int params[4] = {0, 0, 0, 0};
    int count = 0;
    for (std::size_t k = 2; k < i && count < 4; ++k) {
        if (p[k] == ';')
            ++count;
        else
            params[count] = params[count] * 10 + (p[k] - '0');
    }
    const DWORD state = Modifiers(params[1]) | ENHANCED_KEY;
    WORD vk = 0;
    switch (p[i]) {
    case 'A': vk = VK_UP; break;
    case 'B': vk = VK_DOWN; break;
    case 'C': vk = VK_RIGHT; break;
    case 'D': vk = VK_LEFT; break;
    case 'H': vk = VK_HOME; break;
    case 'F': vk = VK_END; break;
    case 'Z': vk = VK_TAB; break;
    case '~':
        switch (params[0]) {
        case 1: case 7: vk = VK_HOME; break;
        case 2: vk = VK_INSERT; break;
        case 3: vk = VK_DELETE; break;
        case 4: case 8: vk = VK_END; break;
        case 5: vk = VK_PRIOR; break;
        case 6: vk = VK_NEXT; break;
        case 11: case 12: case 13: case 14: case 15: vk = static_cast<WORD>(VK_F1 + params[0] - 11); break;
        case 17: case 18: case 19: case 20: case 21: vk = static_cast<WORD>(VK_F1 + 5 + params[0] - 17); break;
        case 23: case 24: vk = static_cast<WORD>(VK_F1 + 10 + params[0] - 23); break;
        default: break;
        }
        break;
    default:
        break;
    }
    if (vk == 0)
        return i + 1; // a sequence of no key we know: dropped whole
    Key(out, vk, p[i] == 'Z' ? '\t' : 0, p[i] == 'Z' ? (state | SHIFT_PRESSED) : state);
    return i + 1;
}

} // namespace Platform
