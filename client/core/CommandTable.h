// The main window's command table: every command of the frame and of the
// page windows with its menu text and accelerator keys, the menus, the
// toolbar and the context menu in their order, and the rules that enable
// and check the frame's commands.
//
// The table is complete; a window shows only the commands whose handlers
// are installed (so a command that arrives with a later module appears
// with it and is never present but dead). Keys are written in the portable
// form of Qt's key sequences ("Ctrl+1", "Shift+Insert", "F7").
//
// Constants and pure functions; any thread.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace mavo {

enum class CommandId : int {
    None = 0,  // a separator in layouts
    // connection (main frame)
    ConnectPrimary,
    ConnectBackup,
    Failover,
    Disconnect,
    SourceOptions,
    SourceStatus,
    Dial,
    Hangup,
    // main frame
    DdeServer,
    PopupNotifications,
    CurrentTime,
    TradeTimer,
    AnchorWindows,
    InfoClickEnabled,
    CustomerList,
    PageList,
    Notifications,
    PagePermission,
    YourOrders,
    VolumeReport,
    AlwaysOnTop,
    RefreshWindows,
    ViewFullScreen,
    DisplayOptions,
    SendPageCount,
    ScreenProperties,
    SaveFormat,
    PrintPage,
    PrintAllPages,
    PrintFormat,
    LeaveFullScreen,
    ViewToolBar,
    ViewStatusBar,
    About,
    Exit,
    // page windows and their format
    New,
    Close,
    SetAsDefault,
    ApplyDefault,
    ApplyToAll,
    LockFormat,
    TitleBar,
    BorderOnly,
    Frameless,
    Font,
    ModifyLayout,
    ModifyStack,
    ModifyAggressors,
    ModifyTradeHistory,
    ModifyContents,
    Properties,
    EditCopy,
    EditCut,
    EditPaste,
    EditUndo,
    NextPane,
    PreviousPane,
    // the View menu's "Cut-and-Paste Format" submenu and its six formats
    CopyFormatMenu,
    CopySingleColumn,
    CopyTwoColumn,
    CopyDelimited,
    CopyIndicative,
    CopyExcelDataLinks,
    CopyExcelTextLinks,
    // the Window menu: arranging the page windows
    Cascade,
    Tile,
    Count_
};

struct CommandInfo {
    CommandId id;
    const char* text;       // menu text, '&' before the mnemonic
    const char* keys[2];    // accelerators, null when none
    bool checkable;         // shows a check mark when on
    const char* status = nullptr;  // the status-bar text while the item is highlighted
};

struct MenuLayout {
    const char* title;
    std::vector<CommandId> items;  // CommandId::None: a separator
};

// Every command, in CommandId order.
std::span<const CommandInfo> AllCommands();
const CommandInfo& GetCommandInfo(CommandId id);

// A command id that stands for a submenu in a menu layout: the submenu's
// title and items. It is shown when any of its items is present.
struct SubmenuLayout {
    CommandId id;
    const char* title;
    std::vector<CommandId> items;
};
// The submenu a command id stands for, or null.
const SubmenuLayout* FindSubmenu(CommandId id);

// The main menu bar, left to right.
const std::vector<MenuLayout>& MainMenuLayout();
// The right-button menu of the main window.
const MenuLayout& ContextMenuLayout();
// The toolbar, left to right; CommandId::None is a separator.
const std::vector<CommandId>& ToolbarLayout();

// What the enabling rules look at.
struct FrameCommandState {
    bool connected = false;      // the active source is connected (or trying)
    int failover = 0;            // 0 primary selected, 1 backup selected
    bool fullView = false;       // the user level is 999
    bool anchored = false;
    bool infoOnClick = false;
    bool popupNotifications = false;
    bool tradeTimer = false;
    bool alwaysOnTop = false;
    bool fullScreen = false;
    bool pageWindowActive = false;
    bool toolBarVisible = true;
    bool statusBarVisible = true;
};

struct CommandUi {
    bool enabled = true;
    bool checked = false;
};

// Enabling and check mark of a command. onToolbar: the toolbar's button of
// the command (the Connect button has a rule of its own). Commands whose
// rules belong to the page windows are enabled and unchecked here.
CommandUi EvaluateCommand(CommandId id, const FrameCommandState& state, bool onToolbar = false);

// Drops leading, trailing and doubled separators and the commands `present`
// rejects.
template <typename Pred>
std::vector<CommandId> PresentItems(const std::vector<CommandId>& items, Pred present)
{
    std::vector<CommandId> out;
    for (CommandId id : items) {
        if (id == CommandId::None) {
            if (!out.empty() && out.back() != CommandId::None)
                out.push_back(id);
        } else if (present(id)) {
            out.push_back(id);
        }
    }
    if (!out.empty() && out.back() == CommandId::None)
        out.pop_back();
    return out;
}

} // namespace mavo
