// Helpers of the message-layer tests: hexadecimal texts, JSON values, the
// Python wire peer (peers/wirepeer.py) in its compute mode, a channel cipher
// whose kind and key a test sets directly, thrown texts, frame check bytes,
// handshake steps, secured stacks on a socket and polling.
#pragma once

#include "Brindle/comm/ChannelCipher.h"

#include "Eventually.h"
#include "LayerPair.h"
#include "PythonPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

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

// A JSON value as written: a text quoted (what is not plain ASCII escaped),
// true, false, a number, or JSON text as it is.
struct Json {
    Json(const std::string& s) : text("\"")
    {
        for (const unsigned char c : s) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            text += c < 0x20 || c >= 0x7F || c == '"' || c == '\\' ? escaped : std::string(1, static_cast<char>(c));
        }
        text += '"';
    }
    Json(const char* s) : Json(std::string(s)) {}
    Json(bool b) : text(b ? "true" : "false") {}
    Json(int n) : text(std::to_string(n)) {}
    Json(long n) : text(std::to_string(n)) {}
    static Json Raw(const std::string& json)
    {
        Json value(false);
        value.text = json;
        return value;
    }
    std::string text;
};
using JsonFields = std::vector<std::pair<const char*, Json>>;

// A flat JSON object of these fields.
inline std::string Object(const JsonFields& fields)
{
    std::string out = "{";
    for (const auto& [name, value] : fields)
        out += (out.size() > 1 ? ", \"" : "\"") + std::string(name) + "\": " + value.text;
    return out + "}";
}

// One field of the compute peer's answer to `op` with these arguments; a
// missing peer or an answer with an error fails the test.
inline std::string AskOp(const char* op, const JsonFields& args, const char* field)
{
    JsonFields request{{"op", op}};
    request.insert(request.end(), args.begin(), args.end());
    auto& peer = ComputePeer();
    EXPECT_TRUE(peer.Started()) << "python3 not found";
    const std::string json = Object(request), answer = peer.Ask(json);
    EXPECT_FALSE(answer.empty()) << "no answer to " << json;
    EXPECT_EQ(answer.find("\"error\""), std::string::npos) << answer;
    return testsupport::JsonField(answer, field);
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

// Counts the handshake notices of a security layer (Sink) about its
// contexts (Context).
template <typename Sink, typename Context>
class HandshakeNotices : public Sink {
public:
    void OnHandShakeSuccess(Context*) override { ++success; }
    void OnHandShakeFailed(Context*) override { ++failed; }
    int success = 0;
    int failed = 0;
};

// Moves one send queued on `from` across to `to`, as one handshake step.
inline bool Relay(MemoryTransport& from, MemoryTransport& to)
{
    std::string bytes;
    if (!from.TakeOne(bytes))
        return false;
    to.Receive(bytes);
    return true;
}

// Chains the layers of a stack, bottom first.
template <typename Bottom, typename Next, typename... Above>
void Stack(Bottom& bottom, Next& next, Above&... above)
{
    bottom.SetChain(&next);
    if constexpr (sizeof...(above) > 0)
        Stack(next, above...);
}

// State that threads change under one lock and a test waits on.
class Waitable {
public:
    // Makes a change under the lock and wakes the waiters.
    template <typename Change>
    void Note(Change change)
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            change();
        }
        m_changed.notify_all();
    }
    // Waits until pred, run under the lock, holds; false after a generous
    // minute (no timing assertion: every wait normally ends in milliseconds).
    template <typename Pred>
    bool Until(Pred pred)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::seconds(60), pred);
    }
    // What read returns, read under the lock.
    template <typename Read>
    auto Locked(Read read)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return read();
    }
    std::mutex& Lock() { return m_lock; }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
};

// A stack on one socket: the transport, the layers in Middle, the security
// layer and its top, which is also the layer's sink and is made from the
// layer and `args`. Settings go in before Start.
template <typename Layer, typename Top, typename... Middle>
struct SocketStack {
    template <typename... Args>
    explicit SocketStack(int fd, Args... args) : transport(fd), top(layer, args...)
    {
        layer.SetNotify(&top);
        std::apply([&](auto&... middle) { Stack(transport, middle..., layer, top); }, middles);
    }
    // The reader thread stops before the layers it calls go.
    ~SocketStack() { transport.Stop(); }
    void* Source() { return transport.GetSource(); }
    auto Context() { return layer.GetSecurityContext(Source()); }
    SocketTransport transport;
    std::tuple<Middle...> middles;
    Layer layer;
    Top top;
};

using testsupport::Eventually;

} // namespace commtest
