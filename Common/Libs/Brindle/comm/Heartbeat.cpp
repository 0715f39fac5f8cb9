#include "Brindle/comm/Heartbeat.h"

#include "Brindle/base/Timestamp.h"
#include "Brindle/comm/Application.h"

namespace Brindle {

using Ops = CRecordOps<CHeartbeat>;
const Ops CHeartbeat::OPS{
    Ops::Bind<&CHeartbeat::GetTimestamp, &CHeartbeat::SetTimestamp>("Date"),
    Ops::Bind<&CHeartbeat::GetCounter, &CHeartbeat::SetCounter>("Count"),
    Ops::Bind<&CHeartbeat::GetResponseRequested, &CHeartbeat::SetResponseRequested>("Resp"),
};

CHeartbeat::CHeartbeat(unsigned counter, int responseRequested)
    : m_counter(counter), m_responseRequested(responseRequested)
{
    if (counter != 0)
        m_timestamp = CTimestamp().FormatISO();
}

CRec CHeartbeat::ToRecord() const
{
    CRec record{CVar(ID)};
    OPS.Write(*this, record);
    return record;
}

std::string CHeartbeat::GetDefaultHeartbeatMsg(const std::string& timestamp, unsigned counter)
{
    CMsg msg(CHeartbeat(timestamp, counter, 0).ToRecord());
    msg.add(CApplication(true).ToRecord());
    return msg.build_string();
}

std::string CHeartbeat::GetDefaultHeartbeatMsg(unsigned counter)
{
    return GetDefaultHeartbeatMsg(CTimestamp().FormatISO(), counter);
}

} // namespace Brindle
