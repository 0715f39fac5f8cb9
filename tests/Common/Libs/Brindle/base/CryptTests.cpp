// The setting encoder and its ciphers: published known answers, a cross-check
// against the openssl command, the refusals, and calls on several threads.
#include "Brindle/base/Crypt.h"
#include "Brindle/base/DesCipher.h"
#include "Brindle/base/IdeaCipher.h"

#include "TempDir.h"
#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace Brindle;

namespace {

std::vector<unsigned char> FromHex(const std::string& hex)
{
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string ToHex(const std::vector<unsigned char>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (unsigned char b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 0xF];
    }
    return s;
}

// The published IDEA vectors write each 16-bit word most significant byte
// first; the encoder takes words low byte first.
std::vector<unsigned char> SwapWords(std::vector<unsigned char> v)
{
    for (std::size_t i = 0; i + 1 < v.size(); i += 2)
        std::swap(v[i], v[i + 1]);
    return v;
}

std::string KeyText(const std::vector<unsigned char>& key)
{
    return std::string(key.begin(), key.end());
}

std::vector<unsigned char> RandomBytes(std::mt19937& rng, std::size_t n, bool noZeros = false)
{
    std::uniform_int_distribution<int> byte(noZeros ? 1 : 0, 255);
    std::vector<unsigned char> v(n);
    for (auto& b : v)
        b = static_cast<unsigned char>(byte(rng));
    return v;
}

struct KnownAnswer {
    const char* key;
    const char* plain;
    const char* cipher;
};

// FIPS 81's example, the NBS known-answer sets (variable plaintext,
// variable key, permutation and S-box sets), and a classic worked example.
const KnownAnswer kDesVectors[] = {
    {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
    {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
    {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
    {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
    {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    {"0101010101010102", "0000000000000000", "869EFD7F9F265A09"},
    {"1046913489980131", "0000000000000000", "88D55E54F54C97B4"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
};

} // namespace

TEST(DesCipher, PublishedKnownAnswersBothWays)
{
    for (const auto& v : kDesVectors) {
        const auto key = FromHex(v.key);
        auto block = FromHex(v.plain);
        const CDesCipher cipher(key.data());
        cipher.EncryptBlock(block.data());
        EXPECT_EQ(ToHex(block), v.cipher) << "key " << v.key;
        cipher.DecryptBlock(block.data());
        EXPECT_EQ(ToHex(block), v.plain) << "key " << v.key;

        // The encoder gives the same answer (none of these keys holds a 0).
        auto data = FromHex(v.plain);
        ASSERT_TRUE(CryptEncode(reinterpret_cast<char*>(data.data()), 8, KeyText(key).c_str(), CRYPT_DES));
        EXPECT_EQ(ToHex(data), v.cipher);
    }
}

TEST(IdeaCipher, PublishedKnownAnswersWithLittleEndianWords)
{
    // Written big-endian per word, as published.
    const KnownAnswer vectors[] = {
        {"00010002000300040005000600070008", "0000000100020003", "11FBED2B01986DE5"},
        {"00000000000000000000000000000000", "0000000000000000", "0001000100000000"},
        {"80000000000000000000000000000000", "0000000000000000", "B1F5F7F87901370F"},
    };
    for (const auto& v : vectors) {
        const auto key = SwapWords(FromHex(v.key));
        auto block = SwapWords(FromHex(v.plain));
        const CIdeaCipher cipher(key.data());
        cipher.EncryptBlock(block.data());
        EXPECT_EQ(ToHex(SwapWords(block)), v.cipher) << "key " << v.key;
        cipher.DecryptBlock(block.data());
        EXPECT_EQ(ToHex(SwapWords(block)), v.plain) << "key " << v.key;
    }

    // The vectors' keys hold zero bytes, which end a key text; the encoder's
    // wiring is checked with a key that has none.
    std::mt19937 rng(7);
    const auto key = RandomBytes(rng, 16, true);
    auto data = RandomBytes(rng, 64);
    auto expected = data;
    CIdeaCipher(key.data()).Encrypt(expected.data(), 8);
    ASSERT_TRUE(CryptEncode(reinterpret_cast<char*>(data.data()), 64, KeyText(key).c_str(), CRYPT_IDEA));
    EXPECT_EQ(data, expected);
}

TEST(IdeaCipher, DecryptUndoesEncryptForRandomKeys)
{
    std::mt19937 rng(11);
    for (int i = 0; i < 200; ++i) {
        const auto key = RandomBytes(rng, 16);
        const auto plain = RandomBytes(rng, 8);
        auto block = plain;
        const CIdeaCipher cipher(key.data());
        cipher.EncryptBlock(block.data());
        EXPECT_NE(block, plain);
        cipher.DecryptBlock(block.data());
        ASSERT_EQ(block, plain) << "key " << ToHex(key);
    }
}

namespace {

// Runs `openssl enc` on `input` and returns its output; fails the test when
// the command does not succeed.
std::vector<unsigned char> OpenSslDesEcb(const std::vector<unsigned char>& input, const std::vector<unsigned char>& key,
                                         bool decrypt)
{
    testsupport::TempDir dir;
    const std::string in = (dir.path() / "in").string();
    const std::string out = (dir.path() / "out").string();
    {
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    }
    const std::string command = std::string("openssl enc -des-ecb -nopad ") + (decrypt ? "-d " : "") + "-K "
                              + ToHex(key) + " -in " + in + " -out " + out
                              + " -provider legacy -provider default 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    std::ifstream f(out, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

} // namespace

TEST(CryptDes, MatchesOpenSslDesEcbBothWays)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 3; ++round) {
        const auto key = RandomBytes(rng, 8, true);
        const auto plain = RandomBytes(rng, 4096);
        auto data = plain;
        ASSERT_TRUE(CryptEncode(reinterpret_cast<char*>(data.data()), 4096, KeyText(key).c_str(), CRYPT_DES));
        EXPECT_EQ(data, OpenSslDesEcb(plain, key, false)) << "key " << ToHex(key);
        EXPECT_EQ(OpenSslDesEcb(data, key, true), plain);
        ASSERT_TRUE(CryptDecode(reinterpret_cast<char*>(data.data()), 4096, KeyText(key).c_str(), CRYPT_DES));
        EXPECT_EQ(data, plain);
    }
}

TEST(CryptDes, ShortKeyIsCompletedWithZerosAndNothingPastItsEndIsRead)
{
    // Exactly three bytes: a read past the NUL is caught by the sanitizers.
    auto key = std::make_unique<char[]>(3);
    std::memcpy(key.get(), "ab", 3);
    std::mt19937 rng(5);
    const auto plain = RandomBytes(rng, 64);
    auto data = plain;
    ASSERT_TRUE(CryptEncode(reinterpret_cast<char*>(data.data()), 64, key.get(), CRYPT_DES));
    EXPECT_EQ(data, OpenSslDesEcb(plain, FromHex("6162000000000000"), false));

    // Bytes after the NUL do not count.
    const char padded[8] = {'a', 'b', 0, 'x', 'y', 'z', 'w', 'v'};
    auto other = plain;
    ASSERT_TRUE(CryptEncode(reinterpret_cast<char*>(other.data()), 64, padded, CRYPT_DES));
    EXPECT_EQ(other, data);
}

TEST(CryptEncoder, XorTwiceRestoresAndUsesTheKeyBytePerPosition)
{
    const char key[] = "0123456789abcdef";
    char data[32];
    for (int i = 0; i < 32; ++i)
        data[i] = static_cast<char>(i * 7);
    char original[32];
    std::memcpy(original, data, 32);
    ASSERT_TRUE(CryptEncode(data, 32, key, CRYPT_XOR));
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(data[i], static_cast<char>(original[i] ^ key[i % 16]));
    ASSERT_TRUE(CryptEncode(data, 32, key, CRYPT_XOR));
    EXPECT_EQ(std::memcmp(data, original, 32), 0);
}

TEST(CryptEncoder, RefusalsLeaveTheDataUnchanged)
{
    std::vector<char> data(70000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i);
    const auto original = data;
    const char* key = "0123456789abcdef";

    // Not whole blocks.
    EXPECT_FALSE(CryptEncode(data.data(), 12, key, CRYPT_DES));
    EXPECT_FALSE(CryptDecode(data.data(), 12, key, CRYPT_IDEA));
    EXPECT_FALSE(CryptEncode(data.data(), 24, key, CRYPT_XOR));
    // Lengths the encoder cannot take, including 65536 (not "nothing").
    EXPECT_FALSE(CryptEncode(data.data(), 65536, key, CRYPT_DES));
    EXPECT_FALSE(CryptEncode(data.data(), 65544, key, CRYPT_DES));
    EXPECT_FALSE(CryptDecode(data.data(), 65536, key, CRYPT_XOR));
    // Algorithms without a transform, whatever the length.
    for (int algorithm : {1, 4, -1, 1000}) {
        EXPECT_FALSE(CryptEncode(data.data(), 64, key, algorithm)) << algorithm;
        EXPECT_FALSE(CryptDecode(data.data(), 64, key, algorithm)) << algorithm;
        EXPECT_FALSE(CryptEncode(data.data(), 0, key, algorithm)) << algorithm;
    }
    EXPECT_EQ(data, original);

    // Nothing to do: a null key or an empty block.
    EXPECT_TRUE(CryptEncode(data.data(), 64, nullptr, CRYPT_DES));
    EXPECT_TRUE(CryptEncode(data.data(), 12, nullptr, CRYPT_DES));
    EXPECT_TRUE(CryptDecode(data.data(), 0, key, CRYPT_IDEA));
    EXPECT_EQ(data, original);

    // The largest block is transformed whole.
    ASSERT_TRUE(CryptEncode(data.data(), 65528, key, CRYPT_DES));
    EXPECT_NE(std::memcmp(data.data() + 65520, original.data() + 65520, 8), 0);
    EXPECT_EQ(std::memcmp(data.data() + 65528, original.data() + 65528, data.size() - 65528), 0);
}

TEST(CryptEncoder, CallsOnSeveralThreadsGiveTheSingleThreadedAnswers)
{
    std::mt19937 rng(99);
    struct Job {
        std::vector<unsigned char> key;
        std::vector<unsigned char> plain;
        std::vector<unsigned char> expected;
        int algorithm;
    };
    std::vector<Job> jobs;
    for (int i = 0; i < 8; ++i) {
        Job job{RandomBytes(rng, 16, true), RandomBytes(rng, 1024), {}, i % 2 == 0 ? CRYPT_IDEA : CRYPT_DES};
        job.key.push_back(0);
        job.expected = job.plain;
        CryptEncode(reinterpret_cast<char*>(job.expected.data()), 1024, reinterpret_cast<const char*>(job.key.data()),
                    job.algorithm);
        jobs.push_back(job);
    }
    std::vector<int> failures(jobs.size(), 0);
    threadtest::OnThreads(static_cast<int>(jobs.size()), [&](int t) {
        const Job& job = jobs[t];
        const char* key = reinterpret_cast<const char*>(job.key.data());
        for (int n = 0; n < 300; ++n) {
            auto data = job.plain;
            auto* p = reinterpret_cast<char*>(data.data());
            if (!CryptEncode(p, 1024, key, job.algorithm) || data != job.expected)
                ++failures[t];
            if (!CryptDecode(p, 1024, key, job.algorithm) || data != job.plain)
                ++failures[t];
        }
    });
    for (std::size_t t = 0; t < jobs.size(); ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
}
