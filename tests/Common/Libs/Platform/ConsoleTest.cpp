#include "Platform/Console.h"
#include "Platform/ConsoleTerminal.h"
#include "Platform/KernelObjects.h"
#include "Platform/WinError.h"

#include "ChildProcess.h"
#include "TerminalBytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using terminaltest::Drain;
using terminaltest::StripSequences;

CHAR_INFO Cell(char c, WORD attr)
{
    CHAR_INFO cell{};
    cell.Char.AsciiChar = c;
    cell.Attributes = attr;
    return cell;
}

std::string Row(HANDLE h, SHORT y, SHORT from, DWORD n)
{
    std::string text(n, '\0');
    DWORD read = 0;
    EXPECT_TRUE(ReadConsoleOutputCharacterA(h, text.data(), n, {from, y}, &read));
    text.resize(read);
    return text;
}

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AttachConsoleTerminal(terminal, -1);
        ASSERT_TRUE(AllocConsole());
        out = GetStdHandle(STD_OUTPUT_HANDLE);
        in = GetStdHandle(STD_INPUT_HANDLE);
    }
    void TearDown() override
    {
        FreeConsole();
        AttachConsoleTerminal(-2, -2);
    }
    int terminal = -1; // the descriptor the console draws on; none by default
    HANDLE out = nullptr;
    HANDLE in = nullptr;
};

// A console that draws on a pipe of the test's, as it would on a terminal.
class PipeConsole : public ConsoleTest {
protected:
    PipeConsole()
    {
        EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK), 0);
        terminal = pipeFds[1];
    }
    ~PipeConsole() override
    {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
    }
    std::string Drawn() { return Drain(pipeFds[0]); }
    int pipeFds[2] = {-1, -1};
};

TEST_F(ConsoleTest, OneConsoleWithABufferOfCellsThatReadBack)
{
    EXPECT_FALSE(AllocConsole());
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
    EXPECT_EQ((std::vector<int>{info.dwSize.X, info.dwSize.Y, info.wAttributes}), (std::vector<int>{80, 25, 7}));
    EXPECT_EQ(GetStdHandle(STD_ERROR_HANDLE), out);

    // Character runs go on across rows and stop at the end of the buffer.
    DWORD n = 0;
    ASSERT_TRUE(WriteConsoleOutputCharacterA(out, "abcdef", 6, {77, 3}, &n));
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(Row(out, 3, 77, 3), "abc");
    EXPECT_EQ(Row(out, 4, 0, 3), "def");
    ASSERT_TRUE(WriteConsoleOutputCharacterA(out, "xyz", 3, {79, 24}, &n));
    EXPECT_EQ(n, 1u);
    EXPECT_FALSE(WriteConsoleOutputCharacterA(out, "x", 1, {80, 0}, &n));
    const WORD attrs[3] = {0x1F, 0x2E, 0x4C};
    ASSERT_TRUE(WriteConsoleOutputAttribute(out, attrs, 3, {10, 0}, &n));
    WORD back[3] = {};
    ASSERT_TRUE(ReadConsoleOutputAttribute(out, back, 3, {10, 0}, &n));
    EXPECT_EQ(std::vector<WORD>(back, back + 3), std::vector<WORD>(attrs, attrs + 3));
    ASSERT_TRUE(FillConsoleOutputCharacterA(out, '#', 200, {0, 10}, &n));
    EXPECT_EQ(Row(out, 12, 38, 4), "##  ");

    // A rectangle partly off the buffer is clipped, and says so.
    std::vector<CHAR_INFO> cells(4 * 3, Cell('Q', 0x30));
    SMALL_RECT region{78, 23, 81, 25};
    ASSERT_TRUE(WriteConsoleOutputA(out, cells.data(), {4, 3}, {0, 0}, &region));
    EXPECT_EQ((std::vector<int>{region.Left, region.Right, region.Bottom}), (std::vector<int>{78, 79, 24}));
    std::vector<CHAR_INFO> read(4 * 3, Cell('-', 0));
    SMALL_RECT from{77, 23, 80, 25};
    ASSERT_TRUE(ReadConsoleOutputA(out, read.data(), {4, 3}, {0, 0}, &from));
    EXPECT_EQ(read[0].Char.AsciiChar, ' ');
    EXPECT_EQ(read[1].Char.AsciiChar, 'Q');
    EXPECT_EQ(read[1].Attributes, 0x30);
    EXPECT_EQ(read[3].Char.AsciiChar, '-'); // off the buffer: untouched

    // A resize keeps what both sizes share.
    ASSERT_TRUE(SetConsoleScreenBufferSize(out, {100, 5}));
    EXPECT_EQ(Row(out, 3, 77, 3), "abc");
    EXPECT_FALSE(SetConsoleScreenBufferSize(out, {0, 5}));
}

