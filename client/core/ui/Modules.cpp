#include "core/ui/Modules.h"

#include "core/ui/DdeModule.h"
#include "pages/ui/ClipboardModule.h"
#include "pages/ui/PagesModule.h"

namespace mavo {

std::vector<std::unique_ptr<CFrameModule>> InstallFrameModules(CScreenController& controller)
{
    std::vector<std::unique_ptr<CFrameModule>> modules;
    modules.push_back(std::make_unique<CPagesModule>(controller));
    modules.push_back(std::make_unique<CDdeModule>(controller));
    modules.push_back(std::make_unique<CClipboardModule>(controller));
    // Page windows, tool windows, order entry, DDE, lists and reports add
    // themselves here as they arrive, in the main window's creation order.
    return modules;
}

} // namespace mavo
