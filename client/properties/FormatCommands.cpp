#include "properties/FormatCommands.h"

#include "pages/MAVODoc.h"
#include "properties/ContentsList.h"

namespace mavo {

const char* PropertyPageCaption(PropertyPage page)
{
    switch (page) {
    case PropertyPage::Layout: return "Layout";
    case PropertyPage::Stack: return "Stack";
    case PropertyPage::Aggressors: return "Aggressors";
    case PropertyPage::TradeHistory: return "Trade History";
    case PropertyPage::Contents: return "Contents";
    case PropertyPage::Colors: return "Colors";
    case PropertyPage::TradeMonitor: return "Trade Monitor";
    }
    return "";
}

std::optional<PropertyPage> FirstPageFor(CommandId command)
{
    switch (command) {
    case CommandId::Properties:
    case CommandId::ModifyLayout: return PropertyPage::Layout;
    case CommandId::ModifyStack: return PropertyPage::Stack;
    case CommandId::ModifyAggressors: return PropertyPage::Aggressors;
    case CommandId::ModifyTradeHistory: return PropertyPage::TradeHistory;
    case CommandId::ModifyContents: return PropertyPage::Contents;
    default: return std::nullopt;
    }
}

std::string PropertySheetTitle(const std::string& pageTitle) { return pageTitle + " - Properties"; }

bool ApplyDefaultStyle(CPageFormat& page, const CPageFormat& defaultStyle)
{
    if (page.formatLocked != 0)
        return false;
    const int hasTradeLines = page.tmHasTradeLines;
    page = defaultStyle;
    page.tmHasTradeLines = hasTradeLines;
    page.Normalize();
    return true;
}

bool ToggleFormatLock(CPageFormat& page)
{
    page.formatLocked = page.formatLocked != 0 ? 0 : 1;
    return page.formatLocked != 0;
}

std::vector<int> ApplyToAllTargets(const std::vector<PageWindowState>& pages)
{
    std::vector<int> targets;
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (!pages[i].minimised && !pages[i].locked)
            targets.push_back(static_cast<int>(i));
    return targets;
}

SheetValues SheetValuesFrom(const CPageFormat& format, const std::string& title)
{
    SheetValues v;
    v.layout = LayoutValues::From(format, title);
    v.stack = StackValues::From(format);
    v.aggressors = AggressorValues::From(format);
    v.tradeHistory = TradeHistoryValues::From(format);
    v.colors = ColorValues::From(format);
    v.tradeMonitor = TradeMonitorValues::From(format);
    return v;
}

SheetOutcome AcceptSheet(const CPageFormat& current, const SheetValues& values, CMAVODoc* document,
                         const CContentsList* contents)
{
    SheetOutcome out;
    out.format = current;
    CPageFormat& f = out.format;
    if (values.stack)
        values.stack->ApplyTo(f);
    if (values.aggressors)
        values.aggressors->ApplyTo(f);
    if (values.layout) {
        values.layout->ApplyTo(f);
        if (document != nullptr) {
            const std::string title = values.layout->TitleFor(document->GetTitle());
            if (title != document->GetTitle())
                document->SetTitle(title);
        }
    }
    if (document != nullptr) {
        if (contents != nullptr)
            contents->Commit(*document);
        out.switchToTitleBar = document->GetLineCount() == 0;
    }
    if (values.tradeHistory)
        values.tradeHistory->ApplyTo(f);
    if (values.colors)
        values.colors->ApplyTo(f);
    if (values.tradeMonitor)
        values.tradeMonitor->ApplyTo(f);
    f.Normalize();
    return out;
}

} // namespace mavo
