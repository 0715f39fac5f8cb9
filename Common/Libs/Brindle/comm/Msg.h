// The message model: CVal (a named value), CRec (a record: an id and an
// ordered list of values), CMsg (a header record and an ordered list of
// records), the id predicates CIsVal and CIsRec, and the delimited text form
// in which a message travels on a byte stream.
//
// Text form: SOH header STX record... ETX, where a record is GS id value...
// and a value is RS id US text (SOH 0x01, STX 0x02, ETX 0x03, GS 0x1D,
// RS 0x1E, US 0x1F). No lengths, escapes or checksums, so no id or value text
// may hold one of those six bytes. Building a text (to_string,
// build_string, prepare_string) refuses such a message with a CException
// (ERROR_INVALID_DATA) rather than send something the peer would read as a
// different message; is_valid_text() tells beforehand. Parsing refuses them
// likewise, so whatever parses builds again and parses back to an equal
// message. Bytes are otherwise free: NUL and the list separator 0x1C travel.
//
// Parsing makes one pass per record and allocates only for what the text
// holds: its records and values (about 60 bytes of memory per byte of text
// at worst, for a text made of nothing but delimiters) and one copy of the
// text. Whoever reads texts from a peer bounds the size it accepts.
//
// Lookups match ids byte-wise and return the first match in insertion order;
// misses give the shared empty objects CVal::nval, CRec::nval, CRec::nrec
// (never modify those). Values and records are held in vectors: references
// returned by set, the non-const operator[] and the iterators stay valid
// until the next append to, or parse into, the same record or message.
//
// Thread-safety: none; one message is used by one thread at a time. Share
// messages between threads through CRefCountedPtr.
#pragma once

