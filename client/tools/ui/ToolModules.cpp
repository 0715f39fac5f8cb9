#include "tools/ui/ToolModules.h"

#include "core/FrameTexts.h"
#include "core/ScreenController.h"
#include "core/ui/MainFrame.h"
#include "tools/ToolTexts.h"
#include "tools/ui/ClockWindow.h"
#include "tools/ui/ContribWindow.h"
#include "tools/ui/ScreenPropertiesDialog.h"
#include "tools/ui/SendPageCountDialog.h"

#include <QGuiApplication>
#include <QScreen>

namespace mavo {

namespace {

void Present(QWidget* window)
{
    if (window == nullptr)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

// ------------------------------------------------------------------ clock

void CClockModule::InstallCommands(CMainFrame& frame)
{
    frame.Commands().Install(CommandId::CurrentTime, [this] { Present(m_window); });
}

void CClockModule::CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings)
{
    m_window = new CClockWindow(&frame);
    m_window->move(settings.time.left, settings.time.top);
    if (settings.time.show != 0)
        m_window->show();
}

void CClockModule::StoreWindowSettings(CMainFrameSettings& settings)
{
    if (!m_window)
        return;
    settings.time.left = m_window->pos().x();
    settings.time.top = m_window->pos().y();
    settings.time.show = m_window->isVisible() ? 1 : 0;
}

// ------------------------------------------------------------------ tools

void CToolsModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    CCommandSet& commands = frame.Commands();
    commands.Install(CommandId::Notifications, [this] { Present(m_contrib); });
    commands.Install(CommandId::ScreenProperties, [this] { EditScreenProperties(); });
    commands.Install(CommandId::SendPageCount, [this] { ShowPageCounts(); });
}

void CToolsModule::CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings)
{
    m_frame = &frame;
    m_contrib = new CContribWindow(&frame);
    m_contrib->move(settings.contrib.left, settings.contrib.top);
    if (settings.contribWidth && settings.contribHeight && *settings.contribWidth > 0 && *settings.contribHeight > 0)
        m_contrib->resize(*settings.contribWidth, *settings.contribHeight);
    if (settings.contrib.show != 0)
        m_contrib->show();
}

void CToolsModule::StoreWindowSettings(CMainFrameSettings& settings)
{
    if (!m_contrib)
        return;
    settings.contrib.left = m_contrib->pos().x();
    settings.contrib.top = m_contrib->pos().y();
    settings.contribWidth = m_contrib->width();
    settings.contribHeight = m_contrib->height();
    settings.contrib.show = m_contrib->isVisible() ? 1 : 0;
}

void CToolsModule::OnNotification(const std::string& text)
{
    if (m_contrib)
        m_contrib->AddNotification(text);
}

bool CToolsModule::EditScreenProperties()
{
    if (m_frame == nullptr)
        return false;
    QScreen* where = m_frame->screen() != nullptr ? m_frame->screen() : QGuiApplication::primaryScreen();
    const QSize screen = where != nullptr ? where->geometry().size() : QSize(1024, 768);
    CScreenPropertiesDialog dialog(m_frame->Settings().fullScreenArea, screen, m_frame);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    m_frame->Settings().fullScreenArea = dialog.Result();
    // Full screen that is on takes the new rectangle at once.
    if (m_frame->IsFullScreen())
        m_frame->setGeometry(m_frame->FullScreenRect());
    std::string error;
    if (!m_frame->SaveAllSettings(&error))
        m_frame->Messages().Show(m_frame, QString::fromLatin1(kErrorCaption),
                                 QString::fromLatin1(kCannotSaveSettings) + QStringLiteral("\n") +
                                     QString::fromStdString(error),
                                 CMessageService::Icon::Error, CMessageService::Buttons::Ok);
    return true;
}

void CToolsModule::ShowPageCounts()
{
    if (m_frame == nullptr)
        return;
    CSendPageCountDialog dialog(PageCountEntries(CollectPageCounts(m_controller.GetLineCache())), m_frame);
    dialog.exec();
}

} // namespace mavo
