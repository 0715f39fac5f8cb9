// The feed from zphd to the client, beside the floor: a raw TCP loop that
// moves the same bytes between the same two processes.
//
//   BM_FeedUpdates     line updates ('D') per second through the socket source
//                      into the line cache, seven key clients and a message
//                      client, and the client's CPU time per update, at a
//                      given server rate
//   BM_RawTcpUpdates   the same stream read from a plain socket that only
//                      counts the line updates in it
//   BM_FeedLatency     from a field change made on the server's control port
//                      (which the server publishes at once) to OnKeyUpdate of
//                      a key client that sees the new value
//   BM_RawTcpLatency   from the same change to a plain socket reading it
// Counters: updates_per_s, cpu_us_per_update, median_us, p99_us. The control
// port's own hop is in both latencies.
#include "zph/Codec.h"
#include "protocol/FieldIds.h"
#include "TempDir.h"
#include "zph/ZPHKey.h"
#include "zphsource/Controller.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ZPH;

#ifndef ZPHD_PATH
#define ZPHD_PATH ""
#endif

using namespace ZPHWire;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int PAGES = 6;
constexpr int PROBE_PAGE = 1;
constexpr int PROBE_LINE = 2;

std::string ProbeText(long long seq) { return "PROBE " + std::to_string(seq); }

long long NowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int ConnectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// One zphd for the whole program, on free ports, with a still market.
class Server {
public:
    static Server& Get()
    {
        static Server server;
        return server;
    }
    bool Ok() const { return m_pid > 0; }
    int SocketPort() const { return m_socket; }

