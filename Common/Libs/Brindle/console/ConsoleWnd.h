// CConsoleWndMgr and CConsoleWnd: overlapping text windows inside one
// console screen buffer.
//
// The manager keeps its windows in stacking order, bottom first; the last
// one is the topmost. Each window keeps its own cells (width x height
// characters and attributes) and the screen cells it covers, so that it can
// be shown, hidden, raised, written and scrolled without the others being
// repainted from scratch.
//
// Contract
// - A new window is hidden and without a border; its cells and the cells it
//   saves are blanks in its attribute (attribute 0 takes the manager's).
//   Sizes below 1, and windows whose right or bottom edge would not fit a
//   16-bit coordinate, are refused: CreateConsoleWnd gives a null pointer
//   (as it does when the cells cannot be allocated).
//   Parts outside the screen buffer are kept in the window but not drawn.
// - Window coordinates are relative to the window. A bordered window is
//   written only inside its border. Attribute 0 in a call means the
//   window's own.
// - Layering: whatever changes a visible window (show, hide, raise, write,
//   clear, border, scroll, destroy), the screen afterwards shows every
//   visible window in stacking order over what lay beneath them all, and
//   every window's saved cells are what the screen would show without it
//   and the windows above it. A covered window's change shows only where
//   nothing covers it; hiding a covered window gives back the cells under
//   it without disturbing the windows above it.
// - Text is stored byte for byte: every byte is a code page 437 character,
//   control bytes included, and is drawn as its glyph (never as a control).
// - A hidden window is changed in its own cells only, scrolling included;
//   Show draws what it holds.
// - Scroll fills the freed bottom row with blanks in the screen buffer's
//   text attribute (the window's own when it has no screen buffer).
// - WriteLine with wrap writes a long text as lines of the inner width, one
//   after another; a window with no inner area (a bordered one of width or
//   height 2 or less) takes no lines.
// - Destroy hides the window and takes it out of its manager; the window
//   object lives on for as long as its caller holds a pointer to it, and
//   afterwards changes only its own cells. A manager that goes first
//   detaches its windows the same way.
// - Without a screen buffer, windows keep their cells and flags; setting a
//   buffer draws the visible ones on it.
// - Every change reaches the terminal as one update (the console's
//   BeginConsoleUpdate/EndConsoleUpdate), so it is drawn once, without its
//   intermediate states.
//
// Thread-safety: none of their own. One thread uses a manager and its
// windows at a time; the shared pointers may be copied and released on any
// thread.
#pragma once

#include "Brindle/base/RefCountedPtr.h"
#include "Brindle/console/ScreenBuffer.h"

#include <string>
#include <vector>

namespace Brindle {

class CConsoleWndMgr;

class CConsoleWnd {
public:
    ~CConsoleWnd();
    CConsoleWnd(const CConsoleWnd&) = delete;
    CConsoleWnd& operator=(const CConsoleWnd&) = delete;

    void Show();
    void Hide();
    // Draws the cells again (when visible), as they are.
    void Draw();
    void Destroy();

    // False (and nothing changed) when x, y lie outside the writable area.
    bool Write(short x, short y, const std::string& text, unsigned short attribute = 0);
    void WriteLine(const std::string& text, bool wrap = false, unsigned short attribute = 0);
    void Clear(char c = ' ', unsigned short attribute = 0);
    void DrawBorder(bool lines = true, unsigned short attribute = 0);
    void Scroll();
    // Places the screen buffer's cursor; false outside the window.
    bool SetCursorPosition(short x, short y);

    short Width() const { return m_size.X; }
    short Height() const { return m_size.Y; }
    bool IsVisible() const { return m_visible; }
    bool IsBordered() const { return m_bordered; }
    unsigned short GetAttribute() const { return m_attribute; }
    // The screen rectangle (right = left + width - 1, bottom likewise).
    SMALL_RECT GetRect() const { return m_rect; }
    // Null once destroyed or detached.
    CConsoleWndMgr* GetManager() const { return m_manager; }

