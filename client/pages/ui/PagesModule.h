// CPagesModule: the page windows in the main window (a CFrameModule). It
// installs the page-window commands ("&New", "&Close", the three frame
// styles, "&Print Page", "Print &All Pages"), makes the page windows'
// manager on the main window's MDI area, saves and reopens the open pages
// ("MAVO Document") and the print format ("PrintStyle"), hands the flash
// timer's ticks, page titles and rechecks to the pages, and keeps the
// drawing switches (display options, my-colours, trade timer, anchoring)
// in step with the main window's settings.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"
#include "pages/ControllerPageFeed.h"
#include "pages/PageEnvironment.h"

#include <memory>

class QMenu;

namespace mavo {

class CMainFrame;
class CPageWindows;
class CScreenController;

class CPagesModule : public CFrameModule {
public:
    explicit CPagesModule(CScreenController& controller);
    ~CPagesModule() override;

    void InstallCommands(CMainFrame& frame) override;
    void CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings) override;
    bool SaveSections(const Brindle::CRegSection& root) override;
    bool LoadSections(const Brindle::CRegSection& root) override;

    bool HasDocuments() const override { return true; }
    bool SaveDocuments(const Brindle::CRegSection& documents) override;
    bool LoadDocument(const Brindle::CRegSection& document) override;
    bool IsPageWindowActive() const override;

    void RequestPages() override;
    void OnFeedState(FeedState state, int kind, const std::string& statusText) override;
    void RecheckPages() override;
    void OnPermissionsLoaded() override { RecheckPages(); }
    void OnPageTitle(int page) override;
    void OnFlashTick(int count) override;

    CPageWindows* Windows() const { return m_windows.get(); }
    CPageEnvironment& Environment() { return m_env; }

private:
    // Takes the main window's switches and colours; true when any changed.
    bool SyncWithFrame();
    void FillViewMenu(QMenu* menu);

    CScreenController& m_controller;
    CControllerPageFeed m_feed;
    CPageEnvironment m_env;
    CMainFrame* m_frame = nullptr;
    std::unique_ptr<CPageWindows> m_windows;
};

} // namespace mavo
