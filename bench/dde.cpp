// DDE advise loops against the floor: the same advise frames written
// straight to plain Unix-domain sockets.
//
// Throughput (advises delivered per second): a server posts batches of
// updates to one advise loop per client, 1, 10 or 100 clients, and waits
// for every client to have every update before the next batch; the peer
// writes the identical frames to one socket per client and waits the same
// way.
// Latency: 10,000 updates a second for half a second, each stamped with the
// time it was posted; every client notes when it arrives. Median and 99th
// percentile in microseconds, for the DDE layer and for the plain sockets.
//
// DDE clients are separate instances owned by one receiving thread (as a
// spreadsheet process would hold them); the server's instance is owned by
// the benchmark's thread.
#include "Platform/dde/DdeWire.h"
#include "Platform/dde/Ddeml.h"

#include "TempDir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBatch = 200;
constexpr int kLatencyRate = 10000;   // updates a second
constexpr int kLatencyUpdates = 5000; // half a second
constexpr const char* kTopic = "P1L1";
constexpr const char* kItem = "BIDRATE";

long long NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The payload of one update: a rate and the time it was posted.
std::string Payload(long long postedNs)
{
    return "99.25|" + std::to_string(postedNs);
}

long long PostedNs(const char* data, std::size_t size)
{
    const char* bar = static_cast<const char*>(std::memchr(data, '|', size));
    return bar == nullptr ? 0 : std::strtoll(bar + 1, nullptr, 10);
}

// What every receiver notes.
struct Tally {
    std::atomic<long> received{0};
    std::atomic<bool> keepLatencies{false};
    std::mutex lock;
    std::vector<long long> latencies;

    void Note(long long postedNs)
    {
        received.fetch_add(1, std::memory_order_relaxed);
        if (keepLatencies) {
            const long long now = NowNs();
            std::lock_guard guard(lock);
            latencies.push_back(now - postedNs);
        }
    }
};

void Report(benchmark::State& state, std::vector<long long> latencies)
{
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    state.counters["p50_us"] = static_cast<double>(latencies[latencies.size() / 2]) / 1000.0;
    state.counters["p99_us"] = static_cast<double>(latencies[latencies.size() * 99 / 100]) / 1000.0;
}

// Sleeps until a point in time (never spins: the poster must not take a
// core from the threads it measures).
void Until(Clock::time_point when)
{
    const auto now = Clock::now();
    if (now < when)
        std::this_thread::sleep_for(when - now);
}

// ------------------------------------------------------------------ DDE

// The bench's own runtime directory, so no other DDE program is reached.
struct RuntimeDir {
    testsupport::TempDir dir;
    RuntimeDir() { ::setenv("XDG_RUNTIME_DIR", dir.str().c_str(), 1); }
};

std::string g_payload;     // what the server's advise requests answer
DWORD g_server = 0;
Tally* g_tally = nullptr;

HDDEDATA ServerCallback(UINT type, UINT format, HCONV, HSZ, HSZ item, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    switch (type) {
    case XTYP_CONNECT:
        return reinterpret_cast<HDDEDATA>(TRUE);
    case XTYP_ADVSTART:
        return reinterpret_cast<HDDEDATA>(format == CF_TEXT ? TRUE : FALSE);
    case XTYP_ADVREQ:
    case XTYP_REQUEST:
        return DdeCreateDataHandle(g_server, reinterpret_cast<LPBYTE>(g_payload.data()),
                                   static_cast<DWORD>(g_payload.size() + 1), 0, item, CF_TEXT, 0);
    default:
        return nullptr;
    }
}

HDDEDATA ClientCallback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR)
{
    if (type == XTYP_ADVDATA && data != nullptr) {
        DWORD size = 0;
        const LPBYTE bytes = DdeAccessData(data, &size);
        g_tally->Note(PostedNs(reinterpret_cast<const char*>(bytes), size));
        return reinterpret_cast<HDDEDATA>(static_cast<std::uintptr_t>(DDE_FACK));
    }
    return nullptr;
}

