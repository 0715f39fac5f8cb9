// CWindowCommandsModule: the main window's commands on text fields and on
// the arrangement of its page windows (a CFrameModule): the Edit menu's
// "&Undo", "Cu&t" and "&Paste", the Window menu's "&Cascade" and "&Tile",
// and the keys "Ne&xt Pane" (F6) and "Pre&vious Pane" (Shift+F6).
//
// - Undo, Cut and Paste work on the text field that has the focus (a line
//   edit, a text editor, an editable combo box or a spin box's field) and
//   are enabled only when that field can do them: Undo when it has
//   something to undo, Cut when text is selected in an editable field that
//   does not hide its text, Paste when the field is editable and the
//   clipboard holds text. A page window has no text to cut, paste or undo:
//   over it they are disabled (Copy is the page's own command).
// - Cascade and Tile arrange the page windows in the MDI area; enabled
//   only while the windows are not anchored.
// - Next and Previous Pane activate the next or previous page window of
//   the main window's MDI area, in its activation order, wrapping round;
//   enabled while more than one page window is open.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"

#include <QObject>

#include <memory>

class QWidget;

namespace mavo {

class CWindowCommandsModule : public CFrameModule {
public:
    void InstallCommands(CMainFrame& frame) override;
    // Menus re-check the rules as they open: what the edit commands may do
    // depends on the field that has the focus then. (Keys need no such
    // step: a focused text field takes its own editing keys, and each
    // handler checks the field again before it acts.)
    void CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings) override;

    // What the edit commands would act on now: the focused text field, or
    // null.
    static QWidget* FocusedTextField();
    static bool CanUndo(QWidget* field);
    static bool CanCut(QWidget* field);
    static bool CanPaste(QWidget* field);
    // Run the operation on the field; false when it cannot.
    static bool Undo(QWidget* field);
    static bool Cut(QWidget* field);
    static bool Paste(QWidget* field);

private:
    CMainFrame* m_frame = nullptr;
    // The context of its connections: they end with the module, before the
    // main window starts to come apart.
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
};

} // namespace mavo
