// CCommandSet: the commands the main window has, as QActions. A command is
// present once a handler is installed for it (the frame installs its own,
// each module its own); menus, the toolbar and the context menu are built
// from the layouts of CommandTable.h with the present commands only, so a
// command that is not delivered is absent rather than dead. Accelerators
// come from the table and work while the window is active (the actions
// belong to the window, not only to its menus, so they work in full screen
// too).
//
// Update re-applies the enabling rules and check marks to every action.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/CommandTable.h"

#include <QAction>

#include <functional>
#include <map>

class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

namespace mavo {

class CCommandSet : public QObject {
    Q_OBJECT
public:
    using Rule = std::function<CommandUi(const FrameCommandState&, bool onToolbar)>;

    explicit CCommandSet(QWidget* window);

    // Installs the handler of a command; rule: its own enabling rule (by
    // default EvaluateCommand). Installing twice replaces the handler.
    QAction* Install(CommandId id, std::function<void()> handler, Rule rule = {});
    bool IsPresent(CommandId id) const { return m_entries.count(id) != 0; }
    // Present, or a submenu with a present item.
    bool IsShown(CommandId id) const;
    // The command's action, or null when it is absent.
    QAction* Action(CommandId id) const;
    // The toolbar's own action of a command (the Connect button has its
    // own rule); null when the command is not on the toolbar.
    QAction* ToolbarAction(CommandId id) const;
    // Runs the handler when the command is present and enabled.
    bool Run(CommandId id);

    void BuildMenus(QMenuBar* bar);
    void BuildToolBar(QToolBar* bar);
    // The context menu, filled anew.
    void FillContextMenu(QMenu* menu);

    void Update(const FrameCommandState& state);

private:
    struct Entry {
        QAction* action = nullptr;
        QAction* toolbarAction = nullptr;
        std::function<void()> handler;
        Rule rule;
    };
    void AddItems(QMenu* menu, const std::vector<CommandId>& items);

    QWidget* m_window;
    std::map<CommandId, Entry> m_entries;
};

} // namespace mavo
