#include "core/ui/Modules.h"

namespace mavo {

std::vector<std::unique_ptr<CFrameModule>> InstallFrameModules(CScreenController&)
{
    std::vector<std::unique_ptr<CFrameModule>> modules;
    // Page windows, tool windows, order entry, DDE, lists and reports add
    // themselves here as they arrive, in the main window's creation order.
    return modules;
}

} // namespace mavo
