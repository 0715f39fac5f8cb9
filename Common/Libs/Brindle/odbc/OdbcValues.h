// The typed value classes of result cells and parameters.
//
// Text family (COdbcText and its named kinds): the text in a byte buffer
// that always ends in a NUL. A column value is sized in bytes from the
// driver's octet length and column size (so UTF-8 is never cut); a cell
// that did not fit is read whole with SQLGetData after the fetch, and a
// column too wide to bind sensibly (long texts) is not bound at all but read
// after every fetch. Texts set by the caller are kept whole, whatever their
// length. Numbers in text (numeric, decimal, big integers) read and write
// in the C locale, whatever the process locale.
//
// Number family: bit (one byte), 32- and 16-bit integers, float, real and
// double, bound as their own C types. Setting a number out of the type's
// range saturates; a bit is 0 or 1.
//
// Thread-safety: none (see OdbcValue.h).
#pragma once

#include "Brindle/odbc/OdbcValue.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Brindle {

class COdbcText : public COdbcValue {
public:
    // Columns whose width passes this are read after the fetch, not bound.
    static constexpr std::size_t MaxBoundBytes = 2048;

    // A column value with room for `bytes` bytes of text.
    COdbcText(short sqlType, std::size_t bytes);
    // A parameter holding the text (a null pointer gives NULL).
    COdbcText(short sqlType, const char* text);
    COdbcText(short sqlType, const std::string& text);

    int BindColumn(void* statement, short column) override;
    int BindParam(void* statement, short parameter) override;
    std::string GetStdString() const override;
    const char* GetString() const override;
    int GetInt() const override;
    long GetLong() const override;
    double GetDouble() const override;
    bool GetBool() const override;
    TIMESTAMP_STRUCT GetTimestamp() const override;
    tm GetTm() const override;
    void SetString(const char* text) override;
    void SetStdString(const std::string& text) override;
    void SetInt(int value) override;
    void SetLong(long value) override;
    void SetDouble(double value) override;
    void SetBool(bool value) override;
    void SetTimestamp(const TIMESTAMP_STRUCT& value) override;
    void SetTm(const tm* value) override;
    int ReadRest(void* statement, short column) override;

    // true for a column that is read after each fetch instead of bound.
    bool ReadsAfterFetch() const { return m_unbound; }
    // Buffers wider than this give back the room their cell did not use
    // once fetched, so a result of wide, short cells stays small.
    static constexpr std::size_t FitAboveBytes = 256;
    bool FitsAfterFetch() const { return !m_unbound && m_buffer.size() > FitAboveBytes; }
    // Lets go of the room the text does not need (the value is no longer
    // bound afterwards).
    void FitToText();
    // Bytes of text the buffer holds room for.
    std::size_t GetCapacity() const { return m_buffer.size(); }

protected:
    // The column size that BindParam gives the driver.
    virtual unsigned long ParamColumnSize() const;
    virtual short ParamDecimalDigits() const { return 0; }
    std::size_t TextLength() const;
    // Reads the whole cell with SQLGetData into the buffer.
    int ReadWhole(void* statement, short column);

    // The room for the text; the driver's NUL goes into the string's own
    // terminator, so the byte after the text is always NUL.
    std::string m_buffer;
    bool m_unbound = false;
};

class COdbcChar : public COdbcText {
public:
    explicit COdbcChar(std::size_t bytes = 255) : COdbcText(1, bytes) {}
    explicit COdbcChar(const char* text) : COdbcText(1, text) {}
    explicit COdbcChar(const std::string& text) : COdbcText(1, text) {}
};

class COdbcVarChar : public COdbcText {
public:
    explicit COdbcVarChar(std::size_t bytes = 255) : COdbcText(12, bytes) {}
    explicit COdbcVarChar(const char* text) : COdbcText(12, text) {}
    explicit COdbcVarChar(const std::string& text) : COdbcText(12, text) {}
};

// An exact number kept as its decimal text (64 bytes bound; longer numbers
// are read whole as any text).
class COdbcNumeric : public COdbcText {
public:
    static constexpr std::size_t NumberBytes = 64;

