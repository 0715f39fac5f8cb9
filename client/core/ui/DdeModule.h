// CDdeModule: the DDE server in the main window (a CFrameModule). It makes
// the "DDE Server" window as the main window is built, at "DDELeft" /
// "DDETop" and shown per "ShowDDE", with "Enable DDE Server" as "Enable
// DDE" says (the server starts then); installs the "DDE Server" command,
// which shows the window; keeps the window's place and visibility in the
// main window's settings; and, when the user changes "Enable DDE Server",
// stores the value in the main window and saves all settings.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/DdeServerWindow.h"
#include "core/ui/FrameModule.h"

#include <QPointer>

namespace mavo {

class CScreenController;

class CDdeModule : public CFrameModule {
public:
    explicit CDdeModule(CScreenController& controller) : m_controller(controller) {}

    void InstallCommands(CMainFrame& frame) override;
    void CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings) override;
    void StoreWindowSettings(CMainFrameSettings& settings) override;

    CDdeServerWindow* Window() const { return m_window; }

private:
    CScreenController& m_controller;
    CMainFrame* m_frame = nullptr;
    QPointer<CDdeServerWindow> m_window;
};

} // namespace mavo
