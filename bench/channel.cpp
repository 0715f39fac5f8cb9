// The framed secure channel and the message security layer, beside their
// raw parts in the same run:
// - frames per second and MB/s through a channel pair (Blowfish, method 1)
//   for 100 B, 1 KiB and 64 KiB bodies, in memory and over TCP loopback;
// - the raw parts on the same bodies (CRC-32, zlib one-shot above the
//   channel's 1024-byte threshold, padding, our Blowfish, and the reverse),
//   in memory and over loopback with a plain length prefix;
// - our Blowfish and OpenSSL's BF-ECB with the same 32-byte key;
// - handshake latency (fresh group, four key pairs, key test);
// - MSEC packed messages per second against the same packing done by hand;
// - the message parser fed 1-byte receives, for 32 KiB and 64 KiB streams
//   (linear time: twice the bytes, twice the time).
#include "Brindle/comm/BlowFish.h"
#include "Brindle/comm/Codec.h"
#include "Brindle/comm/CommLog.h"
#include "Brindle/comm/MsgParser.h"
#include "Brindle/comm/MsgPack.h"
#include "Brindle/comm/MsgSecurityLayer.h"
#include "Brindle/comm/SecurityLayer.h"

#include "LayerPair.h"

#include <benchmark/benchmark.h>

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Brindle;
using commtest::MemoryLink;
using commtest::MemoryTransport;
using commtest::SocketTransport;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef";

// A body like the traffic it carries: price records, compressible text.
// With `plain`, printable separators stand for the message delimiters, so
// the text can be a message value.
std::string Body(std::size_t size, bool plain = false)
{
    const char* gs = plain ? "|" : "\x1d";
    const char* rs = plain ? ";" : "\x1e";
    const char* us = plain ? "=" : "\x1f";
    std::string body;
    unsigned n = 12345;
    while (body.size() < size) {
        n = n * 1103515245u + 12345u;
        body += std::string(gs) + "PRICE" + rs + "Bid" + us + std::to_string(100 + n % 900) + "." +
                std::to_string(n % 100) + rs + "Qty" + us + std::to_string(n % 5000) + rs + "Cust" + us + "C" +
                std::to_string(n % 37);
    }
    body.resize(size);
    return body;
}

// Tops of a stack: count what arrives, take opens and closes quietly.
class CountingTop : public CCommLayer {
public:
    void OnOpen(void*) override {}
    void OnClose(void*) override {}
    void OnData(void*, const std::string& data) override
    {
        bytes += data.size();
        frames.fetch_add(1, std::memory_order_release);
    }
    std::size_t bytes = 0;
    std::atomic<std::size_t> frames{0};
};

// Two channel stacks over memory transports, handshake done.
struct ChannelPair {
    MemoryLink link;
    CSecurityLayer left, right;
    CountingTop leftTop, rightTop;
    ChannelPair()
    {
        link.a.SetChain(&left);
        left.SetChain(&leftTop);
        link.b.SetChain(&right);
        right.SetChain(&rightTop);
        link.Open();
        left.GetSecurityContext(link.a.GetSource())->InitiateHandShake();
        link.Pump();
    }
    bool Secure() { return left.GetSecurityContext(link.a.GetSource())->GetState() == CSecurityContext::SECURE_TX; }
};