#include "Brindle/comm/Var.h"

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace Brindle {

namespace MsgText {
inline constexpr char SOH = 0x01; // opens a message
inline constexpr char STX = 0x02; // ends the header
inline constexpr char ETX = 0x03; // ends the message
inline constexpr char GS = 0x1D;  // opens a record
inline constexpr char RS = 0x1E;  // opens a value
inline constexpr char US = 0x1F;  // separates a value's id from its text

// true when the text holds none of the six delimiter bytes.
bool IsPlainText(std::string_view text);
} // namespace MsgText

class CVal {
public:
    static constexpr const char* nid = "<noval>";
    static const CVal nval;

    CVal() : m_id(nid) {}
    CVal(const CVar& id, const CVar& value) : m_id(id), m_value(value) {}
    CVal(CVar&& id, CVar&& value) noexcept : m_id(std::move(id)), m_value(std::move(value)) {}

    const CVar& get_id() const { return m_id; }
    void set_id(const CVar& id) { m_id = id; }
    const CVar& get_value() const { return m_value; }
    CVar& get_value() { return m_value; }
    void set_value(const CVar& value) { m_value = value; }

    // id length + value length + 2.
    std::size_t required_size() const { return m_id.length() + m_value.length() + 2; }
    bool is_valid_text() const;
    // RS id US value; throws CException when is_valid_text() is false.
    std::string to_string() const;
    // Appends the text form; throws as to_string.
    void append_to(std::string& out) const;
    // Reads the first RS at or after `start` and the first US after it, both
    // before `end`: the id lies between them, the value runs from the US to
    // `end`. false (value unchanged) when either is missing or a text would
    // hold a delimiter.
    bool parse(std::string_view text, std::size_t start, std::size_t end);
    bool parse(std::string_view text) { return parse(text, 0, text.size()); }
    // The id right-aligned in 20 columns, " = ", the value.
    void print(std::ostream& out) const;

    friend bool operator==(const CVal& a, const CVal& b) { return a.m_id == b.m_id && a.m_value == b.m_value; }

private:
    CVar m_id;
    CVar m_value;
};

// Matches a CVal whose id equals the given id.
class CIsVal {
public:
    explicit CIsVal(const CVar& id) : m_id(id) {}
    bool operator()(const CVal& value) const { return value.get_id() == m_id; }

private:
    CVar m_id;
};

class CRec {
public:
    using values_type = std::vector<CVal>;
    using iterator = values_type::iterator;
    using const_iterator = values_type::const_iterator;

    static constexpr const char* nid = "<norec>";
    static const CRec nrec;
    static const CVar nval;

    CRec() : m_id(nid) {}
    explicit CRec(const CVar& id) : m_id(id) {}

    const CVar& get_id() const { return m_id; }
    void set_id(const CVar& id) { m_id = id; }

    iterator find_value(const CVar& id);
    const_iterator find_value(const CVar& id) const;
    // The first value with that id, or CVal::nval.
    const CVal& operator[](const CVar& id) const;
    // The first value with that id; appended (with an empty text) when none.
    CVal& operator[](const CVar& id);
    // The text of the first value with that id, or CRec::nval.
    const CVar& get(const CVar& id) const;
    // Appends a value with that id (even when one exists) and returns its
    // text for the caller to fill.
    CVar& set(const CVar& id);
    // Appends copies of the values in [first, last).
    void copy_values(const_iterator first, const_iterator last);
    // Appends one value.
    void add(const CVal& value) { m_values.push_back(value); }

    iterator begin() { return m_values.begin(); }
    iterator end() { return m_values.end(); }
    const_iterator begin() const { return m_values.begin(); }
    const_iterator end() const { return m_values.end(); }
    std::size_t size() const { return m_values.size(); }
    bool empty() const { return m_values.empty(); }
    const values_type& get_values() const { return m_values; }
    // Removes the values (the id stays).
    void clear() { m_values.clear(); }

    // 1 + id length + the values' sizes.
    std::size_t required_size() const;
    bool is_valid_text() const;
    // GS id, then each value; throws CException when is_valid_text() is false.
    std::string to_string() const;
    void append_to(std::string& out) const;
    // Reads a record text (GS id, values). false when it holds SOH, STX or
    // ETX, has no GS, or a value or id does not read; values read before a
    // failure stay.
    bool parse(std::string_view text);
    // "Id: " id, newline, then each value and a newline.
    void print(std::ostream& out) const;

    friend bool operator==(const CRec& a, const CRec& b) { return a.m_id == b.m_id && a.m_values == b.m_values; }

private:
    CVar m_id;
    values_type m_values;
};

// Matches a CRec whose id equals the given id.
class CIsRec {
public:
    explicit CIsRec(const CVar& id) : m_id(id) {}
    bool operator()(const CRec& record) const { return record.get_id() == m_id; }

private:
    CVar m_id;
};

class CMsg {
public:
    using records_type = std::vector<CRec>;
    using iterator = records_type::iterator;
    using const_iterator = records_type::const_iterator;

    CMsg() = default;
    // A message whose header has this id.
    explicit CMsg(const CVar& id) : m_header(id) {}
    // A message with a copy of this record as header.
    explicit CMsg(const CRec& header) : m_header(header) {}

    iterator find_record(const CVar& id);
    const_iterator find_record(const CVar& id) const;
    // The first record with that id, or CRec::nrec.
    const CRec& operator[](const CVar& id) const;
    // The first record with that id; appended (empty) when none.
    CRec& operator[](const CVar& id);
    // Appends a record (even when one with its id exists).
    CRec& add(const CRec& record);
    CRec& add(CRec&& record);

    const CRec& get_header() const { return m_header; }
    CRec& get_header() { return m_header; }
    void set_header(const CRec& header) { m_header = header; }
    void* get_source() const { return m_source; }
    void set_source(void* source) { m_source = source; }

    iterator begin() { return m_records.begin(); }
    iterator end() { return m_records.end(); }
    const_iterator begin() const { return m_records.begin(); }
    const_iterator end() const { return m_records.end(); }
    std::size_t size() const { return m_records.size(); }
    const records_type& get_records() const { return m_records; }
    // Removes the records, the header's values and the cached text.
    void clear();

    // The cached text form (set by parse and prepare_string only).
    const std::string& get_raw_buffer() const { return m_raw; }
    // Builds the text form and caches it.
    const std::string& prepare_string();
    // Builds the text form afresh, in one allocation.
    std::string build_string() const;
    // The cached text when there is one, else build_string().
    std::string to_string() const;
    // 3 + header size + the records' sizes.
    std::size_t required_size() const;
    bool is_valid_text() const;

    // Reads a whole message text: SOH first, ETX last. On success the text
    // becomes the cached text; on failure the cache is emptied (records read
    // before the failure stay).
    bool parse(std::string_view text);
    // "Message: Source: " pointer, the header and each record.
    void print(std::ostream& out) const;

    // Same header and records (source and cached text aside).
    friend bool operator==(const CMsg& a, const CMsg& b)
    {
        return a.m_header == b.m_header && a.m_records == b.m_records;
    }

private:
    void append_to(std::string& out) const;

    records_type m_records;
    CRec m_header;
    void* m_source = nullptr;
    std::string m_raw;
};

} // namespace Brindle
