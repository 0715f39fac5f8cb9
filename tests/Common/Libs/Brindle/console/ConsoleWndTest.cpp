#include "Brindle/console/Console.h"
#include "Brindle/console/ConsoleWnd.h"

#include "Platform/ConsoleTerminal.h"

#include "../../Platform/TerminalBytes.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Brindle;
using terminaltest::Drain;
using terminaltest::StripSequences;

namespace {

constexpr WORD kGrey = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
constexpr WORD kBlue = BACKGROUND_BLUE | kGrey;

// What lies on the screen before any window: a letter per cell that differs
// from its neighbours, in an attribute of its own.
char Background(int x, int y)
{
    return static_cast<char>('a' + (x + 3 * y) % 26);
}
constexpr WORD kBackgroundAttr = FOREGROUND_GREEN;

class ConsoleWndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AttachConsoleTerminal(-1, -1);
        ASSERT_TRUE(console.Alloc());
        screen = console.GetActiveScreenBuffer();
        ASSERT_TRUE(screen);
        const COORD size = screen->GetSize();
        ASSERT_EQ(size.X, 80);
        ASSERT_EQ(size.Y, 25);
        for (SHORT y = 0; y < size.Y; ++y) {
            std::string row;
            for (SHORT x = 0; x < size.X; ++x)
                row += Background(x, y);
            screen->WriteCharacters({0, y}, row);
        }
        screen->FillAttributes({0, 0}, kBackgroundAttr, 80 * 25);
        mgr.SetScreenBuffer(screen);
    }
    void TearDown() override
    {
        console.Free();
        AttachConsoleTerminal(-2, -2);
    }

    std::string ScreenRow(SHORT y, SHORT x = 0, DWORD n = 80) const { return screen->ReadCharacters({x, y}, n); }
    char ScreenChar(SHORT x, SHORT y) const { return ScreenRow(y, x, 1).at(0); }
    WORD ScreenAttr(SHORT x, SHORT y) const
    {
        WORD a = 0;
        screen->ReadAttributes({x, y}, &a, 1);
        return a;
    }
    std::string BackgroundRow(SHORT y, SHORT x, int n) const
    {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += Background(x + i, y);
        return s;
    }
    // The screen as the stacking order says it must look: the topmost
    // visible window over each cell, else the background.
    void ExpectComposed(const char* when)
    {
        for (SHORT y = 0; y < 25; ++y) {
            for (SHORT x = 0; x < 80; ++x) {
                char want = Background(x, y);
                WORD wantAttr = kBackgroundAttr;
                for (std::size_t i = mgr.GetWndCount(); i-- > 0;) {
                    const CRefCountedPtr<CConsoleWnd> w = mgr.GetWnd(i);
                    const SMALL_RECT r = w->GetRect();
                    if (w->IsVisible() && x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom) {
                        const CHAR_INFO c = w->GetCell(static_cast<short>(x - r.Left), static_cast<short>(y - r.Top));
                        want = c.Char.AsciiChar;
                        wantAttr = c.Attributes;
                        break;
                    }
                }
                ASSERT_EQ(ScreenChar(x, y), want) << when << " at " << x << "," << y;
                ASSERT_EQ(ScreenAttr(x, y), wantAttr) << when << " at " << x << "," << y;
            }
        }
    }

    CConsole console;
    CRefCountedPtr<CScreenBuffer> screen;
    CConsoleWndMgr mgr;
};

TEST_F(ConsoleWndTest, SizesBelowOneAndEdgesBeyondShortAreRefused)
{
    const struct {
        short left, top, width, height;
        bool made;
    } cases[] = {
        {0, 0, 0, 5, false},       {0, 0, 5, 0, false},         {0, 0, -1, 5, false},     {0, 0, 5, -7, false},
        {0, 0, 1, 1, true},        {-3, -2, 6, 4, true},        {SHRT_MAX, 0, 1, 1, true}, {SHRT_MAX, 0, 2, 1, false},
        {0, SHRT_MAX - 9, 3, 10, true}, {0, SHRT_MAX - 9, 3, 11, false}, {SHRT_MIN, 0, 4, 4, true},
    };
    std::size_t made = 0;
    for (const auto& c : cases) {
        const CRefCountedPtr<CConsoleWnd> w = mgr.CreateConsoleWnd(c.left, c.top, c.width, c.height);
        EXPECT_EQ(w.NotNull(), c.made) << c.left << "," << c.top << " " << c.width << "x" << c.height;
        if (w) {
            ++made;
            EXPECT_EQ(w->Width(), c.width);
            EXPECT_EQ(w->Height(), c.height);
            EXPECT_EQ(w->GetRect().Right, c.left + c.width - 1);
            EXPECT_EQ(w->GetRect().Bottom, c.top + c.height - 1);
            EXPECT_TRUE(mgr.IsTopmostWnd(w.GetPtr()));
        }
    }
    EXPECT_EQ(mgr.GetWndCount(), made);
}

