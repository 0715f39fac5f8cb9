// The console: the Windows console calls and records the library uses, over
// an in-process cell grid per screen buffer, drawn on a terminal.
//
// Contract
// - AllocConsole makes the process's console (a second call fails with
//   ERROR_ACCESS_DENIED, as on Windows): one input queue, one screen buffer
//   for standard output and error, an input mode of processed, line and
//   echo input. When standard output is a terminal the console draws on it
//   (AttachConsoleTerminal names other descriptors); its screen size is the
//   terminal's, otherwise 80 x 25. FreeConsole ends it; every handle of it
//   then fails with ERROR_INVALID_HANDLE.
// - Screen buffer handles are ids of their own (never a kernel object's or
//   a file's); CloseConsoleHandle ends one. The input handle is a kernel
//   event, signalled while input events are queued, so WaitForSingleObject
//   on it waits for input as on Windows.
// - A cell is one byte in code page 437 and a 16-bit attribute (the
//   FOREGROUND_/BACKGROUND_ bits). Every cell of every buffer can be read
//   back, with or without a terminal. Coordinates outside a buffer are
//   clipped: reads and writes report how much they moved.
// - Drawing: the active buffer's window (srWindow) is shown at the
//   terminal's top left, on the alternate screen, with autowrap off. After
//   each call that changes it, only the cells that differ from what the
//   terminal shows are written: cursor moves, SGR colours from the 16-colour
//   attribute, each byte as its code page 437 glyph in UTF-8. Control bytes
//   are glyphs too: nothing from the cells can reach the terminal as a
//   control. Between BeginConsoleUpdate and EndConsoleUpdate (nested, for
//   the whole process) drawing waits, so a change made of several calls
//   reaches the terminal once, without its intermediate states.
// - Input: with a terminal the keyboard is read in raw mode by a thread of
//   the console; keys become KEY_EVENT records (a key-down and a key-up)
//   with Windows virtual-key codes, terminal size changes become
//   WINDOW_BUFFER_SIZE_EVENT records when ENABLE_WINDOW_INPUT is set. With
//   ENABLE_PROCESSED_INPUT, Ctrl+C raises SIGINT. WriteConsoleInputA queues
//   records as if typed. ReadConsoleA reads characters: a whole line with
//   ENABLE_LINE_INPUT (echoed with ENABLE_ECHO_INPUT), else what is there.
// - The terminal is given back (main screen, cursor, terminal modes) by
//   FreeConsole, at exit, and on SIGINT, SIGTERM, SIGHUP and SIGQUIT before
//   the signal takes its usual course.
// - Failures return FALSE (0, INVALID_HANDLE_VALUE) and set the thread's
//   last error.
//
// Thread-safety: every call may run from any thread; the console is locked
// for each call. Blocking input calls wait outside the lock.
#pragma once

#include "Platform/WideChar.h"
#include "Platform/WinTypes.h"

using SHORT = std::int16_t;
using CHAR = char;

struct COORD {
    SHORT X;
    SHORT Y;
};
using PCOORD = COORD*;

struct SMALL_RECT {
    SHORT Left;
    SHORT Top;
    SHORT Right;
    SHORT Bottom;
};
using PSMALL_RECT = SMALL_RECT*;

struct CHAR_INFO {
    union {
        WCHAR UnicodeChar;
        CHAR AsciiChar;
    } Char;
    WORD Attributes;
};
using PCHAR_INFO = CHAR_INFO*;

struct CONSOLE_SCREEN_BUFFER_INFO {
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
};

struct CONSOLE_CURSOR_INFO {
    DWORD dwSize;
    BOOL bVisible;
};

struct KEY_EVENT_RECORD {
    BOOL bKeyDown;
    WORD wRepeatCount;
    WORD wVirtualKeyCode;
    WORD wVirtualScanCode;
    union {
        WCHAR UnicodeChar;
        CHAR AsciiChar;
    } uChar;
    DWORD dwControlKeyState;
};

struct WINDOW_BUFFER_SIZE_RECORD {
    COORD dwSize;
};

struct FOCUS_EVENT_RECORD {
    BOOL bSetFocus;
};

