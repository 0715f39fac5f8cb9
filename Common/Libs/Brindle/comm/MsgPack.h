// Message packing: an arbitrary byte string (typically the text form of a
// CMsg) compressed with zlib, base64-coded so that it holds none of the
// message delimiters, and carried with its sizes in one record whose id is
// "MPACK" (CMsgPackRecord::ID).
//
// The record travels as a CRec with the values "0" to "6", in that order:
// size, compression (1 zlib / 0 stored), compressed_size, packing (pad bytes
// after the body), encrypt (1 when the padded body is encrypted), encoded_size
// (length of the base64 text), buffer (the base64 text). CMsgPackRecord::OPS
// is the binding table that writes and reads them.
//
// PackBuffer always asks for compression, pads nothing and encrypts nothing.
// When zlib fails the body is stored as it is and marked so (compression 0),
// never flagged as compressed.
//
// UnpackBuffer gives the packed bytes back, or the empty string when the
// record is not a valid MPACK record: another id (letter case counts), a
// buffer whose length is not encoded_size, base64 that does not decode to
// compressed_size bytes, padding longer than the body, a result that is not
// size bytes long, or sizes beyond the limit (16 MiB unless given). Sizes
// come from the peer: they are checked before anything is allocated. Each
// call writes "Sz: <size> ZipSz: <compressed_size> MimeSz: <encoded_size>"
// to the library's log text stream.
//
// Thread-safety: the functions may run on any thread; a CMsgPackRecord is a
// plain value used by one thread at a time.
#pragma once

#include "Brindle/base/RefCountedPtr.h"
#include "Brindle/comm/Msg.h"
#include "Brindle/comm/RecordOps.h"

#include <string>

namespace Brindle {

inline constexpr unsigned MSGPACK_DEFAULT_LIMIT = 16u * 1024u * 1024u;

class CMsgPackRecord {
public:
    static constexpr const char* ID = "MPACK";
    static const CRecordOps<CMsgPackRecord> OPS;

    CMsgPackRecord() = default;

    int get_size() const { return m_size; }
    void set_size(int size) { m_size = size; }
    int get_compression() const { return m_compression; }
    void set_compression(int compression) { m_compression = compression; }
    int get_compressed_size() const { return m_compressed_size; }
    void set_compressed_size(int size) { m_compressed_size = size; }
    int get_packing() const { return m_packing; }
    void set_packing(int packing) { m_packing = packing; }
    int get_encrypt() const { return m_encrypt; }
    void set_encrypt(int encrypt) { m_encrypt = encrypt; }
    int get_encoded_size() const { return m_encoded_size; }
    void set_encoded_size(int size) { m_encoded_size = size; }
    const std::string& get_buffer() const { return m_buffer; }
    void set_buffer(const std::string& buffer) { m_buffer = buffer; }

    // The MPACK record of these fields.
    CRec ToRecord() const;
    // Reads the fields of a record (its id is not checked here).
    void FromRecord(const CRec& record) { OPS.Read(*this, record); }

private:
    int m_size = 0;
    int m_compression = 0;
    int m_compressed_size = 0;
    int m_packing = 0;
    int m_encrypt = 0;
    int m_encoded_size = 0;
    std::string m_buffer;
};

CRefCountedPtr<CRec> PackBuffer(const std::string& data);
std::string UnpackBuffer(const CRec& record);
// The log text stream's line of an unpacking: "Sz: ... ZipSz: ... MimeSz: ...".
void LogUnpackSizes(const CMsgPackRecord& fields);
std::string UnpackBuffer(const CRec& record, unsigned limit);

} // namespace Brindle
