#include "orders/OrderIncrement.h"

namespace mavo {

const std::array<IncrementChoice, kIncrementCount>& IncrementChoices()
{
    static const std::array<IncrementChoice, kIncrementCount> choices{{
        {COrderNumber::FromMicros(50000), "0.05", "0.05     (1/20)"},
        {COrderNumber::FromMicros(62500), "0.0625", "0.0625 (1/16)"},
        {COrderNumber::FromMicros(100000), "0.10", "0.10     (1/10)"},
        {COrderNumber::FromMicros(125000), "0.125", "0.125   (1/8)"},
        {COrderNumber::FromMicros(250000), "0.25", "0.25     (1/4)"},
        {COrderNumber::FromMicros(500000), "0.50", "0.50     (1/2)"},
    }};
    return choices;
}

bool COrderIncrement::SetIndex(int index)
{
    if (index < 0 || index >= kIncrementCount)
        return false;
    m_index = index;
    return true;
}

} // namespace mavo
