#include "Brindle/comm/CommWSA.h"

#include <algorithm>

namespace Brindle {

namespace {
unsigned DefaultSize(CCommWSA::WSA_TYPE type)
{
    switch (type) {
    case CCommWSA::WSA_ACCEPT:
        return CCommWSA::AcceptBufferSize;
    case CCommWSA::WSA_CONNECT:
        return CCommWSA::ConnectBufferSize;
    case CCommWSA::WSA_RECEIVE:
        return CCommWSA::ReceiveBufferSize;
    default:
        return 0;
    }
}
} // namespace

CCommWSA::CCommWSA(WSA_TYPE type) : m_type(type), m_buffer(DefaultSize(type))
{
    Describe();
}

CCommWSA::CCommWSA(WSA_TYPE type, const std::string& data) : m_type(type)
{
    SetString(data);
}

CCommWSA::~CCommWSA()
{
    if (m_socket != INVALID_SOCKET)
        closesocket(m_socket);
}

void CCommWSA::Describe()
{
    m_wsabuf.len = m_buffer.GetCapacity();
    m_wsabuf.buf = m_buffer.GetBuffer();
}

std::string CCommWSA::GetString() const
{
    return GetString(m_buffer.GetCapacity());
}

std::string CCommWSA::GetString(unsigned count) const
{
    if (m_buffer.GetBuffer() == nullptr)
        return std::string();
    return std::string(m_buffer.GetBuffer(), std::min(count, m_buffer.GetCapacity()));
}

void CCommWSA::SetString(const std::string& data)
{
    // Binary data: an empty string leaves no array, any other is copied
    // whole (Assign with a count would stop at nothing, the string may hold
    // zero bytes).
    if (data.empty())
        m_buffer.Release();
    else
        m_buffer.Assign(data);
    Describe();
}

void CCommWSA::Release(ULONG_PTR data)
{
    delete reinterpret_cast<CCommWSA*>(data);
}

CCommWSA* CCommWSA::Of(const CRefCountedPtr<CCommOverlapped>& record)
{
    return record.IsNull() ? nullptr : reinterpret_cast<CCommWSA*>(record->GetUserData());
}

void CCommWSA::AttachTo(const CRefCountedPtr<CCommOverlapped>& record)
{
    record->SetUserData(reinterpret_cast<ULONG_PTR>(this), &CCommWSA::Release);
}

} // namespace Brindle