struct INPUT_RECORD {
    WORD EventType;
    union {
        KEY_EVENT_RECORD KeyEvent;
        WINDOW_BUFFER_SIZE_RECORD WindowBufferSizeEvent;
        FOCUS_EVENT_RECORD FocusEvent;
    } Event;
};
using PINPUT_RECORD = INPUT_RECORD*;

inline constexpr WORD KEY_EVENT = 0x0001;
inline constexpr WORD MOUSE_EVENT = 0x0002;
inline constexpr WORD WINDOW_BUFFER_SIZE_EVENT = 0x0004;
inline constexpr WORD MENU_EVENT = 0x0008;
inline constexpr WORD FOCUS_EVENT = 0x0010;

inline constexpr WORD FOREGROUND_BLUE = 0x0001;
inline constexpr WORD FOREGROUND_GREEN = 0x0002;
inline constexpr WORD FOREGROUND_RED = 0x0004;
inline constexpr WORD FOREGROUND_INTENSITY = 0x0008;
inline constexpr WORD BACKGROUND_BLUE = 0x0010;
inline constexpr WORD BACKGROUND_GREEN = 0x0020;
inline constexpr WORD BACKGROUND_RED = 0x0040;
inline constexpr WORD BACKGROUND_INTENSITY = 0x0080;

inline constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
inline constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
inline constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

// Input modes.
inline constexpr DWORD ENABLE_PROCESSED_INPUT = 0x0001;
inline constexpr DWORD ENABLE_LINE_INPUT = 0x0002;
inline constexpr DWORD ENABLE_ECHO_INPUT = 0x0004;
inline constexpr DWORD ENABLE_WINDOW_INPUT = 0x0008;
inline constexpr DWORD ENABLE_MOUSE_INPUT = 0x0010;
// Output modes.
inline constexpr DWORD ENABLE_PROCESSED_OUTPUT = 0x0001;
inline constexpr DWORD ENABLE_WRAP_AT_EOL_OUTPUT = 0x0002;

inline constexpr DWORD CONSOLE_TEXTMODE_BUFFER = 1;
inline constexpr DWORD FILE_SHARE_READ = 0x00000001;
inline constexpr DWORD FILE_SHARE_WRITE = 0x00000002;

// Control key state.
inline constexpr DWORD RIGHT_ALT_PRESSED = 0x0001;
inline constexpr DWORD LEFT_ALT_PRESSED = 0x0002;
inline constexpr DWORD RIGHT_CTRL_PRESSED = 0x0004;
inline constexpr DWORD LEFT_CTRL_PRESSED = 0x0008;
inline constexpr DWORD SHIFT_PRESSED = 0x0010;
inline constexpr DWORD ENHANCED_KEY = 0x0100;

// Virtual-key codes of the keys a terminal sends (letters and digits are
// their upper-case ASCII codes).
inline constexpr WORD VK_BACK = 0x08;
inline constexpr WORD VK_TAB = 0x09;
inline constexpr WORD VK_RETURN = 0x0D;
inline constexpr WORD VK_ESCAPE = 0x1B;
inline constexpr WORD VK_SPACE = 0x20;
inline constexpr WORD VK_PRIOR = 0x21;
inline constexpr WORD VK_NEXT = 0x22;
inline constexpr WORD VK_END = 0x23;
inline constexpr WORD VK_HOME = 0x24;
inline constexpr WORD VK_LEFT = 0x25;
inline constexpr WORD VK_UP = 0x26;
inline constexpr WORD VK_RIGHT = 0x27;
inline constexpr WORD VK_DOWN = 0x28;
inline constexpr WORD VK_INSERT = 0x2D;
inline constexpr WORD VK_DELETE = 0x2E;
inline constexpr WORD VK_F1 = 0x70;

BOOL AllocConsole();
BOOL FreeConsole();
// Our own: the descriptors the console draws on and reads keys from
// (-1: none). Takes effect for the console that AllocConsole makes next;
// without it, standard output and input when they are terminals.
BOOL AttachConsoleTerminal(int outputFd, int inputFd);
HANDLE GetStdHandle(DWORD which);

HANDLE CreateConsoleScreenBuffer(DWORD desiredAccess, DWORD shareMode, const SECURITY_ATTRIBUTES* attributes,
                                 DWORD flags, LPVOID reserved);
