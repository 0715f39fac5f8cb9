// CApplication: the APPLICATION record, who is running where: application
// name ("App"), version ("Ver"), build date ("Built"), host name ("Host")
// and IP address ("IP"), bound by CApplication::OPS in that order.
//
// The constructor with true fills the five from the process identity
// (GetLocalApplicationName ... GetLocalIPAddress); with false all are empty.
// GetDefaultApplicationMsg gives the text form of a message whose header is
// this process's APPLICATION record and which has no further records.
//
// Thread-safety: a plain value, used by one thread at a time.
#pragma once

#include "Brindle/comm/Msg.h"
#include "Brindle/comm/RecordOps.h"

#include <string>

namespace Brindle {

class CApplication {
public:
    static constexpr const char* ID = "APPLICATION";
    static const CRecordOps<CApplication> OPS;

    explicit CApplication(bool fill = true);

    const std::string& GetApplication() const { return m_application; }
    void SetApplication(const std::string& value) { m_application = value; }
    const std::string& GetVersion() const { return m_version; }
    void SetVersion(const std::string& value) { m_version = value; }
    const std::string& GetBuildDate() const { return m_buildDate; }
    void SetBuildDate(const std::string& value) { m_buildDate = value; }
    const std::string& GetHostname() const { return m_hostname; }
    void SetHostname(const std::string& value) { m_hostname = value; }
    const std::string& GetIPAddress() const { return m_ipAddress; }
    void SetIPAddress(const std::string& value) { m_ipAddress = value; }

    // The APPLICATION record of these fields.
    CRec ToRecord() const;
    void FromRecord(const CRec& record) { OPS.Read(*this, record); }

    static std::string GetDefaultApplicationMsg();

    friend bool operator==(const CApplication&, const CApplication&) = default;

private:
    std::string m_application;
    std::string m_version;
    std::string m_buildDate;
    std::string m_hostname;
    std::string m_ipAddress;
};

} // namespace Brindle
