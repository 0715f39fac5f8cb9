#include "Brindle/base/Buffer.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace Brindle {

namespace {

// The block plus a guard NUL past its end.
char* AllocateBlock(unsigned size)
{
    return new char[static_cast<std::size_t>(size) + 1]();
}

} // namespace

CBuffer::CBuffer() : CBuffer(0u, '\0') {}

CBuffer::CBuffer(const char* data, unsigned count)
    : m_storage(AllocateBlock(count)), m_refs(nullptr), m_offset(0), m_size(count)
{
    try {
        m_refs = new std::atomic<int>(1);
    } catch (...) {
        delete[] m_storage;
        throw;
    }
    if (data != nullptr && count > 0)
        std::memcpy(m_storage, data, count);
}

CBuffer::CBuffer(unsigned count, char fill) : CBuffer(nullptr, count)
{
    std::memset(m_storage, fill, count);
}

CBuffer::CBuffer(const CBuffer& other)
    : m_storage(other.m_storage), m_refs(other.m_refs), m_offset(0), m_size(other.m_size)
{
    m_refs->fetch_add(1, std::memory_order_relaxed);
}

CBuffer& CBuffer::operator=(const CBuffer& other)
{
    if (m_storage == other.m_storage)
        return *this;
    other.m_refs->fetch_add(1, std::memory_order_relaxed);
    Release();
    m_storage = other.m_storage;
    m_refs = other.m_refs;
    m_size = other.m_size;
    m_offset = 0;
    return *this;
}

CBuffer::~CBuffer()
{
    Release();
}

void CBuffer::Release()
{
    if (m_refs != nullptr && m_refs->fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete[] m_storage;
        delete m_refs;
    }
    m_storage = nullptr;
    m_refs = nullptr;
}

CBuffer& CBuffer::operator=(const char* text)
{
    if (text == nullptr)
        text = "";
    const std::size_t length = std::strlen(text);
    if (length < m_size) {
        // memmove: the text may come from this very block.
        std::memmove(m_storage, text, length + 1);
        return *this;
    }
    CBuffer fresh(text, static_cast<unsigned>(length + 1));
    std::swap(m_storage, fresh.m_storage);
    std::swap(m_refs, fresh.m_refs);
    m_size = fresh.m_size;
    m_offset = 0;
    return *this;
}

void CBuffer::Increment(unsigned count)
{
    m_offset += std::min(count, Size());
}

CBuffer& CBuffer::operator+=(unsigned count)
{
    Increment(count);
    return *this;
}

unsigned CBuffer::Strlen() const
{
    return static_cast<unsigned>(::strnlen(m_storage, m_size));
}

void CBuffer::SetStrSize()
{
    m_size = Strlen();
    m_offset = std::min(m_offset, m_size);
}

int CBuffer::operator==(const CBuffer& other) const
{
    return m_storage == other.m_storage ? 1 : 0;
}

void CBuffer::QueueWhereItStands(std::deque<CBuffer>& queue, const CBuffer& buffer)
{
    queue.push_back(buffer);
    queue.back().m_offset = buffer.m_offset;
}

CSendBuffer::CSendBuffer(const CSendBuffer& other) : m_total(other.m_total)
{
    for (const CBuffer& buffer : other.m_buffers)
        CBuffer::QueueWhereItStands(m_buffers, buffer);
}

CSendBuffer& CSendBuffer::operator=(const CSendBuffer& other)
{
    if (this != &other) {
        CSendBuffer copy(other);
        std::swap(m_buffers, copy.m_buffers);
        m_total = copy.m_total;
    }
    return *this;
}

void CSendBuffer::PutData(const CBuffer& buffer)
{
    // An empty buffer would stand at the front with nothing to send.
    if (buffer.Size() == 0)
        return;
    CBuffer::QueueWhereItStands(m_buffers, buffer);
    m_total += buffer.Size();
}

const char* CSendBuffer::GetData() const
{
    return m_buffers.empty() ? nullptr : m_buffers.front().Buffer();
}

unsigned CSendBuffer::GetDataLen() const
{
    return m_buffers.empty() ? 0 : m_buffers.front().Size();
}

void CSendBuffer::RemoveBytes(unsigned count)
{
    while (count > 0 && !m_buffers.empty()) {
        CBuffer& front = m_buffers.front();
        const unsigned taken = std::min(count, front.Size());
        front.Increment(taken);
        count -= taken;
        m_total -= taken;
        if (front.Size() == 0)
            m_buffers.pop_front();
    }
}

int CSendBuffer::GetBufferSize() const
{
    return m_total > static_cast<unsigned long long>(INT_MAX) ? INT_MAX : static_cast<int>(m_total);
}

} // namespace Brindle
