// CClipboardModule: copying a page window as text (a CFrameModule). It
// installs the Copy command of the page windows and the six items of the
// View menu's "Cut-and-Paste Format" submenu: the item of the main
// window's "Copy Style" carries the check mark, each shows its status-bar
// text, and choosing one sets "Copy Style" (saved with the main window's
// settings). Copy builds the active page's text in that format and puts it
// on the clipboard as plain text in one step; if the text cannot be built
// the clipboard keeps what it had.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"

#include <string>

namespace mavo {

class CChildFrame;
class CScreenController;

class CClipboardModule : public CFrameModule {
public:
    explicit CClipboardModule(CScreenController& controller) : m_controller(controller) {}

    void InstallCommands(CMainFrame& frame) override;

    // The active page window's text in the chosen format; false (text
    // untouched) without an active page window.
    bool PageText(std::string& text) const;
    // Copy: false when nothing was put on the clipboard.
    bool Copy();

private:
    CChildFrame* ActivePage() const;

    CScreenController& m_controller;
    CMainFrame* m_frame = nullptr;
};

} // namespace mavo
