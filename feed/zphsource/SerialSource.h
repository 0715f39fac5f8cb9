// CSerialSource, kind 2 "Serial": the feed over a serial line through
// Brindle's CSerialPort ("Port" is a COM name or a device path). It logs in
// with the user's name and sends the login again until the far end answers,
// since a serial line has no connect event. The port is closed whenever the
// source is not connected.
// See Source.h for the life of a source.
#pragma once

#include "zphsource/Source.h"

#include <memory>
#include <mutex>
#include <vector>

namespace Brindle {
class CSerialPort;
}

namespace ZPH {

class CSerialSource : public ZPHSource {
public:
    CSerialSource(SourceHost& host, int role);
    ~CSerialSource() override;

    // The serial port of the source, for a client that talks to a modem on
    // it (under the port's lock). Never null; it stays valid for the
    // source's life, though a change of line settings makes the next
    // Connect use a new port object.
    Brindle::CSerialPort* GetPort();

    bool UsesModem() const override;

protected:
    std::unique_ptr<ZPHLink::Link> OpenLink(const SourceSettings& settings, ZPHLink::Waker& waker,
                                            std::string& error) override;
    std::string Describe(const SourceSettings& settings) const override;
    bool ResendsLogin() const override { return true; }
    void OnLinkClosed() override;
    void PrepareConnect(const SourceSettings& settings) override;

private:
    Brindle::CSerialPort* PortFor(const SourceSettings& settings);

    std::mutex m_portLock;
    std::vector<std::unique_ptr<Brindle::CSerialPort>> m_ports;  // the last is current; old ones stay valid
    SourceSettings m_portSettings;
};

} // namespace ZPH
