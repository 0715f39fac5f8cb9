// CSourceModule: the feed source settings in the main window (a
// CFrameModule). It installs "&Options" (enabled only while not connected,
// as the command table says), which:
// 1. shows the "Source Settings" sheet;
// 2. on OK stores the primary page's kind and "Failover" 0 in
//    "Controller" and the backup page's kind in its "Backup" subsection
//    (Cancel stores nothing; what the kind dialogs wrote stays);
// 3. makes the controller read the feed settings again (after Cancel too
//    when a kind dialog wrote: the controller writes its settings back on
//    every save of all settings, and would otherwise undo what the user
//    stored);
// 4. brings the main window in line: its failover flag follows the stored
//    0 (so the connection commands agree with the active source), it takes
//    the active source's name and status text, and the feed state display
//    shows the source's current state and kind.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"

#include <functional>

namespace mavo {

class CScreenController;
class CSourceSettingsSheet;

class CSourceModule : public CFrameModule {
public:
    explicit CSourceModule(CScreenController& controller) : m_controller(controller) {}

    void InstallCommands(CMainFrame& frame) override;

    // Runs the command's steps; true when the sheet ended with OK and the
    // settings were taken.
    bool RunOptions();

    // Tests look at the sheet while it is shown.
    CSourceSettingsSheet* Sheet() const { return m_sheet; }

private:
    // The window takes the active source's name, status text, state and kind.
    void ShowActiveSource();

    CScreenController& m_controller;
    CMainFrame* m_frame = nullptr;
    CSourceSettingsSheet* m_sheet = nullptr;
};

} // namespace mavo
