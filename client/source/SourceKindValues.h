// The values of one feed connection (primary or backup) that the source
// settings dialogs edit, each read from and written to its kind section
// below the connection's section ("Controller" or "Controller/Backup"):
// "FeedSource" on the connection's section itself, "Socket", "Serial",
// "ZPHDB" and "Timeouts" below it.
//
// Reading goes through the feed-source library's own reader, so a dialog
// shows exactly what the source will use: the same defaults, the same
// ranges, serial texts the port does not know shown as the default the port
// takes. Writing writes only the values of that dialog; the library's own
// additions ("CAFile", "Reconnect") stay as they are.
//
// Check* give the text to show for a value the dialog must refuse, or
// nothing when every value is acceptable: names longer than their stored
// buffer, an empty host, ports outside 1..65535, a time-out outside 0..600, a password
// whose stored block would have no room for its terminating zero, a serial
// port that names no device or is longer than a port name can be.
//
// Plain values and free functions; any thread (the store serialises).
#pragma once

#include "core/FeedLibrary.h"
#include "zphsource/SourceSettings.h"

#include <optional>
#include <string>

namespace Brindle {
class CRegSection;
}

namespace mavo {

inline constexpr int kSourceSocket = 1;
inline constexpr int kSourceSerial = 2;
inline constexpr int kSourceDatabase = 3;

// Which of a page's buttons a source kind enables: the "Settings" button of
// the marked kind, and "Timeouts" for any of the three. A kind outside 1..3
// marks no choice and enables nothing.
struct KindButtons {
    bool socket = false;
    bool serial = false;
    bool database = false;
    bool timeouts = false;
    friend bool operator==(const KindButtons&, const KindButtons&) = default;
};
KindButtons ButtonsForKind(int kind);

// "FeedSource" of a connection (default 3; stored values outside 1..3 are
// given back as they are, so that the page marks no choice).
int LoadSourceKind(const Brindle::CRegSection& connection);
bool SaveSourceKind(const Brindle::CRegSection& connection, int kind);
// What OK in the source settings sheet stores: the primary kind and
// "Failover" 0 in "Controller", the backup kind in its "Backup" subsection.
// True when the store took every write.
bool SaveSourceChoice(const Brindle::CRegSection& controller, int primaryKind, int backupKind);

struct SocketValues {
    std::string host;
    int port = 0;
    bool secure = false;
};
SocketValues LoadSocketValues(const Brindle::CRegSection& connection);
bool SaveSocketValues(const Brindle::CRegSection& connection, const SocketValues& values);
std::optional<std::string> CheckSocketValues(const SocketValues& values);

struct SerialValues {
    std::string port;
    std::string baud;
    std::string parity;
    std::string stopBits;
    std::string byteSize;
    int dtrEnabled = 0;  // 1: the line goes through a dial-up modem
};
SerialValues LoadSerialValues(const Brindle::CRegSection& connection);
bool SaveSerialValues(const Brindle::CRegSection& connection, const SerialValues& values);
std::optional<std::string> CheckSerialValues(const SerialValues& values);
// The device a serial port name opens ("COM1" is "/dev/ttyS0", a path is
// itself); empty when it names none.
std::string SerialDeviceOf(const std::string& port);

struct DatabaseValues {
    std::string host;
    std::string user;
    int port = 0;
    std::string password;  // plain text; stored encoded
    bool secure = false;
};
// machine: the key the password is encoded with; defaults: what the
// controller supplies where the section holds nothing.
DatabaseValues LoadDatabaseValues(const Brindle::CRegSection& connection, const std::string& machine,
                                  const DatabaseDefaults& defaults);
bool SaveDatabaseValues(const Brindle::CRegSection& connection, const std::string& machine,
                        const DatabaseValues& values);
std::optional<std::string> CheckDatabaseValues(const DatabaseValues& values);

inline constexpr int kTimeoutMin = 0;
inline constexpr int kTimeoutMax = 600;
int LoadTimeout(const Brindle::CRegSection& connection);
bool SaveTimeout(const Brindle::CRegSection& connection, int seconds);
std::optional<std::string> CheckTimeout(int seconds);

// The texts of refused values, as the dialogs show them.
std::string IntegerRangeText(int low, int high);
std::string MaxCharsText(std::size_t count);

} // namespace mavo
