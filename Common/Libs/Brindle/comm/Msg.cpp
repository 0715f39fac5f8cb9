#include "Brindle/comm/Msg.h"

#include "Brindle/base/Exception.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <iomanip>
#include <ostream>

namespace Brindle {

const CVal CVal::nval;
const CRec CRec::nrec;
const CVar CRec::nval;

namespace {

using MsgText::ETX;
using MsgText::GS;
using MsgText::RS;
using MsgText::SOH;
using MsgText::STX;
using MsgText::US;

constexpr std::size_t npos = std::string_view::npos;

// Records and messages are small: the first append makes room for a few, so
// that building one costs one allocation rather than a growth series.
template <typename Vector>
void RoomForAFew(Vector& v)
{
    if (v.capacity() == 0)
        v.reserve(4);
}

// Bit n set for each delimiter byte n (all below 0x20).
constexpr unsigned long kDelimiterMask =
    (1ul << SOH) | (1ul << STX) | (1ul << ETX) | (1ul << GS) | (1ul << RS) | (1ul << US);

bool IsDelimiter(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 && ((kDelimiterMask >> b) & 1ul) != 0;
}

[[noreturn]] void ThrowDelimiter()
{
    throw CException("message id or value holds a delimiter byte (0x01-0x03, 0x1D-0x1F)", ERROR_INVALID_DATA);
}

void AppendPlain(std::string& out, const std::string& text)
{
    if (!MsgText::IsPlainText(text))
        ThrowDelimiter();
    out.append(text);
}

} // namespace

bool MsgText::IsPlainText(std::string_view text)
{
    for (const char c : text) {
        if (IsDelimiter(c))
            return false;
    }
    return true;
}

// ---- CVal ----

bool CVal::is_valid_text() const
{
    return MsgText::IsPlainText(m_id.get_value()) && MsgText::IsPlainText(m_value.get_value());
}

void CVal::append_to(std::string& out) const
{
    out.push_back(RS);
    AppendPlain(out, m_id.get_value());
    out.push_back(US);
    AppendPlain(out, m_value.get_value());
}

std::string CVal::to_string() const
{
    std::string out;
    out.reserve(required_size());
    append_to(out);
    return out;
}

bool CVal::parse(std::string_view text, std::size_t start, std::size_t end)
{
    end = std::min(end, text.size());
    if (start >= end)
        return false;
    const std::string_view span = text.substr(0, end);
    const std::size_t rs = span.find(RS, start);
    if (rs == npos)
        return false;
    const std::size_t us = span.find(US, rs + 1);
    if (us == npos)
        return false;
    const std::string_view id = span.substr(rs + 1, us - rs - 1);
    const std::string_view value = span.substr(us + 1);
    if (!MsgText::IsPlainText(id) || !MsgText::IsPlainText(value))
        return false;
    m_id.set_value(id);
    m_value.set_value(value);
    return true;
}

void CVal::print(std::ostream& out) const
{
    const std::ios_base::fmtflags flags = out.flags();
    out << std::right << std::setw(20) << m_id.get_value() << " = " << m_value.get_value();
    out.flags(flags);
}

// ---- CRec ----

CRec::iterator CRec::find_value(const CVar& id)
{
    return std::find_if(m_values.begin(), m_values.end(), [&](const CVal& v) { return v.get_id() == id; });
}

CRec::const_iterator CRec::find_value(const CVar& id) const
{
    return std::find_if(m_values.begin(), m_values.end(), [&](const CVal& v) { return v.get_id() == id; });
}

const CVal& CRec::operator[](const CVar& id) const
{
    const auto it = find_value(id);
    return it != m_values.end() ? *it : CVal::nval;
}

CVal& CRec::operator[](const CVar& id)
{
    const auto it = find_value(id);
    if (it != m_values.end())
        return *it;
    RoomForAFew(m_values);
    return m_values.emplace_back(id, CVar());
}

const CVar& CRec::get(const CVar& id) const
{
    const auto it = find_value(id);
    return it != m_values.end() ? it->get_value() : CRec::nval;
}

CVar& CRec::set(const CVar& id)
{
    RoomForAFew(m_values);
    return m_values.emplace_back(id, CVar()).get_value();
}

void CRec::copy_values(const_iterator first, const_iterator last)
{
    if (first == last)
        return;
    // The range may be this record's own values: copy before appending.
    const std::less_equal<const CVal*> le;
    const CVal* p = &*first;
    if (!m_values.empty() && le(m_values.data(), p) && le(p, m_values.data() + m_values.size())) {
        const values_type copies(first, last);
        m_values.insert(m_values.end(), copies.begin(), copies.end());
        return;
    }
    m_values.insert(m_values.end(), first, last);
}

std::size_t CRec::required_size() const
{
    std::size_t size = 1 + m_id.length();
    for (const CVal& v : m_values)
        size += v.required_size();
    return size;
}

bool CRec::is_valid_text() const
{
    if (!MsgText::IsPlainText(m_id.get_value()))
        return false;
    return std::all_of(m_values.begin(), m_values.end(), [](const CVal& v) { return v.is_valid_text(); });
}

void CRec::append_to(std::string& out) const
{
    out.push_back(GS);
    AppendPlain(out, m_id.get_value());
    for (const CVal& v : m_values)
        v.append_to(out);
}

std::string CRec::to_string() const
{
    std::string out;
    out.reserve(required_size());
    append_to(out);
    return out;
}

bool CRec::parse(std::string_view text)
{
    m_values.clear();
    m_id.get_value().clear();
    // One pass over the text. Bytes before the first GS, and from a GS that
    // ends a value up to the next RS, carry nothing and are skipped; an id or
    // value text holding a delimiter fails, as does SOH, STX or ETX anywhere.
    enum class At { BeforeGs, Id, ValueId, ValueText, Skip };
    At at = At::BeforeGs;
    std::size_t idStart = 0;
    std::size_t textStart = 0;
    bool reserved = false;
    const std::size_t n = text.size();
    const char* const p = text.data();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = p[i];
        if (!IsDelimiter(c))
            continue;
        if (c == SOH || c == STX || c == ETX)
            return false;
        switch (at) {
        case At::BeforeGs:
            if (c == GS) {
                at = At::Id;
                idStart = i + 1;
            }
            break;
        case At::Id:
            if (c != RS)
                return false; // a GS or US inside the record id
            m_id.set_value(text.substr(idStart, i - idStart));
            if (!reserved) {
                m_values.reserve(static_cast<std::size_t>(std::count(p + i, p + n, RS)));
                reserved = true;
            }
            at = At::ValueId;
            idStart = i + 1;
            break;
        case At::ValueId:
            if (c != US)
                return false; // a value without its US
            at = At::ValueText;
            textStart = i + 1;
            break;
        case At::ValueText:
            if (c == US)
                return false; // a second US inside the value
            m_values.emplace_back(CVar(text.substr(idStart, textStart - 1 - idStart)),
                                  CVar(text.substr(textStart, i - textStart)));
            at = c == RS ? At::ValueId : At::Skip;
            idStart = i + 1;
            break;
        case At::Skip:
            if (c == RS) {
                at = At::ValueId;
                idStart = i + 1;
            }
            break;
        }
    }
    switch (at) {
    case At::BeforeGs:
    case At::ValueId:
        return false;
    case At::Id:
        m_id.set_value(text.substr(idStart));
        return true;
    case At::ValueText:
        m_values.emplace_back(CVar(text.substr(idStart, textStart - 1 - idStart)), CVar(text.substr(textStart)));
        return true;
    case At::Skip:
        return true;
    }
    return false;
}

