// Helpers of the message-layer tests: hexadecimal texts, the Python wire
// peer (peers/wirepeer.py) in its compute mode, a channel cipher whose
// kind and key a test sets directly, thrown texts, frame check bytes and
// polling.
#pragma once

#include "Brindle/comm/ChannelCipher.h"

#include "PythonPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>

namespace commtest {

inline std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

inline std::string Unhex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

inline std::string PeerScript()
{
    return std::string(BRINDLE_SOURCE_DIR) + "/tests/Common/Libs/Brindle/comm/peers/wirepeer.py";
}

// The one compute peer of the test process (started on first use).
inline testsupport::PythonPeer& ComputePeer()
{
    static testsupport::PythonPeer peer(PeerScript(), {"compute"});
    return peer;
}

// Sends a JSON request to the compute peer; fails the test when the peer is
// missing or answers with an error.
inline std::string Ask(const std::string& json)
{
    auto& peer = ComputePeer();
    EXPECT_TRUE(peer.Started()) << "python3 not found";
    const std::string answer = peer.Ask(json);
    EXPECT_FALSE(answer.empty()) << "no answer to " << json;
    EXPECT_EQ(answer.find("\"error\""), std::string::npos) << answer;
    return answer;
}

inline std::string Field(const std::string& json, const std::string& name)
{
    return testsupport::JsonField(json, name);
}

inline std::string RandomBytes(std::mt19937& rng, std::size_t n)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::string out(n, '\0');
    for (char& c : out)
        c = static_cast<char>(byte(rng));
    return out;
}

// A cipher whose kind and key the test chooses.
class TestCipher : public Brindle::CChannelCipher {
public:
    TestCipher(CIPHER cipher, const std::string& key, bool anyKeyLength = false)
    {
        SetCipher(cipher, key, anyKeyLength);
    }
};

inline const std::string kKey32 = "0123456789abcdef0123456789abcdef";

// The text of the E that fn throws, or "no exception"; any other exception
// goes on to fail the test.
template <typename E, typename F>
std::string Thrown(F fn)
{
    try {
        fn();
    } catch (const E& e) {
        return e.what();
    }
    return "no exception";
}

// Sets the check byte of a 32-byte frame header: the XOR of the others.
inline void SetCheckByte(std::string& frame)
{
    char x = 0;
    for (std::size_t i = 0; i < 32; ++i)
        if (i != 4)
            x = static_cast<char>(x ^ frame[i]);
    frame[4] = x;
}

// Polls until pred holds; false after a generous minute.
template <typename Pred>
bool Eventually(Pred pred)
{
    for (int i = 0; i < 6000 && !pred(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return pred();
}

} // namespace commtest
