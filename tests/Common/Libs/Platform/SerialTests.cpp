// The comm layer over a tty, against socat pseudo-terminal pairs and the
// stty command.
#include "Platform/KernelObjects.h"
#include "Platform/Serial.h"
#include "Platform/SerialTermios.h"
#include "Platform/WinError.h"

#include "PtyPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using testsupport::CommandOutput;
using testsupport::PtyEnd;
using testsupport::PtyPair;

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// An open comm handle that closes itself.
class Comm {
public:
    explicit Comm(const std::string& path, DWORD flags = FILE_ATTRIBUTE_NORMAL)
        : m_handle(CreateCommFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, flags))
    {
    }
    ~Comm()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseCommFile(m_handle);
    }
    Comm(const Comm&) = delete;
    Comm& operator=(const Comm&) = delete;
    HANDLE get() const { return m_handle; }
    bool ok() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

void SetTimeouts(HANDLE h, DWORD interval, DWORD multiplier, DWORD constant)
{
    COMMTIMEOUTS t{interval, multiplier, constant};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
}

// Waits until `count` bytes are queued for reading (generously).
bool WaitQueued(HANDLE h, DWORD count)
{
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        COMSTAT stat;
        DWORD errors = 0;
        if (!ClearCommError(h, &errors, &stat))
            return false;
        if (stat.cbInQue >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::string Stty(const std::string& path)
{
    return " " + CommandOutput("stty -F " + path + " -a 2>&1") + " ";
}

bool HasFlag(const std::string& stty, const std::string& flag)
{
    for (const char* sep : {" ", "\n", ";"}) {
        for (const char* end : {" ", "\n", ";"}) {
            if (stty.find(sep + flag + end) != std::string::npos)
                return true;
        }
    }
    return false;
}

// `dcb` with the line's rate, byte size, parity and stop bits set.
DCB Line(DCB dcb, DWORD rate, BYTE size, BYTE parity, BYTE stop)
{
    dcb.BaudRate = rate;
    dcb.ByteSize = size;
    dcb.Parity = parity;
    dcb.StopBits = stop;
    return dcb;
}

// A socat line with the comm handle on its first end (opened with `flags`)
// and a plain POSIX peer on the second.
class CommLine : public ::testing::Test {
protected:
    explicit CommLine(DWORD flags = FILE_ATTRIBUTE_NORMAL) : comm(pty.First(), flags) {}
    void SetUp() override
    {
        ASSERT_TRUE(comm.ok());
        ASSERT_TRUE(peer.IsOpen());
    }
    DCB State()
    {
        DCB dcb;
        EXPECT_TRUE(GetCommState(comm.get(), &dcb));
        return dcb;
    }
    // Changes the device's state as `change` says; true when it was taken.
    template <typename Change>
    bool SetState(Change change)
    {
        DCB dcb = State();
        change(dcb);
        return SetCommState(comm.get(), &dcb);
    }
    bool Read(char* buffer, DWORD size, DWORD& got) { return ReadCommFile(comm.get(), buffer, size, &got, nullptr); }

    PtyPair pty;
    Comm comm;
    PtyEnd peer{pty.Second()};
};

} // namespace

TEST(CommDevicePath, MapsComPortsAndTakesPathsAsTheyAre)
{
    for (const auto& [name, path] : {std::pair{"COM1", "/dev/ttyS0"}, {"com4", "/dev/ttyS3"}, {"COM12", "/dev/ttyS11"},
                                     {"\\\\.\\COM10", "/dev/ttyS9"}, {"/dev/ttyUSB0", "/dev/ttyUSB0"}})
        EXPECT_EQ(CommDevicePath(name), path) << name;
    for (const char* bad : {"", "COM", "COM0", "COM01", "COMx", "COM1x", "LPT1", "ttyS0", "COM99999999999"})
        EXPECT_EQ(CommDevicePath(bad), "") << bad;
    EXPECT_EQ(CommDevicePath(nullptr), "");
}

TEST(CommFile, OpenFailuresSayWhy)
{
    EXPECT_EQ(CreateCommFile("LPT1", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateCommFile("/nonexistent/tty", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));
    EXPECT_EQ(CreateCommFile("/dev/null", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTTY));
    EXPECT_FALSE(CloseCommFile(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(CommLine, OpenIsExclusiveUntilClosed)
{
    const HANDLE first = comm.get();
    EXPECT_TRUE(IsCommHandle(first));
    // Not a kernel object, and a kernel call cannot take it for one.
    EXPECT_FALSE(IsKernelHandle(first));

    EXPECT_EQ(CreateCommFile(pty.First().c_str(), GENERIC_READ | GENERIC_WRITE, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    // Another process is refused too.
    EXPECT_EQ(CommandOutput("flock -n " + pty.First() + " echo got-it 2>&1").find("got-it"), std::string::npos);

    ASSERT_TRUE(CloseCommFile(first));
    EXPECT_FALSE(IsCommHandle(first));
    EXPECT_FALSE(CloseCommFile(first));
    HANDLE again = CreateCommFile(pty.First().c_str(), GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_NE(again, first); // handles are never reused
    CloseCommFile(again);
}

// Line settings, the termios bits each sets and clears, and the flags stty
// then shows on a pseudo-terminal (none: not tried on one). Its driver always
// works with 8 data bits and no parity, so stty shows the rest of a setting.
const struct LineCase {
    DWORD rate;
    BYTE size, parity, stop;
    tcflag_t rateBits, set, clear;
    std::vector<std::string> stty;
} kLineCases[] = {
    {19200, 7, EVENPARITY, TWOSTOPBITS, B19200, CS7 | PARENB | CSTOPB, PARODD | CMSPAR, {"-parodd", "-cmspar", "cstopb"}},
    {115200, 8, NOPARITY, ONESTOPBIT, B115200, CS8, PARENB | CSTOPB, {"-parodd", "-cstopb"}},
    {9600, 7, ODDPARITY, ONESTOPBIT, B9600, CS7 | PARENB | PARODD, CMSPAR | CSTOPB, {"parodd", "-cmspar", "-cstopb"}},
    {110, 6, MARKPARITY, TWOSTOPBITS, B110, CS6 | PARENB | PARODD | CMSPAR | CSTOPB, 0, {"parodd", "cmspar", "cstopb"}},
    // Rates without a constant take the arbitrary-rate interface; the rate
    // with a constant after them shows that its bits are gone again.
    {14400, 8, NOPARITY, ONESTOPBIT, BOTHER, CS8, PARENB, {"-cstopb"}},
    {56000, 8, NOPARITY, ONESTOPBIT, BOTHER, CS8, PARENB, {"-cstopb"}},
    {128000, 8, NOPARITY, ONESTOPBIT, BOTHER, CS8, PARENB, {"-cstopb"}},
    {256000, 8, NOPARITY, ONESTOPBIT, BOTHER, CS8, PARENB, {"-cstopb"}},
    {31250, 8, NOPARITY, ONESTOPBIT, BOTHER, CS8, PARENB, {"-cstopb"}},
    {300, 8, SPACEPARITY, ONESTOPBIT, B300, CS8 | PARENB | CMSPAR, PARODD | CSTOPB, {"-parodd", "cmspar", "-cstopb"}},
    {300, 5, SPACEPARITY, ONE5STOPBITS, B300, CS5 | PARENB | CMSPAR | CSTOPB, PARODD, {}},
};

TEST(CommStateMapping, EveryLineSettingHasItsTermiosBits)
{
    for (const auto& c : kLineCases) {
        SCOPED_TRACE(c.rate);
        const DCB dcb = Line(DCB(), c.rate, c.size, c.parity, c.stop);
        ASSERT_TRUE(IsValidCommState(dcb));
        termios2 t{};
        t.c_cflag = HUPCL | CRTSCTS | CS8 | PARENB | B50; // leftovers from the device
        t.c_lflag = ICANON | ECHO;
        t.c_iflag = ICRNL | IXON;
        t.c_oflag = OPOST;
        CommStateToTermios(dcb, t);
        EXPECT_EQ(t.c_cflag & CBAUD, c.rateBits);
        EXPECT_EQ(t.c_cflag & CIBAUD, 0u) << "input speed follows output";
        EXPECT_EQ(t.c_ospeed, c.rate);
        EXPECT_EQ(t.c_cflag & CSIZE, c.set & CSIZE);
        EXPECT_EQ(t.c_cflag & (c.set & ~CSIZE), c.set & ~CSIZE);
        EXPECT_EQ(t.c_cflag & c.clear, 0u);
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL | HUPCL), CREAD | CLOCAL | HUPCL);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_lflag, 0u);
        EXPECT_EQ(t.c_oflag, 0u);
        EXPECT_EQ(t.c_iflag & (ICRNL | IXON | INPCK), 0u);
        const DCB back = TermiosToCommState(t, DCB());
        EXPECT_EQ((std::vector<DWORD>{back.BaudRate, back.ByteSize, back.Parity, back.StopBits}),
                  (std::vector<DWORD>{c.rate, c.size, c.parity, c.stop}));
    }

    DCB flow = Line(DCB(), 9600, 8, EVENPARITY, ONESTOPBIT);
    flow.fOutxCtsFlow = flow.fOutX = flow.fInX = 1;
    flow.XonChar = 1;
    flow.XoffChar = 2;
    flow.fParity = 1;
    flow.fErrorChar = 1;
    termios2 t{};
    CommStateToTermios(flow, t);
    EXPECT_EQ(t.c_cflag & CRTSCTS, static_cast<tcflag_t>(CRTSCTS));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), static_cast<tcflag_t>(IXON | IXOFF | INPCK));
    EXPECT_EQ(t.c_cc[VSTART], 1);
    EXPECT_EQ(t.c_cc[VSTOP], 2);
    const DCB back = TermiosToCommState(t, flow);
    EXPECT_EQ((std::vector<unsigned>{back.fOutxCtsFlow, back.fOutX, back.fInX}), (std::vector<unsigned>{1, 1, 1}));
}

class CommState : public CommLine {};

TEST_F(CommState, LineSettingsReachTheDeviceAsSttyShowsThem)
{
    // Raw from the start.
    const std::string raw = Stty(pty.First());
    for (const char* flag : {"-icanon", "-echo", "-isig", "-opost", "-icrnl", "-ixon", "cread", "clocal"})
        EXPECT_TRUE(HasFlag(raw, flag)) << flag << " in" << raw;

    for (const auto& c : kLineCases) {
        if (c.stty.empty())
            continue;
        SCOPED_TRACE(c.rate);
        ASSERT_TRUE(SetState([&](DCB& d) { d = Line(d, c.rate, c.size, c.parity, c.stop); }));
        const std::string stty = Stty(pty.First());
        if (c.rateBits != BOTHER) { // stty knows only the rates with a constant
            EXPECT_NE(stty.find("speed " + std::to_string(c.rate) + " baud"), std::string::npos) << stty;
        }
        for (const std::string& flag : c.stty)
            EXPECT_TRUE(HasFlag(stty, flag)) << flag << " in" << stty;
        const DCB back = State();
        EXPECT_EQ(back.BaudRate, c.rate);
        EXPECT_EQ(back.StopBits, c.stop);
    }

    // Flow control.
    ASSERT_TRUE(SetState([](DCB& d) {
        d.ByteSize = 8;
        d.StopBits = ONESTOPBIT;
        d.fOutxCtsFlow = d.fOutX = d.fInX = 1;
        d.XonChar = 0x01;
        d.XoffChar = 0x02;
    }));
    const std::string stty = Stty(pty.First());
    for (const char* flag : {"crtscts", "ixon", "ixoff"})
        EXPECT_TRUE(HasFlag(stty, flag)) << flag << " in" << stty;
    for (const char* text : {"start = ^A", "stop = ^B"})
        EXPECT_NE(stty.find(text), std::string::npos) << text << " in" << stty;
}

TEST_F(CommState, FieldsTermiosCannotHoldAreKeptAndInvalidStatesRefused)
{
    ASSERT_TRUE(SetState([](DCB& d) {
        d.BaudRate = 4800;
        d.ByteSize = 8;
        d.StopBits = ONESTOPBIT;
        d.fDtrControl = DTR_CONTROL_HANDSHAKE;
        d.fNull = d.fAbortOnError = 1;
        d.XonLim = 100;
        d.XoffLim = 200;
        d.EofChar = 0x1A;
        d.EvtChar = 0x0D;
        d.ErrorChar = '?';
    }));
    const DCB back = State();
    EXPECT_EQ((std::vector<long>{back.fDtrControl, back.fNull, back.fAbortOnError, back.XonLim, back.XoffLim,
                                 back.EofChar, back.EvtChar, back.ErrorChar}),
              (std::vector<long>{DTR_CONTROL_HANDSHAKE, 1, 1, 100, 200, 0x1A, 0x0D, '?'}));

    const auto refused = [&](auto change) {
        DCB bad = back;
        change(bad);
        EXPECT_FALSE(SetCommState(comm.get(), &bad));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    };
    refused([](DCB& d) { d.BaudRate = 0; });
    refused([](DCB& d) { d.ByteSize = 4; });
    refused([](DCB& d) { d.ByteSize = 9; });
    refused([](DCB& d) { d.Parity = 5; });
    refused([](DCB& d) { d.StopBits = 3; });
    refused([](DCB& d) { d.StopBits = ONE5STOPBITS; }); // with 8 data bits
    refused([](DCB& d) { d.ByteSize = 5; d.StopBits = TWOSTOPBITS; });
    refused([](DCB& d) { d.fOutX = 1; d.XonChar = d.XoffChar = 0x11; });
    EXPECT_FALSE(SetCommState(comm.get(), nullptr));

    EXPECT_EQ(State().BaudRate, 4800u);
    EXPECT_EQ(State().ByteSize, 8);
}

class CommRead : public CommLine {};
class CommReadWrite : public CommLine {};
class CommOverlapped : public CommLine {
protected:
    CommOverlapped() : CommLine(FILE_FLAG_OVERLAPPED) {}
};

TEST_F(CommRead, TimeOutsAndQueuedBytes)
{
    char buffer[64];
    DWORD got = 0;
    // Reads with the time-outs given; the bytes read, or "<failed>".
    const auto read = [&](DWORD size, DWORD interval, DWORD multiplier, DWORD constant) {
        SetTimeouts(comm.get(), interval, multiplier, constant);
        return Read(buffer, size, got) ? std::string(buffer, got) : std::string("<failed>");
    };

    // Nothing arrives: the read waits for the time-out and returns nothing.
    auto start = Clock::now();
    EXPECT_EQ(read(sizeof buffer, MAXDWORD, MAXDWORD, 300), "");
    EXPECT_GE(MillisecondsSince(start), 280);

    // Queued bytes come at once, up to the count asked for.
    ASSERT_TRUE(peer.Write("0123456789"));
    ASSERT_TRUE(WaitQueued(comm.get(), 10));
    EXPECT_EQ(read(4, MAXDWORD, MAXDWORD, 300), "0123");
    EXPECT_EQ(read(sizeof buffer, MAXDWORD, MAXDWORD, 300), "456789");

    // A byte that comes while the read waits ends the wait.
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        peer.Write("x");
    });
    EXPECT_EQ(read(sizeof buffer, MAXDWORD, MAXDWORD, 20000), "x");
    later.join();

    // Interval MAXDWORD with nothing else: never waits.
    EXPECT_EQ(read(sizeof buffer, MAXDWORD, 0, 0), "");

    // A total time-out: the read collects what comes until it ends.
    ASSERT_TRUE(peer.Write("ab"));
    start = Clock::now();
    EXPECT_EQ(read(sizeof buffer, 0, 0, 400), "ab");
    EXPECT_GE(MillisecondsSince(start), 380);

    // No time-outs at all: the read waits for every byte asked for.
    std::thread writer([&] {
        for (char c : std::string("wxyz")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            peer.Write(std::string(1, c));
        }
    });
    EXPECT_EQ(read(4, 0, 0, 0), "wxyz");
    writer.join();

    // Zero bytes asked: nothing read, nothing waited for.
    EXPECT_EQ(read(0, 0, 0, 0), "");
}

TEST_F(CommReadWrite, LargeTransfersArriveWholeAndInOrderBothWays)
{
    std::string data;
    for (int i = 0; i < 200000; ++i)
        data += static_cast<char>('A' + (i * 7) % 26);

    std::string received;
    std::thread reader([&] { received = peer.Read(data.size()); });
    DWORD written = 0;
    ASSERT_TRUE(WriteCommFile(comm.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
    EXPECT_EQ(written, data.size());
    reader.join();
    EXPECT_TRUE(received == data) << received.size() << " bytes came";

    SetTimeouts(comm.get(), MAXDWORD, MAXDWORD, 5000);
    std::thread sender([&] { peer.Write(data); });
    std::string back;
    std::vector<char> buffer(8192);
    DWORD got = 0;
    while (back.size() < data.size()) {
        ASSERT_TRUE(Read(buffer.data(), static_cast<DWORD>(buffer.size()), got));
        if (got == 0)
            break;
        back.append(buffer.data(), got);
    }
    sender.join();
    EXPECT_TRUE(back == data) << back.size() << " bytes came";
}

TEST_F(CommRead, AVanishedDeviceFailsAfterTheQueuedBytes)
{
    ASSERT_TRUE(peer.Write("last"));
    ASSERT_TRUE(WaitQueued(comm.get(), 4));
    pty.Stop();
    SetTimeouts(comm.get(), MAXDWORD, MAXDWORD, 250);
    char buffer[16];
    DWORD got = 0;
    // What was queued may still be read ...
    if (Read(buffer, sizeof buffer, got)) {
        EXPECT_EQ(std::string(buffer, got), "last");
    }
    // ... then every read fails at once instead of timing out empty.
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        EXPECT_FALSE(Read(buffer, sizeof buffer, got));
        EXPECT_EQ(got, 0u);
        EXPECT_NE(GetLastError(), ERROR_SUCCESS);
        EXPECT_LT(MillisecondsSince(start), 200);
    }
    DWORD written = 0;
    EXPECT_FALSE(WriteCommFile(comm.get(), "x", 1, &written, nullptr));
}

TEST_F(CommLine, ClosingTheHandleEndsAReadOnAnotherThread)
{
    const HANDLE h = comm.get();
    SetTimeouts(h, 0, 0, 0); // wait without limit
    std::atomic<bool> done{false};
    BOOL result = TRUE;
    DWORD error = 0;
    std::thread reader([&] {
        char buffer[8];
        DWORD got = 0;
        result = ReadCommFile(h, buffer, sizeof buffer, &got, nullptr);
        error = GetLastError();
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done.load());
    ASSERT_TRUE(CloseCommFile(h));
    reader.join();
    EXPECT_FALSE(result);
    EXPECT_EQ(error, ERROR_OPERATION_ABORTED);
    // The device is free again at once.
    Comm again(pty.First());
    EXPECT_TRUE(again.ok());
}

TEST_F(CommOverlapped, OperationsCompleteThroughTheRecord)
{
    OVERLAPPED ov;
    ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(ov.hEvent, nullptr);
    // Waits for the operation `started` began and gives its byte count.
    const auto complete = [&](BOOL started) {
        DWORD count = 0;
        EXPECT_TRUE(started || GetLastError() == ERROR_IO_PENDING);
        EXPECT_EQ(WaitForSingleObject(ov.hEvent, 20000), WAIT_OBJECT_0);
        EXPECT_TRUE(GetCommOverlappedResult(comm.get(), &ov, &count, TRUE));
        return count;
    };
    DWORD count = 0;
    EXPECT_EQ(complete(WriteCommFile(comm.get(), "hello", 5, &count, &ov)), 5u);
    EXPECT_EQ(peer.Read(5), "hello");

    SetTimeouts(comm.get(), MAXDWORD, MAXDWORD, 20000);
    ASSERT_TRUE(peer.Write("abc"));
    char buffer[8];
    count = complete(ReadCommFile(comm.get(), buffer, sizeof buffer, &count, &ov));
    ASSERT_GE(count, 1u);
    EXPECT_EQ(std::string(buffer, count), std::string("abc").substr(0, count));
    CloseHandle(ov.hEvent);
}

TEST(CommFile, WrongAccessAndClosedHandlesAreRefused)
{
    PtyPair pty;
    HANDLE readOnly = CreateCommFile(pty.First().c_str(), GENERIC_READ, 0);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    DWORD count = 0;
    EXPECT_FALSE(WriteCommFile(readOnly, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseCommFile(readOnly);

    char buffer[4];
    EXPECT_FALSE(ReadCommFile(readOnly, buffer, 4, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DCB dcb;
    EXPECT_FALSE(GetCommState(readOnly, &dcb));
    COMMTIMEOUTS t;
    EXPECT_FALSE(SetCommTimeouts(readOnly, &t));
    EXPECT_FALSE(SetupComm(readOnly, 4096, 4096));
    EXPECT_FALSE(ClearCommError(readOnly, nullptr, nullptr));
}
