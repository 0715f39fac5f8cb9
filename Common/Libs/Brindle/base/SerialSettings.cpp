#include "Brindle/base/SerialSettings.h"
#include "Brindle/base/RegSection.h"

#include <cstring>
#include <ostream>

namespace Brindle {

namespace {

const char* const kParityTexts[] = {"NONE", "EVEN", "ODD"};
const BYTE kParityOfDcb[] = {NOPARITY, EVENPARITY, ODDPARITY};

const char* const kBaudTexts[] = {"115200", "57600", "38400", "19200", "14400", "9600",
                                  "4800",   "2400",  "1200",  "600",   "300",   "110"};
const int kBaudRates[] = {115200, 57600, 38400, 19200, 14400, 9600, 4800, 2400, 1200, 600, 300, 110};

const char* const kByteSizeTexts[] = {"7", "8"};
const BYTE kDataBits[] = {7, 8};

const char* const kStopBitsTexts[] = {"1", "2"};
const BYTE kStopBitsOfDcb[] = {ONESTOPBIT, TWOSTOPBITS};

template <typename T, std::size_t N>
constexpr int Count(const T (&)[N])
{
    return static_cast<int>(N);
}

template <std::size_t N>
const char* TextAt(const char* const (&table)[N], int index)
{
    return index >= 0 && index < static_cast<int>(N) ? table[index] : "";
}

} // namespace

CSerialSettings::CSerialSettings(const char* port, PARITY parity, BAUDRATE baud, BYTESIZE byteSize,
                                 STOPBITS stopBits)
    : m_port{},
      m_parity(DefaultParity),
      m_baud(DefaultBaud),
      m_byteSize(DefaultByteSize),
      m_stopBits(DefaultStopBits),
      m_inputBufferSize(DefaultBufferSize),
      m_outputBufferSize(DefaultBufferSize),
      m_timeout(DefaultTimeout),
      m_dtrEnable(DefaultDtrEnable)
{
    SetPort(DefaultPort);
    SetPort(port);
    SetParity(parity);
    SetBaud(baud);
    SetByteSize(byteSize);
    SetStopBits(stopBits);
}

CSerialSettings::CSerialSettings(CRegSection& section) : CSerialSettings()
{
    ReadFromRegistry(section);
}

void CSerialSettings::ReadFromRegistry(CRegSection& section)
{
    // Texts are read through a buffer of 80 bytes, as they always were.
    char text[80];
    section.GetStr("Baud", text, sizeof text, kBaudTexts[DefaultBaud]);
    SetBaud(static_cast<BAUDRATE>(FindIndex(kBaudTexts, Count(kBaudTexts), text)));
    section.GetStr("ByteSize", text, sizeof text, kByteSizeTexts[DefaultByteSize]);
    SetByteSize(static_cast<BYTESIZE>(FindIndex(kByteSizeTexts, Count(kByteSizeTexts), text)));
    section.GetStr("Parity", text, sizeof text, kParityTexts[DefaultParity]);
    SetParity(static_cast<PARITY>(FindIndex(kParityTexts, Count(kParityTexts), text)));
    section.GetStr("Port", text, sizeof text, DefaultPort);
    SetPort(text);
    section.GetStr("StopBits", text, sizeof text, kStopBitsTexts[DefaultStopBits]);
    SetStopBits(static_cast<STOPBITS>(FindIndex(kStopBitsTexts, Count(kStopBitsTexts), text)));

    int number = 0;
    section.GetInt("InputBuffer", number, DefaultBufferSize);
    SetInputBufferSize(number);
    section.GetInt("OutputBuffer", number, DefaultBufferSize);
    SetOutputBufferSize(number);
    section.GetInt("Timeout", number, DefaultTimeout);
    SetTimeout(number);
    section.GetInt("DtrEnabled", number, DefaultDtrEnable);
    SetDtrEnable(number);
}

void CSerialSettings::WriteToRegistry(CRegSection& section) const
{
    section.SetStr("Baud", GetString(m_baud));
    section.SetStr("ByteSize", GetString(m_byteSize));
    section.SetStr("Parity", GetString(m_parity));
    section.SetStr("Port", m_port);
    section.SetStr("StopBits", GetString(m_stopBits));
    section.SetInt("InputBuffer", m_inputBufferSize);
    section.SetInt("OutputBuffer", m_outputBufferSize);
    section.SetInt("Timeout", m_timeout);
    section.SetInt("DtrEnabled", m_dtrEnable);
}

void CSerialSettings::PutCommState(DCB& dcb) const
{
    dcb.BaudRate = static_cast<DWORD>(GetBitsPerSecond(m_baud));
    dcb.ByteSize = kDataBits[m_byteSize];
    dcb.Parity = kParityOfDcb[m_parity];
    dcb.StopBits = kStopBitsOfDcb[m_stopBits];
    dcb.fDtrControl = static_cast<DWORD>(m_dtrEnable);
}

void CSerialSettings::SetPort(const char* port)
{
    if (port == nullptr)
        return;
    const std::size_t length = ::strnlen(port, MaxPortLength);
    std::memcpy(m_port, port, length);
    m_port[length] = '\0';
}

void CSerialSettings::SetParity(PARITY parity)
{
    if (parity >= 0 && parity < Count(kParityTexts))
        m_parity = parity;
}

void CSerialSettings::SetParity(char parity)
{
    switch (parity) {
    case 'N': m_parity = PARITY_NONE; break;
    case 'E': m_parity = PARITY_EVEN; break;
    case 'O': m_parity = PARITY_ODD; break;
    default: break;
    }
}

void CSerialSettings::SetBaud(BAUDRATE baud)
{
    if (baud >= 0 && baud < Count(kBaudTexts))
        m_baud = baud;
}

void CSerialSettings::SetBaud(int bitsPerSecond)
{
    for (int i = 0; i < Count(kBaudRates); ++i) {
        if (kBaudRates[i] == bitsPerSecond) {
            m_baud = static_cast<BAUDRATE>(i);
            return;
        }
    }
}

void CSerialSettings::SetByteSize(BYTESIZE byteSize)
{
    if (byteSize >= 0 && byteSize < Count(kByteSizeTexts))
        m_byteSize = byteSize;
}

void CSerialSettings::SetByteSize(int dataBits)
{
    if (dataBits == 7)
        m_byteSize = BYTESIZE_7;
    else if (dataBits == 8)
        m_byteSize = BYTESIZE_8;
}

void CSerialSettings::SetStopBits(STOPBITS stopBits)
{
    if (stopBits >= 0 && stopBits < Count(kStopBitsTexts))
        m_stopBits = stopBits;
}

void CSerialSettings::SetStopBits(int stopBits)
{
    if (stopBits == 1)
        m_stopBits = STOPBITS_1;
    else if (stopBits == 2)
        m_stopBits = STOPBITS_2;
}

void CSerialSettings::SetInputBufferSize(int bytes)
{
    if (bytes >= MinBufferSize && bytes <= MaxBufferSize)
        m_inputBufferSize = bytes;
}

void CSerialSettings::SetOutputBufferSize(int bytes)
{
    if (bytes >= MinBufferSize && bytes <= MaxBufferSize)
        m_outputBufferSize = bytes;
}

void CSerialSettings::SetTimeout(int milliseconds)
{
    if (milliseconds >= 0)
        m_timeout = milliseconds;
}

void CSerialSettings::SetDtrEnable(int dtrControl)
{
    if (dtrControl >= 0 && dtrControl <= 2)
        m_dtrEnable = dtrControl;
}

const char* CSerialSettings::GetString(PARITY parity)
{
    return TextAt(kParityTexts, parity);
}

const char* CSerialSettings::GetString(BAUDRATE baud)
{
    return TextAt(kBaudTexts, baud);
}

const char* CSerialSettings::GetString(BYTESIZE byteSize)
{
    return TextAt(kByteSizeTexts, byteSize);
}

const char* CSerialSettings::GetString(STOPBITS stopBits)
{
    return TextAt(kStopBitsTexts, stopBits);
}

int CSerialSettings::GetBitsPerSecond(BAUDRATE baud)
{
    return baud >= 0 && baud < Count(kBaudRates) ? kBaudRates[baud] : 0;
}

int CSerialSettings::FindIndex(const char* const* table, int count, const char* text)
{
    if (table == nullptr || text == nullptr)
        return -1;
    for (int i = 0; i < count; ++i)
        if (table[i] != nullptr && std::strcmp(table[i], text) == 0)
            return i;
    return -1;
}

std::ostream& operator<<(std::ostream& out, const CSerialSettings& settings)
{
    return out << "Port: " << settings.GetPort() << " Baud: " << CSerialSettings::GetString(settings.GetBaud())
               << " Parity: " << CSerialSettings::GetString(settings.GetParity())
               << " Size: " << CSerialSettings::GetString(settings.GetByteSize())
               << " StopB: " << CSerialSettings::GetString(settings.GetStopBits());
}

} // namespace Brindle