// Our own, as CloseHandle for a screen buffer. The standard one cannot be
// closed (ERROR_ACCESS_DENIED); an active buffer whose handle is closed
// stays shown until another one is made active.
BOOL CloseConsoleHandle(HANDLE handle);
BOOL SetConsoleActiveScreenBuffer(HANDLE buffer);
BOOL GetConsoleScreenBufferInfo(HANDLE buffer, CONSOLE_SCREEN_BUFFER_INFO* info);
// Cells kept where both sizes overlap, new ones blank; at least 1 x 1.
BOOL SetConsoleScreenBufferSize(HANDLE buffer, COORD size);
BOOL SetConsoleWindowInfo(HANDLE buffer, BOOL absolute, const SMALL_RECT* window);
COORD GetLargestConsoleWindowSize(HANDLE buffer);
BOOL SetConsoleCursorPosition(HANDLE buffer, COORD position);
BOOL GetConsoleCursorInfo(HANDLE buffer, CONSOLE_CURSOR_INFO* info);
BOOL SetConsoleCursorInfo(HANDLE buffer, const CONSOLE_CURSOR_INFO* info);
BOOL SetConsoleTextAttribute(HANDLE buffer, WORD attributes);
// Input modes on the input handle, output modes on a screen buffer.
BOOL GetConsoleMode(HANDLE handle, LPDWORD mode);
BOOL SetConsoleMode(HANDLE handle, DWORD mode);

BOOL ReadConsoleOutputA(HANDLE buffer, CHAR_INFO* cells, COORD cellsSize, COORD cellsCoord, SMALL_RECT* readRegion);
BOOL WriteConsoleOutputA(HANDLE buffer, const CHAR_INFO* cells, COORD cellsSize, COORD cellsCoord,
                         SMALL_RECT* writeRegion);
// The character and attribute runs go on across rows and stop at the end of
// the buffer.
BOOL ReadConsoleOutputCharacterA(HANDLE buffer, LPSTR text, DWORD length, COORD from, LPDWORD read);
BOOL WriteConsoleOutputCharacterA(HANDLE buffer, LPCSTR text, DWORD length, COORD at, LPDWORD written);
BOOL ReadConsoleOutputAttribute(HANDLE buffer, WORD* attributes, DWORD length, COORD from, LPDWORD read);
BOOL WriteConsoleOutputAttribute(HANDLE buffer, const WORD* attributes, DWORD length, COORD at, LPDWORD written);
BOOL FillConsoleOutputCharacterA(HANDLE buffer, CHAR c, DWORD length, COORD at, LPDWORD written);
BOOL FillConsoleOutputAttribute(HANDLE buffer, WORD attribute, DWORD length, COORD at, LPDWORD written);
// Moves the cells of `scroll` so that its top left lands on `dest`, only
// inside `clip` (the whole buffer when null); the cells it leaves get
// `fill`.
BOOL ScrollConsoleScreenBufferA(HANDLE buffer, const SMALL_RECT* scroll, const SMALL_RECT* clip, COORD dest,
                                const CHAR_INFO* fill);
// Text at the cursor in the buffer's attribute, with processed output (CR,
// LF, backspace, tab, bell) and wrapping as the output mode says; the
// buffer scrolls up at its bottom.
BOOL WriteConsoleA(HANDLE buffer, const void* text, DWORD length, LPDWORD written, LPVOID reserved);
BOOL ReadConsoleA(HANDLE input, LPVOID text, DWORD length, LPDWORD read, LPVOID reserved);

BOOL SetConsoleTitleA(LPCSTR title);
// Copies the title with its NUL, cut to size; the title's length.
DWORD GetConsoleTitleA(LPSTR title, DWORD size);

BOOL ReadConsoleInputA(HANDLE input, INPUT_RECORD* records, DWORD length, LPDWORD read);
BOOL PeekConsoleInputA(HANDLE input, INPUT_RECORD* records, DWORD length, LPDWORD read);
BOOL GetNumberOfConsoleInputEvents(HANDLE input, LPDWORD count);
BOOL WriteConsoleInputA(HANDLE input, const INPUT_RECORD* records, DWORD length, LPDWORD written);
BOOL FlushConsoleInputBuffer(HANDLE input);

// Our own: drawing waits while an update is open (see above).
void BeginConsoleUpdate();
void EndConsoleUpdate();
