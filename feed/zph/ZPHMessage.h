// ZPHMessage: one message of the feed, in either direction: a type (one
// character, see protocol/Protocol.h), a page, a line and an ordered list of
// fields (id, text). Fields keep the order in which they were added, and an
// id may occur more than once; lookups give the first occurrence.
//
// Numbers are stored as text in the C locale (NumberText.h). The typed
// getters are strict: a text that is not wholly a number reads as absent.
//
// A plain value; one message is used by one thread at a time.
#pragma once

#include "zph/Timestamp.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ZPH {

class ZPHMessage {
public:
    using Field = std::pair<int, std::string>;

    ZPHMessage() = default;
    // The client's form: page and line (it passes 0, 0 and sets m_type).
    ZPHMessage(int page, int line) : m_page(page), m_line(line) {}
    ZPHMessage(char type, int page, int line) : m_page(page), m_line(line), m_type(type) {}

    int m_page = 0;
    int m_line = 0;
    char m_type = 0;

    void AddField(int id, int value);
    void AddField(int id, unsigned value);
    void AddField(int id, long long value);
    void AddField(int id, double value);
    void AddField(int id, char value);
    // length 0 takes the text up to its terminating NUL; a null text adds an
    // empty field.
    void AddField(int id, const char* text, unsigned length);
    void AddField(int id, std::string_view text);
    void AddField(int id, const std::string& text) { AddField(id, std::string_view(text)); }
    void AddField(int id, const char* text) { AddField(id, text, 0); }

    // Replaces the text of the first field with this id, or adds the field.
    void SetField(int id, std::string_view text);
    // Removes every field with this id.
    void RemoveField(int id);
    void ClearFields() { m_fields.clear(); }

    // The text of the first field with this id, or null when there is none.
    // The pointer is valid until the message is next changed.
    const char* GetValue(int id) const;
    bool HasField(int id) const { return Find(id) != nullptr; }
    bool GetInt(int id, int& value) const;
    bool GetInt64(int id, std::int64_t& value) const;
    bool GetDouble(int id, double& value) const;

    const std::vector<Field>& GetFields() const { return m_fields; }
    std::size_t GetFieldCount() const { return m_fields.size(); }

    // Fills a Timestamp from a feed-time message ('T'): the feed time text,
    // the connect time text, the packet and bad-packet counts, the maximum
    // delay and this message's delay. False (and the Timestamp untouched)
    // for a message of another type.
    bool GetTimeStamp(Timestamp& timestamp) const;

    friend bool operator==(const ZPHMessage&, const ZPHMessage&) = default;

private:
    const std::string* Find(int id) const;

    std::vector<Field> m_fields;
};

} // namespace ZPH
