// COdbcException: an ODBC failure, with the driver manager's result code
// (0 for an exception made from a text alone) and the error text that the
// result check built from the failing handle's diagnostics.
//
// what() reads "Odbc error: " result " msg: " text and a line end.
//
// Thread-safety: a plain value; what() may be called from several threads.
#pragma once

#include <exception>
#include <string>

namespace Brindle {

class COdbcException : public std::exception {
public:
    explicit COdbcException(const std::string& text);
    COdbcException(int result, const std::string& text);

    const char* what() const noexcept override { return m_what.c_str(); }
    int GetResult() const { return m_result; }
    const std::string& GetText() const { return m_text; }

private:
    int m_result;
    std::string m_text;
    std::string m_what;
};

} // namespace Brindle