TEST_F(ConsoleWndTest, WritesStayInsideTheWindowOrItsBorder)
{
    const auto plain = mgr.CreateConsoleWnd(0, 0, 10, 5);
    const auto framed = mgr.CreateConsoleWnd(20, 0, 10, 5);
    framed->DrawBorder(true);
    const struct {
        short x, y;
        bool plain, framed;
    } cases[] = {
        {0, 0, true, false},  {1, 1, true, true},   {8, 3, true, true},   {9, 3, true, false}, {8, 4, true, false},
        {9, 4, true, false},  {10, 0, false, false}, {0, 5, false, false}, {-1, 1, false, false},
        {1, -1, false, false}, {0, 1, true, false},  {1, 0, true, false},
    };
    for (const auto& c : cases) {
        const std::string before = framed->GetRowText(c.y);
        EXPECT_EQ(plain->Write(c.x, c.y, "Q"), c.plain) << c.x << "," << c.y;
        EXPECT_EQ(framed->Write(c.x, c.y, "Q"), c.framed) << c.x << "," << c.y;
        if (!c.framed) {
            EXPECT_EQ(framed->GetRowText(c.y), before); // nothing changed
        }
    }
    // The frame kept its corners.
    EXPECT_EQ(static_cast<unsigned char>(framed->GetCell(0, 0).Char.AsciiChar), 0xDA);
    EXPECT_EQ(static_cast<unsigned char>(framed->GetCell(9, 4).Char.AsciiChar), 0xD9);
}

TEST_F(ConsoleWndTest, LongTextIsCutAtTheInnerRightEdgeOnScreenToo)
{
    const auto w = mgr.CreateConsoleWnd(30, 10, 10, 4, kBlue);
    w->DrawBorder(true);
    w->Show();
    EXPECT_TRUE(w->Write(1, 1, "abcdefghijklmnop"));
    EXPECT_EQ(w->GetRowText(1), "\xB3" "abcdefgh" "\xB3");
    EXPECT_TRUE(w->Write(6, 2, "xyzw"));
    EXPECT_EQ(w->GetRowText(2), "\xB3     xyz\xB3");
    EXPECT_EQ(ScreenRow(11, 30, 10), "\xB3" "abcdefgh" "\xB3");
    EXPECT_EQ(ScreenRow(12, 30, 12), "\xB3     xyz\xB3" + BackgroundRow(12, 40, 2));
    // Given attribute, or the window's for 0.
    EXPECT_TRUE(w->Write(1, 2, "r", FOREGROUND_RED));
    EXPECT_EQ(ScreenAttr(31, 12), FOREGROUND_RED);
    EXPECT_EQ(ScreenAttr(37, 12), kBlue);
    // An empty text changes nothing and is still a write.
    EXPECT_TRUE(w->Write(8, 1, ""));
    EXPECT_EQ(w->GetRowText(1), "\xB3" "abcdefgh" "\xB3");
}

TEST_F(ConsoleWndTest, NewWindowIsHiddenAndBlankAndShowSavesTheScreenThatHideGivesBack)
{
    const auto w = mgr.CreateConsoleWnd(5, 5, 6, 3, kBlue);
    EXPECT_FALSE(w->IsVisible());
    EXPECT_FALSE(w->IsBordered());
    EXPECT_EQ(w->GetAttribute(), kBlue);
    EXPECT_EQ(mgr.CreateConsoleWnd(2, 3, 4, 2)->GetAttribute(), mgr.GetDefaultAttribute());
    for (short y = 0; y < 3; ++y)
        for (short x = 0; x < 6; ++x) {
            EXPECT_EQ(w->GetCell(x, y).Char.AsciiChar, ' ');
            EXPECT_EQ(w->GetCell(x, y).Attributes, kBlue);
            EXPECT_EQ(w->GetSavedCell(x, y).Attributes, kBlue);
        }
    w->Write(0, 0, "window");
    EXPECT_EQ(ScreenRow(5, 5, 6), BackgroundRow(5, 5, 6)); // hidden: only its own cells
    w->Show();
    EXPECT_TRUE(w->IsVisible());
    EXPECT_EQ(ScreenRow(5, 5, 6), "window");
    EXPECT_EQ(w->GetSavedCell(0, 0).Char.AsciiChar, Background(5, 5));
    w->Show(); // once only: the saved cells stay those of the background
    EXPECT_EQ(w->GetSavedCell(0, 0).Char.AsciiChar, Background(5, 5));
    w->Hide();
    EXPECT_FALSE(w->IsVisible());
    ExpectComposed("after hide");
    w->Hide();
    ExpectComposed("after a second hide");
}

