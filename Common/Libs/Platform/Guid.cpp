#include "Platform/Guid.h"

#include <cerrno>
#include <cstring>
#include <sys/random.h>

namespace Platform {

bool RandomBytes(void* buffer, std::size_t length)
{
    auto* out = static_cast<unsigned char*>(buffer);
    while (length > 0) {
        const ssize_t got = ::getrandom(out, length, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        out += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace Platform

HRESULT CoCreateGuid(GUID* guid)
{
    if (guid == nullptr)
        return S_FALSE;
    unsigned char bytes[16];
    if (!Platform::RandomBytes(bytes, sizeof bytes))
        return S_FALSE;
    bytes[7] = static_cast<unsigned char>((bytes[7] & 0x0F) | 0x40); // version 4 in Data3's top nibble
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    std::memcpy(&guid->Data1, bytes, 4);
    std::memcpy(&guid->Data2, bytes + 4, 2);
    std::memcpy(&guid->Data3, bytes + 6, 2);
    std::memcpy(guid->Data4, bytes + 8, 8);
    return S_OK;
}
