// The modules of this build, in the order the main window creates them.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"

#include <memory>
#include <vector>

namespace mavo {

class CScreenController;

std::vector<std::unique_ptr<CFrameModule>> InstallFrameModules(CScreenController& controller);

} // namespace mavo
