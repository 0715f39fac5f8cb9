#include "Brindle/comm/Variant.h"

#include "Brindle/comm/NumberText.h"

namespace Brindle {

void CVariant::SetValue(long long value)
{
    m_text.clear();
    NumberText::AppendInteger(m_text, value);
}

void CVariant::SetValue(unsigned long long value)
{
    m_text.clear();
    NumberText::AppendUnsigned(m_text, value);
}

void CVariant::SetValue(double value)
{
    m_text.clear();
    NumberText::AppendDouble(m_text, value, 16);
}

int CVariant::IntValue() const
{
    // A stream reads a whole number as atoi does; out of range saturates.
    return NumberText::ToInt(m_text);
}

long CVariant::LongValue() const
{
    return NumberText::ToLong(m_text);
}

unsigned long CVariant::UnsignedLongValue() const
{
    // A stream reads an unsigned number as strtoul does (a '-' wraps).
    return NumberText::ToUnsignedLong(m_text);
}

double CVariant::DoubleValue() const
{
    double value = 0;
    NumberText::StreamReadDouble(m_text, value);
    return value;
}

bool CVariant::BoolValue() const
{
    const NumberText::LeadingInteger n = NumberText::ReadLeadingInteger(m_text);
    return n.found && !n.negative && !n.overflow && n.magnitude == 1;
}

CVariantList& CVariantList::operator+=(const CVariant& value)
{
    m_values.push_back(value);
    return *this;
}

CVariantList& CVariantList::operator+=(const CVariantList& values)
{
    if (&values == this) {
        const values_type copy(m_values);
        m_values.insert(m_values.end(), copy.begin(), copy.end());
    } else {
        m_values.insert(m_values.end(), values.m_values.begin(), values.m_values.end());
    }
    return *this;
}

void CVariantList::SetValue(const CVariant& joined)
{
    const std::string text = joined.StringValue(); // may be one of our own elements
    m_values.clear();
    if (text.empty())
        return;
    std::size_t start = 0;
    for (;;) {
        const std::size_t sep = text.find(CVariant::LIST_SEPARATOR, start);
        if (sep == std::string::npos) {
            m_values.emplace_back(text.substr(start));
            return;
        }
        m_values.emplace_back(text.substr(start, sep - start));
        start = sep + 1;
    }
}

CVariant CVariantList::GetJoined() const
{
    std::string text;
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        if (i > 0)
            text.push_back(CVariant::LIST_SEPARATOR);
        text += m_values[i].StringValue();
    }
    return CVariant(text);
}

} // namespace Brindle
