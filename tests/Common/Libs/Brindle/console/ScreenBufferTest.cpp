#include "Brindle/console/Console.h"
#include "Brindle/console/ScreenBuffer.h"

#include "Brindle/base/Exception.h"

#include <gtest/gtest.h>

#include <string>

using namespace Brindle;

namespace {

class ScreenBufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AttachConsoleTerminal(-1, -1);
        ASSERT_TRUE(console.Alloc());
    }
    void TearDown() override
    {
        console.Free();
        AttachConsoleTerminal(-2, -2);
    }
    CConsole console;
};

INPUT_RECORD KeyDown(char c)
{
    INPUT_RECORD r{};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = TRUE;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.uChar.AsciiChar = c;
    return r;
}

TEST(ConsoleHolder, AllocOnceFreeOnceAndNoBuffersWithoutIt)
{
    AttachConsoleTerminal(-1, -1);
    {
        CConsole console;
        EXPECT_FALSE(console.IsAllocated());
        EXPECT_FALSE(console.Free());
        EXPECT_THROW(CScreenBuffer(), CException);
        EXPECT_FALSE(console.CreateScreenBuffer());
        ASSERT_TRUE(console.Alloc());
        EXPECT_TRUE(console.IsAllocated());
        EXPECT_FALSE(console.Alloc());
        CConsole second;
        EXPECT_FALSE(second.Alloc()); // one console per process
        const CRefCountedPtr<CScreenBuffer> active = console.GetActiveScreenBuffer();
        ASSERT_TRUE(active);
        EXPECT_EQ(active->GetHandle(), GetStdHandle(STD_OUTPUT_HANDLE));
        EXPECT_TRUE(console.Free());
        // What was held fails from now on.
        EXPECT_FALSE(active->SetCursorPosition({0, 0}));
        EXPECT_EQ(active->GetSize().X, 0);
        EXPECT_FALSE(console.GetActiveScreenBuffer());
        ASSERT_TRUE(console.Alloc()); // and can be made again
    }
    // The holder that made the console ends it.
    CConsole again;
    EXPECT_TRUE(again.Alloc());
    AttachConsoleTerminal(-2, -2);
}

TEST_F(ScreenBufferTest, OperationsReachTheBufferOneToOne)
{
    CScreenBuffer b;
    EXPECT_EQ(b.GetSize().X, 80);
    EXPECT_EQ(b.GetSize().Y, 25);
    ASSERT_TRUE(b.SetSize({40, 10}));
    EXPECT_EQ(b.GetSize().X, 40);
    EXPECT_FALSE(b.SetSize({0, 10}));
    const SMALL_RECT window = b.GetWindowRect();
    EXPECT_EQ(window.Right, 39);
    EXPECT_EQ(window.Bottom, 9);
    EXPECT_TRUE(b.SetWindowRect({0, 0, 19, 4}));
    EXPECT_EQ(b.GetWindowRect().Right, 19);
    EXPECT_FALSE(b.SetWindowRect({0, 0, 40, 4}));

    EXPECT_TRUE(b.SetCursorPosition({3, 4}));
    EXPECT_EQ(b.GetCursorPosition().X, 3);
    EXPECT_FALSE(b.SetCursorPosition({40, 0}));
    EXPECT_TRUE(b.ShowCursor(false));
    CONSOLE_CURSOR_INFO cursor{};
    ASSERT_TRUE(b.GetCursorInfo(cursor));
    EXPECT_FALSE(cursor.bVisible);
    EXPECT_FALSE(b.SetCursorInfo(0, true));

    EXPECT_TRUE(b.SetTextAttribute(0x1E));
    EXPECT_EQ(b.GetTextAttribute(), 0x1E);
    EXPECT_TRUE(b.SetMode(ENABLE_PROCESSED_OUTPUT));
    EXPECT_EQ(b.GetMode(), ENABLE_PROCESSED_OUTPUT);

    EXPECT_EQ(b.WriteCharacters({38, 0}, "abcd"), 4u); // runs go on across rows
    EXPECT_EQ(b.ReadCharacters({0, 1}, 2), "cd");
    EXPECT_EQ(b.ReadCharacters({38, 9}, 10), std::string(2, ' ')); // cut at the buffer's end
    const WORD attrs[2] = {0x4F, 0x2A};
    EXPECT_EQ(b.WriteAttributes({5, 5}, attrs, 2), 2u);
    WORD back[2] = {};
    EXPECT_EQ(b.ReadAttributes({5, 5}, back, 2), 2u);
    EXPECT_EQ(back[1], 0x2A);
    EXPECT_EQ(b.FillCharacters({0, 2}, 'z', 45), 45u);
    EXPECT_EQ(b.ReadCharacters({0, 3}, 6), "zzzzz ");
    EXPECT_EQ(b.FillAttributes({0, 2}, 0x70, 3), 3u);

    CHAR_INFO cells[6]{};
    SMALL_RECT region{0, 2, 2, 3};
    ASSERT_TRUE(b.ReadCells(cells, {3, 2}, {0, 0}, region));
    EXPECT_EQ(cells[0].Char.AsciiChar, 'z');
    EXPECT_EQ(cells[0].Attributes, 0x70);
    for (auto& c : cells)
        c.Char.AsciiChar = 'w';
    region = {37, 8, 42, 9}; // partly outside: cut to what fits
    ASSERT_TRUE(b.WriteCells(cells, {3, 2}, {0, 0}, region));
    EXPECT_EQ(region.Right, 39);
    EXPECT_EQ(b.ReadCharacters({37, 9}, 3), "www");

    // Text at the cursor with processed output.
    ASSERT_TRUE(b.SetCursorPosition({0, 6}));
    ASSERT_TRUE(b.Write("ab\r\ncd"));
    EXPECT_EQ(b.ReadCharacters({0, 6}, 2), "ab");
    EXPECT_EQ(b.ReadCharacters({0, 7}, 2), "cd");

    CHAR_INFO fill{};
    fill.Char.AsciiChar = '.';
    fill.Attributes = 0x07;
    ASSERT_TRUE(b.Scroll({0, 6, 39, 7}, nullptr, {0, 5}, fill));
    EXPECT_EQ(b.ReadCharacters({0, 5}, 2), "ab");
    EXPECT_EQ(b.ReadCharacters({0, 7}, 2), "..");
}

