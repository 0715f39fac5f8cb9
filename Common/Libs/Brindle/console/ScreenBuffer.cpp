#include "Brindle/console/ScreenBuffer.h"

#include "Brindle/base/Exception.h"

namespace Brindle {

CScreenBuffer::CScreenBuffer()
    : m_handle(CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         CONSOLE_TEXTMODE_BUFFER, nullptr)),
      m_owned(true)
{
    if (m_handle == INVALID_HANDLE_VALUE)
        throw CException("CScreenBuffer - cannot create a console screen buffer", ::GetLastError());
}

CScreenBuffer::CScreenBuffer(HANDLE handle, bool owned) : m_handle(handle), m_owned(owned) {}

CScreenBuffer::~CScreenBuffer()
{
    if (m_owned && m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr)
        CloseConsoleHandle(m_handle);
}

bool CScreenBuffer::GetInfo(CONSOLE_SCREEN_BUFFER_INFO& info) const
{
    return GetConsoleScreenBufferInfo(m_handle, &info) != FALSE;
}

COORD CScreenBuffer::GetSize() const
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    return GetInfo(info) ? info.dwSize : COORD{0, 0};
}

bool CScreenBuffer::SetSize(COORD size)
{
    return SetConsoleScreenBufferSize(m_handle, size) != FALSE;
}

SMALL_RECT CScreenBuffer::GetWindowRect() const
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    return GetInfo(info) ? info.srWindow : SMALL_RECT{0, 0, -1, -1};
}

bool CScreenBuffer::SetWindowRect(const SMALL_RECT& window, bool absolute)
{
    return SetConsoleWindowInfo(m_handle, absolute ? TRUE : FALSE, &window) != FALSE;
}

COORD CScreenBuffer::GetLargestWindowSize() const
{
    return GetLargestConsoleWindowSize(m_handle);
}

COORD CScreenBuffer::GetCursorPosition() const
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    return GetInfo(info) ? info.dwCursorPosition : COORD{0, 0};
}

bool CScreenBuffer::SetCursorPosition(COORD position)
{
    return SetConsoleCursorPosition(m_handle, position) != FALSE;
}

bool CScreenBuffer::GetCursorInfo(CONSOLE_CURSOR_INFO& info) const
{
    return GetConsoleCursorInfo(m_handle, &info) != FALSE;
}

bool CScreenBuffer::SetCursorInfo(DWORD size, bool visible)
{
    const CONSOLE_CURSOR_INFO info{size, visible ? TRUE : FALSE};
    return SetConsoleCursorInfo(m_handle, &info) != FALSE;
}

bool CScreenBuffer::ShowCursor(bool visible)
{
    CONSOLE_CURSOR_INFO info{};
    return GetCursorInfo(info) && SetCursorInfo(info.dwSize, visible);
}

WORD CScreenBuffer::GetTextAttribute() const
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    return GetInfo(info) ? info.wAttributes : 0;
}

bool CScreenBuffer::SetTextAttribute(WORD attribute)
{
    return SetConsoleTextAttribute(m_handle, attribute) != FALSE;
}

DWORD CScreenBuffer::GetMode() const
{
    DWORD mode = 0;
    return GetConsoleMode(m_handle, &mode) ? mode : 0;
}

bool CScreenBuffer::SetMode(DWORD mode)
{
    return SetConsoleMode(m_handle, mode) != FALSE;
}

DWORD CScreenBuffer::ReadCharacters(COORD from, char* text, DWORD length) const
{
    DWORD n = 0;
    return ReadConsoleOutputCharacterA(m_handle, text, length, from, &n) ? n : 0;
}

std::string CScreenBuffer::ReadCharacters(COORD from, DWORD length) const
{
    std::string text(length, '\0');
    text.resize(ReadCharacters(from, text.data(), length));
    return text;
}

DWORD CScreenBuffer::WriteCharacters(COORD at, const char* text, DWORD length)
{
    DWORD n = 0;
    return WriteConsoleOutputCharacterA(m_handle, text, length, at, &n) ? n : 0;
}

DWORD CScreenBuffer::WriteCharacters(COORD at, const std::string& text)
{
    return WriteCharacters(at, text.data(), static_cast<DWORD>(text.size()));
}

