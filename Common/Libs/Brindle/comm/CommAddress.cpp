#include "Brindle/comm/CommAddress.h"

#include <arpa/inet.h>
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

} // namespace Brindle
