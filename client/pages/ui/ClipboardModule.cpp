#include "pages/ui/ClipboardModule.h"

#include "core/ScreenController.h"
#include "core/ui/MainFrame.h"
#include "pages/ClipboardText.h"
#include "pages/ui/ChildFrame.h"
#include "pages/ui/MAVOView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMdiArea>

namespace mavo {

namespace {

constexpr CommandId kStyleCommands[] = {CommandId::CopySingleColumn, CommandId::CopyTwoColumn,
                                        CommandId::CopyDelimited,    CommandId::CopyIndicative,
                                        CommandId::CopyExcelDataLinks, CommandId::CopyExcelTextLinks};

} // namespace

void CClipboardModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    CCommandSet& commands = frame.Commands();
    commands.Install(
        CommandId::EditCopy, [this] { Copy(); },
        [](const FrameCommandState& state, bool) { return CommandUi{state.pageWindowActive, false}; });
    for (int style = 0; style < static_cast<int>(std::size(kStyleCommands)); ++style) {
        commands.Install(
            kStyleCommands[style],
            [this, style] {
                m_frame->Settings().copyStyle = style;
                m_frame->UpdateCommands();
            },
            [this, style](const FrameCommandState&, bool) {
                return CommandUi{true, ValidCopyStyle(m_frame->Settings().copyStyle) == style};
            });
    }
}

CChildFrame* CClipboardModule::ActivePage() const
{
    if (m_frame == nullptr || m_frame->MdiArea() == nullptr)
        return nullptr;
    return qobject_cast<CChildFrame*>(m_frame->MdiArea()->activeSubWindow());
}

bool CClipboardModule::PageText(std::string& text) const
{
    CChildFrame* page = ActivePage();
    if (page == nullptr || page->View() == nullptr)
        return false;
    const std::vector<unsigned> keys = page->View()->Document().CopyLines();
    LineCache& cache = m_controller.GetLineCache();
    text = ClipboardPageText(
        keys, [&cache](unsigned key) { return cache.GetForRead(key); },
        ValidCopyStyle(m_frame->Settings().copyStyle), m_controller.IsFullView());
    return true;
}

bool CClipboardModule::Copy()
{
    if (ActivePage() == nullptr)
        return false;
    return CopyText(
        [this] {
            std::string text;
            PageText(text);
            return text;
        },
        [](const std::string& text) {
            QClipboard* clipboard = QGuiApplication::clipboard();
            if (clipboard == nullptr)
                return false;
            clipboard->setText(QString::fromStdString(text), QClipboard::Clipboard);
            return true;
        });
}

} // namespace mavo
