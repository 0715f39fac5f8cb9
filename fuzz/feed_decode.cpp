// Feeds arbitrary bytes to the feed's receive path: the frame reader cuts
// them (in chunks whose size the first byte chooses), the codec decodes each
// frame, the line cache and a controller-free line apply what decodes, and
// every decoded message must encode and decode back to itself.
#include "zph/Codec.h"
#include "protocol/FrameReader.h"
#include "zph/LineCache.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace ZPH;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t chunk = 1 + data[0] % 64;
    ++data;
    --size;
    // A fresh cache per input, so runs stay independent.
    auto cache = std::make_unique<LineCache>();
    ZPHWire::FrameReader reader(4096);
    std::vector<unsigned> changed;
    for (std::size_t at = 0; at < size; at += chunk) {
        reader.Append(reinterpret_cast<const char*>(data) + at, std::min(chunk, size - at));
        if (reader.Buffered() > 4096 + chunk)
            std::abort();
        std::string_view frame;
        const char* reason = nullptr;
        for (ZPHWire::FrameReader::Result result;
             (result = reader.Next(frame, reason)) != ZPHWire::FrameReader::NEED_MORE;) {
            if (result != ZPHWire::FrameReader::FRAME)
                continue;
            ZPHMessage msg;
            if (!ZPHWire::Decode(frame, msg))
                continue;
            std::string text;
            if (ZPHWire::Encode(msg, text)) {
                ZPHMessage back;
                if (!ZPHWire::Decode(text, back) || !(back == msg))
                    std::abort();
            }
            cache->Apply(msg, changed);
            LineObject line(1, 1);
            line.Apply(msg, msg.m_type != 'D');
            char buffer[50];
            line.GetTextLine(buffer, sizeof buffer, 0);
            changed.clear();
        }
    }
    return 0;
}
