#include "zphsource/SerialSource.h"

#include "Brindle/base/SerialPort.h"
#include "Brindle/base/SerialSettings.h"
#include "Platform/WinError.h"
#include "zph/NumberText.h"

#include <cstring>

namespace ZPH {

using namespace ZPHWire;

namespace {

// The line parameters of the settings as Brindle serial settings. Texts the
// port does not know take the defaults the settings show (8 data bits, not
// the port's own 7), so that the port uses what the user was shown.
Brindle::CSerialSettings LineSettings(SourceSettings s)
{
    NormalizeSerialLine(s);
    Brindle::CSerialSettings line;
    line.SetByteSize(8);
    line.SetPort(s.serialPort.c_str());
    int number = 0;
    if (ZPHText::ParseInt(s.serialBaud, number))
        line.SetBaud(number);
    if (ZPHText::ParseInt(s.serialByteSize, number))
        line.SetByteSize(number);
    if (ZPHText::ParseInt(s.serialStopBits, number))
        line.SetStopBits(number);
    if (!s.serialParity.empty())
        line.SetParity(s.serialParity[0]);
    line.SetDtrEnable(s.serialDtrEnabled);
    // Short reads keep the worker responsive to sends and stops.
    line.SetTimeout(100);
    return line;
}

bool SameLine(const SourceSettings& a, const SourceSettings& b)
{
    return a.serialPort == b.serialPort && a.serialBaud == b.serialBaud && a.serialByteSize == b.serialByteSize &&
           a.serialParity == b.serialParity && a.serialStopBits == b.serialStopBits &&
           a.serialDtrEnabled == b.serialDtrEnabled;
}

class SerialLink : public ZPHLink::Link {
public:
    explicit SerialLink(Brindle::CSerialPort& port) : m_port(port) {}

    int Read(char* buffer, int size, int) override
    {
        const int n = m_port.Read(buffer, size);
        if (n < 0)
            m_error = "the serial line failed";
        return n < 0 ? -1 : n;
    }

    bool Write(const char* data, std::size_t size) override
    {
        while (size > 0) {
            const int n = m_port.Write(data, static_cast<unsigned>(size));
            if (n <= 0) {
                m_error = "the serial line takes no data";
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    Brindle::CSerialPort& m_port;
};

} // namespace

CSerialSource::CSerialSource(SourceHost& host, int role) : ZPHSource(host, SOURCE_SERIAL, role)
{
    PortFor(GetSettings());
}

CSerialSource::~CSerialSource() { Disconnect(); }

Brindle::CSerialPort* CSerialSource::PortFor(const SourceSettings& settings)
{
    std::lock_guard guard(m_portLock);
    if (m_ports.empty() || (!SameLine(settings, m_portSettings) && !m_ports.back()->IsConnected())) {
        m_ports.push_back(std::make_unique<Brindle::CSerialPort>(LineSettings(settings)));
        m_portSettings = settings;
    }
    return m_ports.back().get();
}

Brindle::CSerialPort* CSerialSource::GetPort()
{
    std::lock_guard guard(m_portLock);
    return m_ports.back().get();
}

bool CSerialSource::UsesModem() const { return GetSettings().serialDtrEnabled == 1; }

void CSerialSource::PrepareConnect(const SourceSettings& settings) { PortFor(settings); }

std::unique_ptr<ZPHLink::Link> CSerialSource::OpenLink(const SourceSettings& settings, ZPHLink::Waker&,
                                                       std::string& error)
{
    if (settings.serialPort.size() > kSerialPortNameMax) {
        // The port would open a name cut short: another device, or none.
        error = "the port name " + settings.serialPort + " is longer than " + std::to_string(kSerialPortNameMax) +
                " characters";
        return nullptr;
    }
    Brindle::CSerialPort* port = PortFor(settings);
    if (!port->Open()) {
        error = std::string("cannot open ") + settings.serialPort + ": " + std::strerror(static_cast<int>(::GetLastError()));
        return nullptr;
    }
    return std::make_unique<SerialLink>(*port);
}

void CSerialSource::OnLinkClosed() { GetPort()->Close(); }

std::string CSerialSource::Describe(const SourceSettings& settings) const
{
    const char parity = settings.serialParity.empty() ? 'N' : settings.serialParity[0];
    return settings.serialPort + " " + settings.serialBaud + " " + settings.serialByteSize + parity +
           settings.serialStopBits;
}

} // namespace ZPH
