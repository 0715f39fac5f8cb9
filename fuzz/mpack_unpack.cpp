// Feeds arbitrary bytes to MPACK unpacking: as a record text (parsed, then
// unpacked), and as the base64 body of an otherwise sound record whose
// sizes come from the first bytes. Whatever unpacks must repack and unpack
// to the same bytes; sizes from the input never cause a large allocation.
#include "Brindle/comm/Codec.h"
#include "Brindle/comm/MsgPack.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace Brindle;

namespace {

void CheckRoundTrip(const std::string& unpacked)
{
    const CRefCountedPtr<CRec> again = PackBuffer(unpacked);
    if (UnpackBuffer(*again) != unpacked)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    CRec record;
    if (record.parse(input)) {
        const std::string unpacked = UnpackBuffer(record, 1u << 20);
        if (!unpacked.empty())
            CheckRoundTrip(unpacked);
    }
    if (size < 16)
        return 0;
    std::int32_t sizes[4];
    std::memcpy(sizes, data, sizeof sizes);
    const std::string body = input.substr(16);
    CMsgPackRecord fields;
    fields.set_size(sizes[0]);
    fields.set_compression(sizes[1] & 1);
    fields.set_compressed_size(sizes[2] & 0x40000000 ? sizes[2] : static_cast<int>(body.size()) + (sizes[2] & 3));
    fields.set_packing(sizes[3] & 0xF);
    fields.set_buffer(MimeEncode(body.data(), static_cast<unsigned>(body.size())));
    fields.set_encoded_size(static_cast<int>(fields.get_buffer().size()));
    const std::string unpacked = UnpackBuffer(fields.ToRecord(), 1u << 20);
    if (!unpacked.empty())
        CheckRoundTrip(unpacked);
    return 0;
}
