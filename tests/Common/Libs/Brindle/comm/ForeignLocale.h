// Switches the process to a German locale (decimal comma) for the life of
// the object, building it with localedef into a scratch directory when the
// system has none installed; available() is false when it cannot be had.
// Not thread-safe: use it while no other thread of the test runs.
#pragma once

#include "TempDir.h"

#include <clocale>
#include <cstdlib>
#include <string>

namespace commtest {

class ForeignLocale {
public:
    ForeignLocale() : m_previous(std::setlocale(LC_ALL, nullptr))
    {
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
            m_available = true;
            return;
        }
        const std::string target = (m_dir.path() / "de_DE.UTF-8").string();
        const std::string cmd = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0)
            return;
        ::setenv("LOCPATH", m_dir.str().c_str(), 1);
        m_setLocpath = true;
        m_available = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~ForeignLocale()
    {
        std::setlocale(LC_ALL, m_previous.c_str());
        if (m_setLocpath)
            ::unsetenv("LOCPATH");
    }
    ForeignLocale(const ForeignLocale&) = delete;
    ForeignLocale& operator=(const ForeignLocale&) = delete;

    bool available() const { return m_available; }

private:
    testsupport::TempDir m_dir;
    std::string m_previous;
    bool m_available = false;
    bool m_setLocpath = false;
};

} // namespace commtest
