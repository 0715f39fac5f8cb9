#include "Brindle/base/TextBuffer.h"

#include "Brindle/base/Exception.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace Brindle {

namespace {

// Sizes are ints in the interface; a sum past INT_MAX cannot be stored.
int CheckedSum(long long a, long long b)
{
    const long long sum = a + b;
    if (sum > INT_MAX)
        throw std::bad_alloc();
    return static_cast<int>(sum);
}

int Sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

unsigned char FoldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

} // namespace

char* CTextBuffer::Allocate(int size)
{
    // One byte past the capacity stays NUL for the storage's whole life, so a
    // text read of the storage always ends inside it.
    return new char[static_cast<std::size_t>(size) + 1]();
}

CTextBuffer::CTextBuffer() : m_storage(nullptr), m_refs(nullptr), m_size(0), m_length(0), m_position(0) {}

CTextBuffer::CTextBuffer(int size, bool fill, char fillChar) : CTextBuffer()
{
    size = std::max(size, 0);
    m_storage = Allocate(size);
    m_refs = new std::atomic<int>(1);
    m_size = size;
    if (fill)
        std::memset(m_storage, fillChar, static_cast<std::size_t>(size));
}

CTextBuffer::CTextBuffer(const char* text, int count, int size) : CTextBuffer()
{
    m_size = std::max(size, 0);
    PutBuffer(text, count, size);
}

CTextBuffer::CTextBuffer(const CTextBuffer& other)
    : m_storage(other.m_storage),
      m_refs(other.m_refs),
      m_size(other.m_size),
      m_length(other.m_length),
      m_position(other.m_position)
{
    Attach();
}

CTextBuffer& CTextBuffer::operator=(const CTextBuffer& other)
{
    if (m_storage == other.m_storage && m_refs == other.m_refs)
        return *this;
    CTextBuffer copy(other);
    Release();
    m_storage = std::exchange(copy.m_storage, nullptr);
    m_refs = std::exchange(copy.m_refs, nullptr);
    m_size = copy.m_size;
    m_length = copy.m_length;
    m_position = copy.m_position;
    return *this;
}

CTextBuffer::~CTextBuffer()
{
    Release();
}

void CTextBuffer::Attach()
{
    if (m_refs != nullptr)
        m_refs->fetch_add(1, std::memory_order_relaxed);
}

void CTextBuffer::Release()
{
    if (m_refs != nullptr && m_refs->fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete[] m_storage;
        delete m_refs;
    }
    m_storage = nullptr;
    m_refs = nullptr;
}

void CTextBuffer::CheckChange(int needed, bool keep)
{
    const int target = std::max(needed, m_size);
    if (m_storage == nullptr) {
        m_storage = Allocate(target);
        m_refs = new std::atomic<int>(1);
        m_size = target;
        m_length = 0;
        m_position = 0;
        return;
    }
    if (m_refs->load(std::memory_order_acquire) < 2 && m_size >= target)
        return;
    char* fresh = Allocate(target);
    std::atomic<int>* freshRefs;
    try {
        freshRefs = new std::atomic<int>(1);
    } catch (...) {
        delete[] fresh;
        throw;
    }
    if (keep) {
        std::memcpy(fresh, m_storage, static_cast<std::size_t>(m_size));
    } else {
        m_length = 0;
        m_position = 0;
    }
    const int length = m_length;
    const int position = m_position;
    Release();
    m_storage = fresh;
    m_refs = freshRefs;
    m_size = target;
    m_length = length;
    m_position = position;
}

bool CTextBuffer::Overlaps(const char* text) const
{
    // Compare as addresses: the text may lie inside our own storage.
    const auto p = reinterpret_cast<std::uintptr_t>(text);
    const auto begin = reinterpret_cast<std::uintptr_t>(m_storage);
    return m_storage != nullptr && p >= begin && p <= begin + static_cast<std::uintptr_t>(m_size);
}

CTextBuffer& CTextBuffer::operator=(const char* text)
{
    if (text == nullptr) {
        // A null buffer has nothing to clear unless it was given a capacity.
        if (m_storage == nullptr && m_size == 0)
            return *this;
        Clear('\0');
        return *this;
    }
    PutBuffer(text, 0, 0);
    return *this;
}

void CTextBuffer::PutBuffer(const char* text, int count, int size)
{
    if (text == nullptr) {
        *this = static_cast<const char*>(nullptr);
        return;
    }
    if (Overlaps(text)) {
        const std::string copy(text, count > 0 ? static_cast<std::size_t>(count) : std::strlen(text));
        PutBuffer(copy.c_str(), count, size);
        return;
    }
    const bool terminate = count <= 0;
    const std::size_t n = terminate ? std::strlen(text) : static_cast<std::size_t>(count);
    if (n >= INT_MAX)
        throw std::bad_alloc();
    const int bytes = static_cast<int>(n);
    const int needed = std::max(size > 0 ? size : bytes + 1, bytes + 1);
    CheckChange(needed, false);
    std::memcpy(m_storage, text, n);
    m_length = bytes;
    m_position = 0;
    if (terminate)
        m_storage[m_length] = '\0';
}

