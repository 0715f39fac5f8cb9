#include "core/ui/WindowCommands.h"

#include "core/ui/MainFrame.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace mavo {

namespace {

// The line edit behind a focused field, when it is one.
QLineEdit* LineEditOf(QWidget* field)
{
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        return edit;
    if (auto* combo = qobject_cast<QComboBox*>(field))
        return combo->isEditable() ? combo->lineEdit() : nullptr;
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(field))
        return spin->findChild<QLineEdit*>();
    return nullptr;
}

bool ClipboardHasText()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data != nullptr && data->hasText() && !data->text().isEmpty();
}

bool SpinReadOnly(QWidget* field)
{
    auto* spin = qobject_cast<QAbstractSpinBox*>(field);
    return spin != nullptr && spin->isReadOnly();
}

int PageWindowCount(const CMainFrame& frame)
{
    return frame.MdiArea() != nullptr ? static_cast<int>(frame.MdiArea()->subWindowList().size()) : 0;
}

} // namespace

QWidget* CWindowCommandsModule::FocusedTextField()
{
    QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr)
        return nullptr;
    if (LineEditOf(focus) != nullptr || qobject_cast<QTextEdit*>(focus) != nullptr ||
        qobject_cast<QPlainTextEdit*>(focus) != nullptr)
        return focus;
    return nullptr;
}

bool CWindowCommandsModule::CanUndo(QWidget* field)
{
    if (QLineEdit* edit = LineEditOf(field))
        return !edit->isReadOnly() && !SpinReadOnly(field) && edit->isUndoAvailable();
    if (auto* text = qobject_cast<QTextEdit*>(field))
        return !text->isReadOnly() && text->document()->isUndoAvailable();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
        return !plain->isReadOnly() && plain->document()->isUndoAvailable();
    return false;
}

bool CWindowCommandsModule::CanCut(QWidget* field)
{
    if (QLineEdit* edit = LineEditOf(field))
        return !edit->isReadOnly() && !SpinReadOnly(field) && edit->hasSelectedText() &&
               edit->echoMode() == QLineEdit::Normal;
    if (auto* text = qobject_cast<QTextEdit*>(field))
        return !text->isReadOnly() && text->textCursor().hasSelection();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
        return !plain->isReadOnly() && plain->textCursor().hasSelection();
    return false;
}

bool CWindowCommandsModule::CanPaste(QWidget* field)
{
    if (!ClipboardHasText())
        return false;
    if (QLineEdit* edit = LineEditOf(field))
        return !edit->isReadOnly() && !SpinReadOnly(field);
    if (auto* text = qobject_cast<QTextEdit*>(field))
        return !text->isReadOnly();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
        return !plain->isReadOnly();
    return false;
}

bool CWindowCommandsModule::Undo(QWidget* field)
{
    if (!CanUndo(field))
        return false;
    if (QLineEdit* edit = LineEditOf(field))
        edit->undo();
    else if (auto* text = qobject_cast<QTextEdit*>(field))
        text->undo();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
        plain->undo();
    return true;
}

bool CWindowCommandsModule::Cut(QWidget* field)
{
    if (!CanCut(field))
        return false;
    if (QLineEdit* edit = LineEditOf(field))
        edit->cut();
    else if (auto* text = qobject_cast<QTextEdit*>(field))
        text->cut();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
        plain->cut();
    return true;
}

bool CWindowCommandsModule::Paste(QWidget* field)
{
    if (!CanPaste(field))
        return false;
    if (QLineEdit* edit = LineEditOf(field))
        edit->paste();
    else if (auto* text = qobject_cast<QTextEdit*>(field))
        text->paste();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
        plain->paste();
    return true;
}

void CWindowCommandsModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    using C = CommandId;
    CCommandSet& commands = frame.Commands();
    commands.Install(
        C::EditUndo, [] { Undo(FocusedTextField()); },
        [](const FrameCommandState&, bool) { return CommandUi{CanUndo(FocusedTextField()), false}; });
    commands.Install(
        C::EditCut, [] { Cut(FocusedTextField()); },
        [](const FrameCommandState&, bool) { return CommandUi{CanCut(FocusedTextField()), false}; });
    commands.Install(
        C::EditPaste, [] { Paste(FocusedTextField()); },
        [](const FrameCommandState&, bool) { return CommandUi{CanPaste(FocusedTextField()), false}; });
    commands.Install(C::Cascade, [this] {
        if (m_frame != nullptr && m_frame->MdiArea() != nullptr)
            m_frame->MdiArea()->cascadeSubWindows();
    });
    commands.Install(C::Tile, [this] {
        if (m_frame != nullptr && m_frame->MdiArea() != nullptr)
            m_frame->MdiArea()->tileSubWindows();
    });
    const auto severalPages = [this](const FrameCommandState&, bool) {
        return CommandUi{m_frame != nullptr && PageWindowCount(*m_frame) > 1, false};
    };
    commands.Install(
        C::NextPane,
        [this] {
            if (m_frame != nullptr && m_frame->MdiArea() != nullptr)
                m_frame->MdiArea()->activateNextSubWindow();
        },
        severalPages);
    commands.Install(
        C::PreviousPane,
        [this] {
            if (m_frame != nullptr && m_frame->MdiArea() != nullptr)
                m_frame->MdiArea()->activatePreviousSubWindow();
        },
        severalPages);
}

} // namespace mavo

namespace mavo {

void CWindowCommandsModule::CreateWindows(CMainFrame& frame, const CMainFrameSettings&)
{
    m_frame = &frame;
    CMainFrame* window = &frame;
    for (QAction* item : frame.menuBar()->actions())
        if (QMenu* menu = item->menu())
            QObject::connect(menu, &QMenu::aboutToShow, m_context.get(), [window] { window->UpdateCommands(); });
    if (QMenu* context = frame.ContextMenu())
        QObject::connect(context, &QMenu::aboutToShow, m_context.get(), [window] { window->UpdateCommands(); });
}

} // namespace mavo