// Two windows that overlap, the second on top.
class OverlapTest : public ConsoleWndTest {
protected:
    void SetUp() override
    {
        ConsoleWndTest::SetUp();
        low = mgr.CreateConsoleWnd(10, 5, 20, 8, kGrey);
        high = mgr.CreateConsoleWnd(20, 9, 20, 8, kBlue);
        low->DrawBorder(true);
        high->DrawBorder(true);
        for (short y = 1; y < 7; ++y) {
            low->Write(1, y, std::string(18, static_cast<char>('0' + y)));
            high->Write(1, y, std::string(18, static_cast<char>('A' + y)));
        }
        low->Show();
        high->Show();
    }
    CRefCountedPtr<CConsoleWnd> low;
    CRefCountedPtr<CConsoleWnd> high;
};

TEST_F(OverlapTest, WritesAndScrollsOfACoveredWindowShowOnlyWhereUncovered)
{
    // Row 6 of the low window runs under the high one from column 10 on.
    EXPECT_TRUE(low->Write(1, 6, "written under the high one"));
    ExpectComposed("covered write");
    low->WriteLine("a line that scrolls", false);
    ExpectComposed("covered scroll");
    low->Clear('.', FOREGROUND_RED);
    ExpectComposed("covered clear");
    low->DrawBorder(false);
    ExpectComposed("covered blank border");
    high->Hide();
    ExpectComposed("high hidden");
    EXPECT_EQ(ScreenRow(11, 11, 18), "..................");
}

TEST_F(OverlapTest, HidingAndRaisingKeepTheScreenInStackingOrder)
{
    ExpectComposed("shown");
    low->Hide();
    ExpectComposed("low hidden");
    high->Hide();
    ExpectComposed("both hidden"); // no trace of the low window
    // Showing raises; showing what is visible leaves it where it is.
    high->Show();
    low->Show();
    EXPECT_TRUE(mgr.IsTopmostWnd(low.GetPtr()));
    high->Show();
    EXPECT_TRUE(mgr.IsTopmostWnd(low.GetPtr()));
    ExpectComposed("shown again");
    mgr.SetTopmostWnd(high.GetPtr());
    EXPECT_TRUE(mgr.IsTopmostWnd(high.GetPtr()));
    ExpectComposed("high raised");
    high->Hide();
    ExpectComposed("raised one hidden");
    low->Hide();
    ExpectComposed("both hidden again");
}

TEST_F(OverlapTest, DestroyHidesLeavesTheListAndKeepsTheObjectForItsHolder)
{
    const long before = low.RefCount();
    low->Destroy();
    EXPECT_EQ(low.RefCount(), before - 1);
    EXPECT_EQ(mgr.GetWndCount(), 1u);
    EXPECT_EQ(low->GetManager(), nullptr);
    EXPECT_FALSE(low->IsVisible());
    ExpectComposed("low destroyed");
    // Afterwards it changes its own cells only.
    const std::string row = ScreenRow(6);
    EXPECT_TRUE(low->Write(1, 1, "gone"));
    low->Show();
    low->WriteLine("still gone");
    EXPECT_EQ(ScreenRow(6), row);
    EXPECT_EQ(low->GetRowText(6).substr(1, 10), "still gone");
    low->Destroy(); // twice: nothing more

    // Only the manager holds the high window: Destroy lets go of it without
    // pulling it away from under the call.
    CConsoleWnd* raw = high.GetPtr();
    high = nullptr;
    raw->Destroy();
    EXPECT_EQ(mgr.GetWndCount(), 0u);
    ExpectComposed("all destroyed");
}

