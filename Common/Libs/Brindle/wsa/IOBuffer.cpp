#include "Brindle/wsa/IOBuffer.h"

#include <algorithm>
#include <cstring>

namespace Brindle {

namespace {
std::shared_ptr<char[]> MakeBlock(unsigned long capacity)
{
    // The extra byte keeps the block a terminated text whatever it holds.
    return std::shared_ptr<char[]>(new char[capacity + 1]());
}
} // namespace

CIOBuffer::CIOBuffer(unsigned long capacity) : m_block(MakeBlock(capacity)), m_capacity(capacity) {}

CIOBuffer::CIOBuffer(const char* text) : CIOBuffer(text, text != nullptr ? static_cast<long>(std::strlen(text)) : 0) {}

CIOBuffer::CIOBuffer(const std::string& text) : CIOBuffer(text.data(), static_cast<long>(text.size())) {}

CIOBuffer::CIOBuffer(const char* data, long length)
{
    const unsigned long size = length > 0 ? static_cast<unsigned long>(length) : 0;
    m_block = MakeBlock(size);
    m_capacity = size;
    m_length = static_cast<long>(size);
    if (data != nullptr && size > 0)
        std::memcpy(m_block.get(), data, size);
}

void CIOBuffer::SetLength(long length)
{
    m_length = std::clamp<long>(length, 0, static_cast<long>(m_capacity));
}

std::string CIOBuffer::ToString() const
{
    if (!m_block)
        return {};
    return std::string(m_block.get(), static_cast<std::size_t>(m_length));
}

void CIOBuffer::SetText(const std::string& text)
{
    if (!m_block)
        return;
    const std::size_t n = std::min<std::size_t>(text.size(), m_capacity);
    std::memcpy(m_block.get(), text.data(), n);
    m_block[n] = '\0';
    m_length = static_cast<long>(n);
}

void CIOBuffer::Detach()
{
    m_block.reset();
    m_capacity = 0;
    m_length = 0;
}

} // namespace Brindle
