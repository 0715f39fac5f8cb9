#include "Modules.h"

#include "core/ui/DdeModule.h"
#include "core/ui/WindowCommands.h"
#include "lineinfo/ui/LineInfoModule.h"
#include "lists/ui/ListsModule.h"
#include "modem/ui/ModemModule.h"
#include "orders/ui/OrdersModule.h"
#include "pages/ui/ClipboardModule.h"
#include "pages/ui/PagesModule.h"
#include "properties/ui/PropertiesModule.h"
#include "source/ui/SourceModule.h"
#include "status/ui/SourceStatusModule.h"
#include "tools/ui/ToolModules.h"

namespace mavo {

std::vector<std::unique_ptr<CFrameModule>> InstallFrameModules(CScreenController& controller)
{
    std::vector<std::unique_ptr<CFrameModule>> modules;
    auto pages = std::make_unique<CPagesModule>(controller);
    CPagesModule* pagesModule = pages.get();
    modules.push_back(std::move(pages));
    modules.push_back(std::make_unique<CSourceStatusModule>(controller));
    modules.push_back(std::make_unique<CSourceModule>(controller));
    modules.push_back(std::make_unique<CClockModule>());
    modules.push_back(std::make_unique<CDdeModule>(controller));
    modules.push_back(std::make_unique<CToolsModule>(controller));
    modules.push_back(std::make_unique<CClipboardModule>(controller));
    modules.push_back(std::make_unique<CListsModule>(controller, pagesModule));
    modules.push_back(std::make_unique<CModemModule>(controller));
    // The format commands work on the page windows made above.
    modules.push_back(std::make_unique<CPropertiesModule>(*pagesModule));
    // The two line windows. The line information window saves after the
    // trade window: in the full view (the only place it is used) its place
    // and line stand, otherwise the trade window's.
    modules.push_back(std::make_unique<COrdersModule>(controller, *pagesModule));
    modules.push_back(std::make_unique<CLineInfoModule>(controller, *pagesModule));
    modules.push_back(std::make_unique<CWindowCommandsModule>());
    // Page windows, tool windows, order entry, DDE, lists and reports add
    // themselves here as they arrive, in the main window's creation order.
    return modules;
}

} // namespace mavo
