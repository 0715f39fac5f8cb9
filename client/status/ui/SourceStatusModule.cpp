#include "status/ui/SourceStatusModule.h"

#include "core/ScreenController.h"
#include "core/ui/MainFrame.h"
#include "core/FeedLibrary.h"
#include "zphsource/Source.h"

namespace mavo {

CSourceStatusModule::~CSourceStatusModule()
{
    // The window leaves the controller's client lists before the frame goes.
    delete m_window.data();
}

void CSourceStatusModule::InstallCommands(CMainFrame& frame)
{
    frame.Commands().Install(CommandId::SourceStatus, [this] {
        if (!m_window)
            return;
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
    });
}

void CSourceStatusModule::CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings)
{
    m_window = new CSourceStatusWindow(m_controller, &frame);
    m_window->move(settings.status.left, settings.status.top);
    if (ZPHSource* source = m_controller.GetSource()) {
        m_window->SetKind(source->GetKind());
        m_window->SetAddress(source->GetStatusText());
    }
    if (settings.status.show != 0)
        m_window->show();
}

bool CSourceStatusModule::MayCreateWindowsLater(const CMainFrameSettings& settings) const
{
    // Every call here copes without the window.
    return settings.status.show == 0;
}

void CSourceStatusModule::StoreWindowSettings(CMainFrameSettings& settings)
{
    if (!m_window)
        return;
    // A hidden window keeps the place it had when it was last shown.
    const QPoint place = m_window->pos();
    settings.status.left = place.x();
    settings.status.top = place.y();
    settings.status.show = m_window->isVisible() ? 1 : 0;
}

void CSourceStatusModule::OnFeedState(FeedState state, int kind, const std::string& statusText)
{
    if (!m_window)
        return;
    m_window->SetFeedState(state);
    m_window->SetKind(kind);
    m_window->SetAddress(statusText);
}

void CSourceStatusModule::OnSourceLog(const std::string& line)
{
    if (m_window)
        m_window->AddLog(line);
}

} // namespace mavo
