// The console's terminal side (internal to Console.cpp): drawing a view of
// cells on a terminal by writing only the cells that changed, giving the
// terminal back on exit and on fatal signals, and turning keyboard bytes
// into key events.
//
// Drawing: alternate screen, autowrap off, SGR colours from the attribute's
// 16-colour bits (bright ones as 90-97 and 100-107), every byte as its code
// page 437 glyph in UTF-8 (NUL as a space). Rows of the full terminal width
// that moved up by a row are scrolled by the terminal (scrolling margins
// and index, as a VT100 has them) rather than written again. The bytes
// written are counted.
//
// Thread-safety: a ConsoleTerminal and a KeyDecoder are used under the
// console's lock (or by its one reader thread); Cp437Glyph is a pure
// function.
#pragma once

#include "Platform/Console.h"

#include <cstdint>
#include <string>
#include <vector>

#include <termios.h>

namespace Platform {

// The UTF-8 text of the glyph of a code page 437 byte.
const char* Cp437Glyph(unsigned char c);

class ConsoleTerminal {
public:
    // outFd: where to draw (-1: nowhere); inFd: the keyboard (-1: none).
    ConsoleTerminal(int outFd, int inFd);
    ~ConsoleTerminal();
    ConsoleTerminal(const ConsoleTerminal&) = delete;
    ConsoleTerminal& operator=(const ConsoleTerminal&) = delete;

    // Takes the terminal: alternate screen, raw keyboard.
    void Enter();
    // Gives it back as it was.
    void Leave();

    int InputFd() const { return m_inFd; }
    // The terminal's size (columns, rows); 80 x 25 when it has none.
    COORD Size() const { return m_size; }
    // Reads the size again; true when it changed (all is drawn anew then).
    bool PollSize();
    // ISIG: Ctrl+C raises SIGINT.
    void SetProcessedInput(bool on);

    // Shows width x height cells (row by row, `stride` cells apart) at the
    // top left, clipped to the terminal; rows [firstRow, lastRow] may have
    // changed since the last call. Then places or hides the cursor.
    void Draw(const CHAR_INFO* cells, int width, int height, int stride, int firstRow, int lastRow, COORD cursor,
              bool cursorVisible);
    // The next Draw compares with nothing and writes every cell.
    void Invalidate();
    void SetTitle(const std::string& title);

    std::uint64_t BytesWritten() const { return m_written; }

private:
    void Write(const std::string& bytes);
    void ReadSize();
    // Scrolls bands of rows that moved up by one row with the terminal's
    // own scrolling (margins and index), adjusting what it shows.
    void ScrollUpBands(const CHAR_INFO* cells, int stride, int rows, int firstRow, int lastRow, std::string& out);

    int m_outFd;
    int m_inFd;
    bool m_entered = false;
    bool m_haveTermios = false;
    termios m_saved{};
    COORD m_size{80, 25};
    // What the terminal shows: one cell per screen position (Attributes
    // 0xFFFF: unknown).
    std::vector<CHAR_INFO> m_shown;
    int m_shownWidth = 0;
    int m_shownHeight = 0;
    bool m_cursorShown = false;
    COORD m_cursorAt{-1, -1};
    std::uint64_t m_written = 0;
};

// Keyboard bytes to KEY_EVENT records (a key-down and a key-up per key).
class KeyDecoder {
public:
    // The events of the bytes; the start of an escape sequence that has not
    // ended yet stays for the next call.
    void Feed(const unsigned char* bytes, std::size_t length, std::vector<INPUT_RECORD>& out);
    // What stayed, once the keyboard went quiet: a lone Escape key and the
    // bytes after it as keys of their own.
    void Flush(std::vector<INPUT_RECORD>& out);
    bool Pending() const { return !m_pending.empty(); }

private:
    // Decodes one key at the front of m_pending; 0 when more bytes are
    // needed (and `final` is false), else the bytes used.
    std::size_t DecodeOne(bool final, std::vector<INPUT_RECORD>& out);
    std::string m_pending;
};

} // namespace Platform