// A server on this thread and `clients` advise loops on a receiving thread.
class DdeRig {
public:
    explicit DdeRig(int clients) : m_clients(clients)
    {
        g_tally = &m_tally;
        DdeInitialize(&g_server, ServerCallback, CBF_FAIL_SELFCONNECTIONS, 0);
        // No client is dropped: a backlog shows as latency instead.
        DdeSetQueueLimit(g_server, 256u * 1024u * 1024u);
        m_service = DdeCreateStringHandle(g_server, "BENCH", CP_WINANSI);
        m_topic = DdeCreateStringHandle(g_server, kTopic, CP_WINANSI);
        m_item = DdeCreateStringHandle(g_server, kItem, CP_WINANSI);
        DdeNameService(g_server, m_service, nullptr, DNS_REGISTER);
        g_payload = Payload(NowNs());
        m_receiver = std::thread([this] { Receive(); });
        // The server answers the connects and advise starts meanwhile.
        while (m_ready.load() < m_clients && !m_failed)
            DdeProcessPending(g_server, 10);
    }
    ~DdeRig()
    {
        m_stop = true;
        m_receiver.join();
        DdeUninitialize(g_server);
        g_server = 0;
        g_tally = nullptr;
    }

    bool Ok() const { return !m_failed; }
    Tally& Counts() { return m_tally; }

    void Post(long long postedNs)
    {
        g_payload = Payload(postedNs);
        DdePostAdvise(g_server, m_topic, m_item);
    }
    void WaitFor(long total)
    {
        while (m_tally.received.load(std::memory_order_relaxed) < total)
            std::this_thread::yield();
    }

private:
    void Receive()
    {
        std::vector<DWORD> instances;
        for (int i = 0; i < m_clients; ++i) {
            DWORD inst = 0;
            if (DdeInitialize(&inst, ClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
                m_failed = true;
                break;
            }
            instances.push_back(inst);
            HCONV conv = DdeConnect(inst, DdeCreateStringHandle(inst, "BENCH", CP_WINANSI),
                                    DdeCreateStringHandle(inst, kTopic, CP_WINANSI), nullptr);
            if (conv == nullptr || DdeClientTransaction(nullptr, 0, conv, DdeCreateStringHandle(inst, kItem, CP_WINANSI),
                                                        CF_TEXT, XTYP_ADVSTART, 30000, nullptr) == nullptr) {
                m_failed = true;
                break;
            }
            ++m_ready;
        }
        std::vector<pollfd> fds;
        for (DWORD inst : instances)
            fds.push_back(pollfd{DdeGetEventFd(inst), POLLIN, 0});
        while (!m_stop) {
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (fds[i].revents != 0)
                    DdeProcessPending(instances[i], 0);
            }
        }
        for (DWORD inst : instances)
            DdeUninitialize(inst);
    }

    RuntimeDir m_dir;
    const int m_clients;
    Tally m_tally;
    HSZ m_service = nullptr;
    HSZ m_topic = nullptr;
    HSZ m_item = nullptr;
    std::atomic<int> m_ready{0};
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_stop{false};
    std::thread m_receiver;
};

// ---------------------------------------------------- plain socket floor

class SocketRig {
public:
    explicit SocketRig(int clients)
    {
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        for (int i = 0; i < clients; ++i) {
            int pair[2];
            ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair);
            m_writers.push_back(pair[0]);
            m_readers.push_back(pair[1]);
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u32 = static_cast<std::uint32_t>(i);
            ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, pair[1], &event);
        }
        m_buffers.resize(static_cast<std::size_t>(clients));
        m_receiver = std::thread([this] { Receive(); });
    }
    ~SocketRig()
    {
        m_stop = true;
        m_receiver.join();
        for (int fd : m_writers)
            ::close(fd);
        for (int fd : m_readers)
            ::close(fd);
        ::close(m_epoll);
    }

    Tally& Counts() { return m_tally; }

    // The advise frame the DDE server would send, to every socket.
    void Post(long long postedNs)
    {
        Platform::Dde::Frame frame;
        frame.kind = Platform::Dde::FrameKind::ADVISE;
        frame.format = CF_TEXT;
        frame.item = kItem;
        frame.hasData = true;
        frame.data = Payload(postedNs);
        frame.data.push_back('\0');
        m_bytes.clear();
        Platform::Dde::EncodeFrame(frame, m_bytes);
        for (int fd : m_writers) {
            std::size_t sent = 0;
            while (sent < m_bytes.size()) {
                const ssize_t n = ::send(fd, m_bytes.data() + sent, m_bytes.size() - sent, MSG_NOSIGNAL);
                if (n > 0) {
                    sent += static_cast<std::size_t>(n);
                } else {
                    pollfd wait{fd, POLLOUT, 0};
                    ::poll(&wait, 1, 10);
                }
            }
        }
    }
    void WaitFor(long total)
    {
        while (m_tally.received.load(std::memory_order_relaxed) < total)
            std::this_thread::yield();
    }

