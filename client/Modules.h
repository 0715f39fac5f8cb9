// The modules of this build, in the order the main window creates them:
// the program's composition root, the one place that knows every module.
// The program hands InstallFrameModules to CMAVOApp.
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
