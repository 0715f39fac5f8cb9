// CSerialSettings: a serial port's name and line parameters, with their
// registry form, their text form and the DCB they give.
//
// Contract
// - Defaults (shared by every constructor and by whoever shows the
//   settings): port "COM1", 9600 baud, EVEN parity, 7 data bits, 1 stop bit,
//   input and output buffers of 4096 bytes, a read time-out of 250 ms, DTR
//   disabled.
// - Every setter stores only a valid value and otherwise changes nothing:
//   enumeration values inside their table, buffer sizes 1024 to 65536, a
//   time-out of 0 or more, DTR control 0 (disabled), 1 (enabled) or
//   2 (handshake). Port names keep their first 19 characters.
// - Registry values: "Baud", "ByteSize", "Parity", "Port", "StopBits" as text
//   (the tables' texts exactly, case-sensitive), "InputBuffer",
//   "OutputBuffer", "Timeout", "DtrEnabled" as DWORD. Reading applies the
//   stored value, or the default when none is stored, through the setters:
//   a stored value that is not valid leaves the field as it was.
// - GetString gives the table's text for an enumeration value, "" for a
//   value outside the table.
// - Text form (operator<<): "Port: COM1 Baud: 9600 Parity: EVEN Size: 7
//   StopB: 1", one line without a line end.
//
// Thread-safety: a settings object is a value; one thread changes it at a
// time. The static members may be called from any thread.
#pragma once

#include "Platform/Serial.h"

#include <iosfwd>

namespace Brindle {

class CRegSection;

class CSerialSettings {
public:
    enum PARITY : int { PARITY_NONE = 0, PARITY_EVEN = 1, PARITY_ODD = 2 };
    enum BAUDRATE : int {
        BAUD_115200 = 0,
        BAUD_57600 = 1,
        BAUD_38400 = 2,
        BAUD_19200 = 3,
        BAUD_14400 = 4,
        BAUD_9600 = 5,
        BAUD_4800 = 6,
        BAUD_2400 = 7,
        BAUD_1200 = 8,
        BAUD_600 = 9,
        BAUD_300 = 10,
        BAUD_110 = 11,
    };
    enum BYTESIZE : int { BYTESIZE_7 = 0, BYTESIZE_8 = 1 };
    enum STOPBITS : int { STOPBITS_1 = 0, STOPBITS_2 = 1 };

    static constexpr int MaxPortLength = 19;
    static constexpr const char* DefaultPort = "COM1";
    static constexpr PARITY DefaultParity = PARITY_EVEN;
    static constexpr BAUDRATE DefaultBaud = BAUD_9600;
    static constexpr BYTESIZE DefaultByteSize = BYTESIZE_7;
    static constexpr STOPBITS DefaultStopBits = STOPBITS_1;
    static constexpr int DefaultBufferSize = 4096;
    static constexpr int MinBufferSize = 1024;
    static constexpr int MaxBufferSize = 65536;
    static constexpr int DefaultTimeout = 250;
    static constexpr int DefaultDtrEnable = 0;

    explicit CSerialSettings(const char* port = DefaultPort, PARITY parity = DefaultParity,
                             BAUDRATE baud = DefaultBaud, BYTESIZE byteSize = DefaultByteSize,
                             STOPBITS stopBits = DefaultStopBits);
    // The defaults, then ReadFromRegistry.
    explicit CSerialSettings(CRegSection& section);
    CSerialSettings(const CSerialSettings&) = default;
    CSerialSettings& operator=(const CSerialSettings&) = default;

    void ReadFromRegistry(CRegSection& section);
    // Writes the nine values in the order of the list above; failures of the
    // store are not reported.
    void WriteToRegistry(CRegSection& section) const;

    // Sets the DCB's rate, byte size, parity, stop bits and DTR control from
    // the settings; every other field stays as it was.
    void PutCommState(DCB& dcb) const;

    const char* GetPort() const { return m_port; }
    PARITY GetParity() const { return m_parity; }
    BAUDRATE GetBaud() const { return m_baud; }
    BYTESIZE GetByteSize() const { return m_byteSize; }
    STOPBITS GetStopBits() const { return m_stopBits; }
    int GetInputBufferSize() const { return m_inputBufferSize; }
    int GetOutputBufferSize() const { return m_outputBufferSize; }
    int GetTimeout() const { return m_timeout; }
    int GetDtrEnable() const { return m_dtrEnable; }

    void SetPort(const char* port);
    void SetParity(PARITY parity);
    // 'N' none, 'E' even, 'O' odd.
    void SetParity(char parity);
    void SetBaud(BAUDRATE baud);
    // One of the twelve rates of the table, in bits per second.
    void SetBaud(int bitsPerSecond);
    void SetByteSize(BYTESIZE byteSize);
    // 7 or 8.
    void SetByteSize(int dataBits);
    void SetStopBits(STOPBITS stopBits);
    // 1 or 2.
    void SetStopBits(int stopBits);
    void SetInputBufferSize(int bytes);
    void SetOutputBufferSize(int bytes);
    void SetTimeout(int milliseconds);
    void SetDtrEnable(int dtrControl);

    static const char* GetString(PARITY parity);
    static const char* GetString(BAUDRATE baud);
    static const char* GetString(BYTESIZE byteSize);
    static const char* GetString(STOPBITS stopBits);
    // Bits per second of a rate of the table; 0 outside it.
    static int GetBitsPerSecond(BAUDRATE baud);

protected:
    // Index of the entry equal to text (case-sensitive), or -1.
    static int FindIndex(const char* const* table, int count, const char* text);

private:
    char m_port[MaxPortLength + 1];
    PARITY m_parity;
    BAUDRATE m_baud;
    BYTESIZE m_byteSize;
    STOPBITS m_stopBits;
    int m_inputBufferSize;
    int m_outputBufferSize;
    int m_timeout;
    int m_dtrEnable;
};

std::ostream& operator<<(std::ostream& out, const CSerialSettings& settings);

} // namespace Brindle
