#include "Brindle/comm/Application.h"

#include "Brindle/base/Identity.h"

namespace Brindle {

using Ops = CRecordOps<CApplication>;
const Ops CApplication::OPS{
    Ops::Bind<&CApplication::GetApplication, &CApplication::SetApplication>("App"),
    Ops::Bind<&CApplication::GetVersion, &CApplication::SetVersion>("Ver"),
    Ops::Bind<&CApplication::GetBuildDate, &CApplication::SetBuildDate>("Built"),
    Ops::Bind<&CApplication::GetHostname, &CApplication::SetHostname>("Host"),
    Ops::Bind<&CApplication::GetIPAddress, &CApplication::SetIPAddress>("IP"),
};

CApplication::CApplication(bool fill)
{
    if (!fill)
        return;
    m_application = GetLocalApplicationName();
    m_version = GetLocalVersion();
    m_buildDate = GetLocalBuildDate();
    m_hostname = GetLocalHostname();
    m_ipAddress = GetLocalIPAddress();
}

CRec CApplication::ToRecord() const
{
    CRec record{CVar(ID)};
    OPS.Write(*this, record);
    return record;
}

std::string CApplication::GetDefaultApplicationMsg()
{
    return CMsg(CApplication(true).ToRecord()).build_string();
}

} // namespace Brindle
