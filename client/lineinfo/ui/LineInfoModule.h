// CLineInfoModule: the line information window, the info tips and "&Display
// Options" in the main window (a CFrameModule).
//
// - The line information window is made with the main window (after its
//   first frame when it does not show at start), placed at
//   "InfoLeft"/"InfoTop", set to the line "InfoKey" and shown per
//   "ShowInfo". It shares these values with the trade window and writes
//   them after it, only in the full view, where it is the user's line
//   window. The page windows open it (full view) through
//   CPageWindows::SetLineInformationHandler: a click with info click on
//   opens it at the pointer and the release closes it (it goes back to its
//   own place), a double click shows it at its own place.
// - Info tips: a pointer move over a page list, while no window is being
//   dragged, shows the tip of the cell under it (LineInfoTexts.h) when info
//   tips are on (full view and a tip bit of "InfoTip") and the active
//   source is connected; anything else hides it.
// - "&Display Options" (full view only) edits the six switches of
//   "InfoTip"; OK stores them, saves the main window's settings and redraws
//   every page; Cancel changes nothing.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"
#include "lineinfo/ui/InfoTipWindow.h"
#include "lineinfo/ui/LineInfoWindow.h"
#include "pages/ControllerPageFeed.h"

#include <QPoint>
#include <QPointer>

#include <memory>
#include <optional>

namespace mavo {

class CPagesModule;
class CScreenController;

class CLineInfoModule : public CFrameModule {
public:
    CLineInfoModule(CScreenController& controller, CPagesModule& pages);
    ~CLineInfoModule() override;

    void InstallCommands(CMainFrame& frame) override;
    void CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings) override;
    bool MayCreateWindowsLater(const CMainFrameSettings& settings) const override;
    void StoreWindowSettings(CMainFrameSettings& settings) override;
    // The feed came alive: the window's line is asked for again.
    void RequestPages() override;

    CLineInfoWindow* Window() const { return m_window; }
    CInfoTipWindow* Tip() const { return m_tip; }

    // The page windows' line window handler: open at a screen point, at
    // the window's own place (none), or close (open false).
    void OpenLine(unsigned key, std::optional<QPoint> at, bool open);
    // A pointer move over a page list (key 0: over no line).
    void Hover(unsigned key, int column, QPoint screenPosition);
    // "&Display Options": runs the dialog; true when OK stored the switches.
    bool DisplayOptionsCommand();

private:
    CScreenController& m_controller;
    CPagesModule& m_pages;
    CControllerPageFeed m_feed;
    CMainFrame* m_frame = nullptr;
    QPointer<CLineInfoWindow> m_window;
    QPointer<CInfoTipWindow> m_tip;
    // The window's own place; a click opens it at the pointer for as long
    // as the button is held, and it goes back here afterwards.
    QPoint m_home;
    bool m_openAtPointer = false;
    // What the page windows' handlers reach this module through.
    std::shared_ptr<CLineInfoModule*> m_self;
};

} // namespace mavo