TEST_F(ConsoleTest, ScrollMovesInsideTheClipAndFillsWhatItLeaves)
{
    DWORD n = 0;
    for (SHORT y = 0; y < 6; ++y) {
        const std::string row = "row" + std::to_string(y) + "xxxx";
        WriteConsoleOutputCharacterA(out, row.c_str(), static_cast<DWORD>(row.size()), {0, y}, &n);
    }
    const SMALL_RECT scroll{0, 1, 7, 5};
    const SMALL_RECT clip{0, 1, 5, 5};
    const CHAR_INFO fill = Cell('.', 0x70);
    ASSERT_TRUE(ScrollConsoleScreenBufferA(out, &scroll, &clip, {0, 0}, &fill));
    EXPECT_EQ(Row(out, 0, 0, 8), "row0xxxx"); // outside the clip
    EXPECT_EQ(Row(out, 1, 0, 8), "row2xxxx");
    EXPECT_EQ(Row(out, 3, 0, 8), "row4xxxx");
    EXPECT_EQ(Row(out, 4, 0, 8), "row5xxxx");
    EXPECT_EQ(Row(out, 5, 0, 8), "......xx"); // filled inside the clip only
    WORD attr = 0;
    ReadConsoleOutputAttribute(out, &attr, 1, {0, 5}, &n);
    EXPECT_EQ(attr, 0x70);
}

TEST_F(ConsoleTest, WriteConsoleProcessesControlsWrapsAndScrolls)
{
    ASSERT_TRUE(SetConsoleScreenBufferSize(out, {10, 3}));
    ASSERT_TRUE(SetConsoleTextAttribute(out, 0x1E));
    DWORD n = 0;
    const std::string text = "ab\tc\r\nline two is long\nend\bX";
    ASSERT_TRUE(WriteConsoleA(out, text.data(), static_cast<DWORD>(text.size()), &n, nullptr));
    // "ab      c" scrolled away; "line two i" / "s long" / "enX"
    EXPECT_EQ(Row(out, 0, 0, 10), "line two i");
    EXPECT_EQ(Row(out, 1, 0, 10), "s long    ");
    EXPECT_EQ(Row(out, 2, 0, 10), "enX       ");
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(out, &info);
    EXPECT_EQ((std::vector<int>{info.dwCursorPosition.X, info.dwCursorPosition.Y}), (std::vector<int>{3, 2}));
    WORD attr = 0;
    ReadConsoleOutputAttribute(out, &attr, 1, {0, 0}, &n);
    EXPECT_EQ(attr, 0x1E);
    // Without processed output the controls are cells like any other.
    ASSERT_TRUE(SetConsoleMode(out, 0));
    ASSERT_TRUE(SetConsoleCursorPosition(out, {0, 0}));
    ASSERT_TRUE(WriteConsoleA(out, "\r\n\x1b", 3, &n, nullptr));
    EXPECT_EQ(Row(out, 0, 0, 3), "\r\n\x1b");
}

