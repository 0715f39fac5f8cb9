// CSessionData: a server's record of one client session, as a message
// record (CSessionData::OPS, value ids "0" to "15") and as a database row
// (CSessionData::DBOPS: column name, SQL type and size text per member).
//
// Members in order: SessionId (int), Username, Password, ClientApp,
// ClientHost, ClientIP, ServerApp, ServerHost, ServerIP, SystemSession,
// SessionActive (texts), SessionStart, SessionEnd, LastHeartbeat (long,
// seconds since 1970), NTLoginName (text), Source (int). A new record has
// every number 0 and every text empty.
//
// DBOPS describes the table without depending on the database layer: the
// ODBC type codes (SQL_INTEGER 4, SQL_VARCHAR 12, SQL_TYPE_TIMESTAMP 93), the
// column type names and size texts of a table definition, and a getter and
// setter that move a member as text (times as decimal seconds since 1970;
// the database layer converts them to and from its timestamp values).
// GetCreateTableSQL joins them into a CREATE TABLE statement.
//
// Thread-safety: a plain value, used by one thread at a time; the tables
// are only read.
#pragma once

#include "Brindle/comm/Msg.h"
#include "Brindle/comm/RecordOps.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace Brindle {

class CSessionData;

// One column of the session table.
struct CSessionColumn {
    const char* column;   // column name, also the member name
    short sqlType;        // ODBC SQL type code
    const char* typeName; // type in a table definition
    const char* size;     // size text after the type ("(50)" or "")
    CVar (*get)(const CSessionData&);
    void (*set)(CSessionData&, const CVar&);
};

class CSessionData {
public:
    static constexpr const char* ID = "SessionData";
    static constexpr short SQL_INTEGER_TYPE = 4;
    static constexpr short SQL_VARCHAR_TYPE = 12;
    static constexpr short SQL_TIMESTAMP_TYPE = 93;
    static const CRecordOps<CSessionData> OPS;
    static const std::vector<CSessionColumn> DBOPS;

    CSessionData() = default;

#define BRINDLE_SESSION_MEMBER(Type, Name)                       \
    const Type& get_##Name() const { return m_##Name; }          \
    void set_##Name(const Type& value) { m_##Name = value; }
    BRINDLE_SESSION_MEMBER(int, SessionId)
    BRINDLE_SESSION_MEMBER(std::string, Username)
    BRINDLE_SESSION_MEMBER(std::string, Password)
    BRINDLE_SESSION_MEMBER(std::string, ClientApp)
    BRINDLE_SESSION_MEMBER(std::string, ClientHost)
    BRINDLE_SESSION_MEMBER(std::string, ClientIP)
    BRINDLE_SESSION_MEMBER(std::string, ServerApp)
    BRINDLE_SESSION_MEMBER(std::string, ServerHost)
    BRINDLE_SESSION_MEMBER(std::string, ServerIP)
    BRINDLE_SESSION_MEMBER(std::string, SystemSession)
    BRINDLE_SESSION_MEMBER(std::string, SessionActive)
    BRINDLE_SESSION_MEMBER(long, SessionStart)
    BRINDLE_SESSION_MEMBER(long, SessionEnd)
    BRINDLE_SESSION_MEMBER(long, LastHeartbeat)
    BRINDLE_SESSION_MEMBER(std::string, NTLoginName)
    BRINDLE_SESSION_MEMBER(int, Source)
#undef BRINDLE_SESSION_MEMBER

    CRec ToRecord() const;
    void FromRecord(const CRec& record) { OPS.Read(*this, record); }

    // One line per member: name, " = ", value, line feed.
    void Dump(std::ostream& out) const;
    std::string ToText() const;

    // "CREATE TABLE <table> (SessionId integer, Username varchar(50), ...)".
    static std::string GetCreateTableSQL(const std::string& table);

    friend bool operator==(const CSessionData&, const CSessionData&) = default;

private:
    int m_SessionId = 0;
    std::string m_Username;
    std::string m_Password;
    std::string m_ClientApp;
    std::string m_ClientHost;
    std::string m_ClientIP;
    std::string m_ServerApp;
    std::string m_ServerHost;
    std::string m_ServerIP;
    std::string m_SystemSession;
    std::string m_SessionActive;
    long m_SessionStart = 0;
    long m_SessionEnd = 0;
    long m_LastHeartbeat = 0;
    std::string m_NTLoginName;
    int m_Source = 0;
};

std::ostream& operator<<(std::ostream& out, const CSessionData& session);

} // namespace Brindle
