#include "core/ui/DdeModule.h"

#include "core/FrameTexts.h"
#include "core/ScreenController.h"
#include "core/ui/DdeServerWindow.h"
#include "core/ui/MainFrame.h"

namespace mavo {

void CDdeModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    frame.Commands().Install(CommandId::DdeServer, [this] {
        if (!m_window)
            return;
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
    });
}

void CDdeModule::CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings)
{
    m_frame = &frame;
    m_window = new CDdeServerWindow(m_controller, frame.Messages(), &frame);
    m_window->move(settings.dde.left, settings.dde.top);
    m_window->SetEnabledAtStart(settings.enableDDE != 0);
    m_window->SetEnableChanged([this](bool on) {
        if (m_frame == nullptr)
            return;
        m_frame->Settings().enableDDE = on ? 1 : 0;
        std::string error;
        if (!m_frame->SaveAllSettings(&error))
            m_frame->Messages().Show(m_window, QString::fromUtf8(kErrorCaption),
                                     QString::fromUtf8(kCannotSaveSettings) + QStringLiteral("\n") +
                                         QString::fromStdString(error),
                                     CMessageService::Icon::Error, CMessageService::Buttons::Ok);
    });
    if (settings.dde.show != 0)
        m_window->show();
}

void CDdeModule::StoreWindowSettings(CMainFrameSettings& settings)
{
    if (!m_window)
        return;
    // A hidden window keeps the place it had when it was last shown.
    const QPoint place = m_window->pos();
    settings.dde.left = place.x();
    settings.dde.top = place.y();
    settings.dde.show = m_window->isVisible() ? 1 : 0;
}

} // namespace mavo
