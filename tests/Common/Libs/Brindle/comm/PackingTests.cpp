// Message packing and its codecs against Python's zlib and base64: CRC-32,
// base64 both ways and its refusals, compression bounds, MPACK records
// built here and read by the peer and the other way round, and records that
// arrive damaged or with hostile sizes.
#include "Brindle/comm/Codec.h"
#include "Brindle/comm/MsgPack.h"

#include "CommLogCapture.h"
#include "CommTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace Brindle;
using namespace commtest;

namespace {

std::string Sample(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    // Every delimiter of the message text form and NUL among the bytes.
    std::string s = RandomBytes(rng, n);
    const char specials[] = {0, 1, 2, 3, 0x1C, 0x1D, 0x1E, 0x1F};
    for (std::size_t i = 0; i < n; i += 7)
        s[i] = specials[i % sizeof specials];
    return s;
}

CRec RecordOf(const std::string& recordText)
{
    CRec record;
    EXPECT_TRUE(record.parse(recordText));
    return record;
}

// An MPACK record from its fields, to damage one of them.
CRec Mpack(int size, int compression, int compressedSize, int packing, int encodedSize, const std::string& text)
{
    CMsgPackRecord fields;
    fields.set_size(size);
    fields.set_compression(compression);
    fields.set_compressed_size(compressedSize);
    fields.set_packing(packing);
    fields.set_encoded_size(encodedSize);
    fields.set_buffer(text);
    return fields.ToRecord();
}

} // namespace

TEST(Codec, Crc32MatchesPythonZlib)
{
    EXPECT_EQ(CalcCRC32("", 0), 0u);
    for (const std::size_t n : {1u, 5u, 31u, 1000u, 65537u}) {
        const std::string data = Sample(n, static_cast<unsigned>(n));
        EXPECT_EQ(std::to_string(CalcCRC32(data.data(), static_cast<unsigned>(n))),
                  AskOp("crc32", {{"data", Hex(data)}}, "crc"))
            << n;
    }
}

TEST(Codec, Base64MatchesPythonAndReadsBack)
{
    for (std::size_t n = 0; n < 40; ++n) {
        const std::string data = Sample(n, static_cast<unsigned>(n + 100));
        const std::string text = MimeEncode(data.data(), static_cast<unsigned>(n));
        EXPECT_EQ(text, AskOp("b64", {{"data", Hex(data)}}, "text")) << n;
        EXPECT_EQ(MimeDecode(text.data(), static_cast<unsigned>(text.size())), data) << n;
    }
}

TEST(Codec, Base64RefusesMalformedText)
{
    struct Case {
        const char* text;
        const char* why;
    };
    const Case cases[] = {
        {"QUJD\n", "line break"},     {"QU JD", "space"},          {"QUJ", "short group"},
        {"Q===", "pad in second place"}, {"=QUJ", "pad first"},   {"QQ=A", "data after pad"},
        {"QQ==QUJD", "group after pad"}, {"QUJD*A==", "foreign byte"}, {"QU\0D", "NUL"},
    };
    for (const Case& c : cases) {
        const std::string text(c.text, c.text == std::string("QU\0D") ? 4 : std::char_traits<char>::length(c.text));
        EXPECT_EQ(MimeDecode(text.data(), static_cast<unsigned>(text.size())), "") << c.why;
    }
    // A group is read only within the given length.
    const char longer[] = "QUJDRA==";
    EXPECT_EQ(MimeDecode(longer, 4), "ABC");
    EXPECT_EQ(MimeDecode(longer, 6), "");
}

TEST(Codec, CompressRoundTripsAndDecompressIsBounded)
{
    const std::string data = Sample(5000, 7) + std::string(20000, 'a');
    const std::string packed = Compress(data.data(), static_cast<unsigned>(data.size()));
    ASSERT_LT(packed.size(), data.size());
    EXPECT_EQ(Decompress(packed.data(), static_cast<unsigned>(packed.size()), static_cast<unsigned>(data.size())), data);
    // Too small a buffer for the known size: refused, not cut.
    EXPECT_EQ(Decompress(packed.data(), static_cast<unsigned>(packed.size()), 100), "");

    unsigned length = static_cast<unsigned>(packed.size());
    EXPECT_EQ(Decompress(packed.data(), length), data);
    EXPECT_EQ(length, data.size());
    // The unknown-size form stops at its limit.
    length = static_cast<unsigned>(packed.size());
    EXPECT_EQ(DecompressBounded(packed.data(), length, 10000), "");
    // An empty or broken input ends (a zero starting size does not spin).
    length = 0;
    EXPECT_EQ(Decompress("", length), "");
    std::string broken = packed;
    broken[broken.size() / 2] ^= 0x55;
    length = static_cast<unsigned>(broken.size() / 2);
    EXPECT_EQ(Decompress(broken.data(), length), "");
}

