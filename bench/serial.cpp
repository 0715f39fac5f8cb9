// Serial throughput over a socat pseudo-terminal pair at the fastest rate of
// the settings table: CSerialPort's Read and Write against a raw
// read/write loop on the same kind of line, in bytes per second.
#include "Brindle/base/SerialPort.h"

#include "PtyPair.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kChunk = 32768;

// The far end: floods the line or drains it until told to stop.
class FarEnd {
public:
    enum Mode { Flood, Drain };

    FarEnd(const std::string& path, Mode mode) : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        m_thread = std::thread([this, mode] { mode == Flood ? FloodLoop() : DrainLoop(); });
    }
    ~FarEnd()
    {
        m_stop = true;
        m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }

private:
    void FloodLoop()
    {
        std::vector<char> data(kChunk, 'x');
        while (!m_stop) {
            if (::write(m_fd, data.data(), data.size()) < 0) {
                pollfd p{m_fd, POLLOUT, 0};
                ::poll(&p, 1, 50);
            }
        }
    }
    void DrainLoop()
    {
        std::vector<char> data(kChunk);
        while (!m_stop) {
            if (::read(m_fd, data.data(), data.size()) <= 0) {
                pollfd p{m_fd, POLLIN, 0};
                ::poll(&p, 1, 50);
            }
        }
    }

    int m_fd;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

Brindle::CSerialSettings FastestSettings(const std::string& path)
{
    return Brindle::CSerialSettings(path.c_str(), Brindle::CSerialSettings::PARITY_NONE,
                                    Brindle::CSerialSettings::BAUD_115200, Brindle::CSerialSettings::BYTESIZE_8,
                                    Brindle::CSerialSettings::STOPBITS_1);
}

// The raw loop's end: the same device opened and set up by hand.
int OpenRaw(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0)
        ::system(("stty -F " + path + " 115200 raw -echo cs8 -parenb -cstopb").c_str());
    return fd;
}

void BM_SerialPortRead(benchmark::State& state)
{
    testsupport::PtyPair pty;
    Brindle::CSerialPort port(FastestSettings(pty.First()));
    if (!port.Open()) {
        state.SkipWithError("cannot open the line");
        return;
    }
    FarEnd far(pty.Second(), FarEnd::Flood);
    std::vector<char> buffer(kChunk);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        const int n = port.Read(buffer.data(), kChunk);
        if (n < 0) {
            state.SkipWithError("read failed");
            break;
        }
        bytes += n;
    }
    state.SetBytesProcessed(bytes);
}

void BM_RawRead(benchmark::State& state)
{
    testsupport::PtyPair pty;
    const int fd = OpenRaw(pty.First());
    if (fd < 0) {
        state.SkipWithError("cannot open the line");
        return;
    }
    FarEnd far(pty.Second(), FarEnd::Flood);
    std::vector<char> buffer(kChunk);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 250);
        const ssize_t n = ::read(fd, buffer.data(), kChunk);
        if (n > 0)
            bytes += n;
    }
    state.SetBytesProcessed(bytes);
    ::close(fd);
}

void BM_SerialPortWrite(benchmark::State& state)
{
    testsupport::PtyPair pty;
    Brindle::CSerialPort port(FastestSettings(pty.First()));
    if (!port.Open()) {
        state.SkipWithError("cannot open the line");
        return;
    }
    FarEnd far(pty.Second(), FarEnd::Drain);
    const std::vector<char> data(kChunk, 'y');
    std::int64_t bytes = 0;
    for (auto _ : state) {
        const int n = port.Write(data.data(), kChunk);
        if (n < 0) {
            state.SkipWithError("write failed");
            break;
        }
        bytes += n;
    }
    state.SetBytesProcessed(bytes);
}

void BM_RawWrite(benchmark::State& state)
{
    testsupport::PtyPair pty;
    const int fd = OpenRaw(pty.First());
    if (fd < 0) {
        state.SkipWithError("cannot open the line");
        return;
    }
    FarEnd far(pty.Second(), FarEnd::Drain);
    const std::vector<char> data(kChunk, 'y');
    std::int64_t bytes = 0;
    for (auto _ : state) {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 250);
            }
        }
        bytes += static_cast<std::int64_t>(done);
    }
    state.SetBytesProcessed(bytes);
    ::close(fd);
}

} // namespace

BENCHMARK(BM_SerialPortRead)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_RawRead)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_SerialPortWrite)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_RawWrite)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();
