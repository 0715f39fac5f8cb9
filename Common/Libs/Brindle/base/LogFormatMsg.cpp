#include "Brindle/base/LogFormatMsg.h"

namespace Brindle {

CLogFormatMsg::CLogFormatMsg(const CVar& v0, const CVar& v1, const CVar& v2, const CVar& v3, const CVar& v4,
                             const CVar& v5, const CVar& v6, const CVar& v7, const CVar& v8, const CVar& v9)
{
    const CVar* values[] = {&v0, &v1, &v2, &v3, &v4, &v5, &v6, &v7, &v8, &v9};
    int last = -1;
    for (int i = 0; i < 10; ++i)
        if (!values[i]->get_value().empty())
            last = i;
    m_text += Separator;
    if (last < 0) {
        m_text += Separator;
        return;
    }
    for (int i = 0; i <= last; ++i) {
        m_text += values[i]->get_value();
        m_text += Separator;
    }
}

} // namespace Brindle
