#include "Brindle/comm/CommTimeout.h"

namespace Brindle {

long CCommTimeout::GetDelay(unsigned attempt)
{
    if (m_delay > 0)
        return m_delay;
    if (attempt > 120)
        return 600;
    if (attempt > 10)
        return 60;
    return 10;
}

} // namespace Brindle