TEST_F(ConsoleWndTest, WindowsScrollTheirOwnCellsHiddenOrShownAndFreeARowInTheBuffersAttribute)
{
    const auto w = mgr.CreateConsoleWnd(0, 0, 12, 5);
    w->DrawBorder(true);
    for (int i = 1; i <= 5; ++i)
        w->WriteLine("line " + std::to_string(i));
    ExpectComposed("hidden"); // the screen never saw it
    EXPECT_EQ(w->GetRowText(1), "\xB3line 3    \xB3");
    EXPECT_EQ(w->GetRowText(3), "\xB3line 5    \xB3");
    EXPECT_EQ(static_cast<unsigned char>(w->GetRowText(4)[0]), 0xC0); // the border stays
    w->Show();
    EXPECT_EQ(ScreenRow(3, 0, 12), "\xB3line 5    \xB3");
    w->WriteLine("line 6");
    EXPECT_EQ(ScreenRow(1, 0, 12), "\xB3line 4    \xB3");
    EXPECT_EQ(ScreenRow(3, 0, 12), "\xB3line 6    \xB3");
    ExpectComposed("shown and scrolled");

    // The freed row takes the screen buffer's attribute.
    screen->SetTextAttribute(BACKGROUND_RED);
    const auto red = mgr.CreateConsoleWnd(40, 0, 6, 3, kBlue);
    red->Write(0, 2, "bottom");
    red->Show();
    red->Scroll();
    EXPECT_EQ(red->GetRowText(1), "bottom");
    EXPECT_EQ(red->GetRowText(2), "      ");
    EXPECT_EQ(red->GetCell(0, 2).Attributes, BACKGROUND_RED);
    EXPECT_EQ(ScreenAttr(40, 2), BACKGROUND_RED);
    EXPECT_EQ(ScreenRow(1, 40, 6), "bottom");
}

TEST_F(ConsoleWndTest, WriteLineCutsOrWrapsAtTheInnerWidth)
{
    const struct {
        std::size_t length;
        bool wrap;
        std::vector<std::string> lastRows; // the inner rows from the bottom up
    } cases[] = {
        {0, false, {"        "}},
        {0, true, {"        "}},
        {5, true, {"abcde   "}},
        {8, true, {"abcdefgh"}},
        {8, false, {"abcdefgh"}},
        {20, false, {"abcdefgh", "        "}},
        {20, true, {"qrst    ", "ijklmnop", "abcdefgh"}},
        {24, true, {"qrstuvwx", "ijklmnop", "abcdefgh"}},
        {25, true, {"y       ", "qrstuvwx", "ijklmnop"}},
    };
    for (const auto& c : cases) {
        const auto w = mgr.CreateConsoleWnd(0, 0, 10, 6);
        w->DrawBorder(true);
        w->Show();
        std::string text;
        for (std::size_t i = 0; i < c.length; ++i)
            text += static_cast<char>('a' + i % 26);
        w->WriteLine(text, c.wrap);
        for (std::size_t k = 0; k < c.lastRows.size(); ++k) {
            const short row = static_cast<short>(4 - k);
            EXPECT_EQ(w->GetRowText(row), "\xB3" + c.lastRows[k] + "\xB3") << c.length << " " << c.wrap << " row " << row;
            EXPECT_EQ(ScreenRow(row, 0, 10), "\xB3" + c.lastRows[k] + "\xB3");
        }
        w->Destroy();
    }
}

TEST_F(ConsoleWndTest, WindowsWithNoInnerAreaTakeNoLinesAndEnd)
{
    const struct {
        short width, height;
    } sizes[] = {{1, 1}, {2, 5}, {5, 2}, {2, 2}, {1, 8}};
    for (const auto& s : sizes) {
        const auto w = mgr.CreateConsoleWnd(50, 10, s.width, s.height);
        w->DrawBorder(true);
        w->Show();
        std::vector<std::string> rows;
        for (short y = 0; y < s.height; ++y)
            rows.push_back(w->GetRowText(y));
        w->WriteLine("some text that would need many lines", true);
        w->WriteLine("", true);
        w->Scroll();
        w->Clear('x');
        EXPECT_FALSE(w->Write(0, 0, "x"));
        for (short y = 0; y < s.height; ++y)
            EXPECT_EQ(w->GetRowText(y), rows[static_cast<std::size_t>(y)]) << s.width << "x" << s.height;
        w->Destroy();
    }
    ExpectComposed("all gone");
}

