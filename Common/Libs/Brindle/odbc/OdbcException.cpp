#include "Brindle/odbc/OdbcException.h"

namespace Brindle {

COdbcException::COdbcException(const std::string& text) : COdbcException(0, text) {}

COdbcException::COdbcException(int result, const std::string& text)
    : m_result(result), m_text(text), m_what("Odbc error: " + std::to_string(result) + " msg: " + text + "\n")
{
}

} // namespace Brindle
