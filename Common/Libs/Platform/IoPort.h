// Completion ports and overlapped sockets: the Windows calls the library's
// network code is written against, over edge-triggered epoll.
//
// Contract
// - A port (CreateIoCompletionPort with INVALID_HANDLE_VALUE) is a queue of
//   completions that any number of threads take with
//   GetQueuedCompletionStatus. One of the waiting threads at a time polls
//   the sockets attached to the port (epoll); the others wait on the queue.
//   The poller only gathers which sockets are ready: their reads and writes
//   run on whichever threads take them from the port, many at once. When
//   the polling thread brings back work and another thread is idle, that
//   thread is woken to poll in its place, so a thread that runs a long
//   handler never holds up the others.
// - A SOCKET is an id into the process's socket table, never a raw file
//   descriptor: ids are not reused, so a late call or a late event for a
//   closed socket finds nothing (WSAENOTSOCK) instead of reaching another
//   connection that got the same descriptor.
// - A socket is attached to one port with CreateIoCompletionPort((HANDLE)s,
//   port, key, 0); its operations then complete on that port with that key.
// - WSARecv, WSASend, WSARecvFrom, WSASendTo and AcceptEx start at once when
//   the socket is ready and otherwise wait for readiness. Either way the
//   result arrives as a completion on the port; the call itself never runs a
//   handler. Return values are those of Windows: 0 (TRUE for AcceptEx) when
//   the operation finished at once (its completion is queued all the same),
//   SOCKET_ERROR (FALSE) with WSA_IO_PENDING when it waits or failed at
//   once (the failure then comes with its completion, so a caller has one
//   path for it), SOCKET_ERROR (FALSE) with another code when it could not
//   start at all: no such socket, bad arguments, no port (nothing queued).
// - The OVERLAPPED record passed in must stay valid until its completion is
//   dequeued; its Internal field holds STATUS_PENDING (259) while the
//   operation runs, then the error code, and InternalHigh the bytes moved.
//   Buffers must stay valid as long; the WSABUF array itself is copied.
// - Sends on one socket complete in the order they were started and their
//   bytes never interleave, partial writes included: a send completes once
//   all of its bytes are with the system. A full send buffer (TCP or UDP)
//   makes sends wait for room, never fail.
// - CancelIo and closesocket complete every pending operation of the socket
//   with ERROR_OPERATION_ABORTED. When they return, no buffer of those
//   operations is touched any more.
// - Completions that carry an error dequeue as FALSE with the record set and
//   the thread's last error holding the code. A receive that finds the peer
//   closed completes with 0 bytes and no error.
// - connect on a socket without WSAEventSelect blocks for at most 10 seconds
//   (WSAETIMEDOUT then). After WSAEventSelect(s, event, FD_CONNECT) it
//   returns at once (WSAEWOULDBLOCK while the connection is being made) and
//   the event is set when the attempt has ended; WSAEnumNetworkEvents gives
//   the result. Only FD_CONNECT is reported; the socket must be attached to
//   a port for it.
// - Accepted sockets take over the descriptor-free accept socket given to
//   AcceptEx, with the buffer sizes set on it; GetAcceptExSockaddrs reads
//   the two addresses AcceptEx wrote into its buffer. A connection reset
//   before it was accepted is skipped. When the process is out of
//   descriptors the accept socket's own descriptor is given up to take the
//   connection, so one connection per standing accept always gets through.
// - Socket error codes are errno values (WSAECONNREFUSED is ECONNREFUSED).
// - CloseIoCompletionPort wakes every waiting thread (FALSE,
//   ERROR_INVALID_HANDLE); completions still queued are dropped untouched.
//
// Thread-safety: every call may be made from any thread at once.
#pragma once

#include "Platform/WinError.h"
#include "Platform/WinTypes.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

// Ids of the socket table (see the contract). Distinct from kernel handles,
// so a SOCKET cast to HANDLE names the socket for CreateIoCompletionPort and
// CancelIo.
enum class SOCKET : std::uintptr_t {};
inline constexpr SOCKET INVALID_SOCKET = static_cast<SOCKET>(~std::uintptr_t{0});
inline constexpr int SOCKET_ERROR = -1;

inline HANDLE SocketHandle(SOCKET s)
{
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(s));
}

using PULONG_PTR = ULONG_PTR*;

inline constexpr ULONG_PTR STATUS_PENDING = 259;
inline constexpr DWORD WSA_FLAG_OVERLAPPED = 0x01;

inline constexpr DWORD WSA_IO_PENDING = ERROR_IO_PENDING;
inline constexpr DWORD WSA_OPERATION_ABORTED = ERROR_OPERATION_ABORTED;
inline constexpr DWORD WSAEWOULDBLOCK = EWOULDBLOCK;
inline constexpr DWORD WSAEINVAL = EINVAL;
inline constexpr DWORD WSAEFAULT = EFAULT;
inline constexpr DWORD WSAENOTSOCK = ENOTSOCK;
inline constexpr DWORD WSAEMSGSIZE = EMSGSIZE;
inline constexpr DWORD WSAEADDRINUSE = EADDRINUSE;
inline constexpr DWORD WSAEADDRNOTAVAIL = EADDRNOTAVAIL;
inline constexpr DWORD WSAECONNABORTED = ECONNABORTED;
inline constexpr DWORD WSAECONNRESET = ECONNRESET;
inline constexpr DWORD WSAECONNREFUSED = ECONNREFUSED;
inline constexpr DWORD WSAENOBUFS = ENOBUFS;
inline constexpr DWORD WSAEISCONN = EISCONN;
inline constexpr DWORD WSAENOTCONN = ENOTCONN;
inline constexpr DWORD WSAETIMEDOUT = ETIMEDOUT;
inline constexpr DWORD WSAEMFILE = EMFILE;
inline constexpr DWORD WSAEHOSTUNREACH = EHOSTUNREACH;
inline constexpr DWORD WSAENETUNREACH = ENETUNREACH;
inline constexpr DWORD WSAEAFNOSUPPORT = EAFNOSUPPORT;

