#include "Brindle/console/Console.h"

#include "Brindle/base/Exception.h"
#include "Platform/KernelObjects.h"

#include <vector>

namespace Brindle {

CConsole::~CConsole()
{
    if (m_allocated)
        Free();
}

bool CConsole::Alloc()
{
    if (m_allocated || !AllocConsole())
        return false;
    m_allocated = true;
    m_raw = false;
    // The standard buffer belongs to the console, which closes it itself.
    m_active = CRefCountedPtr<CScreenBuffer>(new CScreenBuffer(::GetStdHandle(STD_OUTPUT_HANDLE), false));
    return true;
}

bool CConsole::Free()
{
    if (!m_allocated)
        return false;
    // Buffers still shared elsewhere are closed by their holders; after this
    // their calls fail.
    m_active = nullptr;
    m_allocated = false;
    m_raw = false;
    return FreeConsole() != FALSE;
}

bool CConsole::SetTitle(const std::string& title)
{
    return SetConsoleTitleA(title.c_str()) != FALSE;
}

std::string CConsole::GetTitle() const
{
    char probe[1];
    const DWORD length = GetConsoleTitleA(probe, sizeof probe);
    if (length == 0)
        return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    GetConsoleTitleA(text.data(), static_cast<DWORD>(text.size()));
    return std::string(text.data());
}

HANDLE CConsole::GetInputHandle() const
{
    return ::GetStdHandle(STD_INPUT_HANDLE);
}

DWORD CConsole::GetInputMode() const
{
    DWORD mode = 0;
    return GetConsoleMode(GetInputHandle(), &mode) ? mode : 0;
}

bool CConsole::SetInputMode(DWORD mode)
{
    return SetConsoleMode(GetInputHandle(), mode) != FALSE;
}

bool CConsole::SetRawMode(bool raw)
{
    if (raw == m_raw)
        return true;
    if (raw) {
        DWORD mode = 0;
        if (!GetConsoleMode(GetInputHandle(), &mode))
            return false;
        const DWORD rawMode = mode & ~(ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
        if (!SetConsoleMode(GetInputHandle(), rawMode))
            return false;
        m_modeBeforeRaw = mode;
        m_raw = true;
        return true;
    }
    if (!SetConsoleMode(GetInputHandle(), m_modeBeforeRaw))
        return false;
    m_raw = false;
    return true;
}

DWORD CConsole::ReadInput(INPUT_RECORD* records, DWORD length)
{
    DWORD n = 0;
    return ReadConsoleInputA(GetInputHandle(), records, length, &n) ? n : 0;
}

bool CConsole::ReadInput(INPUT_RECORD& record)
{
    return ReadInput(&record, 1) == 1;
}

DWORD CConsole::PeekInput(INPUT_RECORD* records, DWORD length) const
{
    DWORD n = 0;
    return PeekConsoleInputA(GetInputHandle(), records, length, &n) ? n : 0;
}

DWORD CConsole::GetInputEventCount() const
{
    DWORD n = 0;
    return GetNumberOfConsoleInputEvents(GetInputHandle(), &n) ? n : 0;
}

bool CConsole::WaitForInput(DWORD milliseconds) const
{
    const HANDLE input = GetInputHandle();
    if (input == INVALID_HANDLE_VALUE)
        return false;
    return WaitForSingleObject(input, milliseconds) == WAIT_OBJECT_0 && GetInputEventCount() > 0;
}

std::string CConsole::ReadText(DWORD length)
{
    if (length == 0)
        return {};
    std::string text(length, '\0');
    DWORD n = 0;
    if (!ReadConsoleA(GetInputHandle(), text.data(), length, &n, nullptr))
        return {};
    text.resize(n);
    return text;
}

bool CConsole::WriteInput(const INPUT_RECORD* records, DWORD length)
{
    DWORD n = 0;
    return WriteConsoleInputA(GetInputHandle(), records, length, &n) != FALSE && n == length;
}

bool CConsole::FlushInput()
{
    return FlushConsoleInputBuffer(GetInputHandle()) != FALSE;
}

CRefCountedPtr<CScreenBuffer> CConsole::CreateScreenBuffer()
{
    try {
        return CRefCountedPtr<CScreenBuffer>(new CScreenBuffer());
    } catch (const CException&) {
        return nullptr;
    }
}

bool CConsole::SetActiveScreenBuffer(const CRefCountedPtr<CScreenBuffer>& buffer)
{
    if (!buffer || !buffer->SetActive())
        return false;
    m_active = buffer;
    return true;
}

} // namespace Brindle