void BM_ChannelMemory(benchmark::State& state)
{
    ChannelPair pair;
    if (!pair.Secure()) {
        state.SkipWithError("handshake failed");
        return;
    }
    pair.link.Direct();
    const std::string body = Body(static_cast<std::size_t>(state.range(0)));
    void* source = pair.link.a.GetSource();
    for (auto _ : state)
        if (!pair.left.SendData(source, body))
            state.SkipWithError("send refused");
    if (pair.rightTop.frames != static_cast<std::size_t>(state.iterations()))
        state.SkipWithError("frames lost");
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// What a frame costs without the channel: the same transforms, both ends.
struct RawParts {
    CBlowFish cipher{kKey};
    std::string Encode(const std::string& body)
    {
        const unsigned long crc = CalcCRC32(body.data(), static_cast<unsigned>(body.size()));
        std::string out(sizeof crc, '\0');
        std::memcpy(out.data(), &crc, sizeof crc);
        if (body.size() > 1024)
            CompressTo(body.data(), static_cast<unsigned>(body.size()), out);
        else
            out += body;
        out.append(32 - (out.size() - sizeof crc) % 32, ' ');
        cipher.Encrypt(reinterpret_cast<unsigned char*>(out.data() + sizeof crc), out.size() - sizeof crc);
        return out;
    }
    bool Decode(std::string wire, std::size_t size)
    {
        unsigned long crc;
        std::memcpy(&crc, wire.data(), sizeof crc);
        cipher.Decrypt(reinterpret_cast<unsigned char*>(wire.data() + sizeof crc), wire.size() - sizeof crc);
        std::string data;
        if (size > 1024) {
            std::size_t end = wire.find_last_not_of(' ');
            data = Decompress(wire.data() + sizeof crc, static_cast<unsigned>(end + 1 - sizeof crc), static_cast<unsigned>(size));
        } else {
            data = wire.substr(sizeof crc, size);
        }
        return CalcCRC32(data.data(), static_cast<unsigned>(data.size())) == crc;
    }
};

void BM_RawPartsMemory(benchmark::State& state)
{
    RawParts raw;
    const std::string body = Body(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        if (!raw.Decode(raw.Encode(body), body.size()))
            state.SkipWithError("raw round trip failed");
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_OurBlowfishEcb(benchmark::State& state)
{
    CBlowFish cipher(kKey);
    std::string data = Body(static_cast<std::size_t>(state.range(0)) / 32 * 32 + 32);
    for (auto _ : state) {
        cipher.Encrypt(reinterpret_cast<unsigned char*>(data.data()), data.size());
        cipher.Decrypt(reinterpret_cast<unsigned char*>(data.data()), data.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_OpenSslBfEcb(benchmark::State& state)
{
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* standard = OSSL_PROVIDER_load(nullptr, "default");
    (void)legacy;
    (void)standard;
    EVP_CIPHER* bf = EVP_CIPHER_fetch(nullptr, "BF-ECB", nullptr);
    if (bf == nullptr) {
        state.SkipWithError("BF-ECB not offered by this OpenSSL");
        for (auto _ : state) {
        }
        return;
    }
    std::string data = Body(static_cast<std::size_t>(state.range(0)) / 32 * 32 + 32);
    std::vector<unsigned char> out(data.size() + 16);
    EVP_CIPHER_CTX* enc = EVP_CIPHER_CTX_new();
    EVP_CIPHER_CTX* dec = EVP_CIPHER_CTX_new();
    const auto* key = reinterpret_cast<const unsigned char*>(kKey.data());
    EVP_EncryptInit_ex2(enc, bf, nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_set_key_length(enc, 32);
    EVP_EncryptInit_ex2(enc, nullptr, key, nullptr, nullptr);
    EVP_CIPHER_CTX_set_padding(enc, 0);
    EVP_DecryptInit_ex2(dec, bf, nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_set_key_length(dec, 32);
    EVP_DecryptInit_ex2(dec, nullptr, key, nullptr, nullptr);
    EVP_CIPHER_CTX_set_padding(dec, 0);
    for (auto _ : state) {
        int n = 0;
        EVP_EncryptUpdate(enc, out.data(), &n, reinterpret_cast<unsigned char*>(data.data()), static_cast<int>(data.size()));
        EVP_DecryptUpdate(dec, reinterpret_cast<unsigned char*>(data.data()), &n, out.data(), static_cast<int>(data.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    EVP_CIPHER_CTX_free(enc);
    EVP_CIPHER_CTX_free(dec);
    EVP_CIPHER_free(bf);
}

// Writes all of `bytes` to a socket.
bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

constexpr int kBatch = 64;

void WaitFor(const std::atomic<std::size_t>& counter, std::size_t value)
{
    while (counter.load(std::memory_order_acquire) < value)
        std::this_thread::yield();
}

void BM_ChannelLoopback(benchmark::State& state)
{
    int first = -1;
    int second = -1;
    if (!SocketTransport::Pair(first, second)) {
        state.SkipWithError("no loopback connection");
        return;
    }
    SocketTransport leftEnd(first), rightEnd(second);
    CSecurityLayer left, right;
    CountingTop leftTop, rightTop;
    leftEnd.SetChain(&left);
    left.SetChain(&leftTop);
    rightEnd.SetChain(&right);
    right.SetChain(&rightTop);
    leftEnd.Start();
    rightEnd.Start();
    void* source = leftEnd.GetSource();
    left.GetSecurityContext(source)->InitiateHandShake();
    for (int i = 0; i < 10000 && left.GetSecurityContext(source)->GetState() != CSecurityContext::SECURE_TX; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (left.GetSecurityContext(source)->GetState() != CSecurityContext::SECURE_TX) {
        state.SkipWithError("handshake failed");
        return;
    }
    const std::string body = Body(static_cast<std::size_t>(state.range(0)));
    std::size_t sent = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            left.SendData(source, body);
        sent += kBatch;
        WaitFor(rightTop.frames, sent);
    }
    leftEnd.Stop();
    rightEnd.Stop();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBatch);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBatch * state.range(0));
}

// The raw parts over the same loopback: a 4-byte length, then the bytes.
void BM_RawPartsLoopback(benchmark::State& state)
{
    int sender = -1;
    int receiver = -1;
    if (!SocketTransport::Pair(sender, receiver)) {
        state.SkipWithError("no loopback connection");
        return;
    }
    const int one = 1;
    ::setsockopt(sender, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::string body = Body(static_cast<std::size_t>(state.range(0)));
    std::atomic<std::size_t> received{0};
    std::thread reader([&] {
        RawParts raw;
        std::string pending;
        std::string buffer(65536, '\0');
        for (;;) {
            const ssize_t n = ::read(receiver, buffer.data(), buffer.size());
            if (n <= 0)
                return;
            pending.append(buffer.data(), static_cast<std::size_t>(n));
            std::size_t at = 0;
            while (pending.size() - at >= 4) {
                std::uint32_t length;
                std::memcpy(&length, pending.data() + at, 4);
                if (pending.size() - at - 4 < length)
                    break;
                raw.Decode(pending.substr(at + 4, length), body.size());
                at += 4 + length;
                received.fetch_add(1, std::memory_order_release);
            }
            pending.erase(0, at);
        }
    });
    RawParts raw;
    std::size_t sent = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            const std::string wire = raw.Encode(body);
            const auto length = static_cast<std::uint32_t>(wire.size());
            WriteAll(sender, std::string(reinterpret_cast<const char*>(&length), 4) + wire);
        }
        sent += kBatch;
        WaitFor(received, sent);
    }
    ::shutdown(sender, SHUT_WR);
    reader.join();
    ::close(sender);
    ::close(receiver);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBatch);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBatch * state.range(0));
}

void BM_Handshake(benchmark::State& state)
{
    for (auto _ : state) {
        ChannelPair pair;
        if (!pair.Secure())
            state.SkipWithError("handshake failed");
    }
}

class CountingMsgTop : public CMsgLayer {
public:
    void OnOpen(void*) override {}
    void OnClose(void*) override {}
    void OnMsg(void*, const CMsg&) override { ++count; }
    std::size_t count = 0;
};

// MSEC: packed messages from one message stack to the other in state 7.

CMsg PriceMsg(std::size_t size)
{
    CMsg msg{CVar("PRICE")};
    msg.get_header().set("Page") = "12";
    msg.add(CRec(CVar("Line"))).set("Body") = Body(size, true);
    return msg;
}

void BM_MsecPacked(benchmark::State& state)
{
    MemoryLink link;
    CMsgParser leftParser, rightParser;
    CMsgSecurityLayer left, right;
    CountingMsgTop leftTop, rightTop;
    link.a.SetChain(&leftParser);
    leftParser.SetChain(&left);
    left.SetChain(&leftTop);
    link.b.SetChain(&rightParser);
    rightParser.SetChain(&right);
    right.SetChain(&rightTop);
    link.Open();
    left.GetSecurityContext(link.a.GetSource())->InitiateHandShake();
    link.Pump();
    if (left.GetSecurityContext(link.a.GetSource())->GetState() != 7) {
        state.SkipWithError("handshake failed");
        return;
    }
    link.Direct();
    const CMsg msg = PriceMsg(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        left.SendMsg(link.a.GetSource(), msg);
    if (rightTop.count != static_cast<std::size_t>(state.iterations()))
        state.SkipWithError("messages lost");
    state.SetItemsProcessed(state.iterations());
}

// The same packing by hand: text form, zlib above the threshold, padding,
// Blowfish, base64, and back.
void BM_MsecRawParts(benchmark::State& state)
{
    CBlowFish cipher(kKey);
    const CMsg msg = PriceMsg(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const std::string text = msg.build_string();
        std::string body;
        if (text.size() > 1024)
            CompressTo(text.data(), static_cast<unsigned>(text.size()), body);
        else
            body = text;
        const std::size_t packed = body.size();
        body.append(32 - body.size() % 32, ' ');
        cipher.Encrypt(reinterpret_cast<unsigned char*>(body.data()), body.size());
        // The record and the message that carry it, as the wire needs them.
        CMsg bundle{CVar("MSEC_PACK")};
        CRec& record = bundle.add(CRec(CVar("MPACK")));
        const std::string base64 = MimeEncode(body.data(), static_cast<unsigned>(body.size()));
        record.set("0") = CVar(static_cast<int>(text.size()));
        record.set("1") = CVar(text.size() > 1024 ? 1 : 0);
        record.set("2") = CVar(static_cast<int>(packed));
        record.set("3") = CVar(static_cast<int>(body.size() - packed));
        record.set("4") = CVar(1);
        record.set("5") = CVar(static_cast<int>(base64.size()));
        record.set("6") = base64;
        CMsg received;
        if (!received.parse(bundle.build_string()))
            state.SkipWithError("raw bundle failed");
        const std::string& wire = received.begin()->get("6").get_value();
        std::string back = MimeDecode(wire.data(), static_cast<unsigned>(wire.size()));
        cipher.Decrypt(reinterpret_cast<unsigned char*>(back.data()), back.size());
        back.resize(packed);
        if (text.size() > 1024)
            back = Decompress(back.data(), static_cast<unsigned>(back.size()), static_cast<unsigned>(text.size()));
        CMsg parsed;
        if (!parsed.parse(back))
            state.SkipWithError("raw packing failed");
    }
    state.SetItemsProcessed(state.iterations());
}

// The parser fed one byte per receive: cost per byte must not grow with
// the length of the stream.
void BM_ParserOneByteReceives(benchmark::State& state)
{
    const std::size_t streamSize = static_cast<std::size_t>(state.range(0));
    CMsg one = PriceMsg(streamSize / 2);
    const std::string text = one.build_string() + one.build_string();
    for (auto _ : state) {
        MemoryTransport transport;
        CMsgParser parser;
        CountingMsgTop top;
        transport.SetChain(&parser);
        parser.SetChain(&top);
        for (std::size_t i = 0; i < text.size(); ++i)
            transport.Receive(std::string(1, text[i]));
        if (top.count != 2)
            state.SkipWithError("messages lost");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

} // namespace

BENCHMARK(BM_ChannelMemory)->Arg(100)->Arg(1024)->Arg(65536);
BENCHMARK(BM_RawPartsMemory)->Arg(100)->Arg(1024)->Arg(65536);
BENCHMARK(BM_ChannelLoopback)->Arg(100)->Arg(1024)->Arg(65536)->UseRealTime();
BENCHMARK(BM_RawPartsLoopback)->Arg(100)->Arg(1024)->Arg(65536)->UseRealTime();
BENCHMARK(BM_OurBlowfishEcb)->Arg(100)->Arg(1024)->Arg(65536);
BENCHMARK(BM_OpenSslBfEcb)->Arg(100)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Handshake)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MsecPacked)->Arg(100)->Arg(1024)->Arg(65536);
BENCHMARK(BM_MsecRawParts)->Arg(100)->Arg(1024)->Arg(65536);
BENCHMARK(BM_ParserOneByteReceives)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    // Unpacking writes a size line to the log text stream per message; the
    // log has benchmarks of its own, so here the lines go nowhere.
    CommLog::SetRecordSink([](int, const char*, const std::string&) {});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
