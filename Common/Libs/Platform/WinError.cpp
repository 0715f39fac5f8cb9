#include "Platform/WinError.h"

#include <clocale>
#include <cstring>
#include <locale.h>

namespace {
thread_local DWORD t_lastError = 0;

// The C locale, made once: message texts must not follow the desktop's locale.
locale_t CLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}
} // namespace

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD code)
{
    t_lastError = code;
}

std::string FormatSystemMessage(DWORD code)
{
    if (code == 0)
        return "The operation completed successfully.\r\n";
    if (code > 4095)
        return {};
    const char* text = strerror_l(static_cast<int>(code), CLocale());
    if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0)
        return {};
    return std::string(text) + "\r\n";
}
