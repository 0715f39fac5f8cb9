// CScreenBuffer: one console screen buffer, with the console's screen-buffer
// operations one to one.
//
// Contract
// - The default constructor makes a new screen buffer of the process's
//   console (CreateConsoleScreenBuffer) and throws CException when there is
//   no console. The handle constructor takes a buffer handle already open,
//   such as GetStdHandle(STD_OUTPUT_HANDLE); `owned` says whether this
//   holder closes it. The handle is closed when the holder goes, so shared
//   through CRefCountedPtr it is closed when the last pointer goes.
// - Coordinates are columns and rows of the buffer; what lies outside it is
//   clipped. Calls that move cells report how many they moved; the others
//   report success. A failure leaves the thread's last error set.
// - DrawBorder frames the whole buffer with the single-line box characters
//   of code page 437 (or blanks) in the given attribute.
//
// Thread-safety: every call may run from any thread (the console locks each
// one); a sequence of calls is not atomic.
#pragma once

#include "Platform/Console.h"

#include <string>

namespace Brindle {

class CScreenBuffer {
public:
    CScreenBuffer();
    explicit CScreenBuffer(HANDLE handle, bool owned = true);
    ~CScreenBuffer();
    CScreenBuffer(const CScreenBuffer&) = delete;
    CScreenBuffer& operator=(const CScreenBuffer&) = delete;

    HANDLE GetHandle() const { return m_handle; }

    bool GetInfo(CONSOLE_SCREEN_BUFFER_INFO& info) const;
    // 0 x 0 when the buffer is gone.
    COORD GetSize() const;
    bool SetSize(COORD size);
    SMALL_RECT GetWindowRect() const;
    bool SetWindowRect(const SMALL_RECT& window, bool absolute = true);
    COORD GetLargestWindowSize() const;

    COORD GetCursorPosition() const;
    bool SetCursorPosition(COORD position);
    bool GetCursorInfo(CONSOLE_CURSOR_INFO& info) const;
    // size: the percentage of the cell the cursor fills (1 to 100).
    bool SetCursorInfo(DWORD size, bool visible);
    bool ShowCursor(bool visible);

    WORD GetTextAttribute() const;
    bool SetTextAttribute(WORD attribute);
    DWORD GetMode() const;
    bool SetMode(DWORD mode);

    // Character and attribute runs go on across rows.
    DWORD ReadCharacters(COORD from, char* text, DWORD length) const;
    std::string ReadCharacters(COORD from, DWORD length) const;
    DWORD WriteCharacters(COORD at, const char* text, DWORD length);
    DWORD WriteCharacters(COORD at, const std::string& text);
    DWORD ReadAttributes(COORD from, WORD* attributes, DWORD length) const;
    DWORD WriteAttributes(COORD at, const WORD* attributes, DWORD length);
    DWORD FillCharacters(COORD at, char c, DWORD length);
    DWORD FillAttributes(COORD at, WORD attribute, DWORD length);

    // Cell rectangles: `region` is the buffer's rectangle, cut on return to
    // what was moved; `cellsSize` and `cellsCoord` place it in `cells`.
    bool ReadCells(CHAR_INFO* cells, COORD cellsSize, COORD cellsCoord, SMALL_RECT& region) const;
    bool WriteCells(const CHAR_INFO* cells, COORD cellsSize, COORD cellsCoord, SMALL_RECT& region);

    // Moves the cells of `scroll` to `dest`, changing only inside `clip`
    // (everywhere when null); what they leave gets `fill`.
    bool Scroll(const SMALL_RECT& scroll, const SMALL_RECT* clip, COORD dest, const CHAR_INFO& fill);
    // Text at the cursor in the buffer's attribute, as the output mode says.
    bool Write(const std::string& text);
    // Every cell: the character in the attribute.
    bool Clear(char c = ' ', WORD attribute = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE);
    bool DrawBorder(bool lines, WORD attribute);

    bool SetActive();

private:
    HANDLE m_handle;
    bool m_owned;
};

} // namespace Brindle