void CRec::print(std::ostream& out) const
{
    out << "Id: " << m_id.get_value() << "\n";
    for (const CVal& v : m_values) {
        v.print(out);
        out << "\n";
    }
}

// ---- CMsg ----

CMsg::iterator CMsg::find_record(const CVar& id)
{
    return std::find_if(m_records.begin(), m_records.end(), [&](const CRec& r) { return r.get_id() == id; });
}

CMsg::const_iterator CMsg::find_record(const CVar& id) const
{
    return std::find_if(m_records.begin(), m_records.end(), [&](const CRec& r) { return r.get_id() == id; });
}

const CRec& CMsg::operator[](const CVar& id) const
{
    const auto it = find_record(id);
    return it != m_records.end() ? *it : CRec::nrec;
}

CRec& CMsg::operator[](const CVar& id)
{
    const auto it = find_record(id);
    if (it != m_records.end())
        return *it;
    RoomForAFew(m_records);
    return m_records.emplace_back(id);
}

CRec& CMsg::add(const CRec& record)
{
    RoomForAFew(m_records);
    return m_records.emplace_back(record);
}

CRec& CMsg::add(CRec&& record)
{
    RoomForAFew(m_records);
    return m_records.emplace_back(std::move(record));
}

void CMsg::clear()
{
    m_records.clear();
    m_header.clear();
    m_raw.clear();
}

std::size_t CMsg::required_size() const
{
    std::size_t size = 3 + m_header.required_size();
    for (const CRec& r : m_records)
        size += r.required_size();
    return size;
}

bool CMsg::is_valid_text() const
{
    return m_header.is_valid_text() &&
           std::all_of(m_records.begin(), m_records.end(), [](const CRec& r) { return r.is_valid_text(); });
}

void CMsg::append_to(std::string& out) const
{
    out.push_back(SOH);
    m_header.append_to(out);
    out.push_back(STX);
    for (const CRec& r : m_records)
        r.append_to(out);
    out.push_back(ETX);
}

std::string CMsg::build_string() const
{
    std::string out;
    out.reserve(required_size());
    append_to(out);
    return out;
}

const std::string& CMsg::prepare_string()
{
    m_raw = build_string();
    return m_raw;
}

std::string CMsg::to_string() const
{
    return m_raw.empty() ? build_string() : m_raw;
}

bool CMsg::parse(std::string_view text)
{
    m_records.clear();
    m_header.clear();
    m_raw.clear();
    if (text.size() < 3 || text.front() != SOH || text.back() != ETX)
        return false;
    const std::size_t stx = text.find(STX, 1);
    if (stx == npos)
        return false;
    const std::size_t etx = text.find(ETX, stx + 1);
    if (etx != text.size() - 1)
        return false;
    if (!m_header.parse(text.substr(1, stx - 1)))
        return false;
    std::size_t gs = text.find(GS, stx + 1);
    if (gs != npos)
        m_records.reserve(static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(gs), text.end(), GS)));
    while (gs != npos) {
        // The only ETX is the last byte: a record ends at the next GS or there.
        const std::size_t next = text.find(GS, gs + 1);
        const std::size_t end = next == npos ? etx : next;
        CRec& record = m_records.emplace_back();
        if (!record.parse(text.substr(gs, end - gs))) {
            m_records.pop_back();
            return false;
        }
        gs = next;
    }
    m_raw.assign(text);
    return true;
}

void CMsg::print(std::ostream& out) const
{
    out << "Message: Source: " << m_source << "\nHeader:\n";
    m_header.print(out);
    out << "\nRecords:\n";
    for (const CRec& r : m_records) {
        r.print(out);
        out << "\n";
    }
}

} // namespace Brindle
