// The main window's small tool windows as CFrameModules, in the main
// window's creation order:
// - CClockModule (made before the DDE window): the clock window at
//   "TimeLeft"/"TimeTop", shown per "ShowTime", and "C&urrent Time", which
//   shows it;
// - CToolsModule (made after the DDE window): the client contributions
//   window at "ContribLeft"/"ContribTop" with "ContribWidth"/"ContribHeight"
//   (its own size when none is stored), shown per "ShowContrib", fed with
//   every notification; "&Notifications", which shows it; "Screen
//   Properties", which edits the main window's full-screen rectangle on the
//   screen the main window is on and, on OK, saves all settings; and "Send
//   Page Count" (full view only), which lists the feed's page counts.
// Both keep their windows' places and visibility in the main window's
// settings.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"
#include "tools/ui/ClockWindow.h"
#include "tools/ui/ContribWindow.h"

#include <QPointer>

namespace mavo {

class CScreenController;

class CClockModule : public CFrameModule {
public:
    void InstallCommands(CMainFrame& frame) override;
    void CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings) override;
    void StoreWindowSettings(CMainFrameSettings& settings) override;

    CClockWindow* Window() const { return m_window; }

private:
    QPointer<CClockWindow> m_window;
};

class CToolsModule : public CFrameModule {
public:
    explicit CToolsModule(CScreenController& controller) : m_controller(controller) {}

    void InstallCommands(CMainFrame& frame) override;
    void CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings) override;
    void StoreWindowSettings(CMainFrameSettings& settings) override;
    void OnNotification(const std::string& text) override;

    CContribWindow* ContribWindow() const { return m_contrib; }
    // The commands' steps; true when OK changed the rectangle.
    bool EditScreenProperties();
    void ShowPageCounts();

private:
    CScreenController& m_controller;
    CMainFrame* m_frame = nullptr;
    QPointer<CContribWindow> m_contrib;
};

} // namespace mavo