TEST(MsgPack, HelloMatchesPythonZlibAndBase64)
{
    const CRefCountedPtr<CRec> packed = PackBuffer("hello");
    const std::string record = AskOp("mpack", {{"data", Hex("hello")}}, "record");
    EXPECT_EQ(Hex(packed->to_string()), record);
    CommLogCapture log;
    EXPECT_EQ(UnpackBuffer(RecordOf(Unhex(record))), "hello");
    // Each unpacking names its sizes on the log text stream.
    const std::string line = "Sz: 5 ZipSz: " + packed->get("2").get_value() + " MimeSz: " + packed->get("5").get_value();
    ASSERT_EQ(log.Matching("Sz: ").size(), 1u);
    EXPECT_EQ(log.Matching("Sz: ")[0].text, line);
}

TEST(MsgPack, AnyBytesRoundTripBothWays)
{
    for (const std::size_t n : {0u, 1u, 100u, 4096u, 300000u}) {
        const std::string data = Sample(n, static_cast<unsigned>(n + 5));
        const CRefCountedPtr<CRec> packed = PackBuffer(data);
        // The record survives a message text form unchanged.
        CMsg carrier("BUNDLE");
        carrier.add(*packed);
        CMsg received;
        ASSERT_TRUE(received.parse(carrier.build_string()));
        EXPECT_EQ(UnpackBuffer(*received.begin()), data) << n;
        // Python reads ours, and we read Python's.
        EXPECT_EQ(AskOp("unmpack", {{"record", Hex(packed->to_string())}}, "data"), Hex(data)) << n;
        EXPECT_EQ(UnpackBuffer(RecordOf(Unhex(AskOp("mpack", {{"data", Hex(data)}}, "record")))), data) << n;
    }
}

TEST(MsgPack, DamagedOrHostileRecordsUnpackToEmpty)
{
    const std::string data = "the quick brown fox jumps over the lazy dog";
    const std::string body = Compress(data.data(), static_cast<unsigned>(data.size()));
    const std::string text = MimeEncode(body.data(), static_cast<unsigned>(body.size()));
    const int n = static_cast<int>(data.size());
    const int c = static_cast<int>(body.size());
    const int e = static_cast<int>(text.size());
    ASSERT_EQ(UnpackBuffer(Mpack(n, 1, c, 0, e, text)), data);

    struct Case {
        CRec record;
        const char* why;
    };
    CRec otherCase = Mpack(n, 1, c, 0, e, text);
    otherCase.set_id("mpack");
    const Case cases[] = {
        {otherCase, "id in other letter case"},
        {Mpack(n, 1, c, 0, e, text.substr(0, text.size() - 4)), "buffer cut in transit"},
        {Mpack(n, 1, c + 3, 0, e, text), "compressed size wrong"},
        {Mpack(n + 1, 1, c, 0, e, text), "size wrong"},
        {Mpack(n, 1, c, c + 1, e, text), "more padding than body"},
        {Mpack(n, 1, c, -1, e, text), "negative padding"},
        {Mpack(-5, 1, c, 0, e, text), "negative size"},
        {Mpack(2000000000, 1, c, 0, e, text), "2 GB size claim"},
        {Mpack(n, 1, 2000000000, 0, e, text), "2 GB compressed size claim"},
        {Mpack(n, 0, c, 0, e, text), "compressed body stored as plain"},
        {Mpack(n, 1, c, 0, e + 1, text + "\n"), "line break in the base64"},
    };
    for (const Case& k : cases)
        EXPECT_EQ(UnpackBuffer(k.record), "") << k.why;
    // A 4 GiB size claim reads as a negative or saturated int: refused.
    CRec huge = Mpack(n, 1, c, 0, e, text);
    huge.begin()->set_value(CVar("4294967296"));
    EXPECT_EQ(UnpackBuffer(huge), "");
    // A caller's own limit.
    EXPECT_EQ(UnpackBuffer(Mpack(n, 1, c, 0, e, text), 10), "");
}

TEST(MsgPack, ReadsFieldsByIdWhateverTheirOrder)
{
    const std::string text = MimeEncode("abc", 3);
    CRec record(CVar("MPACK"));
    record.set("6") = text;
    record.set("9") = "ignored";
    record.set("0") = "3";
    record.set("5") = "4";
    record.set("2") = "3";
    EXPECT_EQ(UnpackBuffer(record), "abc");
}
