#include "core/ui/CommandSet.h"

#include "core/ui/Pictures.h"

#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QWidget>

namespace mavo {

namespace {

// True when every key needs Ctrl or Alt, or is a function key.
bool AllModified(const QList<QKeySequence>& keys)
{
    for (const QKeySequence& key : keys) {
        if (key.isEmpty())
            continue;
        const QKeyCombination first = key[0];
        const bool modified = (first.keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0;
        const bool function = first.key() >= Qt::Key_F1 && first.key() <= Qt::Key_F35;
        if (!modified && !function)
            return false;
    }
    return true;
}

} // namespace

CCommandSet::CCommandSet(QWidget* window) : QObject(window), m_window(window) {}

QAction* CCommandSet::Install(CommandId id, std::function<void()> handler, Rule rule)
{
    const CommandInfo& info = GetCommandInfo(id);
    Entry& entry = m_entries[id];
    if (entry.action == nullptr) {
        entry.action = new QAction(QString::fromLatin1(info.text), this);
        entry.action->setCheckable(info.checkable);
        entry.action->setIcon(CommandIcon(id));
        entry.action->setIconVisibleInMenu(false);
        QList<QKeySequence> keys;
        for (const char* key : info.keys)
            if (key != nullptr)
                keys.append(QKeySequence(QString::fromLatin1(key), QKeySequence::PortableText));
        entry.action->setShortcuts(keys);
        // The main window owns the command keys: they work in its page
        // windows and in its modeless tool windows alike (a modal dialog
        // still keeps them away). A plain key (Space) stays the main
        // window's alone, so that a tool window's buttons keep it.
        entry.action->setShortcutContext(AllModified(keys) ? Qt::ApplicationShortcut : Qt::WindowShortcut);
        if (info.status != nullptr)
            entry.action->setStatusTip(QString::fromLatin1(info.status));
        // Owned by the window, so the keys work whether or not a menu shows.
        m_window->addAction(entry.action);
        connect(entry.action, &QAction::triggered, this, [this, id] { Run(id); });
    }
    entry.handler = std::move(handler);
    entry.rule = std::move(rule);
    return entry.action;
}

QAction* CCommandSet::Action(CommandId id) const
{
    auto found = m_entries.find(id);
    return found == m_entries.end() ? nullptr : found->second.action;
}

QAction* CCommandSet::ToolbarAction(CommandId id) const
{
    auto found = m_entries.find(id);
    return found == m_entries.end() ? nullptr : found->second.toolbarAction;
}

bool CCommandSet::Run(CommandId id)
{
    auto found = m_entries.find(id);
    if (found == m_entries.end() || !found->second.handler)
        return false;
    Entry& entry = found->second;
    if (!entry.action->isEnabled())
        return false;
    auto handler = entry.handler;  // the handler may install commands
    handler();
    return true;
}

bool CCommandSet::IsShown(CommandId id) const
{
    if (IsPresent(id))
        return true;
    const SubmenuLayout* submenu = FindSubmenu(id);
    if (submenu == nullptr)
        return false;
    for (CommandId item : submenu->items)
        if (IsShown(item))
            return true;
    return false;
}

void CCommandSet::AddItems(QMenu* menu, const std::vector<CommandId>& items)
{
    for (CommandId id : PresentItems(items, [this](CommandId c) { return IsShown(c); })) {
        if (id == CommandId::None) {
            menu->addSeparator();
        } else if (const SubmenuLayout* submenu = FindSubmenu(id)) {
            QMenu* sub = menu->addMenu(QString::fromLatin1(submenu->title));
            AddItems(sub, submenu->items);
        } else {
            menu->addAction(Action(id));
        }
    }
}

void CCommandSet::BuildMenus(QMenuBar* bar)
{
    bar->clear();
    for (const MenuLayout& layout : MainMenuLayout()) {
        auto present = PresentItems(layout.items, [this](CommandId c) { return IsShown(c); });
        if (present.empty())
            continue;
        QMenu* menu = bar->addMenu(QString::fromLatin1(layout.title));
        AddItems(menu, layout.items);
    }
}

void CCommandSet::BuildToolBar(QToolBar* bar)
{
    bar->clear();
    for (CommandId id : PresentItems(ToolbarLayout(), [this](CommandId c) { return IsPresent(c); })) {
        if (id == CommandId::None) {
            bar->addSeparator();
            continue;
        }
        Entry& entry = m_entries[id];
        if (entry.toolbarAction == nullptr) {
            if (id == CommandId::ConnectPrimary) {
                // The button has a rule of its own, so it is an action of its own.
                entry.toolbarAction = new QAction(entry.action->icon(), entry.action->text(), this);
                connect(entry.toolbarAction, &QAction::triggered, this, [this, id] {
                    auto found = m_entries.find(id);
                    if (found != m_entries.end() && found->second.handler)
                        found->second.handler();
                });
            } else {
                entry.toolbarAction = entry.action;
            }
        }
        entry.toolbarAction->setToolTip(QString(entry.action->text()).remove(QLatin1Char('&')));
        bar->addAction(entry.toolbarAction);
    }
}

void CCommandSet::FillContextMenu(QMenu* menu)
{
    menu->clear();
    AddItems(menu, ContextMenuLayout().items);
}

void CCommandSet::Update(const FrameCommandState& state)
{
    for (auto& [id, entry] : m_entries) {
        const CommandUi ui = entry.rule ? entry.rule(state, false) : EvaluateCommand(id, state, false);
        entry.action->setEnabled(ui.enabled);
        if (entry.action->isCheckable())
            entry.action->setChecked(ui.checked);
        if (entry.toolbarAction != nullptr && entry.toolbarAction != entry.action) {
            const CommandUi button = entry.rule ? entry.rule(state, true) : EvaluateCommand(id, state, true);
            entry.toolbarAction->setEnabled(button.enabled);
        }
    }
}

} // namespace mavo
