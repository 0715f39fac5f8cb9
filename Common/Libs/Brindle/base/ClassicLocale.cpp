#include "Brindle/base/ClassicLocale.h"

#include <new>

namespace Brindle {

locale_t GetClassicLocale()
{
    // Made once and kept for the life of the process: threads may still be
    // formatting with it while static objects are destroyed.
    static const locale_t classic = [] {
        locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (loc == static_cast<locale_t>(nullptr))
            throw std::bad_alloc(); // "C" always exists: only memory can be short
        return loc;
    }();
    return classic;
}

CClassicLocaleScope::CClassicLocaleScope() : m_previous(uselocale(GetClassicLocale())) {}

CClassicLocaleScope::~CClassicLocaleScope()
{
    uselocale(m_previous);
}

} // namespace Brindle
