#include "source/SourceKindValues.h"

#include "Brindle/base/RegSection.h"
#include "Platform/Serial.h"

namespace mavo {

namespace {

// Stored text sizes, terminating zero included.
constexpr std::size_t kSocketHostSize = 80;
constexpr std::size_t kDatabaseTextSize = 64;
// A source without a host would only fail each time it connects.
constexpr const char* kHostNeeded = "Please enter a host name or address.";

SourceSettings LoadAll(const Brindle::CRegSection& connection, const std::string& machine = std::string(),
                       const DatabaseDefaults& defaults = DatabaseDefaults())
{
    return LoadSourceSettings(connection, machine.c_str(), defaults);
}

} // namespace

std::string IntegerRangeText(int low, int high)
{
    return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

std::string MaxCharsText(std::size_t count)
{
    return "Please enter no more than " + std::to_string(count) + " characters.";
}

KindButtons ButtonsForKind(int kind)
{
    KindButtons b;
    b.socket = kind == kSourceSocket;
    b.serial = kind == kSourceSerial;
    b.database = kind == kSourceDatabase;
    b.timeouts = b.socket || b.serial || b.database;
    return b;
}

int LoadSourceKind(const Brindle::CRegSection& connection)
{
    int kind = kSourceDatabase;
    connection.GetInt("FeedSource", kind, kSourceDatabase);
    return kind;
}

bool SaveSourceKind(const Brindle::CRegSection& connection, int kind)
{
    return connection.SetInt("FeedSource", kind) != 0;
}

bool SaveSourceChoice(const Brindle::CRegSection& controller, int primaryKind, int backupKind)
{
    int ok = controller.SetInt("FeedSource", primaryKind);
    ok &= controller.SetInt("Failover", 0);
    Brindle::CRegSection backup(controller, "Backup");
    ok &= backup.SetInt("FeedSource", backupKind);
    return ok != 0;
}

// ---------------------------------------------------------------- socket

SocketValues LoadSocketValues(const Brindle::CRegSection& connection)
{
    const SourceSettings all = LoadAll(connection);
    return SocketValues{all.socketHost, all.socketPort, all.socketSecure};
}

bool SaveSocketValues(const Brindle::CRegSection& connection, const SocketValues& values)
{
    Brindle::CRegSection socket(connection, "Socket");
    int ok = socket.SetStr("Host", values.host);
    ok &= socket.SetInt("Port", values.port);
    ok &= socket.SetInt("Secure", values.secure ? 1 : 0);
    return ok != 0;
}

std::optional<std::string> CheckSocketValues(const SocketValues& values)
{
    if (values.host.empty())
        return std::string(kHostNeeded);
    if (values.host.size() >= kSocketHostSize)
        return MaxCharsText(kSocketHostSize - 1);
    if (values.port < 1 || values.port > 65535)
        return IntegerRangeText(1, 65535);
    return std::nullopt;
}

// ---------------------------------------------------------------- serial

SerialValues LoadSerialValues(const Brindle::CRegSection& connection)
{
    const SourceSettings all = LoadAll(connection);
    return SerialValues{all.serialPort,     all.serialBaud,     all.serialParity,
                        all.serialStopBits, all.serialByteSize, all.serialDtrEnabled};
}

bool SaveSerialValues(const Brindle::CRegSection& connection, const SerialValues& values)
{
    Brindle::CRegSection serial(connection, "Serial");
    int ok = serial.SetStr("Port", values.port);
    ok &= serial.SetStr("Baud", values.baud);
    ok &= serial.SetStr("ByteSize", values.byteSize);
    ok &= serial.SetStr("Parity", values.parity);
    ok &= serial.SetStr("StopBits", values.stopBits);
    ok &= serial.SetInt("DtrEnabled", values.dtrEnabled);
    return ok != 0;
}

std::string SerialDeviceOf(const std::string& port) { return CommDevicePath(port.c_str()); }

std::optional<std::string> CheckSerialValues(const SerialValues& values)
{
    if (values.port.size() > kSerialPortNameMax)
        return MaxCharsText(kSerialPortNameMax);
    if (SerialDeviceOf(values.port).empty())
        return std::string("Please enter a port from COM1 to COM4, or a device path such as /dev/ttyUSB0.");
    // The choices are fixed lists; a value outside them would be read back
    // as its default, so it is refused here rather than stored.
    SourceSettings check;
    check.serialBaud = values.baud;
    check.serialByteSize = values.byteSize;
    check.serialParity = values.parity;
    check.serialStopBits = values.stopBits;
    const SourceSettings before = check;
    NormalizeSerialLine(check);
    if (!(check == before))
        return std::string("Please choose the line settings from their lists.");
    return std::nullopt;
}

// -------------------------------------------------------------- database

DatabaseValues LoadDatabaseValues(const Brindle::CRegSection& connection, const std::string& machine,
                                  const DatabaseDefaults& defaults)
{
    const SourceSettings all = LoadAll(connection, machine, defaults);
    return DatabaseValues{all.dbHost, all.dbUser, all.dbPort, all.dbPassword, all.dbSecure};
}

bool SaveDatabaseValues(const Brindle::CRegSection& connection, const std::string& machine,
                        const DatabaseValues& values)
{
    unsigned char block[32];
    if (values.password.size() > kPasswordMax || !EncodePassword(values.password, machine.c_str(), block))
        return false;
    Brindle::CRegSection db(connection, "ZPHDB");
    int ok = db.SetStr("Host", values.host);
    ok &= db.SetStr("UserId", values.user);
    ok &= db.SetInt("Port", values.port);
    ok &= db.SetBin("Password", block, sizeof block);
    ok &= db.SetInt("Secure", values.secure ? 1 : 0);
    return ok != 0;
}

std::optional<std::string> CheckDatabaseValues(const DatabaseValues& values)
{
    if (values.host.empty())
        return std::string(kHostNeeded);
    if (values.host.size() >= kDatabaseTextSize || values.user.size() >= kDatabaseTextSize)
        return MaxCharsText(kDatabaseTextSize - 1);
    if (values.port < 1 || values.port > 65535)
        return IntegerRangeText(1, 65535);
    if (values.password.size() > kPasswordMax)
        return MaxCharsText(kPasswordMax);
    return std::nullopt;
}

// -------------------------------------------------------------- timeouts

int LoadTimeout(const Brindle::CRegSection& connection) { return LoadAll(connection).timeoutSeconds; }

bool SaveTimeout(const Brindle::CRegSection& connection, int seconds)
{
    if (CheckTimeout(seconds))
        return false;
    Brindle::CRegSection timeouts(connection, "Timeouts");
    return timeouts.SetInt("Timeout", seconds) != 0;
}

std::optional<std::string> CheckTimeout(int seconds)
{
    if (seconds < kTimeoutMin || seconds > kTimeoutMax)
        return IntegerRangeText(kTimeoutMin, kTimeoutMax);
    return std::nullopt;
}

} // namespace mavo