void CTextBuffer::AppendBuffer(const char* text, int count)
{
    if (text == nullptr) {
        // The NUL becomes content, with another NUL after it.
        CheckChange(CheckedSum(m_length, 2), true);
        m_storage[m_length++] = '\0';
        m_storage[m_length] = '\0';
        return;
    }
    if (Overlaps(text)) {
        const std::string copy(text, count > 0 ? static_cast<std::size_t>(count) : std::strlen(text));
        AppendBuffer(copy.c_str(), count);
        return;
    }
    const bool terminate = count <= 0;
    const std::size_t n = terminate ? std::strlen(text) : static_cast<std::size_t>(count);
    if (n >= INT_MAX)
        throw std::bad_alloc();
    CheckChange(CheckedSum(CheckedSum(m_length, static_cast<long long>(n)), 1), true);
    std::memcpy(m_storage + m_length, text, n);
    m_length += static_cast<int>(n);
    if (terminate)
        m_storage[m_length] = '\0';
}

void CTextBuffer::AppendBuffer(char c, bool advance)
{
    if (advance) {
        CheckChange(CheckedSum(m_length, 2), true);
        m_storage[m_length++] = c;
    } else {
        CheckChange(CheckedSum(m_length, 1), true);
    }
    m_storage[m_length] = '\0';
}

CTextBuffer& CTextBuffer::operator+=(char c)
{
    AppendBuffer(c, true);
    return *this;
}

CTextBuffer& CTextBuffer::operator+=(const char* text)
{
    AppendBuffer(text, 0);
    return *this;
}

void CTextBuffer::NullTerminate()
{
    AppendBuffer('\0', false);
}

void CTextBuffer::Clear(char fillChar)
{
    CheckChange(0, true);
    std::memset(m_storage, fillChar, static_cast<std::size_t>(m_size));
}

void CTextBuffer::Resize(int size)
{
    CheckChange(std::max(size, 0), true);
}

void CTextBuffer::AttachBuffer(char* storage, int size)
{
    if (storage == nullptr) {
        Release();
        m_size = m_length = m_position = 0;
        return;
    }
    // Copied into storage of our own (with its guard byte) and freed at once:
    // the caller handed it over, and a text that fills the whole block still
    // gets its terminator.
    const std::size_t text = size > 0 ? ::strnlen(storage, static_cast<std::size_t>(size)) : std::strlen(storage);
    if (text >= INT_MAX) {
        delete[] storage;
        throw std::bad_alloc();
    }
    const int capacity = size > 0 ? size : static_cast<int>(text) + 1;
    char* fresh = nullptr;
    std::atomic<int>* freshRefs = nullptr;
    try {
        fresh = Allocate(capacity);
        freshRefs = new std::atomic<int>(1);
    } catch (...) {
        delete[] fresh;
        delete[] storage;
        throw;
    }
    std::memcpy(fresh, storage, size > 0 ? static_cast<std::size_t>(size) : text + 1);
    delete[] storage;
    Release();
    m_storage = fresh;
    m_refs = freshRefs;
    m_size = capacity;
    m_length = static_cast<int>(text);
    m_position = 0;
}

void CTextBuffer::ConsumeWhitespace()
{
    while (m_position < m_length) {
        const char c = m_storage[m_position];
        if (c != ' ' && c != '\r' && c != '\n')
            break;
        ++m_position;
    }
}

void CTextBuffer::ResetLength()
{
    if (m_storage == nullptr)
        return;
    m_length = static_cast<int>(::strnlen(m_storage, static_cast<std::size_t>(m_size)));
    m_position = std::min(m_position, m_length);
}

void CTextBuffer::Increment(int count)
{
    const long long position = static_cast<long long>(m_position) + count;
    m_position = static_cast<int>(std::clamp<long long>(position, 0, m_length));
}

const char* CTextBuffer::GetBuffer() const
{
    return m_storage != nullptr ? m_storage + m_position : "";
}

CTextBuffer::operator char*()
{
    return m_storage != nullptr ? m_storage + m_length : nullptr;
}

int CTextBuffer::Strcmp(const char* text) const
{
    const char* mine = m_storage != nullptr ? m_storage : "";
    return Sign(std::strcmp(mine, text != nullptr ? text : ""));
}

int CTextBuffer::Stricmp(const char* text) const
{
    const auto* a = reinterpret_cast<const unsigned char*>(m_storage != nullptr ? m_storage : "");
    const auto* b = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    for (;; ++a, ++b) {
        const unsigned char ca = FoldAscii(*a);
        const unsigned char cb = FoldAscii(*b);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

int CTextBuffer::Find(const char* text) const
{
    if (text == nullptr)
        return -1;
    const std::size_t n = std::strlen(text);
    const std::size_t length = m_storage != nullptr ? static_cast<std::size_t>(m_length) : 0;
    if (n == 0)
        return 0;
    if (n > length)
        return -1;
    const void* hit = ::memmem(m_storage, length, text, n);
    return hit != nullptr ? static_cast<int>(static_cast<const char*>(hit) - m_storage) : -1;
}

int CTextBuffer::Find(char c) const
{
    if (m_storage == nullptr)
        return -1;
    const void* hit = std::memchr(m_storage, c, static_cast<std::size_t>(m_length));
    return hit != nullptr ? static_cast<int>(static_cast<const char*>(hit) - m_storage) : -1;
}

char CTextBuffer::operator[](unsigned index) const
{
    if (index >= static_cast<unsigned>(Length()))
        throw CException("index out of bounds", 0);
    return m_storage[m_position + static_cast<int>(index)];
}

char& CTextBuffer::operator[](unsigned index)
{
    if (index >= static_cast<unsigned>(Length()))
        throw CException("index out of bounds", 0);
    if (m_refs->load(std::memory_order_acquire) >= 2)
        throw CException("cannot change buffer with multiple references", 0);
    return m_storage[m_position + static_cast<int>(index)];
}

int CTextBuffer::operator==(const CTextBuffer& other) const
{
    return m_storage == other.m_storage ? 1 : 0;
}

} // namespace Brindle
