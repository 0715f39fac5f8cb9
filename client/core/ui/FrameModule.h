// CFrameModule: how a part of MAVO that arrives later (page windows and
// documents, tool windows, order entry, DDE, lists and reports) plugs into
// the main window: it installs its commands, creates its windows when the
// main window is created, keeps their places in the main window's
// settings, saves and loads its sections, and hears the feed events the
// main window handles. Every hook has a harmless default.
//
// Modules are listed, in creation order, by InstallFrameModules
// (Modules.cpp); the main window owns them.
//
// Thread-safety: every hook runs on the window thread.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/FeedState.h"

#include <string>

namespace Brindle {
class CRegSection;
}

namespace mavo {

class CMainFrame;
class CMainFrameSettings;

class CFrameModule {
public:
    virtual ~CFrameModule() = default;

    // Start-up step 9: values of its own in "MainFrame" (the customer and
    // page lists ...). False fails the start ("Mainframe cannot load
    // initial settings").
    virtual bool LoadInitialSettings(const Brindle::CRegSection& /*mainFrame*/) { return true; }
    // Installs its commands (CMainFrame::Commands()).
    virtual void InstallCommands(CMainFrame& /*frame*/) {}
    // Window creation: its tool windows, placed from the settings.
    virtual void CreateWindows(CMainFrame& /*frame*/, const CMainFrameSettings& /*settings*/) {}
    // True when none of its windows shows at start with these settings and
    // it copes without them until then: CreateWindows comes once the main
    // window has first painted, before any feed message reaches the module.
    virtual bool MayCreateWindowsLater(const CMainFrameSettings& /*settings*/) const { return false; }
    // Before a save: the places and visibility of its windows, the line key.
    virtual void StoreWindowSettings(CMainFrameSettings& /*settings*/) {}
    // A save: its values in "MainFrame" and its own sections below the root.
    virtual bool SaveMainFrameValues(const Brindle::CRegSection& /*mainFrame*/) { return true; }
    virtual bool SaveSections(const Brindle::CRegSection& /*root*/) { return true; }
    // Settings load after creation: its own sections below the root.
    virtual bool LoadSections(const Brindle::CRegSection& /*root*/) { return true; }

    // Page documents. A module that has them saves the open pages into
    // subsections "0", "1", ... of "MAVO Document" and reopens one page
    // from a subsection.
    virtual bool HasDocuments() const { return false; }
    virtual bool SaveDocuments(const Brindle::CRegSection& /*documents*/) { return true; }
    virtual bool LoadDocument(const Brindle::CRegSection& /*document*/) { return true; }
    // True while a page window is the active window.
    virtual bool IsPageWindowActive() const { return false; }

    // Feed events, as the main window handles them.
    virtual void OnFeedState(FeedState /*state*/, int /*kind*/, const std::string& /*statusText*/) {}
    // The feed came alive: every open page asks for its page again.
    virtual void RequestPages() {}
    // Every open page checks its permission and redraws.
    virtual void RecheckPages() {}
    virtual void OnPermissionsLoaded() {}
    virtual void OnPageTitle(int /*page*/) {}
    virtual void OnNotification(const std::string& /*text*/) {}
    virtual void OnSourceLog(const std::string& /*line*/) {}
    // Each tick of the flash timer with the new tick count.
    virtual void OnFlashTick(int /*count*/) {}
};

} // namespace mavo
