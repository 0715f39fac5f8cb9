// CSourceStatusModule: the "Source Status" window in the main window (a
// CFrameModule). It makes the window hidden as the main window is built
// (after its first frame when the window does not show at start), placed at "StatusLeft"/"StatusTop" and shown per "ShowStatus"; installs
// "&Status" (Ctrl+E), which shows it; keeps its place and visibility in the
// main window's settings; and hands it the feed state, the source's kind
// and address, and every source log line.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"
#include "status/ui/SourceStatusWindow.h"

#include <QPointer>

namespace mavo {

class CScreenController;

class CSourceStatusModule : public CFrameModule {
public:
    explicit CSourceStatusModule(CScreenController& controller) : m_controller(controller) {}
    ~CSourceStatusModule() override;

    void InstallCommands(CMainFrame& frame) override;
    void CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings) override;
    bool MayCreateWindowsLater(const CMainFrameSettings& settings) const override;
    void StoreWindowSettings(CMainFrameSettings& settings) override;
    void OnFeedState(FeedState state, int kind, const std::string& statusText) override;
    void OnSourceLog(const std::string& line) override;

    CSourceStatusWindow* Window() const { return m_window; }

private:
    CScreenController& m_controller;
    QPointer<CSourceStatusWindow> m_window;
};

} // namespace mavo