// Network events (WSAEventSelect); only FD_CONNECT is reported.
inline constexpr long FD_CONNECT_BIT = 4;
inline constexpr long FD_CONNECT = 1L << FD_CONNECT_BIT;
inline constexpr int FD_MAX_EVENTS = 10;
struct WSANETWORKEVENTS {
    long lNetworkEvents = 0;
    int iErrorCode[FD_MAX_EVENTS] = {};
};
using LPWSANETWORKEVENTS = WSANETWORKEVENTS*;

struct WSABUF {
    ULONG len = 0;
    char* buf = nullptr;
};
using LPWSABUF = WSABUF*;
// Most buffers one operation takes.
inline constexpr DWORD WSABUF_MAX = 8;

// Bytes each address takes in an AcceptEx buffer.
inline constexpr DWORD ACCEPT_ADDRESS_LENGTH = sizeof(sockaddr_in6) + 4;
static_assert(ACCEPT_ADDRESS_LENGTH == 32);

// Ports.
HANDLE CreateIoCompletionPort(HANDLE fileHandle, HANDLE existingPort, ULONG_PTR completionKey, DWORD concurrentThreads);
BOOL GetQueuedCompletionStatus(HANDLE port, LPDWORD bytes, PULONG_PTR completionKey, LPOVERLAPPED* overlapped,
                               DWORD milliseconds);
BOOL PostQueuedCompletionStatus(HANDLE port, DWORD bytes, ULONG_PTR completionKey, LPOVERLAPPED overlapped);
// Posts the completion once `delayMs` have passed (a pause before a retry
// that occupies no thread).
BOOL PostQueuedCompletionStatusAfter(HANDLE port, DWORD delayMs, DWORD bytes, ULONG_PTR completionKey,
                                     LPOVERLAPPED overlapped);
BOOL CloseIoCompletionPort(HANDLE port);
BOOL CancelIo(HANDLE fileHandle);

// Marks the calling thread, for its lifetime, as one that runs a handler of
// `port` and goes back to waiting on it afterwards: completions it causes
// then wake no other thread unless one is idle.
class IoPortHandlerScope {
public:
    explicit IoPortHandlerScope(HANDLE port);
    ~IoPortHandlerScope();
    IoPortHandlerScope(const IoPortHandlerScope&) = delete;
    IoPortHandlerScope& operator=(const IoPortHandlerScope&) = delete;

private:
    const void* m_previous;
};

// Sockets.
int WSAGetLastError();
void WSASetLastError(int code);
SOCKET WSASocket(int af, int type, int protocol, void* protocolInfo, unsigned group, DWORD flags);
int closesocket(SOCKET s);
int bind(SOCKET s, const sockaddr* address, int length);
int listen(SOCKET s, int backlog);
int connect(SOCKET s, const sockaddr* address, int length);
int shutdown(SOCKET s, int how);
int setsockopt(SOCKET s, int level, int name, const void* value, int length);
int getsockopt(SOCKET s, int level, int name, void* value, int* length);
int getsockname(SOCKET s, sockaddr* address, int* length);
int getpeername(SOCKET s, sockaddr* address, int* length);

int WSARecv(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD received, LPDWORD flags, LPOVERLAPPED overlapped,
            void* completionRoutine);
int WSASend(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD sent, DWORD flags, LPOVERLAPPED overlapped,
            void* completionRoutine);
// `from` and `fromLength` are written when the datagram arrives: they must
// stay valid until the completion.
int WSARecvFrom(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD received, LPDWORD flags, sockaddr* from,
                int* fromLength, LPOVERLAPPED overlapped, void* completionRoutine);
int WSASendTo(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD sent, DWORD flags, const sockaddr* to, int toLength,
              LPOVERLAPPED overlapped, void* completionRoutine);
// receiveLength must be 0 (no initial data); each address block must hold
// at least ACCEPT_ADDRESS_LENGTH bytes.
BOOL AcceptEx(SOCKET listenSocket, SOCKET acceptSocket, void* buffer, DWORD receiveLength, DWORD localLength,
              DWORD remoteLength, LPDWORD received, LPOVERLAPPED overlapped);
void GetAcceptExSockaddrs(void* buffer, DWORD receiveLength, DWORD localLength, DWORD remoteLength, sockaddr** local,
                          int* localSize, sockaddr** remote, int* remoteSize);

int WSAEventSelect(SOCKET s, HANDLE event, long networkEvents);
int WSAEnumNetworkEvents(SOCKET s, HANDLE event, LPWSANETWORKEVENTS events);

// Open sockets in the table (a leak check for tests).
std::size_t OpenSocketCount();
