#include "core/ConnectionControl.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/RegSection.h"
#include "Brindle/base/SerialPort.h"
#include "core/AppIdentity.h"
#include "core/FrameLink.h"
#include "core/FeedLibrary.h"
#include "zphsource/Controller.h"
#include "zphsource/SerialSource.h"

namespace mavo {

CConnectionControl::CConnectionControl(CController& controller, CFrameLink& link, std::string root,
                                       std::string machine)
    : m_controller(controller), m_link(link), m_root(std::move(root)), m_machine(std::move(machine))
{
}

void CConnectionControl::LoadFailover()
{
    Brindle::CRegSection section(HKEY_CURRENT_USER, (m_root + "/" + kControllerSection).c_str());
    int failover = 0;
    section.GetInt("Failover", failover, 0);
    m_failover = failover;
}

bool CConnectionControl::IsConnected() const { return m_controller.GetSource()->IsConnected(); }

void CConnectionControl::Select(int failover)
{
    m_controller.GetSource()->Disconnect();
    m_failover = failover;
    Brindle::CRegSection section(HKEY_CURRENT_USER, (m_root + "/" + kControllerSection).c_str());
    section.SetInt("Failover", failover);
    m_controller.LoadFeedSettings(section, m_machine.c_str());
    m_controller.GetSource()->Connect();
}

bool CConnectionControl::ConnectPrimary()
{
    Select(0);
    ZPHSource* source = m_controller.GetSource();
    m_link.SetSourceName(source->GetName());
    return source->UsesModem();
}

void CConnectionControl::ConnectBackup() { Select(1); }

void CConnectionControl::Disconnect(const std::function<bool()>& confirmHangup)
{
    ZPHSource* source = m_controller.GetSource();
    if (source->UsesModem() && confirmHangup && confirmHangup()) {
        if (auto* serial = dynamic_cast<CSerialSource*>(source)) {
            Brindle::CSerialPort* port = serial->GetPort();
            Brindle::CSyncLock<Brindle::CCritSec> hold(port->GetMutex());
            port->Write("+++\r", 4);
            port->Write("ATH0\r", 5);
        }
    }
    source->Disconnect();
}

} // namespace mavo
