// The process-wide identity of the library's user: application name,
// version, build date and description set once at start-up, the machine's
// login name, host name, IP address and network-adapter hardware addresses,
// the time the library was loaded, and the start of sockets.
//
// Contract
// - Every text is handed out as a const char* that stays valid, with the
//   text it had, for the life of the process: a setter never changes or
//   frees a text a caller may hold; later getters return the new text.
// - Unset version, build date and description read "<unknown>"; an unset
//   application name is the executable's file name without directory and
//   extension. Texts are cut to 255 characters (description: 1023).
// - Login name, host name and IP address are fetched on first use and kept;
//   a host name that could not be fetched is fetched again on the next call.
//   The IP address is the host name's first IPv4 address, or "0.0.0.0".
// - Adapter addresses come from /sys/class/net in interface-index order,
//   loopback and all-zero addresses left out, each as lowercase hex (two
//   digits a byte, no separators). Once found, the list stays.
//
// Thread-safety: every function may be called from any thread; the texts are
// guarded by the system lock (CSystemLock).
#pragma once

#include <string>
#include <vector>

namespace Brindle {

void SetLocalApplicationName(const char* name);
const char* GetLocalApplicationName();
void SetLocalVersion(const char* version);
const char* GetLocalVersion();
void SetLocalBuildDate(const char* date);
const char* GetLocalBuildDate();
void SetAppDescription(const char* description);
const char* GetAppDescription();

const char* GetLocalLoginName();
const char* GetLocalHostname();
const char* GetLocalIPAddress();

// The number of adapter addresses held; reads them when none are held yet.
int GetMacAddressCount();
// The address of adapter index; "<unknown>" at or beyond the count. A
// negative index throws std::out_of_range.
const char* GetMacAddress(int index);

// The adapter addresses as found under a sysfs class/net directory, in
// interface-index order (GetMacAddressCount reads "/sys/class/net").
std::vector<std::string> ReadAdapterAddresses(const std::string& classNetDir);

// Seconds since 1970-01-01 UTC at which the library was loaded.
long GetStartTimestamp();

// On Linux sockets need no start: true. The two version numbers are accepted
// for callers written against the Windows start-up call and are not used.
bool InitializeSockets(int major, int minor);

} // namespace Brindle
