#include "zphsource/SocketSource.h"

#include "zph/Codec.h"
#include "protocol/FieldIds.h"

namespace ZPH {

using namespace ZPHWire;

namespace {
constexpr int CONNECT_TIMEOUT_MS = 10000;

std::string Address(const std::string& host, int port, bool secure)
{
    return host + ":" + std::to_string(port) + (secure ? " (TLS)" : "");
}
} // namespace

CSocketSource::CSocketSource(SourceHost& host, int role) : ZPHSource(host, SOURCE_SOCKET, role) {}

CSocketSource::~CSocketSource() { Disconnect(); }

std::unique_ptr<ZPHLink::Link> CSocketSource::OpenLink(const SourceSettings& settings, ZPHLink::Waker& waker,
                                                       std::string& error)
{
    ZPHLink::TlsOptions tls{settings.socketSecure, settings.socketCaFile};
    return ZPHLink::ConnectTcp(settings.socketHost, settings.socketPort, tls, waker, CONNECT_TIMEOUT_MS, error);
}

std::string CSocketSource::Describe(const SourceSettings& settings) const
{
    return Address(settings.socketHost, settings.socketPort, settings.socketSecure);
}

CDatabaseSource::CDatabaseSource(SourceHost& host, int role) : ZPHSource(host, SOURCE_DATABASE, role) {}

CDatabaseSource::~CDatabaseSource() { Disconnect(); }

std::unique_ptr<ZPHLink::Link> CDatabaseSource::OpenLink(const SourceSettings& settings, ZPHLink::Waker& waker,
                                                         std::string& error)
{
    ZPHLink::TlsOptions tls{settings.dbSecure, settings.dbCaFile};
    return ZPHLink::ConnectTcp(settings.dbHost, settings.dbPort, tls, waker, CONNECT_TIMEOUT_MS, error);
}

std::string CDatabaseSource::Describe(const SourceSettings& settings) const
{
    return (settings.dbUser.empty() ? std::string() : settings.dbUser + "@") +
           Address(settings.dbHost, settings.dbPort, settings.dbSecure);
}

void CDatabaseSource::AddLoginFields(ZPHMessage& login, const std::string& nonce, const SourceSettings& settings)
{
    const std::string user = settings.dbUser.empty() ? std::string(m_host.SourceUserName()) : settings.dbUser;
    login.AddField(F_USER, user);
    login.AddField(F_PASSWORD_PROOF, LoginProof(nonce, user, settings.dbPassword));
}

} // namespace ZPH
