#include "Brindle/comm/CommBuffer.h"

#include "Brindle/base/Exception.h"

#include <cstring>
#include <limits>
#include <utility>

namespace Brindle {

CCommBuffer::CCommBuffer(unsigned capacity)
{
    Allocate(capacity);
}

CCommBuffer::CCommBuffer(const char* bytes, unsigned count)
{
    Assign(bytes, count);
}

CCommBuffer::CCommBuffer(const std::string& bytes)
{
    Assign(bytes);
}

CCommBuffer::CCommBuffer(CCommBuffer&& other) noexcept
    : m_bytes(std::move(other.m_bytes)), m_capacity(std::exchange(other.m_capacity, 0u))
{
}

CCommBuffer& CCommBuffer::operator=(CCommBuffer&& other) noexcept
{
    if (this != &other) {
        m_bytes = std::move(other.m_bytes);
        m_capacity = std::exchange(other.m_capacity, 0u);
    }
    return *this;
}

void CCommBuffer::Allocate(unsigned capacity)
{
    Release();
    if (capacity == 0)
        return;
    m_bytes.reset(new char[capacity]);
    m_capacity = capacity;
}

void CCommBuffer::Assign(const char* bytes, unsigned count)
{
    if (bytes == nullptr) {
        Release();
        return;
    }
    std::size_t length = count != 0 ? count : std::strlen(bytes);
    if (length > std::numeric_limits<unsigned>::max())
        throw CException("CCommBuffer: data too long", ERROR_INVALID_PARAMETER);
    // Copy first: the bytes may lie inside this buffer.
    std::unique_ptr<char[]> copy;
    if (length != 0) {
        copy.reset(new char[length]);
        std::memcpy(copy.get(), bytes, length);
    }
    m_bytes = std::move(copy);
    m_capacity = static_cast<unsigned>(length);
}

void CCommBuffer::Assign(const std::string& bytes)
{
    if (bytes.empty()) {
        Release();
        return;
    }
    if (bytes.size() > std::numeric_limits<unsigned>::max())
        throw CException("CCommBuffer: data too long", ERROR_INVALID_PARAMETER);
    Assign(bytes.data(), static_cast<unsigned>(bytes.size()));
}

void CCommBuffer::Release()
{
    m_bytes.reset();
    m_capacity = 0;
}

} // namespace Brindle
