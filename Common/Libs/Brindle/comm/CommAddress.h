// The IPv4 addressing the TCP and datagram transports share: host texts of
// at most 63 characters and their resolution to an address.
//
// Resolution takes a dotted IPv4 address as it is and looks any other name
// up (getaddrinfo, IPv4 only, first address); the lookup runs without any
// lock held. Failure leaves the caller's address and text as they were.
//
// Thread-safety: the functions keep no state; any thread may call them.
#pragma once

#include <netinet/in.h>

#include <string>

namespace Brindle {

// Room for the host text, its zero included.
inline constexpr unsigned CommHostSize = 64;

// `host` resolved into `address` (null or empty: any address). False when
// the name cannot be resolved; `address` is then untouched.
bool CommResolveHost(const char* host, in_addr& address);

// Copies at most 63 characters of `host` (null: empty) into `text`.
void CommCopyHost(char (&text)[CommHostSize], const char* host);

} // namespace Brindle
