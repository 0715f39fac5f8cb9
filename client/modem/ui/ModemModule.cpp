#include "modem/ui/ModemModule.h"

#include "core/AppIdentity.h"
#include "core/ScreenController.h"
#include "core/ui/MainFrame.h"
#include "modem/ui/ModemDialog.h"
#include "core/FeedLibrary.h"
#include "zphsource/SerialSource.h"

namespace mavo {

void CModemModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    frame.SetModemDialer([this] { return RunDial(); });
    const auto never = [](const FrameCommandState&, bool) { return CommandUi{false, false}; };
    frame.Commands().Install(CommandId::Dial, [] {}, never);
    frame.Commands().Install(CommandId::Hangup, [] {}, never);
}

bool CModemModule::RunDial()
{
    auto* serial = dynamic_cast<CSerialSource*>(m_controller.GetSource());
    if (serial == nullptr || m_frame == nullptr)
        return true;
    CModemDialog dialog(*serial->GetPort(), m_frame->Messages(), kSettingsRoot, m_frame);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace mavo
