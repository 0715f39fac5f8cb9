// Blowfish, MD5, Diffie-Hellman, CRC-32, base64, compression, MPACK records
// and channel frames against known answers, openssl and the Python wire
// peer, with the refusals of damaged and hostile input.
#include "Brindle/base/Exception.h"
#include "Brindle/comm/BlowFish.h"
#include "Brindle/comm/Codec.h"
#include "Brindle/comm/DiffieHellman.h"
#include "Brindle/comm/MD5Digest.h"
#include "Brindle/comm/MsgPack.h"
#include "Brindle/comm/ProtocolPacket.h"

#include "ChildProcess.h"
#include "CommLogCapture.h"
#include "CommTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>
#include <string>

using namespace Brindle;
using namespace commtest;

namespace {

std::string Crypt(CBlowFish& cipher, std::string data, int mode, bool decrypt)
{
    auto* p = reinterpret_cast<unsigned char*>(data.data());
    decrypt ? cipher.Decrypt(p, data.size(), mode) : cipher.Encrypt(p, data.size(), mode);
    return data;
}

// The openssl tool's output for a file, or "" when it fails; the file is
// named after "-in", or last when inFlag is false.
std::string Openssl(const std::vector<std::string>& args, const std::string& input, bool inFlag = true)
{
    testsupport::TempDir dir;
    const std::string in = (dir.path() / "in").string();
    std::ofstream(in, std::ios::binary) << input;
    std::vector<std::string> argv{"/usr/bin/openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    if (inFlag)
        argv.push_back("-in");
    argv.push_back(in);
    testsupport::ChildProcess child(argv);
    return child.Wait() == 0 ? child.Stdout() : std::string();
}

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

// The Python peer's frame for these arguments.
std::string PeerFrame(char type, char method, const std::string& data, const std::string& key, bool compress,
                      bool encrypt)
{
    return Unhex(AskOp("frame",
                       {{"type", std::string(1, type)}, {"method", std::string(1, method)}, {"data", Hex(data)},
                        {"key", key}, {"compress", compress}, {"encrypt", encrypt}},
                       "frame"));
}

// The payload the Python peer reads from a frame under the 32-character key.
std::string PeerReads(const std::string& frame)
{
    return AskOp("parseframe", {{"frame", Hex(frame)}, {"key", kKey32}}, "data");
}

// A 32-byte header from its fields, with its check byte.
std::string Header(const std::string& flags, unsigned pad, unsigned long long uncompressed, unsigned long long body,
                   unsigned crc)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s? %02x%08llx%08llx%08x", flags.c_str(), pad, uncompressed, body, crc);
    std::string h(text);
    SetCheckByte(h);
    return h;
}

std::string ThrownText(CProtocolPacket& packet, const std::string& bytes)
{
    return Thrown<CException>([&] { packet.Parse(bytes); });
}

// A packet under a Blowfish cipher with the 32-character key.
class ProtocolPacket : public ::testing::Test {
protected:
    void SetUp() override { packet.SetContext(&blowfish); }
    TestCipher blowfish{CChannelCipher::CIPHER_BLOWFISH, kKey32};
    CProtocolPacket packet;
};

} // namespace

