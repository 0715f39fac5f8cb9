#include "Brindle/base/Syslog.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Identity.h"

namespace Brindle {

CSyslog::CSyslog(CIOCP& iocp) : m_socket(iocp, this) {}

CSyslog::~CSyslog()
{
    Stop();
}

void CSyslog::Start(int port, const char* host)
{
    m_socket.SetSink(this);
    m_socket.SetAddress(port, host, false);
    m_socket.AutoConnect(true);
}

void CSyslog::Stop()
{
    m_socket.Close();
    CSystemLock lock;
    m_connected = false;
}

bool CSyslog::Connected() const
{
    CSystemLock lock;
    return m_connected;
}

std::size_t CSyslog::QueueSize() const
{
    CSystemLock lock;
    return m_queue.size();
}

unsigned long CSyslog::Dropped() const
{
    CSystemLock lock;
    return m_dropped;
}

std::string CSyslog::Line(const CLogData& record)
{
    return "<14>" + record.GetApplication() + " - " + record.GetText() + "\n";
}

bool CSyslog::SendText(const std::string& text)
{
    return m_connected && m_socket.Send(CIOBuffer(text));
}

bool CSyslog::ReportDrops()
{
    if (m_dropped == 0)
        return true;
    const std::string report = "<12>" + (m_application.empty() ? std::string(GetLocalApplicationName()) : m_application) +
                               " - " + std::to_string(m_dropped) + " log lines dropped\n";
    if (!SendText(report))
        return false;
    m_dropped = 0;
    return true;
}

void CSyslog::Deliver(const std::string& line)
{
    // Nothing overtakes the queue, and the drop report comes where the
    // lines went missing.
    if (m_queue.empty() && ReportDrops() && SendText(line))
        return;
    if (m_queue.size() >= MaxQueue) {
        ++m_dropped;
        return;
    }
    m_queue.push_back(line);
}

void CSyslog::Log(const CLogData& record)
{
    CSystemLock lock;
    m_application = record.GetApplication();
    Deliver(Line(record));
}

void CSyslog::OnOpen(CWSASocket* /*socket*/)
{
    CSystemLock lock;
    m_connected = true;
    while (!m_queue.empty()) {
        if (!SendText(m_queue.front()))
            return;
        m_queue.pop_front();
    }
    ReportDrops();
}

void CSyslog::OnClose(CWSASocket* /*socket*/)
{
    CSystemLock lock;
    m_connected = false;
}

void CSyslog::OnData(CWSASocket* /*socket*/, const CIOBuffer& /*data*/) {}

} // namespace Brindle