    std::string Command(const std::string& line)
    {
        std::lock_guard guard(m_lock);
        const std::string text = line + "\n";
        ::send(m_control, text.data(), text.size(), MSG_NOSIGNAL);
        for (;;) {
            const auto end = m_pending.find('\n');
            if (end != std::string::npos) {
                std::string reply = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return reply;
            }
            char buffer[4096];
            const ssize_t n = ::recv(m_control, buffer, sizeof buffer, 0);
            if (n <= 0)
                return "ERR closed";
            m_pending.append(buffer, static_cast<std::size_t>(n));
        }
    }
    // Sends a command without waiting for its reply (the reply is read by
    // the next Command's caller through Drain).
    void Post(const std::string& line)
    {
        const std::string text = line + "\n";
        ::send(m_control, text.data(), text.size(), MSG_NOSIGNAL);
        ++m_posted;
    }
    void Drain()
    {
        while (m_posted > 0) {
            std::lock_guard guard(m_lock);
            --m_posted;
            // Read one reply line.
            for (;;) {
                const auto end = m_pending.find('\n');
                if (end != std::string::npos) {
                    m_pending.erase(0, end + 1);
                    break;
                }
                char buffer[4096];
                const ssize_t n = ::recv(m_control, buffer, sizeof buffer, 0);
                if (n <= 0)
                    return;
                m_pending.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }

    ~Server()
    {
        if (m_control >= 0)
            ::close(m_control);
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

private:
    Server()
    {
        if (std::string(ZPHD_PATH).empty())
            return;
        const std::string ports = m_dir.str() + "/ports";
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl(ZPHD_PATH, ZPHD_PATH, "--port", "0", "--database-port", "-1", "--control-port", "0",
                    "--ports-file", ports.c_str(), "--rate", "0", "--trade-every", "0", "--seed", "11", "-q",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 3000; ++i) {
            std::ifstream in(ports);
            std::map<std::string, std::string> values;
            std::string key, value;
            while (in >> key >> value)
                values[key] = value;
            if (values.count("pid")) {
                m_socket = std::stoi(values["socket"]);
                m_control = ConnectLoopback(std::stoi(values["control"]));
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
        ::kill(m_pid, SIGKILL);
        m_pid = -1;
    }

    testsupport::TempDir m_dir;
    pid_t m_pid = -1;
    int m_socket = 0;
    int m_control = -1;
    std::mutex m_lock;
    std::string m_pending;
    std::atomic<int> m_posted{0};
};

// Windows of the client: each listens to every key and keeps its own page's.
class PageWindow : public KeyClient {
public:
    explicit PageWindow(int page) : m_page(page) {}
    void OnKeyUpdate(unsigned key) override
    {
        if (static_cast<int>(key / 100) == m_page)
            m_updates.fetch_add(1, std::memory_order_relaxed);
    }

private:
    int m_page;
    std::atomic<long> m_updates{0};
};

// The client side: one controller for the program (one per process).
class Client : public CController, public KeyClient, public MsgClient {
public:
    static Client& Get()
    {
        static Client client;
        return client;
    }
    Client()
    {
        for (int page = 1; page <= PAGES; ++page)
            m_windows.push_back(std::make_unique<PageWindow>(page));
    }
    ~Client() override { Shutdown(); }

    bool Start()
    {
        if (GetSource()->IsLoggedIn())
            return true;
        // Fresh pages: wait for the server's answer to this login's requests.
        Clear();
        SourceSettings settings;
        settings.kind = SOURCE_SOCKET;
        settings.socketHost = "127.0.0.1";
        settings.socketPort = Server::Get().SocketPort();
        settings.timeoutSeconds = 0;
        SetSourceSettings(ROLE_PRIMARY, settings);
        Register(static_cast<KeyClient*>(this));
        Register(static_cast<MsgClient*>(this), true);
        for (auto& window : m_windows)
            Register(window.get());
        GetSource()->Connect();
        for (int page = 1; page <= PAGES; ++page)
            GetSource()->RequestPage(page);
        const auto deadline = Clock::now() + 30s;
        while (Clock::now() < deadline) {
            if (GetSource()->IsLoggedIn() && GetLineCache().GetForRead(CreateZPHKey(PAGES, 1)))
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    const char* GetUserName() override { return "desk"; }

    // Every line update that reached the cache, as the client's DDE server
    // would hear it.
    void OnMessage(ZPHMessage* msg, unsigned) override
    {
        if (msg->m_type == MSG_DATA)
            m_updates.fetch_add(1, std::memory_order_relaxed);
    }

    void OnKeyUpdate(unsigned key) override
    {
        if (key != m_probeKey)
            return;
        // The probe's value is "PROBE <sequence number>" in the issue name.
        if (LineRef line = GetLineCache().GetForRead(key)) {
            const long long expected = m_expected.load();
            if (line->m_issueName == ProbeText(expected))
                m_seen.store(expected);
        }
    }

    std::vector<std::unique_ptr<PageWindow>> m_windows;
    std::atomic<long> m_updates{0};
    std::atomic<long long> m_expected{-1};
    std::atomic<long long> m_seen{-1};
    const unsigned m_probeKey = CreateZPHKey(PROBE_PAGE, PROBE_LINE);
};

// The floor's reader: a plain socket, logged in and subscribed like the
// source, reading on its own thread and counting line updates ('D').
class RawReader {
public:
    bool Start()
    {
        m_fd = ConnectLoopback(Server::Get().SocketPort());
        if (m_fd < 0)
            return false;
        ZPHMessage login(MSG_LOGIN, 0, 0);
        login.AddField(F_PROTOCOL, PROTOCOL_VERSION);
        login.AddField(F_SOURCE_KIND, SOURCE_SOCKET);
        login.AddField(F_USER, "desk");
        std::string text = Encode(login);
        for (int page = 1; page <= PAGES; ++page)
            text += Encode(ZPHMessage(MSG_PAGE_REQUEST, page, 0));
        ::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL);
        m_thread = std::thread([this] { Run(); });
        return true;
    }
    ~RawReader()
    {
        m_stop = true;
        if (m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    std::atomic<long> m_updates{0};
    std::atomic<long long> m_expected{-1};
    std::atomic<long long> m_seen{-1};

private:
    void Run()
    {
        std::vector<char> buffer(64 * 1024);
        // The marker of a line update and of the probe line's field.
        const std::string data = "\x1eT\x1f" "D\x1e";
        const std::string probe = "\x1eP\x1f" + std::to_string(PROBE_PAGE) + "\x1eL\x1f" + std::to_string(PROBE_LINE) +
                                  "\x02";
        const std::string field = "\x1e" + std::to_string(F_ISSUE_NAME) + "\x1f";
        std::string carry;
        while (!m_stop) {
            const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                return;
            carry.append(buffer.data(), static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (;;) {
                const std::size_t end = carry.find('\x03', start);
                if (end == std::string::npos)
                    break;
                const std::string_view frame(carry.data() + start, end - start);
                if (frame.find(data) != std::string_view::npos) {
                    m_updates.fetch_add(1, std::memory_order_relaxed);
                    if (frame.find(probe) != std::string_view::npos) {
                        const long long expected = m_expected.load();
                        const std::string wanted = field + ProbeText(expected);
                        const std::size_t at = frame.find(wanted);
                        const std::size_t after = at + wanted.size();
                        if (at != std::string_view::npos && (after == frame.size() || frame[after] == '\x1e'))
                            m_seen.store(expected);
                    }
                }
                start = end + 1;
            }
            carry.erase(0, start);
        }
    }

    int m_fd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

// Runs the server at `rate` for the benchmark's iterations (100 ms each)
// and reports what the reader saw.
template <typename Reader>
void MeasureUpdates(benchmark::State& state, Reader& reader)
{
    Server& server = Server::Get();
    server.Command("rate " + std::to_string(state.range(0)));
    std::this_thread::sleep_for(300ms);
    const long first = reader.m_updates.load();
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    for (auto _ : state)
        std::this_thread::sleep_for(100ms);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const long updates = reader.m_updates.load() - first;
    const double cpuUsed = CpuSeconds() - cpu;
    server.Command("rate 0");
    std::this_thread::sleep_for(300ms);
    state.SetItemsProcessed(updates);
    state.counters["updates_per_s"] = static_cast<double>(updates) / seconds;
    state.counters["cpu_us_per_update"] = updates > 0 ? cpuUsed * 1e6 / static_cast<double>(updates) : 0.0;
}

template <typename Reader>
void MeasureLatency(benchmark::State& state, Reader& reader)
{
    Server& server = Server::Get();
    std::vector<double> samples;
    samples.reserve(4096);
    static long long sequence = 1000;
    for (auto _ : state) {
        const long long seq = ++sequence;
        reader.m_expected = seq;
        const long long t0 = NowUs();
        server.Post("set " + std::to_string(PROBE_PAGE) + " " + std::to_string(PROBE_LINE) + " " +
                    std::to_string(F_ISSUE_NAME) + " " + ProbeText(seq));
        const auto deadline = Clock::now() + 5s;
        while (reader.m_seen.load() != seq && Clock::now() < deadline) {
        }
        const double us = static_cast<double>(NowUs() - t0);
        if (reader.m_seen.load() != seq) {
            state.SkipWithError("an update never arrived");
            break;
        }
        state.SetIterationTime(us / 1e6);
        samples.push_back(us);
        server.Drain();
    }
    server.Drain();
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    state.counters["median_us"] = samples[samples.size() / 2];
    state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
}

bool Ready(benchmark::State& state)
{
    if (!Server::Get().Ok()) {
        state.SkipWithError("zphd is not built or did not start");
        return false;
    }
    return true;
}

void BM_FeedUpdates(benchmark::State& state)
{
    if (!Ready(state))
        return;
    Client& client = Client::Get();
    if (!client.Start()) {
        state.SkipWithError("the socket source did not log in");
        return;
    }
    std::this_thread::sleep_for(300ms);
    MeasureUpdates(state, client);
}

void BM_RawTcpUpdates(benchmark::State& state)
{
    if (!Ready(state))
        return;
    // The source stays logged in but receives nothing while the floor runs.
    Client::Get().GetSource()->Disconnect();
    RawReader reader;
    if (!reader.Start()) {
        state.SkipWithError("no connection");
        return;
    }
    std::this_thread::sleep_for(300ms);
    MeasureUpdates(state, reader);
}

void BM_FeedLatency(benchmark::State& state)
{
    if (!Ready(state))
        return;
    Client& client = Client::Get();
    if (!client.Start()) {
        state.SkipWithError("the socket source did not log in");
        return;
    }
    MeasureLatency(state, client);
}

void BM_RawTcpLatency(benchmark::State& state)
{
    if (!Ready(state))
        return;
    Client::Get().GetSource()->Disconnect();
    RawReader reader;
    if (!reader.Start()) {
        state.SkipWithError("no connection");
        return;
    }
    std::this_thread::sleep_for(300ms);
    MeasureLatency(state, reader);
}

} // namespace

BENCHMARK(BM_FeedUpdates)->Arg(10000)->Arg(100000)->Iterations(30)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawTcpUpdates)->Arg(10000)->Arg(100000)->Iterations(30)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FeedLatency)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawTcpLatency)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
