#include "Brindle/comm/MsgTrace.h"

#include <ostream>

namespace Brindle {

void CMsgTrace::Write(const char* what, void* source, const CMsg* msg)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_out << what << source << '\n';
    if (msg != nullptr)
        msg->print(m_out);
    m_out.flush();
}

void CMsgTrace::OnOpen(void* source)
{
    Write("OnOpen: ", source, nullptr);
}

void CMsgTrace::OnClose(void* source)
{
    Write("OnClose: ", source, nullptr);
}

void CMsgTrace::OnMsg(void* source, const CMsg& msg)
{
    Write("OnMsg: ", source, &msg);
}

bool CMsgTrace::SendMsg(void* source, const CMsg& msg)
{
    Write("SendMsg: ", source, &msg);
    return CallDownMsg(source, msg);
}

} // namespace Brindle
