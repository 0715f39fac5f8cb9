// CVariant: a value held as text that may be a list (elements joined by the
// list separator 0x1C); CVariantList: an ordered list of CVariant that
// converts to and from that joined text.
//
// Stores format numbers as a stream does in the C locale (decimal; double
// with 16 significant digits; bool "1"/"0"). Numeric reads are a stream read
// of the leading number: 0 (false) when the text does not start with one,
// saturated at the type's range when it is too large. CharValue of an empty
// text throws std::out_of_range. Comparisons compare the texts.
//
// A list joins its elements with one separator between each two; splitting
// keeps empty elements, so every list reads back exactly, except that the
// list of one empty element and the empty list share the text "" (which
// reads back as the empty list).
//
// Thread-safety: none; one object is used by one thread at a time.
#pragma once

#include <string>
#include <vector>

namespace Brindle {

class CVariant {
public:
    static constexpr char LIST_SEPARATOR = 0x1C;

    CVariant() = default;
    CVariant(const std::string& value) : m_text(value) {}
    CVariant(const char* value) : m_text(value != nullptr ? value : "") {}
    CVariant(char value) : m_text(1, value) {}
    CVariant(int value) { SetValue(value); }
    CVariant(long value) { SetValue(value); }
    CVariant(long long value) { SetValue(value); }
    CVariant(unsigned int value) { SetValue(value); }
    CVariant(unsigned long value) { SetValue(value); }
    CVariant(unsigned long long value) { SetValue(value); }
    CVariant(bool value) : m_text(value ? "1" : "0") {}
    CVariant(double value) { SetValue(value); }

    void SetValue(const std::string& value) { m_text = value; }
    void SetValue(const char* value) { m_text = value != nullptr ? value : ""; }
    void SetValue(char value) { m_text.assign(1, value); }
    void SetValue(int value) { SetValue(static_cast<long long>(value)); }
    void SetValue(long value) { SetValue(static_cast<long long>(value)); }
    void SetValue(long long value);
    void SetValue(unsigned int value) { SetValue(static_cast<unsigned long long>(value)); }
    void SetValue(unsigned long value) { SetValue(static_cast<unsigned long long>(value)); }
    void SetValue(unsigned long long value);
    void SetValue(bool value) { m_text = value ? "1" : "0"; }
    void SetValue(double value);

    // true when the text holds a list separator.
    bool IsList() const { return m_text.find(LIST_SEPARATOR) != std::string::npos; }

    const std::string& StringValue() const { return m_text; }
    const std::string& GetValue() const { return m_text; }
    operator const char*() const { return m_text.c_str(); }
    int IntValue() const;
    long LongValue() const;
    unsigned long UnsignedLongValue() const;
    double DoubleValue() const;
    bool BoolValue() const;
    // The first character; std::out_of_range when the text is empty.
    char CharValue() const { return m_text.at(0); }

    bool empty() const { return m_text.empty(); }
    void clear() { m_text.clear(); }
    // The text becomes `count` characters of `value` from `offset`
    // (std::out_of_range when offset is past its end).
    void assign(const std::string& value, std::size_t offset, std::size_t count = std::string::npos)
    {
        m_text.assign(value, offset, count);
    }

    friend bool operator==(const CVariant& a, const CVariant& b) { return a.m_text == b.m_text; }
    friend bool operator!=(const CVariant& a, const CVariant& b) { return a.m_text != b.m_text; }
    friend bool operator<(const CVariant& a, const CVariant& b) { return a.m_text < b.m_text; }
    friend bool operator>(const CVariant& a, const CVariant& b) { return a.m_text > b.m_text; }

private:
    std::string m_text;
};

class CVariantList {
public:
    using values_type = std::vector<CVariant>;
    using iterator = values_type::iterator;
    using const_iterator = values_type::const_iterator;

    CVariantList() = default;
    // The elements of a joined text.
    CVariantList(const CVariant& joined) { SetValue(joined); }

    const values_type& GetValues() const { return m_values; }
    values_type& GetValues() { return m_values; }
    iterator begin() { return m_values.begin(); }
    iterator end() { return m_values.end(); }
    const_iterator begin() const { return m_values.begin(); }
    const_iterator end() const { return m_values.end(); }
    std::size_t size() const { return m_values.size(); }

    CVariantList& operator+=(const CVariant& value);
    CVariantList& operator+=(const CVariantList& values);
    void SetValue(const CVariantList& values) { m_values = values.m_values; }
    // Clears the list and splits the text at every separator, one element per
    // piece, empty pieces included ("" gives no elements).
    void SetValue(const CVariant& joined);
    CVariantList& operator=(const CVariant& joined)
    {
        SetValue(joined);
        return *this;
    }

    // The elements' texts joined with the separator.
    CVariant GetJoined() const;
    operator CVariant() const { return GetJoined(); }

    friend bool operator==(const CVariantList& a, const CVariantList& b) { return a.m_values == b.m_values; }

private:
    values_type m_values;
};

} // namespace Brindle
