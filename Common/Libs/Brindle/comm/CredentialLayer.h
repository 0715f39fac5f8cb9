// CCredentialLayer: a message layer that turns login, logout, heartbeat and
// application messages into calls on a CCredentialCallback, and sends
// logins and logouts.
//
// Received, with a callback set (without one everything passes up):
//   "HEARTBEAT"   header values read into a CHeartbeat -> OnHeartbeat
//   "APPLICATION" header values read into a CApplication -> OnApplication
//   "LOGIN"       its "Credentials" record read into CCredentials -> OnLogin
//                 (a LOGIN without that record is dropped)
//   "LOGOUT"      -> OnLogout
//   anything else passes up. Messages handed to the callback go no further.
// SendLogin sends "LOGIN" with one "Credentials" record; SendLogout an
// empty "LOGOUT"; both through this layer's SendMsg, with its result.
//
// Thread-safety: the callback is called on the worker that delivered the
// message; it is set once at set-up and must outlive the layer's use.
#pragma once

#include "Brindle/comm/Application.h"
#include "Brindle/comm/Credentials.h"
#include "Brindle/comm/Heartbeat.h"
#include "Brindle/comm/MsgLayer.h"

#include <atomic>

namespace Brindle {

class CCredentialCallback {
public:
    virtual ~CCredentialCallback() = default;
    virtual void OnLogin(void* /*source*/, const CCredentials& /*credentials*/) {}
    virtual void OnLogout(void* /*source*/) {}
    virtual void OnHeartbeat(void* /*source*/, const CHeartbeat& /*heartbeat*/) {}
    virtual void OnApplication(void* /*source*/, const CApplication& /*application*/) {}
};

class CCredentialLayer : public CMsgLayer {
public:
    CCredentialLayer() = default;

    void SetCallback(CCredentialCallback* callback) { m_callback = callback; }

    void OnMsg(void* source, const CMsg& msg) override;
    virtual bool SendLogin(void* source, const CCredentials& credentials);
    virtual bool SendLogout(void* source);

private:
    std::atomic<CCredentialCallback*> m_callback{nullptr};
};

} // namespace Brindle
