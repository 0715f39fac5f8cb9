#include "pages/DisplayState.h"

namespace mavo {

int DisplayStateOf(int attribute, bool best)
{
    switch (attribute) {
    case 2: return best ? DS_BEST : DS_NORMAL;
    case 3: return DS_STATE2;
    case 4: return DS_STATE3;
    case 5: return DS_TRADING;
    case 6: return DS_ERROR;
    case 7: return DS_NO_LINE;
    case 8: return DS_LINE_FULL;
    default: return DS_EMPTY;
    }
}

std::string DisplayStateText(int state, const std::string& value)
{
    switch (state) {
    case DS_NORMAL:
    case DS_STATE2:
    case DS_STATE3:
    case DS_TRADING:
    case DS_BEST: return value;
    case DS_ERROR: return "Error";
    case DS_NO_LINE: return "<<NL>>";
    case DS_LINE_FULL: return "<<LF>>";
    default: return {};
    }
}

int DisplayStateCadence(int state, bool fastFlash)
{
    switch (state) {
    case DS_TRADING: return fastFlash ? 1 : 3;
    case DS_ERROR:
    case DS_LINE_FULL:
    case DS_NO_LINE: return 3;
    default: return 0;
    }
}

} // namespace mavo
