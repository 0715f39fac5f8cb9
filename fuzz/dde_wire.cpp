// Feeds arbitrary bytes to the DDE receive path: the frame reader cuts them
// (in chunks whose size the first byte chooses) and decodes each frame;
// every frame that decodes must encode back to the same bytes, and the
// reader must never hold more than one frame's maximum plus one chunk. The
// same bytes, read as a socket file name, must parse only when they are the
// one spelling of a service name.
#include "Platform/dde/DdeRuntimeDir.h"
#include "Platform/dde/DdeWire.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace Platform::Dde;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t chunk = 1 + data[0] % 128;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    FrameReader reader;
    std::string consumed;
    for (std::size_t at = 0; at < length; at += chunk) {
        const std::size_t piece = std::min(chunk, length - at);
        reader.Append(bytes + at, piece);
        if (reader.Buffered() > HEADER_SIZE + MAX_BODY + piece)
            std::abort();
        Frame frame;
        for (FrameReader::Result result; (result = reader.Next(frame)) != FrameReader::NEED_MORE;) {
            if (result == FrameReader::BAD)
                break;
            std::string again;
            if (!EncodeFrame(frame, again))
                std::abort();
            Frame back;
            if (!DecodeBody(std::string_view(again).substr(HEADER_SIZE), back) || !(back == frame))
                std::abort();
            consumed += again;
        }
    }
    // What decoded is exactly the stream's beginning.
    if (std::string_view(bytes, length).substr(0, consumed.size()) != consumed)
        std::abort();

    std::string service;
    std::string instance;
    const std::string_view name(bytes, length);
    if (ParseSocketFileName(name, service, instance)) {
        if (SocketFileName(service, instance) != name)
            std::abort();
    }
    return 0;
}
