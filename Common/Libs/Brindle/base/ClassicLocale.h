// The "C" locale, for conversions between numbers, times and text that must
// read and write the same whatever locale the process runs under (a GUI
// program switches to the user's locale at start-up; our texts travel on the
// wire and into logs and must not follow it).
//
// GetClassicLocale() gives a process-wide, never-freed locale object, made on
// first use. CClassicLocaleScope switches the calling thread to it for the
// life of the scope (uselocale) and restores the thread's previous locale.
//
// Thread-safety: both may be used from any thread; a scope affects only its
// own thread.
#pragma once

#include <locale.h>

namespace Brindle {

locale_t GetClassicLocale();

class CClassicLocaleScope {
public:
    CClassicLocaleScope();
    ~CClassicLocaleScope();
    CClassicLocaleScope(const CClassicLocaleScope&) = delete;
    CClassicLocaleScope& operator=(const CClassicLocaleScope&) = delete;

private:
    locale_t m_previous;
};

} // namespace Brindle
