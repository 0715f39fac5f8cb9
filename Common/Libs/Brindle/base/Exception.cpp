#include "Brindle/base/Exception.h"

#include <cstring>
#include <mutex>

namespace Brindle {

namespace {
// Completing a text is rare; one lock for all exceptions keeps them copyable.
std::mutex& FormatLock()
{
    static std::mutex* m = new std::mutex;
    return *m;
}
} // namespace

CException::CException(DWORD code) : m_code(code), m_formatted(false) {}

CException::CException(const std::exception& e, DWORD code) : m_code(code), m_formatted(false), m_text(e.what()) {}

CException::CException(const char* text, DWORD code)
    : m_code(code), m_formatted(false), m_text(text != nullptr ? text : "")
{
}

CException::CException(const std::string& text, DWORD code) : m_code(code), m_formatted(false), m_text(text) {}

CException::CException(const CException& other) : std::exception(other), m_code(other.m_code), m_formatted(false)
{
    std::lock_guard<std::mutex> g(FormatLock());
    m_text = other.m_text;
}

CException& CException::operator=(const CException& other)
{
    if (this != &other) {
        std::lock_guard<std::mutex> g(FormatLock());
        m_code = other.m_code;
        m_text = other.m_text;
        m_formatted.store(other.m_formatted.load());
    }
    return *this;
}

CException::~CException() = default;

int CException::operator==(const CException& other) const
{
    if (m_code == other.m_code)
        return 1;
    // what() on both so that texts completed from codes compare as shown.
    return std::strcmp(what(), other.what()) == 0 ? 1 : 0;
}

const char* CException::what() const noexcept
{
    if (!m_formatted.load(std::memory_order_acquire))
        const_cast<CException*>(this)->FormatMessageA();
    return m_text.c_str();
}

void CException::FormatMessageA()
{
    std::lock_guard<std::mutex> g(FormatLock());
    if (m_formatted.load(std::memory_order_relaxed))
        return;
    if (m_text.empty()) {
        if (m_code != 0)
            m_text = FormatLastError(m_code);
        else
            m_text = "CException - Unknown exception or error";
    }
    m_formatted.store(true, std::memory_order_release);
}

std::string CException::FormatLastError(DWORD code)
{
    std::string text = FormatSystemMessage(code);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
    }
    return text;
}

std::string GetErrorMsg(unsigned long code)
{
    const std::string number = std::to_string(code);
    std::string text = code > 0xFFFFFFFFul ? std::string() : FormatSystemMessage(static_cast<DWORD>(code));
    if (text.empty())
        return "(" + number + ")";
    return text + " (" + number + ")";
}

int GetLastErrorMsg(char* buffer, unsigned size)
{
    const DWORD code = ::GetLastError();
    if (buffer != nullptr && size > 0) {
        const std::string text = GetErrorMsg(code);
        const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(code);
}

} // namespace Brindle
