#include "Brindle/comm/Credentials.h"

#include "Brindle/base/Identity.h"

#include <ostream>

namespace Brindle {

using Ops = CRecordOps<CCredentials>;
const Ops CCredentials::OPS{
    Ops::Bind<&CCredentials::get_session_id, &CCredentials::set_session_id>("0"),
    Ops::Bind<&CCredentials::get_username, &CCredentials::set_username>("1"),
    Ops::Bind<&CCredentials::get_password, &CCredentials::set_password>("2"),
    Ops::Bind<&CCredentials::get_hostname, &CCredentials::set_hostname>("3"),
    Ops::Bind<&CCredentials::get_ip_address, &CCredentials::set_ip_address>("4"),
    Ops::Bind<&CCredentials::get_application, &CCredentials::set_application>("5"),
    Ops::Bind<&CCredentials::get_application_code, &CCredentials::set_application_code>("6"),
    Ops::Bind<&CCredentials::get_extra, &CCredentials::set_extra>("7"),
    Ops::Bind<&CCredentials::get_version, &CCredentials::set_version>("8"),
    Ops::Bind<&CCredentials::get_login_name, &CCredentials::set_login_name>("9"),
    Ops::Bind<&CCredentials::get_build_date, &CCredentials::set_build_date>("10"),
};

void CCredentials::Initialize()
{
    Reset();
    m_hostname = GetLocalHostname();
    m_ipAddress = GetLocalIPAddress();
    m_application = GetLocalApplicationName();
    m_version = GetLocalVersion();
    m_loginName = GetLocalLoginName();
    m_buildDate = GetLocalBuildDate();
}

CRec CCredentials::ToRecord() const
{
    CRec record{CVar(ID)};
    OPS.Write(*this, record);
    return record;
}

bool operator==(const CCredentials& a, const CCredentials& b)
{
    if (a.get_username().empty() || b.get_username().empty())
        return false;
    return a.get_session_id() == b.get_session_id() && a.get_username() == b.get_username() &&
           a.get_password() == b.get_password() && a.get_hostname() == b.get_hostname() &&
           a.get_ip_address() == b.get_ip_address();
}

std::ostream& operator<<(std::ostream& out, const CCredentials& c)
{
    out << "Credentials - Application: " << c.get_application() << " Version: " << c.get_version()
        << " Build Date: " << c.get_build_date() << '\n';
    out << "              Login: " << c.get_login_name() << " Hostname: " << c.get_hostname()
        << " IP: " << c.get_ip_address() << '\n';
    out << "              Session: " << c.get_session_id() << " Username: " << c.get_username()
        << " Password: " << c.get_password() << '\n';
    return out;
}

} // namespace Brindle