private:
    void Receive()
    {
        epoll_event events[64];
        char block[65536];
        while (!m_stop) {
            const int count = ::epoll_wait(m_epoll, events, 64, 20);
            for (int e = 0; e < count; ++e) {
                const auto index = events[e].data.u32;
                std::string& buffer = m_buffers[index];
                for (;;) {
                    const ssize_t n = ::recv(m_readers[index], block, sizeof block, MSG_DONTWAIT);
                    if (n <= 0)
                        break;
                    buffer.append(block, static_cast<std::size_t>(n));
                }
                // Whole frames: length prefix, then kind, format, item, flag,
                // data length and the data with its stamp.
                std::size_t at = 0;
                while (buffer.size() - at >= 4) {
                    std::uint32_t length;
                    std::memcpy(&length, buffer.data() + at, 4);
                    if (buffer.size() - at < 4 + length)
                        break;
                    const char* body = buffer.data() + at + 4;
                    std::uint16_t name;
                    std::memcpy(&name, body + 5, 2);
                    const std::size_t dataAt = 1 + 4 + 2 + name + 4 + 4;
                    m_tally.Note(PostedNs(body + dataAt, length - dataAt));
                    at += 4 + length;
                }
                buffer.erase(0, at);
            }
        }
    }

    int m_epoll = -1;
    std::vector<int> m_writers;
    std::vector<int> m_readers;
    std::vector<std::string> m_buffers;
    std::string m_bytes;
    Tally m_tally;
    std::atomic<bool> m_stop{false};
    std::thread m_receiver;
};

// ---------------------------------------------------------- benchmarks

template <typename Rig>
void Throughput(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    Rig rig(clients);
    long expected = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            rig.Post(NowNs());
        expected += static_cast<long>(kBatch) * clients;
        rig.WaitFor(expected);
    }
    state.counters["advises/s"] =
        benchmark::Counter(static_cast<double>(expected), benchmark::Counter::kIsRate);
}

template <typename Rig>
void Latency(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    Rig rig(clients);
    rig.Counts().keepLatencies = true;
    rig.Counts().latencies.reserve(static_cast<std::size_t>(kLatencyUpdates) * clients);
    long expected = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < kLatencyUpdates; ++i) {
            Until(start + std::chrono::microseconds(1000000LL * i / kLatencyRate));
            rig.Post(NowNs());
        }
        expected += static_cast<long>(kLatencyUpdates) * clients;
        rig.WaitFor(expected);
    }
    std::lock_guard guard(rig.Counts().lock);
    Report(state, rig.Counts().latencies);
    state.counters["advises/s"] =
        benchmark::Counter(static_cast<double>(expected), benchmark::Counter::kIsRate);
}

void BM_DdeAdvise_Throughput(benchmark::State& state) { Throughput<DdeRig>(state); }
void BM_PlainSocket_Throughput(benchmark::State& state) { Throughput<SocketRig>(state); }
void BM_DdeAdvise_Latency10k(benchmark::State& state) { Latency<DdeRig>(state); }
void BM_PlainSocket_Latency10k(benchmark::State& state) { Latency<SocketRig>(state); }

} // namespace

BENCHMARK(BM_DdeAdvise_Throughput)->Arg(1)->Arg(10)->Arg(100)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_PlainSocket_Throughput)->Arg(1)->Arg(10)->Arg(100)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_DdeAdvise_Latency10k)->Arg(1)->Arg(10)->Arg(100)->UseRealTime()->Iterations(1);
BENCHMARK(BM_PlainSocket_Latency10k)->Arg(1)->Arg(10)->Arg(100)->UseRealTime()->Iterations(1);

BENCHMARK_MAIN();
