#include "Brindle/console/ConsoleWnd.h"

#include <algorithm>
#include <climits>
#include <new>

namespace Brindle {

namespace {

// Holds the terminal's drawing for a change made of several screen calls,
// so that it shows the end result once.
class CUpdate {
public:
    CUpdate() { BeginConsoleUpdate(); }
    ~CUpdate() { EndConsoleUpdate(); }
    CUpdate(const CUpdate&) = delete;
    CUpdate& operator=(const CUpdate&) = delete;
};

constexpr unsigned char kTopLeft = 0xDA;
constexpr unsigned char kTopRight = 0xBF;
constexpr unsigned char kBottomLeft = 0xC0;
constexpr unsigned char kBottomRight = 0xD9;
constexpr unsigned char kHorizontal = 0xC4;
constexpr unsigned char kVertical = 0xB3;

} // namespace

// CConsoleWnd

CConsoleWnd::CConsoleWnd(CConsoleWndMgr* manager, short left, short top, short width, short height,
                         unsigned short attribute)
    : m_manager(manager),
      m_attribute(attribute),
      m_size{width, height},
      m_rect{left, top, static_cast<SHORT>(left + width - 1), static_cast<SHORT>(top + height - 1)}
{
    const std::size_t cells = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    m_contents.assign(cells, Blank(attribute));
    m_saved.assign(cells, Blank(attribute));
}

CConsoleWnd::~CConsoleWnd() = default;

CHAR_INFO CConsoleWnd::Blank(unsigned short attribute) const
{
    CHAR_INFO cell{};
    cell.Char.AsciiChar = ' ';
    cell.Attributes = attribute;
    return cell;
}

void CConsoleWnd::PutCells(const std::vector<CHAR_INFO>& cells, short left, short top, short right, short bottom)
{
    if (m_manager == nullptr || !m_manager->m_screen)
        return;
    SMALL_RECT region{static_cast<SHORT>(m_rect.Left + left), static_cast<SHORT>(m_rect.Top + top),
                      static_cast<SHORT>(m_rect.Left + right), static_cast<SHORT>(m_rect.Top + bottom)};
    m_manager->m_screen->WriteCells(cells.data(), m_size, {left, top}, region);
}

void CConsoleWnd::SaveUnder()
{
    if (m_manager == nullptr || !m_manager->m_screen)
        return;
    SMALL_RECT region = m_rect;
    m_manager->m_screen->ReadCells(m_saved.data(), m_size, {0, 0}, region);
}

void CConsoleWnd::RestoreUnder()
{
    PutCells(m_saved, 0, 0, static_cast<short>(m_size.X - 1), static_cast<short>(m_size.Y - 1));
}

void CConsoleWnd::Refresh(short left, short top, short right, short bottom)
{
    if (!m_visible || m_manager == nullptr || !m_manager->m_screen)
        return;
    CUpdate update;
    // The windows above come off, so that this one is drawn uncovered, and
    // go back on, each saving the screen under it anew.
    const std::size_t index = m_manager->IndexOf(this);
    m_manager->Unlayer(index + 1);
    PutCells(m_contents, left, top, right, bottom);
    m_manager->Relayer(index + 1);
}

void CConsoleWnd::Show()
{
    if (m_visible)
        return;
    m_visible = true;
    if (m_manager == nullptr)
        return;
    CUpdate update;
    m_manager->MoveToTop(m_manager->IndexOf(this));
    SaveUnder();
    PutCells(m_contents, 0, 0, static_cast<short>(m_size.X - 1), static_cast<short>(m_size.Y - 1));
}

void CConsoleWnd::Hide()
{
    if (!m_visible)
        return;
    if (m_manager == nullptr || !m_manager->m_screen) {
        m_visible = false;
        return;
    }
    CUpdate update;
    const std::size_t index = m_manager->IndexOf(this);
    m_manager->Unlayer(index); // this window too: its saved cells go back
    m_visible = false;
    m_manager->Relayer(index + 1);
}

void CConsoleWnd::Draw()
{
    if (!m_visible)
        return;
    PutCells(m_contents, 0, 0, static_cast<short>(m_size.X - 1), static_cast<short>(m_size.Y - 1));
}

void CConsoleWnd::Destroy()
{
    if (m_manager == nullptr) {
        m_visible = false;
        return;
    }
    // The manager's list may hold the last pointer to this window: it is
    // held here until nothing more of this call touches the window.
    const CRefCountedPtr<CConsoleWnd> self = m_manager->GetWnd(m_manager->IndexOf(this));
    Hide();
    m_manager->Remove(this);
    m_manager = nullptr;
}

bool CConsoleWnd::Write(short x, short y, const std::string& text, unsigned short attribute)
{
    if (x < InnerLeft() || x > InnerRight() || y < InnerTop() || y > InnerBottom())
        return false;
    if (text.empty())
        return true;
    const std::size_t room = static_cast<std::size_t>(InnerRight() - x + 1);
    const std::size_t n = std::min(text.size(), room);
    const unsigned short attr = Attribute(attribute);
    for (std::size_t i = 0; i < n; ++i) {
        CHAR_INFO& cell = At(x + static_cast<int>(i), y);
        cell = CHAR_INFO{};
        cell.Char.AsciiChar = text[i];
        cell.Attributes = attr;
    }
    Refresh(x, y, static_cast<short>(x + static_cast<short>(n) - 1), y);
    return true;
}

void CConsoleWnd::WriteLine(const std::string& text, bool wrap, unsigned short attribute)
{
    const int width = InnerRight() - InnerLeft() + 1;
    if (width < 1 || InnerBottom() < InnerTop())
        return;
    CUpdate update;
    const std::size_t inner = static_cast<std::size_t>(width);
    std::size_t from = 0;
    // One line at least (an empty text is an empty line); with wrap as many
    // as the text needs. A loop, not a recursion: texts of any length.
    do {
        Scroll();
        Write(InnerLeft(), InnerBottom(), text.substr(from, inner), attribute);
        from += inner;
    } while (wrap && from < text.size());
}

void CConsoleWnd::Clear(char c, unsigned short attribute)
{
    const short left = InnerLeft();
    const short top = InnerTop();
    const short right = InnerRight();
    const short bottom = InnerBottom();
    if (right < left || bottom < top)
        return;
    CHAR_INFO cell{};
    cell.Char.AsciiChar = c;
    cell.Attributes = Attribute(attribute);
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            At(x, y) = cell;
    Refresh(left, top, right, bottom);
}

void CConsoleWnd::DrawBorder(bool lines, unsigned short attribute)
{
    m_bordered = false;
    const unsigned short attr = Attribute(attribute);
    auto put = [&](int x, int y, unsigned char glyph) {
        CHAR_INFO& cell = At(x, y);
        cell = CHAR_INFO{};
        cell.Char.AsciiChar = static_cast<char>(lines ? glyph : ' ');
        cell.Attributes = attr;
    };
    const int right = m_size.X - 1;
    const int bottom = m_size.Y - 1;
    for (int x = 0; x <= right; ++x) {
        put(x, 0, kHorizontal);
        put(x, bottom, kHorizontal);
    }
    for (int y = 0; y <= bottom; ++y) {
        put(0, y, kVertical);
        put(right, y, kVertical);
    }
    put(0, 0, kTopLeft);
    put(right, 0, kTopRight);
    put(0, bottom, kBottomLeft);
    put(right, bottom, kBottomRight);
    m_bordered = true;
    Refresh(0, 0, static_cast<short>(right), static_cast<short>(bottom));
}

void CConsoleWnd::Scroll()
{
    const short left = InnerLeft();
    const short top = InnerTop();
    const short right = InnerRight();
    const short bottom = InnerBottom();
    if (right < left || bottom < top)
        return;
    // The window's own cells move, visible or not; the screen follows.
    for (int y = top; y < bottom; ++y)
        std::copy(&At(left, y + 1), &At(left, y + 1) + (right - left + 1), &At(left, y));
    unsigned short fill = m_attribute;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (m_manager != nullptr && m_manager->m_screen && m_manager->m_screen->GetInfo(info))
        fill = info.wAttributes;
    std::fill(&At(left, bottom), &At(left, bottom) + (right - left + 1), Blank(fill));
    Refresh(left, top, right, bottom);
}

bool CConsoleWnd::SetCursorPosition(short x, short y)
{
    if (x < 0 || y < 0 || x >= m_size.X || y >= m_size.Y || m_manager == nullptr || !m_manager->m_screen)
        return false;
    return m_manager->m_screen->SetCursorPosition(
        {static_cast<SHORT>(m_rect.Left + x), static_cast<SHORT>(m_rect.Top + y)});
}

CHAR_INFO CConsoleWnd::GetCell(short x, short y) const
{
    if (x < 0 || y < 0 || x >= m_size.X || y >= m_size.Y)
        return Blank(m_attribute);
    return m_contents[static_cast<std::size_t>(y) * m_size.X + x];
}

std::string CConsoleWnd::GetRowText(short y) const
{
    std::string text;
    if (y < 0 || y >= m_size.Y)
        return text;
    for (short x = 0; x < m_size.X; ++x)
        text += m_contents[static_cast<std::size_t>(y) * m_size.X + x].Char.AsciiChar;
    return text;
}

CHAR_INFO CConsoleWnd::GetSavedCell(short x, short y) const
{
    if (x < 0 || y < 0 || x >= m_size.X || y >= m_size.Y)
        return Blank(m_attribute);
    return m_saved[static_cast<std::size_t>(y) * m_size.X + x];
}

// CConsoleWndMgr

CConsoleWndMgr::CConsoleWndMgr(unsigned short attribute) : m_attribute(attribute) {}

CConsoleWndMgr::~CConsoleWndMgr()
{
    for (auto& wnd : m_windows)
        wnd->Detach();
}

void CConsoleWndMgr::SetScreenBuffer(CRefCountedPtr<CScreenBuffer> buffer)
{
    if (m_screen == buffer)
        return;
    CUpdate update;
    if (m_screen)
        Unlayer(0);
    m_screen = std::move(buffer);
    if (m_screen)
        Relayer(0);
}

CRefCountedPtr<CConsoleWnd> CConsoleWndMgr::CreateConsoleWnd(short left, short top, short width, short height,
                                                             unsigned short attribute)
{
    if (width < 1 || height < 1 || left + width - 1 > SHRT_MAX || top + height - 1 > SHRT_MAX)
        return nullptr;
    try {
        CRefCountedPtr<CConsoleWnd> wnd(
            new CConsoleWnd(this, left, top, width, height, attribute != 0 ? attribute : m_attribute));
        m_windows.push_back(wnd);
        return wnd;
    } catch (const std::bad_alloc&) {
        return nullptr; // cells for a window larger than memory: refused like a bad size
    }
}

bool CConsoleWndMgr::IsTopmostWnd(const CConsoleWnd* wnd) const
{
    return wnd != nullptr && !m_windows.empty() && m_windows.back().GetPtr() == wnd;
}

void CConsoleWndMgr::SetTopmostWnd(CConsoleWnd* wnd)
{
    const std::size_t index = IndexOf(wnd);
    if (index + 1 >= m_windows.size())
        return; // not ours, or on top already
    if (!wnd->m_visible || !m_screen) {
        MoveToTop(index);
        return;
    }
    CUpdate update;
    Unlayer(index);
    MoveToTop(index);
    Relayer(index);
}

void CConsoleWndMgr::Draw()
{
    CUpdate update;
    for (auto& wnd : m_windows)
        wnd->Draw();
}

CRefCountedPtr<CConsoleWnd> CConsoleWndMgr::GetWnd(std::size_t index) const
{
    return index < m_windows.size() ? m_windows[index] : nullptr;
}

std::size_t CConsoleWndMgr::IndexOf(const CConsoleWnd* wnd) const
{
    for (std::size_t i = 0; i < m_windows.size(); ++i)
        if (m_windows[i].GetPtr() == wnd)
            return i;
    return m_windows.size();
}

void CConsoleWndMgr::Unlayer(std::size_t from)
{
    for (std::size_t i = m_windows.size(); i-- > from;)
        if (m_windows[i]->m_visible)
            m_windows[i]->RestoreUnder();
}

void CConsoleWndMgr::Relayer(std::size_t from)
{
    for (std::size_t i = from; i < m_windows.size(); ++i) {
        CConsoleWnd& wnd = *m_windows[i];
        if (!wnd.m_visible)
            continue;
        wnd.SaveUnder();
        wnd.Draw();
    }
}

void CConsoleWndMgr::MoveToTop(std::size_t index)
{
    if (index + 1 >= m_windows.size())
        return;
    std::rotate(m_windows.begin() + static_cast<std::ptrdiff_t>(index),
                m_windows.begin() + static_cast<std::ptrdiff_t>(index) + 1, m_windows.end());
}

void CConsoleWndMgr::Remove(const CConsoleWnd* wnd)
{
    const std::size_t index = IndexOf(wnd);
    if (index < m_windows.size())
        m_windows.erase(m_windows.begin() + static_cast<std::ptrdiff_t>(index));
}

} // namespace Brindle
