#include "Brindle/comm/SessionData.h"

#include <ostream>
#include <sstream>

namespace Brindle {

using Ops = CRecordOps<CSessionData>;
const Ops CSessionData::OPS{
    Ops::Bind<&CSessionData::get_SessionId, &CSessionData::set_SessionId>("0"),
    Ops::Bind<&CSessionData::get_Username, &CSessionData::set_Username>("1"),
    Ops::Bind<&CSessionData::get_Password, &CSessionData::set_Password>("2"),
    Ops::Bind<&CSessionData::get_ClientApp, &CSessionData::set_ClientApp>("3"),
    Ops::Bind<&CSessionData::get_ClientHost, &CSessionData::set_ClientHost>("4"),
    Ops::Bind<&CSessionData::get_ClientIP, &CSessionData::set_ClientIP>("5"),
    Ops::Bind<&CSessionData::get_ServerApp, &CSessionData::set_ServerApp>("6"),
    Ops::Bind<&CSessionData::get_ServerHost, &CSessionData::set_ServerHost>("7"),
    Ops::Bind<&CSessionData::get_ServerIP, &CSessionData::set_ServerIP>("8"),
    Ops::Bind<&CSessionData::get_SystemSession, &CSessionData::set_SystemSession>("9"),
    Ops::Bind<&CSessionData::get_SessionActive, &CSessionData::set_SessionActive>("10"),
    Ops::Bind<&CSessionData::get_SessionStart, &CSessionData::set_SessionStart>("11"),
    Ops::Bind<&CSessionData::get_SessionEnd, &CSessionData::set_SessionEnd>("12"),
    Ops::Bind<&CSessionData::get_LastHeartbeat, &CSessionData::set_LastHeartbeat>("13"),
    Ops::Bind<&CSessionData::get_NTLoginName, &CSessionData::set_NTLoginName>("14"),
    Ops::Bind<&CSessionData::get_Source, &CSessionData::set_Source>("15"),
};

namespace {

// The column of a member: its name, type and the binding of OPS for it.
CSessionColumn Column(const char* name, short type, std::size_t binding)
{
    const char* typeName = type == CSessionData::SQL_INTEGER_TYPE   ? "integer"
                           : type == CSessionData::SQL_VARCHAR_TYPE ? "varchar"
                                                                    : "timestamp";
    const auto& b = CSessionData::OPS.GetBindings()[binding];
    return CSessionColumn{name, type, typeName, type == CSessionData::SQL_VARCHAR_TYPE ? "(50)" : "", b.get, b.set};
}

} // namespace

const std::vector<CSessionColumn> CSessionData::DBOPS = [] {
    const short I = SQL_INTEGER_TYPE, V = SQL_VARCHAR_TYPE, T = SQL_TIMESTAMP_TYPE;
    const char* names[] = {"SessionId",     "Username",      "Password",   "ClientApp",    "ClientHost", "ClientIP",
                           "ServerApp",     "ServerHost",    "ServerIP",   "SystemSession", "SessionActive",
                           "SessionStart",  "SessionEnd",    "LastHeartbeat", "NTLoginName", "Source"};
    const short types[] = {I, V, V, V, V, V, V, V, V, V, V, T, T, T, V, I};
    std::vector<CSessionColumn> columns;
    for (std::size_t i = 0; i < 16; ++i)
        columns.push_back(Column(names[i], types[i], i));
    return columns;
}();

CRec CSessionData::ToRecord() const
{
    CRec record{CVar(ID)};
    OPS.Write(*this, record);
    return record;
}

void CSessionData::Dump(std::ostream& out) const
{
    for (const CSessionColumn& column : DBOPS)
        out << column.column << " = " << column.get(*this).get_value() << '\n';
}

std::string CSessionData::ToText() const
{
    std::ostringstream out;
    Dump(out);
    return out.str();
}

std::string CSessionData::GetCreateTableSQL(const std::string& table)
{
    std::string sql = "CREATE TABLE " + table + " (";
    for (std::size_t i = 0; i < DBOPS.size(); ++i) {
        if (i > 0)
            sql += ", ";
        sql += DBOPS[i].column;
        sql += ' ';
        sql += DBOPS[i].typeName;
        sql += DBOPS[i].size;
    }
    return sql + ")";
}

std::ostream& operator<<(std::ostream& out, const CSessionData& session)
{
    session.Dump(out);
    return out;
}

} // namespace Brindle
