#include "Brindle/comm/CommObject.h"

#include "Brindle/comm/CommLog.h"

namespace Brindle {

CCommObject::~CCommObject()
{
    StopCompletions();
}

void CCommObject::StopCompletions()
{
    // Set first: a record made from now on has no owner.
    m_stopped.store(true, std::memory_order_release);
    m_iocp.RemoveOwner(this);
}

bool CCommObject::Close()
{
    return false;
}

bool CCommObject::Send(const std::string& /*data*/)
{
    return false;
}

bool CCommObject::SendData(void* source, const std::string& data)
{
    if (source != GetSource()) {
        CommLog::Write(CommLog::SEVERITY_COMM, "CCommObject", "Cannot send data");
        return false;
    }
    return Send(data);
}

} // namespace Brindle
