// CFormatActions: the format commands on the open page windows: the
// property sheet of the active page (opened on the page its command
// names), Set As Default, Apply Default, Apply to All, Lock Format, Font,
// and "Print &Format" on the print format that CPageWindows owns. Rules and
// texts are FormatCommands.h's; this class reaches the windows and asks
// the user through the page windows' asker.
//
// The modal parts (the sheet, the font chooser) run through replaceable
// runners, so that a test fills the sheet or picks the font instead of a
// person.
//
// Thread-safety: the window thread only.
#pragma once

#include "properties/FormatCommands.h"

#include <QFont>

#include <functional>
#include <optional>

class QWidget;

namespace mavo {

class CChildFrame;
class CPageWindows;
class CPagePropertySheet;

class CFormatActions {
public:
    // Runs the sheet modally; returns QDialog::Accepted or Rejected.
    using SheetRunner = std::function<int(CPagePropertySheet& sheet)>;
    // Offers the font chooser starting from a font; none when cancelled.
    using FontChooser = std::function<std::optional<QFont>(QWidget* parent, const QFont& current)>;

    explicit CFormatActions(CPageWindows& windows);

    void SetSheetRunner(SheetRunner runner) { m_runSheet = std::move(runner); }
    void SetFontChooser(FontChooser chooser) { m_chooseFont = std::move(chooser); }

    CChildFrame* ActiveFrame() const;

    // The sheet of the frame's page, opened on `first`; true on OK.
    bool ShowProperties(CChildFrame* frame, PropertyPage first, QWidget* parent);
    // Asks; on Yes writes the page's format to "Default Style". True when
    // written.
    bool SetAsDefault(CChildFrame* frame, QWidget* parent);
    // No question; false when locked (or no frame).
    bool ApplyDefault(CChildFrame* frame);
    // Asks; on Yes applies the default style to every page window that is
    // neither minimised nor locked. Returns how many were changed.
    int ApplyToAll(QWidget* parent);
    // Returns whether the page is locked afterwards.
    bool ToggleLock(CChildFrame* frame);
    bool IsLocked(const CChildFrame* frame) const;
    // The font chooser on the page font; true when a font was taken.
    bool ChooseFont(CChildFrame* frame, QWidget* parent);
    // The page font from the chosen font (the 80% small font follows),
    // widths again, the window resized.
    void ApplyFont(CChildFrame* frame, const QFont& font);
    // "Print &Format": true on OK (the print format then holds the result).
    bool EditPrintFormat(QWidget* parent);

    // The stored default style.
    CPageFormat LoadDefaultStyle() const;

private:
    CPageWindows& m_windows;
    SheetRunner m_runSheet;
    FontChooser m_chooseFont;
};

} // namespace mavo