TEST_F(ConsoleWndTest, BlankBorderStillMakesTheWindowBordered)
{
    const auto w = mgr.CreateConsoleWnd(0, 0, 6, 4, kBlue);
    w->Clear('#');
    EXPECT_EQ(w->GetRowText(0), "######");
    w->DrawBorder(false, FOREGROUND_RED);
    EXPECT_TRUE(w->IsBordered());
    EXPECT_EQ(w->GetRowText(0), "      ");
    EXPECT_EQ(w->GetRowText(1), " #### ");
    EXPECT_EQ(w->GetCell(0, 1).Attributes, FOREGROUND_RED);
    EXPECT_EQ(w->GetCell(1, 1).Attributes, kBlue);
    EXPECT_FALSE(w->Write(0, 1, "x"));
    w->Clear('.');
    EXPECT_EQ(w->GetRowText(1), " .... ");
    EXPECT_EQ(w->GetRowText(3), "      ");
    // Lines draw the code page 437 box.
    w->DrawBorder(true);
    EXPECT_EQ(w->GetRowText(0), "\xDA\xC4\xC4\xC4\xC4\xBF");
    EXPECT_EQ(w->GetRowText(2), "\xB3....\xB3");
    EXPECT_EQ(w->GetRowText(3), "\xC0\xC4\xC4\xC4\xC4\xD9");
}

TEST_F(ConsoleWndTest, PartsOffTheScreenAreKeptButNotDrawnAndTheCursorIsPlacedInTheWindow)
{
    const auto w = mgr.CreateConsoleWnd(76, 23, 8, 4);
    w->Show();
    EXPECT_TRUE(w->Write(0, 1, "abcdefgh"));
    EXPECT_EQ(ScreenRow(24, 76, 4), "abcd");
    EXPECT_EQ(w->GetRowText(1), "abcdefgh");
    w->WriteLine("12345678");
    EXPECT_EQ(w->GetRowText(0), "abcdefgh"); // scrolled in its own cells
    EXPECT_EQ(ScreenRow(23, 76, 4), "abcd");
    w->Hide();
    ExpectComposed("off-screen window hidden");
    const auto left = mgr.CreateConsoleWnd(-3, 0, 6, 2);
    left->Show();
    left->Write(0, 0, "xyzXYZ");
    EXPECT_EQ(ScreenRow(0, 0, 3), "XYZ");
    EXPECT_TRUE(left->SetCursorPosition(4, 1));
    EXPECT_EQ(screen->GetCursorPosition().X, 1);
    EXPECT_FALSE(left->SetCursorPosition(6, 0));
    const auto inside = mgr.CreateConsoleWnd(10, 4, 5, 3);
    EXPECT_TRUE(inside->SetCursorPosition(2, 1));
    const COORD at = screen->GetCursorPosition();
    EXPECT_EQ(at.X, 12);
    EXPECT_EQ(at.Y, 5);
    EXPECT_FALSE(inside->SetCursorPosition(5, 0));
    EXPECT_FALSE(inside->SetCursorPosition(0, -1));
}

TEST_F(ConsoleWndTest, ScreenBufferChangesAndManagerEndsDetach)
{
    const auto a = mgr.CreateConsoleWnd(0, 0, 4, 1);
    a->Write(0, 0, "wind");
    a->Show();
    const CRefCountedPtr<CScreenBuffer> other = console.CreateScreenBuffer();
    ASSERT_TRUE(other);
    mgr.SetScreenBuffer(other);
    EXPECT_EQ(ScreenRow(0, 0, 4), BackgroundRow(0, 0, 4)); // nothing of them left here
    EXPECT_EQ(other->ReadCharacters({0, 0}, 4), "wind");
    mgr.SetScreenBuffer(screen);
    EXPECT_EQ(other->ReadCharacters({0, 0}, 4), "    ");
    EXPECT_EQ(ScreenRow(0, 0, 4), "wind");

    CRefCountedPtr<CConsoleWnd> kept;
    {
        CConsoleWndMgr local;
        local.SetScreenBuffer(screen);
        kept = local.CreateConsoleWnd(0, 10, 3, 1);
        kept->Show();
        kept->Write(0, 0, "abc");
    }
    EXPECT_EQ(kept->GetManager(), nullptr);
    EXPECT_TRUE(kept->Write(0, 0, "xyz"));
    kept->Hide();
    EXPECT_EQ(ScreenRow(10, 0, 3), "abc"); // a detached window leaves the screen alone

    // Without a screen buffer, windows keep cells and flags; a buffer shows them.
    CConsoleWndMgr bare;
    const auto b = bare.CreateConsoleWnd(0, 20, 5, 1);
    b->Show();
    b->Write(0, 0, "later");
    b->WriteLine("lines");
    EXPECT_EQ(ScreenRow(20, 0, 5), BackgroundRow(20, 0, 5));
    bare.SetScreenBuffer(screen);
    EXPECT_EQ(ScreenRow(20, 0, 5), "lines");
}

