// CWSADatasinkBridge: lets a CDatasink (the receiver the serial input and
// other byte-stream sources use) hear an overlapped socket: OnOpen, OnData
// and OnClose are passed on with the socket as source; errors are passed
// on as nothing (the OnClose that follows them ends the stream).
//
// Thread-safety: the calls arrive on the port's workers, one receive at a
// time per socket; a data sink shared by several sockets guards itself.
#pragma once

#include "Brindle/base/Datasink.h"
#include "Brindle/wsa/WSASocket.h"

namespace Brindle {

class CWSADatasinkBridge : public CWSASink {
public:
    // The data sink is not owned and must outlive the sockets using it.
    explicit CWSADatasinkBridge(CDatasink* sink) : m_sink(sink) {}

    void OnOpen(CWSASocket* socket) override
    {
        if (m_sink != nullptr)
            m_sink->OnOpen(socket);
    }
    void OnClose(CWSASocket* socket) override
    {
        if (m_sink != nullptr)
            m_sink->OnClose(socket);
    }
    void OnData(CWSASocket* socket, const CIOBuffer& data) override
    {
        if (m_sink != nullptr)
            m_sink->OnData(data.GetData(), static_cast<int>(data.GetLength()), socket);
    }

private:
    CDatasink* m_sink;
};

} // namespace Brindle
