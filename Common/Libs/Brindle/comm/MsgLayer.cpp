#include "Brindle/comm/MsgLayer.h"

#include "Brindle/comm/CommLog.h"

namespace Brindle {

CMsgLayer* CMsgLayer::GetUpMsgLayer(void* source)
{
    return dynamic_cast<CMsgLayer*>(GetUpLayer(source));
}

CMsgLayer* CMsgLayer::GetDownMsgLayer(void* source)
{
    return dynamic_cast<CMsgLayer*>(GetDownLayer(source));
}

void CMsgLayer::OnMsg(void* source, const CMsg& msg)
{
    CallUpMsg(source, msg);
}

bool CMsgLayer::SendMsg(void* source, const CMsg& msg)
{
    return CallDownMsg(source, msg);
}

void CMsgLayer::CallUpMsg(void* source, const CMsg& msg)
{
    CMsgLayer* up = GetUpMsgLayer(source);
    if (up == nullptr) {
        CommLog::Write(CommLog::SEVERITY_COMM, "CMsgLayer", "Cannot call up message");
        return;
    }
    try {
        up->OnMsg(source, msg);
    } catch (...) {
        // A fault above must not unwind into the transport.
    }
}

bool CMsgLayer::CallDownMsg(void* source, const CMsg& msg)
{
    CMsgLayer* down = GetDownMsgLayer(source);
    if (down == nullptr) {
        CommLog::Write(CommLog::SEVERITY_COMM, "CMsgLayer", "Cannot call down message");
        return false;
    }
    return down->SendMsg(source, msg);
}

} // namespace Brindle
