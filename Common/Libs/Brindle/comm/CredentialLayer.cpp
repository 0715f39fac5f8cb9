#include "Brindle/comm/CredentialLayer.h"

namespace Brindle {

void CCredentialLayer::OnMsg(void* source, const CMsg& msg)
{
    CCredentialCallback* callback = m_callback.load();
    if (callback == nullptr) {
        CallUpMsg(source, msg);
        return;
    }
    const CVar& id = msg.get_header().get_id();
    if (id == CHeartbeat::ID) {
        CHeartbeat heartbeat(0);
        heartbeat.FromRecord(msg.get_header());
        callback->OnHeartbeat(source, heartbeat);
    } else if (id == CApplication::ID) {
        CApplication application(false);
        application.FromRecord(msg.get_header());
        callback->OnApplication(source, application);
    } else if (id == "LOGIN") {
        const auto it = msg.find_record(CCredentials::ID);
        if (it == msg.end())
            return;
        CCredentials credentials;
        credentials.FromRecord(*it);
        callback->OnLogin(source, credentials);
    } else if (id == "LOGOUT") {
        callback->OnLogout(source);
    } else {
        CallUpMsg(source, msg);
    }
}

bool CCredentialLayer::SendLogin(void* source, const CCredentials& credentials)
{
    CMsg msg(CVar("LOGIN"));
    msg.add(credentials.ToRecord());
    return SendMsg(source, msg);
}

bool CCredentialLayer::SendLogout(void* source)
{
    return SendMsg(source, CMsg(CVar("LOGOUT")));
}

} // namespace Brindle
