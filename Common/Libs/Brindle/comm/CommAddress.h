// What the TCP and datagram transports share: host texts of at most 63
// characters, their resolution to an address, and the opening and closing
// of a socket attached to a completion port.
//
// Resolution takes a dotted IPv4 address as it is and looks any other name
// up (getaddrinfo, IPv4 only, first address); the lookup runs without any
// lock held. Failure leaves the caller's address and text as they were.
//
// Thread-safety: the functions keep no state; any thread may call them.
#pragma once

#include "Platform/IoPort.h"

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

class CCommIOCP;
class CCommObject;

// An overlapped IPv4 socket of `type` (SOCK_STREAM or SOCK_DGRAM) with
// `bufferSize` send and receive buffers and SO_REUSEADDR, attached to
// `iocp` with `owner` as its key; stream sockets send each block at once
// (TCP_NODELAY). INVALID_SOCKET, with the last error set, on failure.
SOCKET CommOpenSocket(CCommIOCP& iocp, CCommObject* owner, int type, int bufferSize);

// Clears `owner` from its operations in flight, detaches `s` from `iocp`
// and closes it; the operations complete aborted and reach nobody.
void CommCloseSocket(CCommIOCP& iocp, CCommObject* owner, SOCKET s);

} // namespace Brindle