TEST_F(ScreenBufferTest, BorderFramesTheWholeBufferAndClearFillsIt)
{
    CScreenBuffer b;
    ASSERT_TRUE(b.SetSize({5, 4}));
    ASSERT_TRUE(b.Clear('x', 0x17));
    EXPECT_EQ(b.ReadCharacters({0, 0}, 20), std::string(20, 'x'));
    ASSERT_TRUE(b.DrawBorder(true, 0x1F));
    EXPECT_EQ(b.ReadCharacters({0, 0}, 5), "\xDA\xC4\xC4\xC4\xBF");
    EXPECT_EQ(b.ReadCharacters({0, 1}, 5), "\xB3xxx\xB3");
    EXPECT_EQ(b.ReadCharacters({0, 3}, 5), "\xC0\xC4\xC4\xC4\xD9");
    WORD a = 0;
    b.ReadAttributes({4, 2}, &a, 1);
    EXPECT_EQ(a, 0x1F);
    b.ReadAttributes({2, 2}, &a, 1);
    EXPECT_EQ(a, 0x17);
    ASSERT_TRUE(b.DrawBorder(false, 0x07));
    EXPECT_EQ(b.ReadCharacters({0, 0}, 5), "     ");
    EXPECT_EQ(b.ReadCharacters({0, 2}, 5), " xxx ");
}

TEST_F(ScreenBufferTest, HandleClosesWithTheLastPointerAndActiveBuffersAreHeld)
{
    HANDLE handle = nullptr;
    {
        CRefCountedPtr<CScreenBuffer> b = console.CreateScreenBuffer();
        ASSERT_TRUE(b);
        handle = b->GetHandle();
        CRefCountedPtr<CScreenBuffer> copy = b;
        b = nullptr;
        CONSOLE_SCREEN_BUFFER_INFO info{};
        EXPECT_TRUE(GetConsoleScreenBufferInfo(handle, &info)); // the copy holds it
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    EXPECT_FALSE(GetConsoleScreenBufferInfo(handle, &info));

    CRefCountedPtr<CScreenBuffer> shown = console.CreateScreenBuffer();
    ASSERT_TRUE(console.SetActiveScreenBuffer(shown));
    EXPECT_EQ(console.GetActiveScreenBuffer(), shown);
    EXPECT_EQ(shown.RefCount(), 2);
    EXPECT_FALSE(console.SetActiveScreenBuffer(nullptr));
    // The standard buffer is the console's: its holder never closes it.
    { CScreenBuffer standard(GetStdHandle(STD_OUTPUT_HANDLE), false); }
    EXPECT_TRUE(GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info));
}

TEST_F(ScreenBufferTest, TitleInputModesAndInputEventsInLineAndRawMode)
{
    EXPECT_EQ(console.GetTitle(), "");
    ASSERT_TRUE(console.SetTitle("a title of some length"));
    EXPECT_EQ(console.GetTitle(), "a title of some length");

    const DWORD cooked = console.GetInputMode();
    EXPECT_EQ(cooked, ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
    ASSERT_TRUE(console.SetRawMode(true));
    EXPECT_TRUE(console.IsRawMode());
    EXPECT_EQ(console.GetInputMode() & (ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT), 0u);
    ASSERT_TRUE(console.SetRawMode(true)); // twice: the mode before raw is kept
    ASSERT_TRUE(console.SetRawMode(false));
    EXPECT_EQ(console.GetInputMode(), cooked);
    EXPECT_FALSE(console.SetInputMode(ENABLE_ECHO_INPUT)); // echo needs line input

    EXPECT_FALSE(console.WaitForInput(0));
    const INPUT_RECORD keys[3] = {KeyDown('x'), KeyDown('y'), KeyDown('\r')};
    ASSERT_TRUE(console.WriteInput(keys, 3));
    EXPECT_TRUE(console.WaitForInput(0));
    EXPECT_EQ(console.GetInputEventCount(), 3u);
    INPUT_RECORD peeked[4]{};
    EXPECT_EQ(console.PeekInput(peeked, 4), 3u);
    EXPECT_EQ(console.GetInputEventCount(), 3u);
    INPUT_RECORD r{};
    ASSERT_TRUE(console.ReadInput(r));
    EXPECT_EQ(r.Event.KeyEvent.uChar.AsciiChar, 'x');
    // Line mode: the rest of the line with its end.
    EXPECT_EQ(console.ReadText(16), "y\r\n");
    ASSERT_TRUE(console.WriteInput(keys, 3));
    ASSERT_TRUE(console.FlushInput());
    EXPECT_EQ(console.GetInputEventCount(), 0u);
    EXPECT_FALSE(console.WaitForInput(0));
    // Raw mode: what is there, without waiting for a line.
    ASSERT_TRUE(console.SetRawMode(true));
    ASSERT_TRUE(console.WriteInput(keys, 2));
    EXPECT_EQ(console.ReadText(16), "xy");
    EXPECT_EQ(console.ReadText(0), "");
}

} // namespace
