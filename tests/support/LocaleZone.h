// Test helpers for code that must not follow the process's time zone or
// locale by accident.
//
// ScopedTimeZone sets TZ (setenv + tzset) for the life of the object and
// restores the previous setting. ScopedForeignLocale switches the whole
// process (setlocale LC_ALL) to German, whose day names, month names and
// decimal comma differ from the "C" locale, building the locale into a
// scratch directory with localedef when the system has none installed.
// When it cannot be had the test fails: the test script installs the
// locale, so its absence is a broken set-up, not a reason to pass quietly.
// available() tells the test to go no further.
// Neither is thread-safe: use them while no other thread of the test runs.
#pragma once

#include "TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace testsupport {

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_previous = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_previous)
            ::setenv("TZ", m_previous->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> m_previous;
};

class ScopedForeignLocale {
public:
    ScopedForeignLocale()
    {
        m_previous = std::setlocale(LC_ALL, nullptr);
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
            const std::string target = (m_dir.path() / "de_DE.UTF-8").string();
            const std::string cmd = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0) {
                ADD_FAILURE() << "the de_DE.UTF-8 locale is missing and localedef cannot build it";
                return;
            }
            ::setenv("LOCPATH", m_dir.str().c_str(), 1);
            m_setLocpath = true;
            if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
                ADD_FAILURE() << "the de_DE.UTF-8 locale built by localedef cannot be set";
                return;
            }
        }
        m_available = true;
    }
    ~ScopedForeignLocale()
    {
        std::setlocale(LC_ALL, m_previous.c_str());
        if (m_setLocpath)
            ::unsetenv("LOCPATH");
    }
    ScopedForeignLocale(const ScopedForeignLocale&) = delete;
    ScopedForeignLocale& operator=(const ScopedForeignLocale&) = delete;

    bool available() const { return m_available; }

private:
    TempDir m_dir;
    std::string m_previous;
    bool m_available = false;
    bool m_setLocpath = false;
};

} // namespace testsupport
