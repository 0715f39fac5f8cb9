#include "core/CommandTable.h"

#include <array>
#include <stdexcept>

namespace mavo {

namespace {

using C = CommandId;

constexpr std::array<CommandInfo, static_cast<std::size_t>(CommandId::Count_)> kCommands{{
    {C::None, "", {nullptr, nullptr}, false},
    {C::ConnectPrimary, "&Connect Primary", {nullptr, nullptr}, false},
    {C::ConnectBackup, "Connect &Backup", {nullptr, nullptr}, false},
    {C::Failover, "&Failover", {nullptr, nullptr}, false},
    {C::Disconnect, "&Disconnect", {nullptr, nullptr}, false},
    {C::SourceOptions, "&Options", {nullptr, nullptr}, false},
    {C::SourceStatus, "&Status", {"Ctrl+E", nullptr}, false},
    {C::Dial, "Dial...", {nullptr, nullptr}, false},
    {C::Hangup, "Hangup", {nullptr, nullptr}, false},
    {C::DdeServer, "DDE Server", {nullptr, nullptr}, false},
    {C::PopupNotifications, "P&opup Notifications", {nullptr, nullptr}, true},
    {C::CurrentTime, "C&urrent Time", {nullptr, nullptr}, false},
    {C::TradeTimer, "Trade Timer", {nullptr, nullptr}, true},
    {C::AnchorWindows, "&Anchor Windows", {"Ctrl+H", nullptr}, true},
    {C::InfoClickEnabled, "&Info Click Enabled", {nullptr, nullptr}, true},
    {C::CustomerList, "&Customer List", {"F1", nullptr}, false},
    {C::PageList, "&Page List", {"F2", nullptr}, false},
    {C::Notifications, "&Notifications", {nullptr, nullptr}, false},
    {C::PagePermission, "Pa&ge Permission", {"F3", nullptr}, false},
    {C::YourOrders, "&Your Orders", {"Ctrl+Y", nullptr}, false},
    {C::VolumeReport, "Volume Report", {nullptr, nullptr}, false},
    {C::AlwaysOnTop, "Always On Top", {nullptr, nullptr}, true},
    {C::RefreshWindows, "&Refresh Windows", {"F5", nullptr}, false},
    {C::ViewFullScreen, "&View Full Screen", {"Ctrl+W", nullptr}, true},
    {C::DisplayOptions, "&Display Options", {nullptr, nullptr}, false},
    {C::SendPageCount, "Send Page Count", {nullptr, nullptr}, false},
    {C::ScreenProperties, "Screen Properties", {nullptr, nullptr}, false},
    {C::SaveFormat, "&Save Format", {"Ctrl+S", nullptr}, false},
    {C::PrintPage, "&Print Page", {"Ctrl+P", nullptr}, false},
    {C::PrintAllPages, "Print &All Pages", {"Ctrl+A", nullptr}, false},
    {C::PrintFormat, "Print &Format", {nullptr, nullptr}, false},
    {C::LeaveFullScreen, "Leave Full Screen", {"Space", nullptr}, false},
    {C::ViewToolBar, "&Toolbar", {nullptr, nullptr}, true},
    {C::ViewStatusBar, "&Status Bar", {nullptr, nullptr}, true},
    {C::About, "&About MAVO...", {nullptr, nullptr}, false},
    {C::Exit, "E&xit", {nullptr, nullptr}, false},
    {C::New, "&New", {"Ctrl+N", "F4"}, false},
    {C::Close, "&Close", {"Escape", nullptr}, false},
    {C::SetAsDefault, "Set As &Default", {"Ctrl+I", "F7"}, false},
    {C::ApplyDefault, "&Apply Default", {"Ctrl+J", "F8"}, false},
    {C::ApplyToAll, "Apply to A&ll", {"Ctrl+L", nullptr}, false},
    {C::LockFormat, "Lock For&mat", {"Ctrl+M", nullptr}, true},
    {C::TitleBar, "&Title Bar", {"Ctrl+1", nullptr}, true},
    {C::BorderOnly, "&Border Only", {"Ctrl+2", nullptr}, true},
    {C::Frameless, "&Frameless", {"Ctrl+3", nullptr}, true},
    {C::Font, "&Font", {"Ctrl+F", nullptr}, false},
    {C::ModifyLayout, "Modify Layout", {"F9", nullptr}, false},
    {C::ModifyStack, "Modify Stack", {"Ctrl+K", "F10"}, false},
    {C::ModifyAggressors, "Modify Aggressors", {nullptr, nullptr}, false},
    {C::ModifyTradeHistory, "Modify Trade History", {"Ctrl+T", "F12"}, false},
    {C::ModifyContents, "Modify Contents", {"Ctrl+O", "F11"}, false},
    {C::Properties, "&Properties", {"Ctrl+R", nullptr}, false},
    {C::EditCopy, "&Copy", {"Ctrl+C", "Ctrl+Insert"}, false},
    {C::EditCut, "Cu&t", {"Ctrl+X", "Shift+Delete"}, false},
    {C::EditPaste, "&Paste", {"Ctrl+V", "Shift+Insert"}, false},
    {C::EditUndo, "&Undo", {"Ctrl+Z", "Alt+Backspace"}, false},
    {C::NextPane, "Ne&xt Pane", {"F6", nullptr}, false},
    {C::PreviousPane, "Pre&vious Pane", {"Shift+F6", nullptr}, false},
    {C::CopyFormatMenu, "Cut-and-Paste Format", {nullptr, nullptr}, false},
    {C::CopySingleColumn, "Single Column Text", {nullptr, nullptr}, true, "Single Column Text"},
    {C::CopyTwoColumn, "Two Column Text", {nullptr, nullptr}, true, "Two Column Text"},
    {C::CopyDelimited, "Single Column Delimited", {nullptr, nullptr}, true, "Single Column Delimited"},
    {C::CopyIndicative, "Single Column Text w/Indicative", {nullptr, nullptr}, true,
     "Single Column Text with Indicativates"},
    {C::CopyExcelDataLinks, "MS Excel DDE Data Links", {nullptr, nullptr}, true, "Excel DDE Data Link Format"},
    {C::CopyExcelTextLinks, "MS Excel DDE Text Links", {nullptr, nullptr}, true, "Excel DDE Text Link Format"},
    {C::Cascade, "&Cascade", {nullptr, nullptr}, false},
    {C::Tile, "&Tile", {nullptr, nullptr}, false},
}};

constexpr bool TableInOrder()
{
    for (std::size_t i = 0; i < kCommands.size(); ++i)
        if (static_cast<std::size_t>(kCommands[i].id) != i)
            return false;
    return true;
}
static_assert(TableInOrder(), "the command table must list every command in CommandId order");

constexpr C sep = C::None;

} // namespace

std::span<const CommandInfo> AllCommands() { return std::span<const CommandInfo>(kCommands).subspan(1); }

const CommandInfo& GetCommandInfo(CommandId id)
{
    const auto index = static_cast<std::size_t>(id);
    if (index >= kCommands.size())
        throw std::out_of_range("unknown command");
    return kCommands[index];
}

const SubmenuLayout* FindSubmenu(CommandId id)
{
    static const std::vector<SubmenuLayout> submenus{
        {C::CopyFormatMenu, "Cut-and-Paste Format",
         {C::CopySingleColumn, C::CopyTwoColumn, C::CopyDelimited, C::CopyIndicative, C::CopyExcelDataLinks,
          C::CopyExcelTextLinks}},
    };
    for (const auto& submenu : submenus)
        if (submenu.id == id)
            return &submenu;
    return nullptr;
}

const std::vector<MenuLayout>& MainMenuLayout()
{
    static const std::vector<MenuLayout> menus{
        {"&File", {C::New, C::Close, sep, C::SaveFormat, sep, C::PrintPage, C::PrintAllPages, C::PrintFormat, sep,
                   C::Exit}},
        {"&Edit", {C::EditUndo, sep, C::EditCut, C::EditCopy, C::EditPaste}},
        {"&View", {C::ViewToolBar, C::ViewStatusBar, sep, C::ViewFullScreen, C::AlwaysOnTop, C::RefreshWindows,
                   C::ScreenProperties, sep, C::PopupNotifications, C::Notifications, C::CurrentTime, C::TradeTimer,
                   sep, C::AnchorWindows, C::InfoClickEnabled, C::DisplayOptions, sep, C::CustomerList, C::PageList,
                   C::PagePermission, C::SendPageCount, sep, C::YourOrders, C::VolumeReport, C::DdeServer, sep,
                   C::CopyFormatMenu}},
        {"F&eed", {C::ConnectPrimary, C::ConnectBackup, C::Failover, C::Disconnect, sep, C::SourceOptions,
                   C::SourceStatus, sep, C::Dial, C::Hangup}},
        {"F&ormat", {C::SetAsDefault, C::ApplyDefault, C::ApplyToAll, C::LockFormat, sep, C::TitleBar,
                     C::BorderOnly, C::Frameless, sep, C::Font, C::ModifyLayout, C::ModifyStack, C::ModifyAggressors,
                     C::ModifyTradeHistory, C::ModifyContents, C::Properties}},
        {"&Window", {C::Cascade, C::Tile}},
        {"&Help", {C::About}},
    };
    return menus;
}

const MenuLayout& ContextMenuLayout()
{
    // The right-button menu is the View menu.
    return MainMenuLayout()[2];
}

const std::vector<CommandId>& ToolbarLayout()
{
    static const std::vector<CommandId> toolbar{
        C::New,           C::SaveFormat,     C::PrintAllPages,    sep,
        C::ConnectPrimary, C::SourceOptions, C::RefreshWindows,   C::ViewFullScreen, sep,
        C::SetAsDefault,  C::ApplyDefault,   sep,
        C::AnchorWindows, C::LockFormat,     C::InfoClickEnabled, C::TitleBar,       C::BorderOnly, C::Frameless, sep,
        C::Font,          C::ModifyLayout,   C::ModifyStack,      C::ModifyAggressors, C::ModifyTradeHistory,
        C::ModifyContents, sep,
        C::About,
    };
    return toolbar;
}

CommandUi EvaluateCommand(CommandId id, const FrameCommandState& s, bool onToolbar)
{
    const bool primary = s.failover == 0;
    switch (id) {
    case C::ConnectPrimary:
        if (onToolbar)
            return {!s.connected, false};
        return {!primary || !s.connected, false};
    case C::ConnectBackup: return {primary || !s.connected, false};
    case C::Failover:
    case C::Disconnect: return {s.connected, false};
    case C::SourceOptions: return {!s.connected, false};
    // Dialling happens only through connecting; these have no action.
    case C::Dial:
    case C::Hangup: return {false, false};
    case C::PopupNotifications: return {true, s.popupNotifications};
    case C::TradeTimer: return {s.fullView, s.fullView && s.tradeTimer};
    case C::AnchorWindows: return {true, s.anchored};
    case C::InfoClickEnabled: return {s.anchored, s.infoOnClick};
    // Anchored windows stay where the user put them.
    case C::Cascade:
    case C::Tile: return {!s.anchored, false};
    case C::CustomerList: return {s.fullView, false};
    case C::PagePermission: return {!s.fullView, false};
    case C::VolumeReport: return {s.fullView && s.connected, false};
    case C::AlwaysOnTop: return {true, s.alwaysOnTop};
    case C::ViewFullScreen: return {true, s.fullScreen};
    case C::DisplayOptions:
    case C::SendPageCount: return {s.fullView, false};
    case C::PrintAllPages: return {s.pageWindowActive, false};
    case C::ViewToolBar: return {true, s.toolBarVisible};
    case C::ViewStatusBar: return {true, s.statusBarVisible};
    default: return {true, false};
    }
}

} // namespace mavo