DWORD CScreenBuffer::ReadAttributes(COORD from, WORD* attributes, DWORD length) const
{
    DWORD n = 0;
    return ReadConsoleOutputAttribute(m_handle, attributes, length, from, &n) ? n : 0;
}

DWORD CScreenBuffer::WriteAttributes(COORD at, const WORD* attributes, DWORD length)
{
    DWORD n = 0;
    return WriteConsoleOutputAttribute(m_handle, attributes, length, at, &n) ? n : 0;
}

DWORD CScreenBuffer::FillCharacters(COORD at, char c, DWORD length)
{
    DWORD n = 0;
    return FillConsoleOutputCharacterA(m_handle, c, length, at, &n) ? n : 0;
}

DWORD CScreenBuffer::FillAttributes(COORD at, WORD attribute, DWORD length)
{
    DWORD n = 0;
    return FillConsoleOutputAttribute(m_handle, attribute, length, at, &n) ? n : 0;
}

bool CScreenBuffer::ReadCells(CHAR_INFO* cells, COORD cellsSize, COORD cellsCoord, SMALL_RECT& region) const
{
    return ReadConsoleOutputA(m_handle, cells, cellsSize, cellsCoord, &region) != FALSE;
}

bool CScreenBuffer::WriteCells(const CHAR_INFO* cells, COORD cellsSize, COORD cellsCoord, SMALL_RECT& region)
{
    return WriteConsoleOutputA(m_handle, cells, cellsSize, cellsCoord, &region) != FALSE;
}

bool CScreenBuffer::Scroll(const SMALL_RECT& scroll, const SMALL_RECT* clip, COORD dest, const CHAR_INFO& fill)
{
    return ScrollConsoleScreenBufferA(m_handle, &scroll, clip, dest, &fill) != FALSE;
}

bool CScreenBuffer::Write(const std::string& text)
{
    DWORD n = 0;
    return WriteConsoleA(m_handle, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) != FALSE;
}

bool CScreenBuffer::Clear(char c, WORD attribute)
{
    const COORD size = GetSize();
    const DWORD cells = static_cast<DWORD>(size.X) * static_cast<DWORD>(size.Y);
    if (cells == 0)
        return false;
    // One update, so the terminal sees the end result only.
    BeginConsoleUpdate();
    const bool ok = FillCharacters({0, 0}, c, cells) == cells && FillAttributes({0, 0}, attribute, cells) == cells;
    EndConsoleUpdate();
    return ok;
}

bool CScreenBuffer::DrawBorder(bool lines, WORD attribute)
{
    const COORD size = GetSize();
    if (size.X < 1 || size.Y < 1)
        return false;
    const char horizontal = lines ? '\xC4' : ' ';
    const char vertical = lines ? '\xB3' : ' ';
    const SHORT right = static_cast<SHORT>(size.X - 1);
    const SHORT bottom = static_cast<SHORT>(size.Y - 1);
    BeginConsoleUpdate();
    FillCharacters({0, 0}, horizontal, static_cast<DWORD>(size.X));
    FillCharacters({0, bottom}, horizontal, static_cast<DWORD>(size.X));
    FillAttributes({0, 0}, attribute, static_cast<DWORD>(size.X));
    FillAttributes({0, bottom}, attribute, static_cast<DWORD>(size.X));
    for (SHORT y = 1; y < bottom; ++y) {
        FillCharacters({0, y}, vertical, 1);
        FillCharacters({right, y}, vertical, 1);
        FillAttributes({0, y}, attribute, 1);
        FillAttributes({right, y}, attribute, 1);
    }
    FillCharacters({0, 0}, lines ? '\xDA' : ' ', 1);
    FillCharacters({right, 0}, lines ? '\xBF' : ' ', 1);
    FillCharacters({0, bottom}, lines ? '\xC0' : ' ', 1);
    FillCharacters({right, bottom}, lines ? '\xD9' : ' ', 1);
    EndConsoleUpdate();
    return true;
}

bool CScreenBuffer::SetActive()
{
    return SetConsoleActiveScreenBuffer(m_handle) != FALSE;
}

} // namespace Brindle
