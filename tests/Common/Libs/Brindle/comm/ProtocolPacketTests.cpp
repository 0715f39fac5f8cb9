// Frames of the framed secure channel against the Python peer's frames:
// exact bytes for "hello", frames built there and read here, incomplete
// frames at every length, padding, and each check a frame can fail.
#include "Brindle/base/Exception.h"
#include "Brindle/comm/ProtocolPacket.h"

#include "CommTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

using namespace Brindle;
using namespace commtest;

namespace {

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
        {'2', CChannelCipher::CIPHER_SETTING_ENCODER, big, false, true},
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
        // And the peer reads ours.
        ASSERT_TRUE(packet.Create(28, c.method, c.data, c.compress, c.encrypt));
        EXPECT_EQ(PeerReads(packet.GetBuffer()), Hex(c.data));
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

TEST_F(ProtocolPacket, SettingEncoderTakesBodiesAbove64KiB)
{
    TestCipher cipher(CChannelCipher::CIPHER_SETTING_ENCODER, kKey32);
    packet.SetContext(&cipher);
    std::mt19937 rng(4);
    const std::string data = RandomBytes(rng, 200000);
    ASSERT_TRUE(packet.Create(28, '2', data, false, true));
    ASSERT_TRUE(packet.IsEncrypted());
    const std::string frame = packet.GetBuffer();
    EXPECT_EQ(PeerReads(frame), Hex(data));
    ASSERT_EQ(packet.Parse(frame), frame.size());
    EXPECT_EQ(packet.GetBuffer(), data);
}
