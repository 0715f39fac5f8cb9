#include "Brindle/odbc/OdbcValues.h"

#include "Brindle/comm/NumberText.h"
#include "Brindle/odbc/OdbcDateTime.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace Brindle {

namespace {

// Unbound text cells start with this much room and grow to the cell.
constexpr std::size_t FirstReadBytes = 256;

template <typename T>
std::string NumberToText(T value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// A double to an integer type: truncated toward zero, saturated, NaN is 0.
template <typename T>
T SaturateDouble(double value)
{
    if (std::isnan(value))
        return 0;
    if (value <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (value >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

template <typename T>
T SaturateLong(long value)
{
    if (value < static_cast<long>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (value > static_cast<long>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

} // namespace

// ---- COdbcText ---------------------------------------------------------------

COdbcText::COdbcText(short sqlType, std::size_t bytes) : COdbcValue(sqlType, SQL_C_CHAR)
{
    m_unbound = bytes == 0 || bytes > MaxBoundBytes;
    m_buffer.assign(m_unbound ? FirstReadBytes : bytes, '\0');
}

COdbcText::COdbcText(short sqlType, const char* text) : COdbcValue(sqlType, SQL_C_CHAR)
{
    SetString(text);
}

COdbcText::COdbcText(short sqlType, const std::string& text) : COdbcValue(sqlType, SQL_C_CHAR)
{
    SetStdString(text);
}

int COdbcText::BindColumn(void* statement, short column)
{
    if (m_unbound)
        return SQL_SUCCESS;
    return SQLBindCol(statement, static_cast<SQLUSMALLINT>(column), SQL_C_CHAR, m_buffer.data(),
                      static_cast<SQLLEN>(m_buffer.size() + 1), &m_length);
}

unsigned long COdbcText::ParamColumnSize() const
{
    return std::max<std::size_t>(TextLength(), 1);
}

int COdbcText::BindParam(void* statement, short parameter)
{
    if (IsNull())
        return SQLBindParameter(statement, static_cast<SQLUSMALLINT>(parameter), SQL_PARAM_INPUT, SQL_C_CHAR,
                                m_sqlType, 255, 0, nullptr, 0, &m_length);
    return SQLBindParameter(statement, static_cast<SQLUSMALLINT>(parameter), SQL_PARAM_INPUT, SQL_C_CHAR, m_sqlType,
                            ParamColumnSize(), ParamDecimalDigits(), m_buffer.data(),
                            static_cast<SQLLEN>(m_buffer.size() + 1), &m_length);
}

std::size_t COdbcText::TextLength() const
{
    if (IsNull())
        return 0;
    if (m_length >= 0)
        return std::min<std::size_t>(static_cast<std::size_t>(m_length), GetCapacity());
    return std::strlen(m_buffer.data());
}

std::string COdbcText::GetStdString() const
{
    return std::string(m_buffer.data(), TextLength());
}

const char* COdbcText::GetString() const
{
    return IsNull() ? "" : m_buffer.data();
}

int COdbcText::GetInt() const
{
    return NumberText::ToInt(GetStdString());
}

long COdbcText::GetLong() const
{
    return NumberText::ToLong(GetStdString());
}

double COdbcText::GetDouble() const
{
    return NumberText::ToDouble(GetStdString());
}

bool COdbcText::GetBool() const
{
    if (IsNull())
        return false;
    const char first = m_buffer[0];
    return first == 't' || first == 'T' || first == 'y' || first == 'Y' || GetDouble() != 0.0;
}

TIMESTAMP_STRUCT COdbcText::GetTimestamp() const
{
    TIMESTAMP_STRUCT value{};
    COdbcDateTime::ParseText(GetStdString(), value);
    return value;
}

tm COdbcText::GetTm() const
{
    COdbcDateTime date(GetTimestamp());
    return date.GetTm();
}

void COdbcText::SetString(const char* text)
{
    if (text == nullptr) {
        SetNull();
        return;
    }
    m_buffer.assign(text);
    m_length = NTS;
}

void COdbcText::SetStdString(const std::string& text)
{
    m_buffer = text;
    // A text with NUL bytes in it travels by its length, so nothing is lost.
    m_length = text.find('\0') == std::string::npos ? NTS : static_cast<long>(text.size());
}

void COdbcText::SetInt(int value)
{
    SetStdString(NumberToText(value));
}

void COdbcText::SetLong(long value)
{
    SetStdString(NumberToText(value));
}

void COdbcText::SetDouble(double value)
{
    SetStdString(std::isfinite(value) ? NumberToText(value) : std::string("0"));
}

void COdbcText::SetBool(bool value)
{
    SetStdString(value ? "1" : "0");
}

void COdbcText::SetTimestamp(const TIMESTAMP_STRUCT& value)
{
    SetStdString(COdbcDateTime::FormatText(value));
}

void COdbcText::SetTm(const tm* value)
{
    if (value == nullptr) {
        SetNull();
        return;
    }
    COdbcDateTime date;
    date.SetTm(value);
    SetTimestamp(date.GetTimestamp());
}

int COdbcText::ReadRest(void* statement, short column)
{
    if (m_unbound || m_length == SQL_NO_TOTAL || m_length > static_cast<long>(GetCapacity()))
        return ReadWhole(statement, column);
    return SQL_SUCCESS;
}

void COdbcText::FitToText()
{
    const std::size_t length = TextLength();
    if (m_buffer.size() > 4 * length) {
        m_buffer.resize(length);
        m_buffer.shrink_to_fit();
    }
}

int COdbcText::ReadWhole(void* statement, short column)
{
    // A cell cut at the fetch said how long it is: make room for all of it.
    if (m_length > static_cast<long>(m_buffer.size()))
        m_buffer.assign(static_cast<std::size_t>(m_length), '\0');
    else if (m_buffer.size() < FirstReadBytes)
        m_buffer.assign(FirstReadBytes, '\0');
    std::size_t got = 0;
    for (;;) {
        const std::size_t room = m_buffer.size() - got + 1; // with the NUL the driver writes
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(statement, static_cast<SQLUSMALLINT>(column), SQL_C_CHAR,
                                        m_buffer.data() + got, static_cast<SQLLEN>(room), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            return rc;
        if (indicator == SQL_NULL_DATA) {
            m_buffer.clear();
            m_length = SQL_NULL_DATA;
            return SQL_SUCCESS;
        }
        if (indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) < room) {
            got += static_cast<std::size_t>(indicator);
            break;
        }
        // Cut again: keep what came and grow for the rest.
        got = m_buffer.size();
        const std::size_t need = indicator == SQL_NO_TOTAL ? m_buffer.size() * 2
                                                            : got + (static_cast<std::size_t>(indicator) - (room - 1));
        m_buffer.resize(std::max(need, m_buffer.size() + 1), '\0');
    }
    m_buffer.resize(got);
    m_length = static_cast<long>(got);
    return SQL_SUCCESS;
}

// ---- COdbcNumeric -----------------------------------------------------------

unsigned long COdbcNumeric::ParamColumnSize() const
{
    const std::string text = GetStdString();
    const auto digits = std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    return std::max<unsigned long>(static_cast<unsigned long>(digits), 1);
}

short COdbcNumeric::ParamDecimalDigits() const
{
    const std::string text = GetStdString();
    const std::size_t point = text.find('.');
    if (point == std::string::npos)
        return 0;
    std::size_t digits = 0;
    for (std::size_t i = point + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        ++digits;
    return static_cast<short>(std::min<std::size_t>(digits, 1000));
}

// ---- numbers ----------------------------------------------------------------

template <typename T>
int COdbcNumber<T>::BindColumn(void* statement, short column)
{
    return SQLBindCol(statement, static_cast<SQLUSMALLINT>(column), m_cType, &m_value, sizeof(T), &m_length);
}

template <typename T>
int COdbcNumber<T>::BindParam(void* statement, short parameter)
{
    return SQLBindParameter(statement, static_cast<SQLUSMALLINT>(parameter), SQL_PARAM_INPUT, m_cType, m_sqlType,
                            m_paramSize, 0, IsNull() ? nullptr : &m_value, 0, &m_length);
}

template <typename T>
std::string COdbcNumber<T>::GetStdString() const
{
    if (IsNull())
        return std::string();
    if constexpr (std::is_integral_v<T>)
        return NumberToText(static_cast<long>(m_value));
    else
        return NumberToText(m_value);
}

template <typename T>
const char* COdbcNumber<T>::GetString() const
{
    if (!m_text)
        m_text = std::make_unique<std::string>();
    *m_text = GetStdString();
    return m_text->c_str();
}

template <typename T>
int COdbcNumber<T>::GetInt() const
{
    if constexpr (std::is_integral_v<T>)
        return SaturateLong<int>(static_cast<long>(GetValue()));
    else
        return SaturateDouble<int>(GetValue());
}

template <typename T>
long COdbcNumber<T>::GetLong() const
{
    if constexpr (std::is_integral_v<T>)
        return static_cast<long>(GetValue());
    else
        return SaturateDouble<long>(GetValue());
}

template <typename T>
double COdbcNumber<T>::GetDouble() const
{
    return static_cast<double>(GetValue());
}

template <typename T>
bool COdbcNumber<T>::GetBool() const
{
    return GetValue() != 0;
}

template <typename T>
void COdbcNumber<T>::SetString(const char* text)
{
    if (text == nullptr)
        SetNull();
    else
        SetStdString(text);
}

template <typename T>
void COdbcNumber<T>::SetStdString(const std::string& text)
{
    if constexpr (std::is_integral_v<T>)
        SetLong(NumberText::ToLong(text));
    else
        SetDouble(NumberText::ToDouble(text));
}

template <typename T>
void COdbcNumber<T>::SetLong(long value)
{
    if constexpr (std::is_integral_v<T>)
        Store(SaturateLong<T>(value));
    else
        Store(static_cast<T>(value));
}

template <typename T>
void COdbcNumber<T>::SetDouble(double value)
{
    if constexpr (std::is_integral_v<T>)
        Store(SaturateDouble<T>(value));
    else
        Store(static_cast<T>(value));
}

template <typename T>
void COdbcNumber<T>::Store(T value)
{
    m_value = value;
    m_length = sizeof(T);
}

template class COdbcNumber<std::uint8_t>;
template class COdbcNumber<std::int16_t>;
template class COdbcNumber<std::int32_t>;
template class COdbcNumber<float>;
template class COdbcNumber<double>;

COdbcBit::COdbcBit() : COdbcNumber(SQL_BIT, SQL_C_BIT, 1) {}

void COdbcBit::SetLong(long value)
{
    Store(value != 0 ? 1 : 0);
}

void COdbcBit::SetDouble(double value)
{
    Store(value != 0.0 && !std::isnan(value) ? 1 : 0);
}

COdbcInt::COdbcInt() : COdbcNumber(SQL_INTEGER, SQL_C_SLONG, 10) {}
COdbcSmallInt::COdbcSmallInt() : COdbcNumber(SQL_SMALLINT, SQL_C_SSHORT, 5) {}
COdbcFloat::COdbcFloat() : COdbcNumber(SQL_FLOAT, SQL_C_DOUBLE, 15) {}
COdbcReal::COdbcReal() : COdbcNumber(SQL_REAL, SQL_C_FLOAT, 7) {}
COdbcDouble::COdbcDouble() : COdbcNumber(SQL_DOUBLE, SQL_C_DOUBLE, 15) {}

} // namespace Brindle
