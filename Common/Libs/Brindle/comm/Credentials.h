// CCredentials: the "Credentials" record a client logs in with. Every member
// is a text; value ids "0" to "10", bound by CCredentials::OPS in order:
// session id, username, password, host name, IP address, application,
// application code, a further text the library neither sets nor reads,
// version, login name (the operating-system user), build date.
//
// Initialize empties every member and then fills host name, IP address,
// application, version, login name and build date from the process
// identity. Two credentials are equal when neither username is empty and
// session id, username, password, host name and IP address all match.
// Stream output writes three lines (application, login, session) that show
// the password as it is: keep that output out of shared logs.
//
// Thread-safety: a plain value, used by one thread at a time.
#pragma once

#include "Brindle/comm/Msg.h"
#include "Brindle/comm/RecordOps.h"

#include <iosfwd>
#include <string>

namespace Brindle {

class CCredentials {
public:
    static constexpr const char* ID = "Credentials";
    static const CRecordOps<CCredentials> OPS;

    CCredentials() = default;

    // Empties every member.
    void Reset() { *this = CCredentials(); }
    // Empties every member, then takes the process identity.
    void Initialize();

    const std::string& get_session_id() const { return m_sessionId; }
    void set_session_id(const std::string& v) { m_sessionId = v; }
    const std::string& get_username() const { return m_username; }
    void set_username(const std::string& v) { m_username = v; }
    const std::string& get_password() const { return m_password; }
    void set_password(const std::string& v) { m_password = v; }
    const std::string& get_hostname() const { return m_hostname; }
    void set_hostname(const std::string& v) { m_hostname = v; }
    const std::string& get_ip_address() const { return m_ipAddress; }
    void set_ip_address(const std::string& v) { m_ipAddress = v; }
    const std::string& get_application() const { return m_application; }
    void set_application(const std::string& v) { m_application = v; }
    const std::string& get_application_code() const { return m_applicationCode; }
    void set_application_code(const std::string& v) { m_applicationCode = v; }
    const std::string& get_extra() const { return m_extra; }
    void set_extra(const std::string& v) { m_extra = v; }
    const std::string& get_version() const { return m_version; }
    void set_version(const std::string& v) { m_version = v; }
    const std::string& get_login_name() const { return m_loginName; }
    void set_login_name(const std::string& v) { m_loginName = v; }
    const std::string& get_build_date() const { return m_buildDate; }
    void set_build_date(const std::string& v) { m_buildDate = v; }

    // The "Credentials" record of these members.
    CRec ToRecord() const;
    void FromRecord(const CRec& record) { OPS.Read(*this, record); }

private:
    std::string m_sessionId;
    std::string m_username;
    std::string m_password;
    std::string m_hostname;
    std::string m_ipAddress;
    std::string m_application;
    std::string m_applicationCode;
    std::string m_extra;
    std::string m_version;
    std::string m_loginName;
    std::string m_buildDate;
};

bool operator==(const CCredentials& a, const CCredentials& b);
std::ostream& operator<<(std::ostream& out, const CCredentials& credentials);

} // namespace Brindle
