// Blowfish, MD5 and the Diffie-Hellman arithmetic: published known answers,
// the openssl tool and Python as peers, the refusals, and the checks on a
// peer's key-exchange values.
#include "Brindle/base/Exception.h"
#include "Brindle/comm/BlowFish.h"
#include "Brindle/comm/DiffieHellman.h"
#include "Brindle/comm/MD5Digest.h"

#include "ChildProcess.h"
#include "CommTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

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
    if (decrypt)
        cipher.Decrypt(p, data.size(), mode);
    else
        cipher.Encrypt(p, data.size(), mode);
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
    if (child.Wait() != 0)
        return {};
    return child.Stdout();
}

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
