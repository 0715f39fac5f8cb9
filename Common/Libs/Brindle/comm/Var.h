// CVar: a value of the message model, always held as text. Typed values are
// turned into text when stored and read back from the text on demand; there
// is no type tag.
//
// Stores: strings are copied (a null const char* gives ""), a char is one
// character, integers are decimal, bool is "1" or "0", double is formatted
// with 20 significant digits and float with 12 (as a stream would, in the C
// locale). Reads: get_int/get_long take the leading decimal integer as atoi
// does (0 when none), get_unsigned_* as strtoul does, get_double as atof
// does, get_bool is true only for a leading whole number equal to 1,
// get_char is the first character (a space when empty). Every read is
// independent of the process locale and saturates at its type's range
// instead of overflowing.
//
// Equality (==, !=) compares the texts byte by byte, case-sensitively: the
// rule by which the message model matches ids.
//
// Thread-safety: none; one value is used by one thread at a time.
#pragma once

#include <string>
#include <string_view>

namespace Brindle {

class CVar {
public:
    CVar() = default;
    CVar(const std::string& value) : m_value(value) {}
    CVar(std::string&& value) noexcept : m_value(std::move(value)) {}
    CVar(const char* value) : m_value(value != nullptr ? value : "") {}
    CVar(std::string_view value) : m_value(value) {}
    CVar(char value) : m_value(1, value) {}
    CVar(int value) { set_value(value); }
    CVar(long value) { set_value(value); }
    CVar(long long value) { set_value(value); }
    CVar(unsigned int value) { set_value(value); }
    CVar(unsigned long value) { set_value(value); }
    CVar(unsigned long long value) { set_value(value); }
    CVar(bool value) : m_value(value ? "1" : "0") {}
    CVar(double value) { set_value(value); }
    CVar(float value) { set_value(value); }

    void set_value(const std::string& value) { m_value = value; }
    void set_value(std::string&& value) noexcept { m_value = std::move(value); }
    void set_value(const char* value) { m_value = value != nullptr ? value : ""; }
    void set_value(std::string_view value) { m_value.assign(value); }
    void set_value(char value) { m_value.assign(1, value); }
    void set_value(int value) { set_value(static_cast<long long>(value)); }
    void set_value(long value) { set_value(static_cast<long long>(value)); }
    void set_value(long long value);
    void set_value(unsigned int value) { set_value(static_cast<unsigned long long>(value)); }
    void set_value(unsigned long value) { set_value(static_cast<unsigned long long>(value)); }
    void set_value(unsigned long long value);
    void set_value(bool value) { m_value = value ? "1" : "0"; }
    void set_value(double value);
    void set_value(float value);

    // The text itself.
    const std::string& get_value() const { return m_value; }
    std::string& get_value() { return m_value; }
    const char* get_cstr() const { return m_value.c_str(); }
    int get_int() const;
    long get_long() const;
    unsigned long get_unsigned_long() const;
    unsigned int get_unsigned_int() const;
    double get_double() const;
    bool get_bool() const;
    char get_char() const { return m_value.empty() ? ' ' : m_value.front(); }

    operator const char*() const { return get_cstr(); }
    operator int() const { return get_int(); }
    operator long() const { return get_long(); }
    operator unsigned long() const { return get_unsigned_long(); }
    operator unsigned int() const { return get_unsigned_int(); }
    operator double() const { return get_double(); }
    operator bool() const { return get_bool(); }
    operator char() const { return get_char(); }

    std::size_t length() const { return m_value.size(); }
    bool empty() const { return m_value.empty(); }

    friend bool operator==(const CVar& a, const CVar& b) { return a.m_value == b.m_value; }
    friend bool operator==(const CVar& a, const std::string& b) { return a.m_value == b; }
    friend bool operator==(const CVar& a, const char* b) { return b != nullptr ? a.m_value == b : a.m_value.empty(); }

private:
    std::string m_value;
};

} // namespace Brindle