    // The window's own cells; a blank cell outside it.
    CHAR_INFO GetCell(short x, short y) const;
    std::string GetRowText(short y) const;
    // The screen cells it keeps for when it hides.
    CHAR_INFO GetSavedCell(short x, short y) const;

private:
    friend class CConsoleWndMgr;

    CConsoleWnd(CConsoleWndMgr* manager, short left, short top, short width, short height, unsigned short attribute);

    // The inner area: inside the border when bordered.
    short InnerLeft() const { return m_bordered ? 1 : 0; }
    short InnerTop() const { return m_bordered ? 1 : 0; }
    short InnerRight() const { return static_cast<short>(m_bordered ? m_size.X - 2 : m_size.X - 1); }
    short InnerBottom() const { return static_cast<short>(m_bordered ? m_size.Y - 2 : m_size.Y - 1); }
    unsigned short Attribute(unsigned short given) const { return given != 0 ? given : m_attribute; }
    CHAR_INFO& At(int x, int y) { return m_contents[static_cast<std::size_t>(y) * m_size.X + x]; }
    CHAR_INFO Blank(unsigned short attribute) const;

    // Screen transfers of window-relative rectangles; nothing without a
    // screen buffer.
    void PutCells(const std::vector<CHAR_INFO>& cells, short left, short top, short right, short bottom);
    void SaveUnder();
    void RestoreUnder();
    // Shows a changed stretch of the cells (when visible), with the windows
    // above it taken off and put back around it.
    void Refresh(short left, short top, short right, short bottom);
    void Detach() { m_manager = nullptr; }

    CConsoleWndMgr* m_manager;
    bool m_bordered = false;
    bool m_visible = false;
    unsigned short m_attribute;
    std::vector<CHAR_INFO> m_contents;
    std::vector<CHAR_INFO> m_saved;
    COORD m_size;
    SMALL_RECT m_rect;
};

class CConsoleWndMgr {
public:
    explicit CConsoleWndMgr(unsigned short attribute = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE);
    ~CConsoleWndMgr();
    CConsoleWndMgr(const CConsoleWndMgr&) = delete;
    CConsoleWndMgr& operator=(const CConsoleWndMgr&) = delete;

    // Takes the visible windows off the old buffer and puts them on the new.
    void SetScreenBuffer(CRefCountedPtr<CScreenBuffer> buffer);
    CRefCountedPtr<CScreenBuffer> GetScreenBuffer() const { return m_screen; }
    unsigned short GetDefaultAttribute() const { return m_attribute; }
    void SetDefaultAttribute(unsigned short attribute) { m_attribute = attribute; }

    // A new window on top of the others (null for a refused size).
    CRefCountedPtr<CConsoleWnd> CreateConsoleWnd(short left, short top, short width, short height,
                                                 unsigned short attribute = 0);
    bool IsTopmostWnd(const CConsoleWnd* wnd) const;
    // Raises a window of this manager to the top.
    void SetTopmostWnd(CConsoleWnd* wnd);
    // Draws every visible window again, bottom to top.
    void Draw();

    std::size_t GetWndCount() const { return m_windows.size(); }
    // The window at a place in the stacking order (0: the bottom one).
    CRefCountedPtr<CConsoleWnd> GetWnd(std::size_t index) const;

private:
    friend class CConsoleWnd;

    // The window's place in the list; the list's size when it has none.
    std::size_t IndexOf(const CConsoleWnd* wnd) const;
    // Takes the visible windows from `from` up off the screen, top first.
    void Unlayer(std::size_t from);
    // Puts them back, bottom first, each saving what is under it.
    void Relayer(std::size_t from);
    void MoveToTop(std::size_t index);
    // Leaves the list; the caller holds the window while this runs.
    void Remove(const CConsoleWnd* wnd);

    CRefCountedPtr<CScreenBuffer> m_screen;
    unsigned short m_attribute;
    std::vector<CRefCountedPtr<CConsoleWnd>> m_windows;
};

} // namespace Brindle
