// Where the PostgreSQL test server is: scripts/test.sh and scripts/pgtest.sh
// start a private one and name it in BRINDLE_PG_HOST (its socket directory),
// BRINDLE_PG_PORT, BRINDLE_PG_USER and BRINDLE_PG_DATABASE.
#pragma once

#include <cstdlib>
#include <string>

namespace testsupport {

inline const char* const kNoPostgres =
    "PostgreSQL test server not set up (BRINDLE_PG_HOST/BRINDLE_PG_PORT unset): "
    "run through scripts/test.sh, or scripts/pgtest.sh <program>";

inline bool HavePostgres()
{
    return std::getenv("BRINDLE_PG_HOST") != nullptr && std::getenv("BRINDLE_PG_PORT") != nullptr;
}

inline std::string PostgresSetting(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    return value != nullptr ? value : fallback;
}

// The ODBC connection text for the "PostgreSQL Unicode" driver, or empty.
inline std::string PostgresOdbcConnection(const std::string& extra = std::string())
{
    if (!HavePostgres())
        return std::string();
    return "DRIVER={PostgreSQL Unicode};Servername=" + PostgresSetting("BRINDLE_PG_HOST", "") +
           ";Port=" + PostgresSetting("BRINDLE_PG_PORT", "") +
           ";Database=" + PostgresSetting("BRINDLE_PG_DATABASE", "postgres") +
           ";UID=" + PostgresSetting("BRINDLE_PG_USER", "postgres") + ";" + extra;
}

// The libpq connection text, or empty.
inline std::string PostgresConninfo()
{
    if (!HavePostgres())
        return std::string();
    return "host=" + PostgresSetting("BRINDLE_PG_HOST", "") + " port=" + PostgresSetting("BRINDLE_PG_PORT", "") +
           " dbname=" + PostgresSetting("BRINDLE_PG_DATABASE", "postgres") +
           " user=" + PostgresSetting("BRINDLE_PG_USER", "postgres");
}

} // namespace testsupport
