#include "zph/ZPHKey.h"

#include "protocol/Protocol.h"

namespace ZPH {

unsigned CreateZPHKey(int page, int line)
{
    if (page < 1 || page > ZPHWire::MAX_PAGE || line < 1 || line > ZPHWire::MAX_LINE)
        return 0;
    return static_cast<unsigned>(page) * 100u + static_cast<unsigned>(line);
}

bool ParseZPHKey(unsigned key, int& page, int& line)
{
    const unsigned p = key / 100u;
    const unsigned l = key % 100u;
    if (p < 1 || p > static_cast<unsigned>(ZPHWire::MAX_PAGE) || l < 1 || l > static_cast<unsigned>(ZPHWire::MAX_LINE)) {
        page = 0;
        line = 0;
        return false;
    }
    page = static_cast<int>(p);
    line = static_cast<int>(l);
    return true;
}

} // namespace ZPH