TEST(BlowFish, PublishedEcbVectors)
{
    struct Vector {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    const Vector vectors[] = {
        {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
        {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
        {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
        {"1111111111111111", "1111111111111111", "2466dd878b963c9d"},
        {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
        {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
        {"7ca110454a1a6e57", "01a1d6d039776742", "59c68245eb05282b"},
    };
    for (const Vector& v : vectors) {
        CBlowFish cipher(Unhex(v.key));
        EXPECT_EQ(Hex(Crypt(cipher, Unhex(v.plain), CBlowFish::ECB, false)), v.cipher) << v.key;
        EXPECT_EQ(Hex(Crypt(cipher, Unhex(v.cipher), CBlowFish::ECB, true)), v.plain) << v.key;
    }
}

TEST(BlowFish, ModesMatchOpensslAndChainCarriesOver)
{
    std::mt19937 rng(11);
    const std::string key = RandomBytes(rng, 16);
    const std::string data = RandomBytes(rng, 64);
    const SBlock iv(0xfedcba98u, 0x76543210u);
    const std::string ivHex = "fedcba9876543210";
    const std::pair<int, const char*> modes[] = {{CBlowFish::ECB, "-bf-ecb"}, {CBlowFish::CBC, "-bf-cbc"},
                                                 {CBlowFish::CFB, "-bf-cfb"}};
    for (const auto& [mode, name] : modes) {
        std::vector<std::string> args{"enc", name, "-provider", "legacy", "-provider", "default", "-K", Hex(key), "-nopad"};
        if (mode != CBlowFish::ECB)
            args.insert(args.end(), {"-iv", ivHex});
        const std::string expected = Openssl(args, data);
        ASSERT_EQ(expected.size(), data.size()) << name << ": openssl with the legacy provider is needed";
        CBlowFish cipher(key, iv);
        // Two calls of 32 bytes chain as one of 64.
        std::string ours = Crypt(cipher, data.substr(0, 32), mode, false);
        ours += Crypt(cipher, data.substr(32), mode, false);
        EXPECT_EQ(Hex(ours), Hex(expected)) << name;
        cipher.ResetChain();
        EXPECT_EQ(Crypt(cipher, ours, mode, true), data) << name;
    }
}

TEST(BlowFish, LongKeysMatchPythonAndTheFirst56BytesCount)
{
    std::mt19937 rng(3);
    for (const std::size_t length : {1u, 5u, 32u, 56u}) {
        const std::string key = RandomBytes(rng, length);
        const std::string data = RandomBytes(rng, 40);
        CBlowFish cipher(key);
        EXPECT_EQ(Hex(Crypt(cipher, data, CBlowFish::ECB, false)),
                  AskOp("blowfish", {{"key", Hex(key)}, {"data", Hex(data)}}, "data"))
            << length;
    }
    const std::string key = RandomBytes(rng, 56);
    CBlowFish exact(key);
    CBlowFish longer(key + "ignored tail");
    EXPECT_EQ(Crypt(exact, "12345678", CBlowFish::ECB, false), Crypt(longer, "12345678", CBlowFish::ECB, false));
}

TEST(BlowFish, RefusesEmptyKeysAndPartialBlocks)
{
    EXPECT_EQ(Thrown<std::invalid_argument>([] { CBlowFish(std::string()); }), "Incorrect key length");
    CBlowFish cipher(kKey32);
    for (const std::size_t n : {0u, 7u, 9u}) {
        std::string data(n, 'x');
        const auto encrypt = [&] { cipher.Encrypt(reinterpret_cast<unsigned char*>(data.data()), n); };
        EXPECT_EQ(Thrown<std::invalid_argument>(encrypt), "Incorrect buffer length") << n;
    }
}

TEST(MD5Digest, MatchesOpensslDgstAndRfcVectorsAndRefusesEmptyInput)
{
    EXPECT_EQ(CMD5Digest("abc").GetDigestString(), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(CMD5Digest("message digest").GetDigestString(), "f96b697d7cb7938d525a2f31aaf161d0");
    std::mt19937 rng(5);
    for (const std::size_t n : {1u, 55u, 56u, 63u, 64u, 65u, 1000u}) {
        const std::string data = RandomBytes(rng, n);
        const std::string out = Openssl({"dgst", "-md5", "-r"}, data, false);
        ASSERT_GE(out.size(), 32u);
        CMD5Digest copied(data, true);
        CMD5Digest borrowed(data.data(), data.size(), false);
        EXPECT_EQ(copied.GetDigestString(), out.substr(0, 32)) << n;
        EXPECT_TRUE(copied == borrowed);
        EXPECT_TRUE(borrowed == copied.GetDigest());
        EXPECT_EQ(std::string(copied.GetInput(), n), data);
        EXPECT_EQ(copied.GetInput()[n], '\0');
        EXPECT_EQ(borrowed.GetInput(), data.data());
    }
    EXPECT_FALSE(CMD5Digest("abc") == CMD5Digest("abd"));
    // Empty input has no digest.
    EXPECT_EQ(Thrown<CException>([] { CMD5Digest digest{std::string()}; }), "Cannot get digest of empty string");
    EXPECT_THROW(CMD5Digest(static_cast<const char*>(nullptr)), CException);
}

TEST(DiffieHellman, ModularPowersMatchPython)
{
    std::mt19937 rng(9);
    std::uniform_int_distribution<long> any(0, 0x7FFFFFFF);
    for (int i = 0; i < 20; ++i) {
        const long y = any(rng), x = any(rng), p = any(rng) | 2;
        EXPECT_EQ(std::to_string(DH_CalcSymmetricKey(y, x, p)), AskOp("dh", {{"y", y}, {"x", x}, {"p", p}}, "value"));
    }
    EXPECT_EQ(DH_PowMod(12345, 0, 101), 1);
    EXPECT_EQ(DH_PowMod(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), 0);
    // No division by zero for a broken modulus.
    EXPECT_EQ(DH_CalcSymmetricKey(5, 3, 0), 0);
    EXPECT_EQ(DH_CalcSymmetricKey(5, 3, -7), 0);
}

TEST(DiffieHellman, PrimesAndFreshGroups)
{
    for (const long prime : {2L, 3L, 5L, 65537L, 2147483647L})
        EXPECT_TRUE(DH_IsProbablePrime(prime)) << prime;
    for (const long composite : {0L, 1L, 4L, 9L, 65535L, 2147483645L})
        EXPECT_FALSE(DH_IsProbablePrime(composite)) << composite;
    std::set<long> moduli;
    for (int i = 0; i < 10; ++i) {
        long g = 0, p = 0;
        DH_Initialize(&g, &p);
        EXPECT_TRUE(DH_IsValidGroup(g, p)) << g << " " << p;
        EXPECT_TRUE(DH_IsProbablePrime(g));
        moduli.insert(p);
    }
    EXPECT_GT(moduli.size(), 5u);
}

TEST(DiffieHellman, TwoSidesAgreeAndTextRoundTrips)
{
    CDiffieHellman<4> responder;
    responder.InitializeKeys();
    const std::string text = responder.to_string();
    ASSERT_EQ(text.size(), 53u);
    CDiffieHellman<4> seen;
    ASSERT_TRUE(seen.from_string(text));
    EXPECT_EQ(seen.to_string(), text);
    EXPECT_EQ(seen.get_private(0), 0);

    CDiffieHellman<4> initiator;
    long a[4], b[4];
    ASSERT_TRUE(initiator.CalculateKey(seen, a));
    CDiffieHellman<4> back;
    ASSERT_TRUE(back.from_string(initiator.to_string()));
    ASSERT_TRUE(responder.CalculateKey(back, b));
    const std::string key = CDiffieHellman<4>::GenerateKey(a);
    EXPECT_EQ(key, CDiffieHellman<4>::GenerateKey(b));
    EXPECT_EQ(key.size(), 32u);

    // Another group is refused until the object is cleared.
    CDiffieHellman<4> other;
    other.InitializeKeys();
    EXPECT_FALSE(initiator.CalculateKey(other, a));
    initiator.Clear();
    EXPECT_FALSE(initiator.HasGroup());
    EXPECT_TRUE(initiator.CalculateKey(other, a));
}

TEST(DiffieHellman, PeerValuesAreChecked)
{
    struct Case {
        const char* text;
        bool reads;
        bool agrees;
        const char* why;
    };
    const Case cases[] = {
        {"00000005 0000000b 00000003 00000004 00000005 00000009", true, true, "small sound group"},
        {"00000005 00000000 00000003 00000004 00000005 00000009", true, false, "zero modulus"},
        {"0000000b 0000000b 00000003 00000004 00000005 00000009", true, false, "generator equals modulus"},
        {"00000001 0000000b 00000003 00000004 00000005 00000009", true, false, "generator 1"},
        {"00000005 0000000f 00000003 00000004 00000005 00000009", true, false, "composite modulus"},
        {"00000005 0000000b 00000001 00000004 00000005 00000009", true, false, "public value 1"},
        {"00000005 0000000b 0000000b 00000004 00000005 00000009", true, false, "public value = modulus"},
        {"00000005 80000000 00000003 00000004 00000005 00000009", false, false, "above 31 bits"},
        {"00000005 0000000b 00000003 00000004 00000005", false, false, "five numbers"},
        {"00000005 0000000b 00000003 00000004 00000005 00000009 1", false, false, "seven numbers"},
        {"00000005 0000000b 00000003 00000004 00000005 0000000g", false, false, "not hexadecimal"},
        {"000000005 0000000b 00000003 00000004 00000005 00000009", false, false, "nine digits"},
        {"", false, false, "empty"},
    };
    for (const Case& c : cases) {
        CDiffieHellman<4> peer;
        EXPECT_EQ(peer.from_string(c.text), c.reads) << c.why;
        CDiffieHellman<4> own;
        long key[4];
        EXPECT_EQ(own.CalculateKey(peer, key), c.agrees) << c.why;
    }
}

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

TEST_F(ProtocolPacket, HelloFramesMatchThePeerByteForByte)
{
    ASSERT_TRUE(packet.Create(28, '1', "hello", false, true));
    EXPECT_EQ(Hex(packet.GetBuffer()), Hex(PeerFrame(28, '1', "hello", kKey32, false, true)));
    EXPECT_EQ(packet.GetPadCount(), 27u);

    // Method "5" has no cipher: the body goes unpadded and flagged plain.
    TestCipher none(CChannelCipher::CIPHER_NONE, "any key", true);
    packet.SetContext(&none);
    ASSERT_TRUE(packet.Create(28, '5', "hello", false, true));
    EXPECT_EQ(Hex(packet.GetBuffer()), Hex(PeerFrame(28, '5', "hello", "", false, false)));
    EXPECT_EQ(packet.GetBuffer().substr(0, 4), "\x1c" "500");
}

TEST_F(ProtocolPacket, ReadsThePeersFrames)
{
    std::mt19937 rng(21);
    const std::string big = RandomBytes(rng, 3000) + std::string(70000, 'z');
    struct Case {
        char method;
        CChannelCipher::CIPHER cipher;
        std::string data;
        bool compress;
        bool encrypt;
    };
    const Case cases[] = {
        {'1', CChannelCipher::CIPHER_BLOWFISH, "hello", false, true},
        {'1', CChannelCipher::CIPHER_BLOWFISH, big, true, true},
        {'1', CChannelCipher::CIPHER_BLOWFISH, big.substr(0, 1025), true, false},
        {'2', CChannelCipher::CIPHER_SETTING_ENCODER, big, false, true}, // a body above 64 KiB
        {'1', CChannelCipher::CIPHER_BLOWFISH, "", false, false},
    };
    for (const Case& c : cases) {
        TestCipher cipher(c.cipher, kKey32);
        packet.SetContext(&cipher);
        const std::string frame = PeerFrame('\x1c', c.method, c.data, kKey32, c.compress, c.encrypt);
        ASSERT_EQ(packet.Parse(frame + "next"), frame.size());
        EXPECT_EQ(packet.GetBuffer(), c.data);
        EXPECT_EQ(packet.GetType(), 28);
        EXPECT_EQ(packet.GetMethod(), c.method);
        EXPECT_EQ(packet.IsCompressed(), c.compress);
        // And the peer reads ours, and so do we.
        ASSERT_TRUE(packet.Create(28, c.method, c.data, c.compress, c.encrypt));
        EXPECT_EQ(packet.IsEncrypted(), c.encrypt);
        const std::string ours = packet.GetBuffer();
        EXPECT_EQ(PeerReads(ours), Hex(c.data));
        ASSERT_EQ(packet.Parse(ours), ours.size());
        EXPECT_EQ(packet.GetBuffer(), c.data);
    }
}

TEST_F(ProtocolPacket, IncompleteAtEveryLengthAndTwoInOnePiece)
{
    ASSERT_TRUE(packet.Create(28, '1', "a frame in pieces", false, true));
    const std::string first = packet.GetBuffer();
    ASSERT_TRUE(packet.Create(28, '1', std::string(2000, 'q'), true, true));
    const std::string second = packet.GetBuffer();
    for (std::size_t n = 0; n < first.size(); ++n)
        ASSERT_EQ(packet.Parse(first.substr(0, n)), CProtocolPacket::NOT_ENOUGH) << n;
    const std::string both = first + second;
    ASSERT_EQ(packet.Parse(both), first.size());
    EXPECT_EQ(packet.GetBuffer(), "a frame in pieces");
    ASSERT_EQ(packet.Parse(std::string_view(both).substr(first.size())), second.size());
    EXPECT_EQ(packet.GetBuffer(), std::string(2000, 'q'));
}

TEST_F(ProtocolPacket, EncryptedBodiesPadToTheNextMultipleOf32Above)
{
    for (const auto& [length, pad] : {std::pair{0u, 32u}, {1u, 31u}, {31u, 1u}, {32u, 32u}, {33u, 31u}, {64u, 32u}}) {
        ASSERT_TRUE(packet.Create(28, '1', std::string(length, 'p'), false, true));
        EXPECT_EQ(packet.GetPadCount(), pad) << length;
        EXPECT_EQ(packet.GetBuffer().size(), 32 + length + pad);
    }
    // Plain frames carry no padding.
    ASSERT_TRUE(packet.Create(28, '1', std::string(33, 'p'), false, false));
    EXPECT_EQ(packet.GetPadCount(), 0u);
}

TEST_F(ProtocolPacket, RefusesToMarkPlaintextEncrypted)
{
    // A 31-character key cannot encrypt: nothing is built.
    TestCipher shortKey(CChannelCipher::CIPHER_BLOWFISH, kKey32.substr(1));
    packet.SetContext(&shortKey);
    EXPECT_FALSE(packet.Create(28, '1', "secret", false, true));
    EXPECT_TRUE(packet.GetBuffer().empty());
    // No context, no encryption.
    CProtocolPacket bare;
    EXPECT_FALSE(bare.Create(28, '1', "secret", false, true));
    EXPECT_TRUE(bare.Create(28, '1', "plain", false, false));
}

TEST_F(ProtocolPacket, EveryAlteredHeaderByteFailsTheCheck)
{
    ASSERT_TRUE(packet.Create(28, '1', "hello", false, true));
    const std::string frame = packet.GetBuffer();
    for (std::size_t i = 0; i < 32; ++i) {
        std::string bad = frame;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        EXPECT_EQ(ThrownText(packet, bad), "Bad header XOR!") << i;
        EXPECT_EQ(packet.GetFrameLength(), 0u);
    }
}

TEST_F(ProtocolPacket, FailedChecksNameTheFrameLength)
{
    ASSERT_TRUE(packet.Create(28, '1', "hello", false, true));
    std::string badBody = packet.GetBuffer();
    badBody[33] ^= 0x20;
    EXPECT_EQ(ThrownText(packet, badBody), "Bad buffer CRC!");
    EXPECT_EQ(packet.GetFrameLength(), badBody.size());

    const std::string plain = Header("\x1c" "100", 0, 5, 5, 0x12345678) + "hello";
    EXPECT_EQ(ThrownText(packet, plain), "Bad buffer CRC!");

    // An encrypted frame the context cannot decrypt.
    TestCipher noKey(CChannelCipher::CIPHER_BLOWFISH, "");
    CProtocolPacket keyless;
    keyless.SetContext(&noKey);
    ASSERT_TRUE(packet.Create(28, '1', "hello", false, true));
    EXPECT_EQ(ThrownText(keyless, packet.GetBuffer()), "Bad frame decryption!");
    // A padded length that is not whole blocks.
    EXPECT_EQ(ThrownText(packet, Header("\x1c" "101", 2, 5, 5, 0) + "hello  "), "Bad frame decryption!");
    // A compressed flag on a body that is not zlib.
    EXPECT_EQ(ThrownText(packet, Header("\x1c" "110", 0, 5, 5, 0) + "hello"), "Bad frame body!");
    // Digits that are not hexadecimal.
    std::string field = Header("\x1c" "100", 0, 5, 5, 0);
    field[10] = 'x';
    SetCheckByte(field);
    EXPECT_EQ(ThrownText(packet, field + "hello"), "Bad header field!");
}

TEST_F(ProtocolPacket, HugeLengthClaimsFailBeforeTheBodyArrives)
{
    CProtocolPacket bare;
    // The header alone: nothing waits for 4 GiB to arrive.
    EXPECT_EQ(ThrownText(bare, Header("\x1c" "100", 0, 5, 0xFFFFFFFFull, 0)), "Bad frame length!");
    EXPECT_EQ(bare.GetFrameLength(), 32 + 0xFFFFFFFFull);
    EXPECT_EQ(ThrownText(bare, Header("\x1c" "110", 0, 0xFFFFFFFFull, 5, 0) + "hello"), "Bad frame length!");
    bare.SetLimit(1000);
    EXPECT_EQ(ThrownText(bare, Header("\x1c" "100", 0xff, 5, 1000, 0)), "Bad frame length!");
    EXPECT_EQ(bare.Parse(Header("\x1c" "100", 0, 1000, 1000, 0)), CProtocolPacket::NOT_ENOUGH);
}
