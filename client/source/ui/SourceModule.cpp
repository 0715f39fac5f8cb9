#include "source/ui/SourceModule.h"

#include "Brindle/base/RegSection.h"
#include "core/AppIdentity.h"
#include "core/FrameTexts.h"
#include "core/ScreenController.h"
#include "core/ui/MainFrame.h"
#include "source/SourceKindValues.h"
#include "source/ui/SourceSettingsSheet.h"

namespace mavo {

void CSourceModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    frame.Commands().Install(CommandId::SourceOptions, [this] { RunOptions(); });
}

bool CSourceModule::RunOptions()
{
    if (m_frame == nullptr)
        return false;
    const std::string controllerPath = std::string(kSettingsRoot) + "/" + kControllerSection;
    SourceSheetContext context;
    context.messages = &m_frame->Messages();
    context.machine = MachineString();
    context.defaults = DatabaseDefaults{m_controller.m_defaultHost, m_controller.m_defaultPort,
                                        m_controller.m_defaultUser.empty() ? std::string(m_controller.GetUserName())
                                                                           : m_controller.m_defaultUser};

    CSourceSettingsSheet sheet(controllerPath, context, m_frame);
    m_sheet = &sheet;
    const int result = sheet.exec();
    m_sheet = nullptr;
    Brindle::CRegSection controller(HKEY_CURRENT_USER, controllerPath.c_str());
    if (result != QDialog::Accepted) {
        if (sheet.DialogStored() && controller.IsOpen()) {
            m_controller.LoadFeedSettings(controller, context.machine.c_str());
            ShowActiveSource();
        }
        return false;
    }

    if (!controller.IsOpen() ||
        !SaveSourceChoice(controller, sheet.PrimaryPage()->Kind(), sheet.BackupPage()->Kind())) {
        m_frame->Messages().Show(m_frame, QString::fromLatin1(kErrorCaption), QString::fromLatin1(kCannotSaveSettings),
                                 CMessageService::Icon::Error, CMessageService::Buttons::Ok);
        return false;
    }
    m_controller.LoadFeedSettings(controller, context.machine.c_str());
    // "Failover" is 0 now: the window's flag follows, or the connection
    // commands would speak of the backup while the primary is active.
    m_frame->Connection().LoadFailover();
    ShowActiveSource();
    return true;
}

void CSourceModule::ShowActiveSource()
{
    ZPHSource* source = m_controller.GetSource();
    m_controller.Link().SetStatusAndName(source->GetStatusText(), source->GetName());
    m_controller.Link().Post(FrameMessage{MSG_FEED_STATE, source->GetFeedState(), source->GetKind(), std::nullopt});
    m_frame->UpdateCommands();
}

} // namespace mavo
