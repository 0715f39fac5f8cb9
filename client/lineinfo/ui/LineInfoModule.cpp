#include "lineinfo/ui/LineInfoModule.h"

#include "core/FrameTexts.h"
#include "core/ScreenController.h"
#include "core/ui/MainFrame.h"
#include "lineinfo/DisplayOptions.h"
#include "lineinfo/LineInfoTexts.h"
#include "lineinfo/ui/DisplayOptionsDialog.h"
#include "lineinfo/ui/InfoTipWindow.h"
#include "lineinfo/ui/LineInfoWindow.h"
#include "pages/ui/PageWindows.h"
#include "pages/ui/PagesModule.h"

namespace mavo {

CLineInfoModule::CLineInfoModule(CScreenController& controller, CPagesModule& pages)
    : m_controller(controller), m_pages(pages), m_feed(controller),
      m_self(std::make_shared<CLineInfoModule*>(this))
{
}

CLineInfoModule::~CLineInfoModule()
{
    // The page windows' handlers hold only a weak link to this module:
    // whichever goes first, nothing calls into a module that is gone.
    m_self.reset();
    delete m_tip.data();
    delete m_window.data();
}

void CLineInfoModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    // The rule of the table: only in the full view.
    frame.Commands().Install(CommandId::DisplayOptions, [this] { DisplayOptionsCommand(); });
}

bool CLineInfoModule::MayCreateWindowsLater(const CMainFrameSettings& settings) const
{
    // Every call here copes without the windows.
    return settings.info.show == 0;
}

void CLineInfoModule::CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings)
{
    m_frame = &frame;
    m_tip = new CInfoTipWindow(&frame);
    m_window = new CLineInfoWindow(m_feed, &frame);
    m_home = QPoint(settings.info.left, settings.info.top);
    m_window->move(m_home);
    m_window->SetKey(static_cast<unsigned>(settings.infoKey));
    if (settings.info.show != 0)
        m_window->show();
    if (CPageWindows* windows = m_pages.Windows()) {
        std::weak_ptr<CLineInfoModule*> self = m_self;
        windows->SetLineInformationHandler([self](unsigned key, std::optional<QPoint> at, bool open) {
            if (const auto module = self.lock())
                (*module)->OpenLine(key, at, open);
        });
        windows->SetInfoTipHandler([self](unsigned key, int column, QPoint at) {
            if (const auto module = self.lock())
                (*module)->Hover(key, column, at);
        });
    }
}

void CLineInfoModule::StoreWindowSettings(CMainFrameSettings& settings)
{
    // Both line windows keep one place, visibility and line ("InfoLeft",
    // "InfoTop", "ShowInfo", "InfoKey"). The user has one of them: in the
    // full view this one, otherwise the trade window, whose values then
    // stand as it wrote them.
    if (!m_window || !m_feed.IsFullView())
        return;
    // While a click holds it at the pointer, its own place is what counts.
    const QPoint place = m_openAtPointer ? m_home : m_window->pos();
    settings.info.left = place.x();
    settings.info.top = place.y();
    settings.info.show = m_window->isVisible() && !m_openAtPointer ? 1 : 0;
    settings.infoKey = static_cast<int>(m_window->Key());
}

void CLineInfoModule::RequestPages()
{
    if (m_window)
        m_window->RequestLine();
}

void CLineInfoModule::OpenLine(unsigned key, std::optional<QPoint> at, bool open)
{
    if (!m_window)
        return;
    if (m_tip)
        m_tip->HideTip();
    if (!open) {
        if (m_openAtPointer) {
            m_openAtPointer = false;
            m_window->hide();
            m_window->move(m_home);
        }
        return;
    }
    m_window->SetKey(key);
    if (at) {
        if (!m_openAtPointer)
            m_home = m_window->pos();
        m_openAtPointer = true;
        m_window->move(*at);
        m_window->show();
        m_window->raise();
        return;
    }
    if (m_openAtPointer) {
        m_openAtPointer = false;
        m_window->move(m_home);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void CLineInfoModule::Hover(unsigned key, int column, QPoint screenPosition)
{
    if (!m_tip || m_frame == nullptr)
        return;
    const bool tipsOn = InfoTipsOn(m_frame->Settings().infoTip, m_feed.IsFullView()) &&
                        m_frame->Connection().IsConnected();
    if (!tipsOn || key == 0) {
        m_tip->HideTip();
        return;
    }
    const LineRef line = m_feed.Cache().GetForRead(key);
    if (!line) {
        m_tip->HideTip();
        return;
    }
    m_tip->ShowTip(QString::fromStdString(InfoTipText(*line, column, m_frame->Settings().infoTip)), screenPosition);
}

bool CLineInfoModule::DisplayOptionsCommand()
{
    if (m_frame == nullptr)
        return false;
    CDisplayOptionsDialog dialog(CDisplayOptions::FromMask(m_frame->Settings().infoTip), m_frame);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    m_frame->Settings().infoTip = dialog.Options().ToMask();
    if (m_tip)
        m_tip->HideTip();
    std::string error;
    if (!m_frame->SaveAllSettings(&error))
        m_frame->Messages().Show(m_frame, QString::fromUtf8(kErrorCaption),
                                 QString::fromUtf8(kCannotSaveSettings) + QStringLiteral("\n") +
                                     QString::fromStdString(error),
                                 CMessageService::Icon::Error, CMessageService::Buttons::Ok);
    m_pages.RecheckPages();
    return true;
}

} // namespace mavo
