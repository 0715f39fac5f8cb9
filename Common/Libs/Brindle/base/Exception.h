// CException: the one exception type of the library, and the texts of error
// codes.
//
// A CException carries a system error code (an errno value standing for the
// Windows code; 0 = none) and a text. A text that nobody supplied is completed
// from the code on the first what(): the system's message for the code with
// every control character turned into a space, or "CException - Unknown
// exception or error" when the code is 0.
//
// Thread-safety: what() may be called on one exception from several threads
// at once. Other members are not locked: one thread changes an exception.
#pragma once

#include "Platform/WinError.h"

#include <atomic>
#include <exception>
#include <string>

namespace Brindle {

class CException : public std::exception {
public:
    explicit CException(DWORD code = 0);
    CException(const std::exception& e, DWORD code);
    CException(const char* text, DWORD code);
    CException(const std::string& text, DWORD code);
    // Copies code and text; the copy completes its text anew.
    CException(const CException& other);
    CException& operator=(const CException& other);
    ~CException() override;

    // 1 when the error codes are equal or the texts are equal.
    int operator==(const CException& other) const;

    const char* what() const noexcept override;

    DWORD GetLastError() const { return m_code; }
    void SetLastError(DWORD code) { m_code = code; }

    // Completes the text from the code when it is empty; marks it formatted.
    void FormatMessageA();

    // The system's text for a code with every byte 0-31 replaced by a space
    // (no trimming); empty when the system has no text for the code.
    static std::string FormatLastError(DWORD code);

private:
    DWORD m_code;
    mutable std::atomic<bool> m_formatted;
    mutable std::string m_text;
};

// The system's text for a code as it comes (line end kept), then " (code)";
// "(code)" alone when the system has no text for it.
std::string GetErrorMsg(unsigned long code);

// Writes GetErrorMsg of the thread's last error into buffer, cut so that the
// text and its NUL fit in size bytes; returns that error code.
int GetLastErrorMsg(char* buffer, unsigned size);

} // namespace Brindle
