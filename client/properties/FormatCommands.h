// The rules of the format commands and of the property sheet, without a
// display: which page the sheet opens on for each command, the sheet's
// title, the questions and their captions, what Apply Default does to a
// page format, which pages Apply to All reaches, and the order in which an
// accepted sheet is applied.
//
// Accepting (OK): the Stack, Aggressors, Layout and Contents pages are
// applied to the format and the document; a page left with no lines goes
// to the title-bar frame style; then the Trade History, Colors and Trade
// Monitor pages. A page the sheet did not hold (the print format's sheet
// has three) leaves its settings as they are.
//
// Thread-safety: plain values and pure functions; any thread.
#pragma once

#include "core/CommandTable.h"
#include "pages/PageFormat.h"
#include "properties/PropertyValues.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace mavo {

class CMAVODoc;
class CContentsList;

enum class PropertyPage { Layout, Stack, Aggressors, TradeHistory, Contents, Colors, TradeMonitor };

inline constexpr std::array<PropertyPage, 7> kPagePropertyPages = {
    PropertyPage::Layout,   PropertyPage::Stack,  PropertyPage::Aggressors,  PropertyPage::TradeHistory,
    PropertyPage::Contents, PropertyPage::Colors, PropertyPage::TradeMonitor};
// "Print &Format" edits the print format with these, in this order.
inline constexpr std::array<PropertyPage, 3> kPrintPropertyPages = {PropertyPage::Layout, PropertyPage::TradeHistory,
                                                                    PropertyPage::Stack};

// The page's caption ("Layout", "Stack", ...).
const char* PropertyPageCaption(PropertyPage page);
// The page a command opens the sheet on; none for a command that opens no
// sheet.
std::optional<PropertyPage> FirstPageFor(CommandId command);

// "%s - Properties" with the page title.
std::string PropertySheetTitle(const std::string& pageTitle);
inline constexpr const char* kPrintFormatTitle = "Print Page Format";

inline constexpr const char* kSetDefaultCaption = "Set Default Style";
inline constexpr const char* kSetDefaultQuestion = "Are you sure you want to set this as\nthe new default style?";
inline constexpr const char* kApplyDefaultCaption = "Apply Default Style";
inline constexpr const char* kApplyDefaultQuestion =
    "Are you sure you want to apply the default style?\n(some data may be removed from the display\nand/or pages "
    "misaligned)";

// Apply Default on one page: false (format unchanged) while the page's
// format is locked; else the default style with the page's own
// "TMHasTradeLines".
bool ApplyDefaultStyle(CPageFormat& page, const CPageFormat& defaultStyle);

// Lock Format: toggles "FormatLocked"; returns whether it is now locked.
bool ToggleFormatLock(CPageFormat& page);

struct PageWindowState {
    bool minimised = false;
    bool locked = false;
};
// The positions Apply to All changes: every page window that is neither
// minimised nor locked.
std::vector<int> ApplyToAllTargets(const std::vector<PageWindowState>& pages);

// What a sheet collected; a page the sheet does not hold stays empty.
struct SheetValues {
    std::optional<LayoutValues> layout;
    std::optional<StackValues> stack;
    std::optional<AggressorValues> aggressors;
    std::optional<TradeHistoryValues> tradeHistory;
    std::optional<ColorValues> colors;
    std::optional<TradeMonitorValues> tradeMonitor;
};

// Reads every page of the format (the layout with the title).
SheetValues SheetValuesFrom(const CPageFormat& format, const std::string& title = {});

struct SheetOutcome {
    CPageFormat format;
    bool switchToTitleBar = false;  // the page was left with no lines
};

// OK on the sheet of a page window: the format and, with a document, its
// title and lines (contents may be null: the lines stay).
SheetOutcome AcceptSheet(const CPageFormat& current, const SheetValues& values, CMAVODoc* document,
                         const CContentsList* contents);

} // namespace mavo
