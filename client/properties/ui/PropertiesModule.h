// CPropertiesModule: the format commands in the main window (a
// CFrameModule): "&Properties" and the "Modify ..." commands open the
// active page's property sheet on their page; "Set As &Default", "&Apply
// Default", "Apply to A&ll", "Lock For&mat" (checked while the active page
// is locked), "&Font", and "Print &Format" on the print format. The page
// commands are enabled while a page window is active; Apply to All and
// Print Format always.
//
// It works on the page windows of CPagesModule, which must be made first
// (listed before it in Modules.cpp).
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"

#include <memory>

namespace mavo {

class CFormatActions;
class CPagesModule;

class CPropertiesModule : public CFrameModule {
public:
    explicit CPropertiesModule(CPagesModule& pages);
    ~CPropertiesModule() override;

    void InstallCommands(CMainFrame& frame) override;
    void CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings) override;

    // Null until the windows are made.
    CFormatActions* Actions() const { return m_actions.get(); }

private:
    CPagesModule& m_pages;
    CMainFrame* m_frame = nullptr;
    std::unique_ptr<CFormatActions> m_actions;
};

} // namespace mavo