    COdbcNumeric() : COdbcNumeric(Kind{2}) {}
    explicit COdbcNumeric(int value) : COdbcNumeric(Kind{2}) { SetLong(value); }
    explicit COdbcNumeric(long value) : COdbcNumeric(Kind{2}) { SetLong(value); }
    explicit COdbcNumeric(const char* text) : COdbcNumeric(Kind{2}) { SetString(text); }

protected:
    // The SQL type of a kind of number kept as text.
    struct Kind {
        short sqlType;
    };
    explicit COdbcNumeric(Kind kind) : COdbcText(kind.sqlType, NumberBytes) {}
    unsigned long ParamColumnSize() const override;
    short ParamDecimalDigits() const override;
};

class COdbcDecimal : public COdbcNumeric {
public:
    COdbcDecimal() : COdbcNumeric(Kind{3}) {}
    explicit COdbcDecimal(int value) : COdbcNumeric(Kind{3}) { SetLong(value); }
    explicit COdbcDecimal(long value) : COdbcNumeric(Kind{3}) { SetLong(value); }
    explicit COdbcDecimal(const char* text) : COdbcNumeric(Kind{3}) { SetString(text); }
};

// A 64-bit integer column (SQL_BIGINT), read as text so that no driver's
// conversion can cut it; GetLong gives the whole value.
class COdbcBigInt : public COdbcNumeric {
public:
    COdbcBigInt() : COdbcNumeric(Kind{-5}) {}
    explicit COdbcBigInt(long value) : COdbcNumeric(Kind{-5}) { SetLong(value); }

protected:
    unsigned long ParamColumnSize() const override { return 19; }
    short ParamDecimalDigits() const override { return 0; }
};

// A number bound as its own C type T.
template <typename T>
class COdbcNumber : public COdbcValue {
public:
    int BindColumn(void* statement, short column) override;
    int BindParam(void* statement, short parameter) override;
    std::string GetStdString() const override;
    const char* GetString() const override;
    int GetInt() const override;
    long GetLong() const override;
    double GetDouble() const override;
    bool GetBool() const override;
    void SetString(const char* text) override;
    void SetStdString(const std::string& text) override;
    void SetInt(int value) override { SetLong(value); }
    void SetLong(long value) override;
    void SetDouble(double value) override;
    void SetBool(bool value) override { SetLong(value ? 1 : 0); }

    T GetValue() const { return IsNull() ? T{} : m_value; }

protected:
    COdbcNumber(short sqlType, short cType, std::uint8_t paramSize)
        : COdbcValue(sqlType, cType), m_paramSize(paramSize)
    {
    }
    // A copy has its own text, made when asked for.
    COdbcNumber(const COdbcNumber& other) : COdbcValue(other), m_value(other.m_value), m_paramSize(other.m_paramSize) {}
    COdbcNumber& operator=(const COdbcNumber&) = delete;
    void Store(T value);

    T m_value{};
    std::uint8_t m_paramSize; // the column size a parameter reports
    // The text GetString hands out; rows hold many numbers and few are
    // read as text, so it is made only then.
    mutable std::unique_ptr<std::string> m_text;
};

extern template class COdbcNumber<std::uint8_t>;
extern template class COdbcNumber<std::int16_t>;
extern template class COdbcNumber<std::int32_t>;
extern template class COdbcNumber<float>;
extern template class COdbcNumber<double>;

class COdbcBit : public COdbcNumber<std::uint8_t> {
public:
    COdbcBit();
    explicit COdbcBit(bool value) : COdbcBit() { SetBool(value); }
    void SetLong(long value) override;
    void SetDouble(double value) override;
};

class COdbcInt : public COdbcNumber<std::int32_t> {
public:
    COdbcInt();
    explicit COdbcInt(int value) : COdbcInt() { SetLong(value); }
};

class COdbcSmallInt : public COdbcNumber<std::int16_t> {
public:
    COdbcSmallInt();
    explicit COdbcSmallInt(short value) : COdbcSmallInt() { SetLong(value); }
};

class COdbcFloat : public COdbcNumber<double> {
public:
    COdbcFloat();
    explicit COdbcFloat(double value) : COdbcFloat() { SetDouble(value); }
};

class COdbcReal : public COdbcNumber<float> {
public:
    COdbcReal();
    explicit COdbcReal(float value) : COdbcReal() { SetDouble(value); }
};

class COdbcDouble : public COdbcNumber<double> {
public:
    COdbcDouble();
    explicit COdbcDouble(double value) : COdbcDouble() { SetDouble(value); }
};

} // namespace Brindle
