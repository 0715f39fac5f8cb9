// The settings of one feed connection (primary or backup) as the client
// keeps them in its registry: the kind of source and, in the kind sections
// below the connection's section, the parameters of each kind.
//
//   "FeedSource"  integer, 1 socket, 2 serial, 3 database (default 3)
//   "Socket"      "Host" (text, "localhost"), "Port" (6093), "Secure" (0),
//                 "CAFile" (text, empty: the system's trust store)
//   "Serial"      "Port" ("COM1"), "Baud" ("9600"), "ByteSize" ("8"),
//                 "Parity" ("EVEN"), "StopBits" ("1"), "DtrEnabled" (0)
//   "ZPHDB"       "Host", "Port", "UserId" (defaults: the controller's),
//                 "Password" (32 bytes, encoded with the machine string),
//                 "Secure" (0), "CAFile" (as for "Socket")
//   "Timeouts"    "Timeout" (seconds without data before the feed is stale,
//                 0 never; 0..600, default 20), "Reconnect" (seconds between
//                 connection attempts, 1..600, default 5)
// "CAFile" and "Reconnect" are this library's own additions.
//
// Serial line texts: "Baud", "ByteSize", "Parity" and "StopBits" must be
// one of the texts below exactly (case-sensitive); a stored text that is not
// reads as the default, so that whoever shows the settings shows what the
// port will use. A "Port" longer than the 19 characters a port name holds
// is kept as it is, and the source refuses to open it.
//
// Password encoding: the text in a zero-filled 32-byte block, encoded with
// Brindle::CryptEncode (DES, key: the machine string), stored as 32 bytes.
// Only a block of zero bytes (nothing stored) is an empty password: an
// encoded block may itself begin with a zero byte.
//
// Plain values and free functions; any thread.
#pragma once

#include "protocol/Protocol.h"

#include <array>
#include <string>

namespace Brindle {
class CRegSection;
}

namespace ZPH {

struct SourceSettings {
    int kind = ZPHWire::SOURCE_DATABASE;

    std::string socketHost = "localhost";
    int socketPort = ZPHWire::DEFAULT_SOCKET_PORT;
    bool socketSecure = false;
    std::string socketCaFile;

    std::string serialPort = "COM1";
    std::string serialBaud = "9600";
    std::string serialByteSize = "8";
    std::string serialParity = "EVEN";
    std::string serialStopBits = "1";
    int serialDtrEnabled = 0;

    std::string dbHost = "localhost";
    int dbPort = ZPHWire::DEFAULT_DATABASE_PORT;
    std::string dbUser;
    std::string dbPassword;
    bool dbSecure = false;
    std::string dbCaFile;

    int timeoutSeconds = 20;
    int reconnectSeconds = 5;

    friend bool operator==(const SourceSettings&, const SourceSettings&) = default;
};

// The texts a serial line setting may take, in the order a user picks them.
inline constexpr std::array<const char*, 12> kSerialBaudTexts{"110",   "300",   "600",   "1200",  "2400",  "4800",
                                                              "9600",  "14400", "19200", "38400", "57600", "115200"};
inline constexpr std::array<const char*, 3> kSerialParityTexts{"EVEN", "ODD", "NONE"};
inline constexpr std::array<const char*, 2> kSerialStopBitsTexts{"1", "2"};
inline constexpr std::array<const char*, 2> kSerialByteSizeTexts{"7", "8"};
// The longest port name a serial port takes (Brindle's CSerialSettings).
inline constexpr std::size_t kSerialPortNameMax = 19;
// The longest password whose stored block still ends in a zero byte.
inline constexpr std::size_t kPasswordMax = 31;

// Replaces every serial line text that is not one of the texts above with
// its default.
void NormalizeSerialLine(SourceSettings& settings);

// Defaults of the database source that the controller supplies.
struct DatabaseDefaults {
    std::string host = "localhost";
    int port = ZPHWire::DEFAULT_DATABASE_PORT;
    std::string user;
};

// Reads the settings below `section` (a connection's section). Missing or
// out-of-range values take their defaults; never fails.
SourceSettings LoadSourceSettings(const Brindle::CRegSection& section, const char* machine,
                                  const DatabaseDefaults& defaults);
// Writes them back; true when every value was written.
bool SaveSourceSettings(const Brindle::CRegSection& section, const char* machine, const SourceSettings& settings);

// The stored form of a password (32 bytes) and back. A password longer than
// 32 characters does not fit: EncodePassword returns false.
bool EncodePassword(const std::string& password, const char* machine, unsigned char block[32]);
std::string DecodePassword(const unsigned char* stored, int length, const char* machine);

} // namespace ZPH