TEST_F(ConsoleTest, ScreenBuffersAreHandlesOfTheirOwn)
{
    HANDLE second = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_NE(second, out);
    EXPECT_FALSE(IsKernelHandle(second));
    DWORD n = 0;
    WriteConsoleOutputCharacterA(second, "two", 3, {0, 0}, &n);
    EXPECT_EQ(Row(out, 0, 0, 3), "   ");
    ASSERT_TRUE(SetConsoleActiveScreenBuffer(second));
    // The active buffer stays while active, also when its handle closes.
    EXPECT_TRUE(CloseConsoleHandle(second));
    EXPECT_FALSE(CloseConsoleHandle(second));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseConsoleHandle(out));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(FreeConsole());
    EXPECT_FALSE(WriteConsoleOutputCharacterA(out, "x", 1, {0, 0}, &n));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), INVALID_HANDLE_VALUE);
}

TEST_F(ConsoleTest, InputQueueWaitsAndReadsLines)
{
    DWORD mode = 0;
    ASSERT_TRUE(GetConsoleMode(in, &mode));
    EXPECT_EQ(mode, ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
    EXPECT_EQ(WaitForSingleObject(in, 0), WAIT_TIMEOUT);

    std::vector<INPUT_RECORD> keys;
    Platform::KeyDecoder decoder;
    const std::string typed = "hex\x7fllo\r";
    decoder.Feed(reinterpret_cast<const unsigned char*>(typed.data()), typed.size(), keys);
    // A reader waiting on another thread gets them as they are queued.
    std::string line;
    std::thread reader([&] {
        char text[64];
        DWORD read = 0;
        if (ReadConsoleA(in, text, sizeof text, &read, nullptr))
            line.assign(text, read);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // let it reach its wait
    DWORD n = 0;
    ASSERT_TRUE(WriteConsoleInputA(in, keys.data(), static_cast<DWORD>(keys.size()), &n));
    reader.join();
    EXPECT_EQ(line, "hello\r\n");
    EXPECT_EQ(Row(out, 0, 0, 6), "hello "); // echoed, the rubbed-out x gone

    // The Enter key's release is still queued; flushing drops it.
    ASSERT_TRUE(GetNumberOfConsoleInputEvents(in, &n));
    EXPECT_EQ(n, 1u);
    ASSERT_TRUE(FlushConsoleInputBuffer(in));
    // Raw: events as they are, and the handle signalled while any are queued.
    ASSERT_TRUE(SetConsoleMode(in, 0));
    const std::string more = "q\x1b[A";
    keys.clear();
    decoder.Feed(reinterpret_cast<const unsigned char*>(more.data()), more.size(), keys);
    ASSERT_TRUE(WriteConsoleInputA(in, keys.data(), static_cast<DWORD>(keys.size()), &n));
    EXPECT_EQ(WaitForSingleObject(in, 0), WAIT_OBJECT_0);
    INPUT_RECORD got[8];
    ASSERT_TRUE(PeekConsoleInputA(in, got, 8, &n));
    EXPECT_EQ(n, 4u);
    ASSERT_TRUE(ReadConsoleInputA(in, got, 8, &n));
    ASSERT_EQ(n, 4u);
    EXPECT_EQ(got[0].Event.KeyEvent.uChar.AsciiChar, 'q');
    EXPECT_TRUE(got[0].Event.KeyEvent.bKeyDown);
    EXPECT_FALSE(got[1].Event.KeyEvent.bKeyDown);
    EXPECT_EQ(got[2].Event.KeyEvent.wVirtualKeyCode, VK_UP);
    EXPECT_EQ(WaitForSingleObject(in, 0), WAIT_TIMEOUT);
    EXPECT_FALSE(SetConsoleMode(in, ENABLE_ECHO_INPUT)); // echo needs line input
}

TEST_F(ConsoleTest, FreeingTheConsoleWakesAWaitingReader)
{
    BOOL result = TRUE;
    std::thread reader([&] {
        INPUT_RECORD r;
        DWORD n = 0;
        result = ReadConsoleInputA(in, &r, 1, &n);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    FreeConsole();
    reader.join();
    EXPECT_FALSE(result);
}

TEST(ConsoleKeys, TerminalBytesBecomeVirtualKeys)
{
    struct Row {
        std::string bytes;
        WORD vk;
        char ch;
        DWORD state;
    } rows[] = {
        {"a", 'A', 'a', 0},
        {"Z", 'Z', 'Z', SHIFT_PRESSED},
        {"\r", VK_RETURN, '\r', 0},
        {"\x7f", VK_BACK, '\b', 0},
        {"\x03", 'C', '\x03', LEFT_CTRL_PRESSED},
        {"\x1b[A", VK_UP, 0, ENHANCED_KEY},
        {"\x1b[1;5C", VK_RIGHT, 0, ENHANCED_KEY | LEFT_CTRL_PRESSED},
        {"\x1b[6~", VK_NEXT, 0, ENHANCED_KEY},
        {"\x1b[3~", VK_DELETE, 0, ENHANCED_KEY},
        {"\x1bOP", VK_F1, 0, ENHANCED_KEY},
        {"\x1b[15~", VK_F1 + 4, 0, ENHANCED_KEY},
        {"\x1bx", 'X', 'x', LEFT_ALT_PRESSED},
        // Parameters too long for any key neither overflow nor invent modifiers.
        {"\x1b[1;9999999999C", VK_RIGHT, 0, ENHANCED_KEY},
    };
    for (const Row& r : rows) {
        Platform::KeyDecoder decoder;
        std::vector<INPUT_RECORD> events;
        // Byte by byte, as a slow terminal would send them.
        for (const char c : r.bytes)
            decoder.Feed(reinterpret_cast<const unsigned char*>(&c), 1, events);
        ASSERT_EQ(events.size(), 2u) << r.bytes.substr(1);
        EXPECT_EQ(events[0].Event.KeyEvent.wVirtualKeyCode, r.vk) << r.bytes.substr(1);
        EXPECT_EQ(events[0].Event.KeyEvent.uChar.AsciiChar, r.ch) << r.bytes.substr(1);
        EXPECT_EQ(events[0].Event.KeyEvent.dwControlKeyState, r.state) << r.bytes.substr(1);
        EXPECT_TRUE(events[0].Event.KeyEvent.bKeyDown);
        EXPECT_FALSE(events[1].Event.KeyEvent.bKeyDown);
    }
    // A lone Escape is known once the keyboard goes quiet.
    Platform::KeyDecoder decoder;
    std::vector<INPUT_RECORD> events;
    decoder.Feed(reinterpret_cast<const unsigned char*>("\x1b"), 1, events);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(decoder.Pending());
    decoder.Flush(events);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
}

// The upper half of code page 437 against Python's own table of it.
TEST(ConsoleGlyphs, CodePage437MatchesPython)
{
    testsupport::ChildProcess python({"/usr/bin/python3", "-c",
                                      "import sys; sys.stdout.buffer.write(bytes(range(128, 256)).decode('cp437')"
                                      ".encode('utf-8'))"});
    ASSERT_EQ(python.Wait(), 0) << python.Stderr();
    std::string ours;
    for (int b = 128; b < 256; ++b)
        ours += Platform::Cp437Glyph(static_cast<unsigned char>(b));
    EXPECT_EQ(ours, python.Stdout());
    for (int b = 32; b < 127; ++b)
        EXPECT_EQ(std::string(Platform::Cp437Glyph(static_cast<unsigned char>(b))), std::string(1, static_cast<char>(b)));
    EXPECT_STREQ(Platform::Cp437Glyph(0x01), "\u263A");
    EXPECT_STREQ(Platform::Cp437Glyph(0x1B), "\u2190");
    EXPECT_STREQ(Platform::Cp437Glyph(0x7F), "\u2302");
    EXPECT_STREQ(Platform::Cp437Glyph(0x00), " ");
}

// The console draws on a pipe as it would on a terminal: only what changed,
// and nothing from the cells as a control.
TEST_F(PipeConsole, OnlyChangedCellsAndNoControlBytes)
{
    const std::string start = Drawn();
    EXPECT_NE(start.find("\x1b[?1049h"), std::string::npos);

    std::string every;
    for (int b = 0; b < 32; ++b)
        every += static_cast<char>(b);
    every += '\x7f';
    DWORD n = 0;
    ASSERT_TRUE(WriteConsoleOutputCharacterA(out, every.data(), static_cast<DWORD>(every.size()), {0, 2}, &n));
    const std::string drawn = Drawn();
    const std::string text = StripSequences(drawn);
    for (const char c : text)
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << "control byte " << int(c);
    std::string glyphs;
    for (const char c : every)
        glyphs += Platform::Cp437Glyph(static_cast<unsigned char>(c));
    EXPECT_NE(text.find(glyphs.substr(std::strlen(Platform::Cp437Glyph(0)))), std::string::npos);

    // The same cells again: nothing to write. One changed cell: a move, a
    // colour perhaps, one glyph.
    ASSERT_TRUE(WriteConsoleOutputCharacterA(out, every.data(), static_cast<DWORD>(every.size()), {0, 2}, &n));
    EXPECT_EQ(Drawn(), "");
    ASSERT_TRUE(WriteConsoleOutputCharacterA(out, "Z", 1, {40, 10}, &n));
    const std::string one = Drawn();
    EXPECT_EQ(StripSequences(one), "Z");
    EXPECT_LT(one.size(), 48u);

    // An update holds drawing until it ends, and then draws the end result.
    BeginConsoleUpdate();
    WriteConsoleOutputCharacterA(out, "A", 1, {41, 10}, &n);
    WriteConsoleOutputCharacterA(out, "B", 1, {41, 10}, &n);
    EXPECT_EQ(Drawn(), "");
    EndConsoleUpdate();
    EXPECT_EQ(StripSequences(Drawn()), "B");

    // Colours: bright yellow on blue is SGR 93;44.
    const WORD attr = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_INTENSITY | BACKGROUND_BLUE;
    ASSERT_TRUE(FillConsoleOutputAttribute(out, attr, 1, {0, 0}, &n));
    EXPECT_NE(Drawn().find("\x1b[93;44m"), std::string::npos);

    ASSERT_TRUE(SetConsoleTitleA("a\x07title"));
    EXPECT_NE(Drawn().find("\x1b]2;a?title\x07"), std::string::npos);
    // High bytes of a title are code page 437 too: no C1 control (0x9B is
    // CSI) and no broken UTF-8.
    ASSERT_TRUE(SetConsoleTitleA("\x9b" "2J\xe9"));
    EXPECT_NE(Drawn().find("\x1b]2;\xc2\xa2" "2J\xce\x98\x07"), std::string::npos);
    ASSERT_TRUE(FreeConsole());
    EXPECT_NE(Drawn().find("\x1b[?1049l"), std::string::npos);
}

// Rows that moved up by one across the whole width are scrolled by the
// terminal: margins, an index, and only the freed row written; narrower or
// shorter moves are written cell by cell.
TEST_F(PipeConsole, FullWidthBandsScrollInTheTerminal)
{
    CONSOLE_CURSOR_INFO hidden{25, FALSE};
    ASSERT_TRUE(SetConsoleCursorInfo(out, &hidden));
    DWORD n = 0;
    for (SHORT y = 0; y < 25; ++y) {
        const std::string row = ("row " + std::to_string(y) + std::string(80, static_cast<char>('a' + y))).substr(0, 80);
        ASSERT_TRUE(WriteConsoleOutputCharacterA(out, row.data(), 80, {0, y}, &n));
    }
    Drawn();
    const CHAR_INFO fill = Cell(' ', 7);
    const struct {
        SMALL_RECT move; // moved up by one row
        bool scrolls;
        std::string margins;
    } cases[] = {
        {{0, 5, 79, 14}, true, "\x1b[5;15r"},
        {{0, 1, 79, 24}, true, "\x1b[1;25r"},
        {{0, 20, 79, 21}, false, ""}, // two rows: written again
        {{0, 5, 78, 14}, false, ""},  // not the whole width
    };
    for (const auto& c : cases) {
        const SMALL_RECT move = c.move;
        ASSERT_TRUE(ScrollConsoleScreenBufferA(out, &move, nullptr, {move.Left, static_cast<SHORT>(move.Top - 1)}, &fill));
        const std::string bytes = Drawn();
        EXPECT_EQ(bytes.find("\x1b" "D") != std::string::npos, c.scrolls) << c.margins;
        if (c.scrolls) {
            EXPECT_NE(bytes.find(c.margins), std::string::npos);
            EXPECT_NE(bytes.find("\x1b[r"), std::string::npos); // margins off again
            // Only the freed row is written: it is blank.
            std::string text = bytes;
            text.erase(text.find("\x1b" "D"), 2);
            EXPECT_EQ(StripSequences(text).find_first_not_of(' '), std::string::npos) << StripSequences(text);
            EXPECT_LT(bytes.size(), 120u);
        }
    }
}

// A pseudo-terminal as the console's terminal: its size, raw keyboard,
// keys typed on it and a change of its size.
TEST(ConsoleTerminalDrawing, PseudoTerminalKeyboardAndSize)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    winsize ws{};
    ws.ws_col = 100;
    ws.ws_row = 30;
    ASSERT_EQ(::ioctl(master, TIOCSWINSZ, &ws), 0);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    // What the console draws comes out of the master: keep reading it so the
    // drawing never waits for room.
    std::atomic<bool> done{false};
    std::thread drain([&] {
        char buffer[4096];
        while (!done) {
            pollfd fd{master, POLLIN, 0};
            if (::poll(&fd, 1, 50) > 0 && ::read(master, buffer, sizeof buffer) <= 0)
                return;
        }
    });
    AttachConsoleTerminal(slave, slave);
    ASSERT_TRUE(AllocConsole());
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
    EXPECT_EQ((std::vector<int>{info.dwSize.X, info.dwSize.Y}), (std::vector<int>{100, 30}));
    termios t{};
    ASSERT_EQ(::tcgetattr(slave, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);

    ASSERT_TRUE(SetConsoleMode(in, ENABLE_WINDOW_INPUT));
    ASSERT_EQ(::write(master, "x\x1b[B", 4), 4);
    std::vector<INPUT_RECORD> got;
    while (got.size() < 4) {
        ASSERT_EQ(WaitForSingleObject(in, 60000), WAIT_OBJECT_0);
        INPUT_RECORD r[8];
        DWORD n = 0;
        ASSERT_TRUE(ReadConsoleInputA(in, r, 8, &n));
        got.insert(got.end(), r, r + n);
    }
    EXPECT_EQ(got[0].Event.KeyEvent.uChar.AsciiChar, 'x');
    EXPECT_EQ(got[2].Event.KeyEvent.wVirtualKeyCode, VK_DOWN);

    ws.ws_col = 90;
    ASSERT_EQ(::ioctl(master, TIOCSWINSZ, &ws), 0);
    INPUT_RECORD r{};
    DWORD n = 0;
    ASSERT_TRUE(ReadConsoleInputA(in, &r, 1, &n));
    EXPECT_EQ(r.EventType, WINDOW_BUFFER_SIZE_EVENT);
    EXPECT_EQ(r.Event.WindowBufferSizeEvent.dwSize.X, 90);

    ASSERT_TRUE(FreeConsole());
    ASSERT_EQ(::tcgetattr(slave, &t), 0);
    EXPECT_NE(t.c_lflag & ICANON, 0u); // given back
    AttachConsoleTerminal(-2, -2);
    done = true;
    drain.join();
    ::close(slave);
    ::close(master);
}

} // namespace
