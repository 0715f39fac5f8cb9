// Feeds arbitrary bytes to the frame parser of the framed secure channel,
// frame after frame, with a Blowfish context (first byte odd) or none. A
// frame that parses must build again to a frame that parses to the same
// payload; failures throw CException only; lengths claimed by the input are
// bounded by the limit before anything is allocated.
#include "Brindle/base/Exception.h"
#include "Brindle/comm/ChannelCipher.h"
#include "Brindle/comm/ProtocolPacket.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace Brindle;

namespace {

class FuzzCipher : public CChannelCipher {
public:
    explicit FuzzCipher(CIPHER cipher) { SetCipher(cipher, "0123456789abcdef0123456789abcdef", false); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    FuzzCipher cipher(data[0] & 1 ? CChannelCipher::CIPHER_BLOWFISH
                                  : (data[0] & 2 ? CChannelCipher::CIPHER_SETTING_ENCODER : CChannelCipher::CIPHER_NONE));
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string_view rest(input);
    CProtocolPacket packet;
    packet.SetContext(&cipher);
    packet.SetLimit(1u << 20);
    while (!rest.empty()) {
        std::size_t used = 0;
        try {
            used = packet.Parse(rest);
        } catch (const CException&) {
            const std::uint64_t skip = packet.GetFrameLength();
            if (skip == 0 || skip >= rest.size())
                break;
            rest.remove_prefix(static_cast<std::size_t>(skip));
            continue;
        }
        if (used == CProtocolPacket::NOT_ENOUGH)
            break;
        if (used < CProtocolPacket::HeaderSize || used > rest.size())
            std::abort();
        const std::string payload = packet.GetBuffer();
        CProtocolPacket again;
        again.SetContext(&cipher);
        if (!again.Create(packet.GetType(), packet.GetMethod(), payload, packet.IsCompressed(), packet.IsEncrypted()))
            std::abort();
        const std::string frame = again.GetBuffer();
        if (again.Parse(frame) != frame.size() || again.GetBuffer() != payload)
            std::abort();
        rest.remove_prefix(used);
    }
    return 0;
}