// A fixed-seed run of every window operation on overlapping windows, each
// followed by a comparison of the whole screen with the stacking order.
TEST_F(ConsoleWndTest, RandomOperationsKeepTheScreenComposedInStackingOrder)
{
    std::mt19937 random(20261207);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<CRefCountedPtr<CConsoleWnd>> windows;
    for (int step = 0; step < 600; ++step) {
        if (windows.size() < 2 || pick(12) == 0) {
            const auto w = mgr.CreateConsoleWnd(static_cast<short>(pick(70) - 5), static_cast<short>(pick(20) - 3),
                                                static_cast<short>(1 + pick(30)), static_cast<short>(1 + pick(12)),
                                                static_cast<WORD>(1 + pick(255)));
            ASSERT_TRUE(w);
            if (pick(2) == 0)
                w->DrawBorder(pick(3) != 0);
            windows.push_back(w);
        }
        CConsoleWnd& w = *windows[static_cast<std::size_t>(pick(static_cast<int>(windows.size())))];
        const int op = pick(10);
        std::string text;
        for (int i = pick(40); i > 0; --i)
            text += static_cast<char>(pick(256));
        switch (op) {
        case 0: w.Show(); break;
        case 1: w.Hide(); break;
        case 2: mgr.SetTopmostWnd(&w); break;
        case 3: w.Write(static_cast<short>(pick(w.Width() + 2) - 1), static_cast<short>(pick(w.Height() + 2) - 1), text,
                        static_cast<WORD>(pick(256))); break;
        case 4: w.WriteLine(text, pick(2) == 0, static_cast<WORD>(pick(256))); break;
        case 5: w.Scroll(); break;
        case 6: w.Clear(static_cast<char>(pick(256)), static_cast<WORD>(pick(256))); break;
        case 7: w.DrawBorder(pick(2) == 0, static_cast<WORD>(pick(256))); break;
        case 8:
            if (pick(4) == 0) {
                w.Destroy();
                std::erase_if(windows, [](const auto& p) { return p->GetManager() == nullptr; });
            }
            break;
        default:
            if (pick(2) == 0)
                mgr.Draw();
            else
                w.Draw();
            break;
        }
        ExpectComposed(("step " + std::to_string(step) + " op " + std::to_string(op)).c_str());
        if (HasFatalFailure())
            return;
    }
}

TEST(ConsoleWndTerminal, ControlBytesInTextAreDrawnAsGlyphsAndChangesDrawOnce)
{
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    AttachConsoleTerminal(fds[1], -1);
    {
        CConsole console;
        ASSERT_TRUE(console.Alloc());
        console.GetActiveScreenBuffer()->ShowCursor(false);
        CConsoleWndMgr mgr;
        mgr.SetScreenBuffer(console.GetActiveScreenBuffer());
        const auto w = mgr.CreateConsoleWnd(2, 2, 30, 5);
        w->DrawBorder(true);
        w->Show();
        Drain(fds[0]);

        const std::string hostile = "\x1b[2J\x1b]0;x\x07\r\n\b\t\x9b" "1m\x7f";
        ASSERT_TRUE(w->Write(1, 1, hostile));
        EXPECT_EQ(w->GetRowText(1).substr(1, hostile.size()), hostile); // stored byte for byte
        const std::string drawn = StripSequences(Drain(fds[0]));
        std::string glyphs;
        for (const char c : hostile)
            glyphs += Platform::Cp437Glyph(static_cast<unsigned char>(c));
        EXPECT_NE(drawn.find(glyphs), std::string::npos);
        for (const char c : drawn)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << "control byte " << int(c);

        // A line of the pane: written once, as one update, only in the pane.
        w->WriteLine("next line");
        const std::string line = Drain(fds[0]);
        EXPECT_EQ(StripSequences(line).find("\xE2\x94\x82"), std::string::npos) << "the border was drawn again";
        EXPECT_NE(StripSequences(line).find("next line"), std::string::npos);
        w->Draw();
        EXPECT_EQ(Drain(fds[0]), ""); // nothing changed, nothing written
    }
    AttachConsoleTerminal(-2, -2);
    ::close(fds[0]);
    ::close(fds[1]);
}

} // namespace
