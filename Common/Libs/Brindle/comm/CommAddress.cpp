#include "Brindle/comm/CommAddress.h"

#include "Brindle/base/Exception.h"
#include "Brindle/comm/CommIOCP.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>

namespace Brindle {

bool CommResolveHost(const char* host, in_addr& address)
{
    if (host == nullptr || *host == '\0') {
        address.s_addr = htonl(INADDR_ANY);
        return true;
    }
    char text[CommHostSize];
    CommCopyHost(text, host);
    in_addr dotted{};
    if (::inet_pton(AF_INET, text, &dotted) == 1) {
        address = dotted;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(text, nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
            address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
            ok = true;
            break;
        }
    }
    ::freeaddrinfo(found);
    return ok;
}

void CommCopyHost(char (&text)[CommHostSize], const char* host)
{
    std::size_t n = 0;
    if (host != nullptr)
        while (n < CommHostSize - 1 && host[n] != '\0')
            ++n;
    if (n != 0)
        std::memcpy(text, host, n);
    text[n] = '\0';
}

SOCKET CommOpenSocket(CCommIOCP& iocp, CCommObject* owner, int type, int bufferSize)
{
    const int protocol = type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP;
    SOCKET s = WSASocket(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    const int one = 1;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Each block goes out as it is sent: with Nagle's delay a request
    // waiting for its answer stalls on the peer's delayed acknowledgement.
    // Accepted children inherit it from their listener.
    if (type == SOCK_STREAM)
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    try {
        iocp.AttachIOCP(SocketHandle(s), reinterpret_cast<ULONG_PTR>(owner));
    } catch (const CException& e) {
        closesocket(s);
        SetLastError(e.GetLastError());
        return INVALID_SOCKET;
    }
    return s;
}

void CommCloseSocket(CCommIOCP& iocp, CCommObject* owner, SOCKET s)
{
    iocp.DetachOwner(owner);
    iocp.DetachIOCP(SocketHandle(s));
    closesocket(s);
}

} // namespace Brindle
