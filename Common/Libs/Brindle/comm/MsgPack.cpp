#include "Brindle/comm/MsgPack.h"

#include "Brindle/comm/Codec.h"
#include "Brindle/comm/CommLog.h"

namespace Brindle {

using Ops = CRecordOps<CMsgPackRecord>;
const Ops CMsgPackRecord::OPS{
    Ops::Bind<&CMsgPackRecord::get_size, &CMsgPackRecord::set_size>("0"),
    Ops::Bind<&CMsgPackRecord::get_compression, &CMsgPackRecord::set_compression>("1"),
    Ops::Bind<&CMsgPackRecord::get_compressed_size, &CMsgPackRecord::set_compressed_size>("2"),
    Ops::Bind<&CMsgPackRecord::get_packing, &CMsgPackRecord::set_packing>("3"),
    Ops::Bind<&CMsgPackRecord::get_encrypt, &CMsgPackRecord::set_encrypt>("4"),
    Ops::Bind<&CMsgPackRecord::get_encoded_size, &CMsgPackRecord::set_encoded_size>("5"),
    Ops::Bind<&CMsgPackRecord::get_buffer, &CMsgPackRecord::set_buffer>("6"),
};

CRec CMsgPackRecord::ToRecord() const
{
    CRec record{CVar(ID)};
    OPS.Write(*this, record);
    return record;
}

CRefCountedPtr<CRec> PackBuffer(const std::string& data)
{
    const auto length = static_cast<unsigned>(data.size());
    std::string body;
    const bool compressed = CompressTo(data.data(), length, body);
    if (!compressed)
        body = data;
    CMsgPackRecord fields;
    fields.set_size(static_cast<int>(data.size()));
    fields.set_compression(compressed ? 1 : 0);
    fields.set_compressed_size(static_cast<int>(body.size()));
    fields.set_buffer(MimeEncode(body.data(), static_cast<unsigned>(body.size())));
    fields.set_encoded_size(static_cast<int>(fields.get_buffer().size()));
    return CRefCountedPtr<CRec>(new CRec(fields.ToRecord()));
}

void LogUnpackSizes(const CMsgPackRecord& fields)
{
    CommLog::Stream("Sz: " + std::to_string(fields.get_size()) + " ZipSz: " + std::to_string(fields.get_compressed_size()) +
                    " MimeSz: " + std::to_string(fields.get_encoded_size()));
}

std::string UnpackBuffer(const CRec& record)
{
    return UnpackBuffer(record, MSGPACK_DEFAULT_LIMIT);
}

std::string UnpackBuffer(const CRec& record, unsigned limit)
{
    if (record.get_id() != CMsgPackRecord::ID)
        return {};
    CMsgPackRecord fields;
    fields.FromRecord(record);
    LogUnpackSizes(fields);
    const std::string& text = fields.get_buffer();
    const auto inRange = [limit](int n) { return n >= 0 && static_cast<unsigned>(n) <= limit; };
    if (!inRange(fields.get_size()) || !inRange(fields.get_compressed_size()) ||
        !inRange(fields.get_encoded_size()) || fields.get_packing() < 0)
        return {};
    if (text.size() != static_cast<std::size_t>(fields.get_encoded_size()))
        return {};
    std::string body = MimeDecode(text.data(), static_cast<unsigned>(text.size()));
    if (body.size() != static_cast<std::size_t>(fields.get_compressed_size()) ||
        static_cast<std::size_t>(fields.get_packing()) > body.size())
        return {};
    body.resize(body.size() - static_cast<std::size_t>(fields.get_packing()));
    const auto size = static_cast<std::size_t>(fields.get_size());
    std::string result;
    if (fields.get_compression() == 1)
        result = Decompress(body.data(), static_cast<unsigned>(body.size()), static_cast<unsigned>(size));
    else
        result = std::move(body);
    if (result.size() != size)
        return {};
    return result;
}

} // namespace Brindle
