#include "Brindle/comm/Var.h"

#include "Brindle/comm/NumberText.h"

namespace Brindle {

void CVar::set_value(long long value)
{
    m_value.clear();
    NumberText::AppendInteger(m_value, value);
}

void CVar::set_value(unsigned long long value)
{
    m_value.clear();
    NumberText::AppendUnsigned(m_value, value);
}

void CVar::set_value(double value)
{
    m_value.clear();
    NumberText::AppendDouble(m_value, value, 20);
}

void CVar::set_value(float value)
{
    m_value.clear();
    // A stream formats a float as the double it widens to.
    NumberText::AppendDouble(m_value, static_cast<double>(value), 12);
}

int CVar::get_int() const
{
    return NumberText::ToInt(m_value);
}

long CVar::get_long() const
{
    return NumberText::ToLong(m_value);
}

unsigned long CVar::get_unsigned_long() const
{
    return NumberText::ToUnsignedLong(m_value);
}

unsigned int CVar::get_unsigned_int() const
{
    return NumberText::ToUnsignedInt(m_value);
}

double CVar::get_double() const
{
    return NumberText::ToDouble(m_value);
}

bool CVar::get_bool() const
{
    const NumberText::LeadingInteger n = NumberText::ReadLeadingInteger(m_value);
    return n.found && !n.negative && !n.overflow && n.magnitude == 1;
}

} // namespace Brindle
