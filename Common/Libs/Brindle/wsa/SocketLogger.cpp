#include "Brindle/wsa/SocketLogger.h"

namespace Brindle {

CSocketLogger::CSocketLogger(CIOCP& iocp) : m_listener(iocp, this) {}

CSocketLogger::~CSocketLogger()
{
    Close();
}

void CSocketLogger::SetPort(int port)
{
    m_listener.SetAddress(port, "", true);
}

bool CSocketLogger::Listen()
{
    return m_listener.Listen(Backlog);
}

void CSocketLogger::Log(const CLogData& record)
{
    std::string line;
    AppendRecordLine(line, record);
    line += "\n\r";
    // One block shared by every client's send.
    m_listener.Broadcast(CIOBuffer(line));
}

void CSocketLogger::Close()
{
    m_listener.Close();
}

} // namespace Brindle
