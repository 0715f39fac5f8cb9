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
#include <fstream>
#include <string>
#include <thread>

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
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
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

} // namespace

TEST(CommDevicePath, MapsComPortsAndTakesPathsAsTheyAre)
{
    EXPECT_EQ(CommDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(CommDevicePath("com4"), "/dev/ttyS3");
    EXPECT_EQ(CommDevicePath("COM12"), "/dev/ttyS11");
    EXPECT_EQ(CommDevicePath("\\\\.\\COM10"), "/dev/ttyS9");
    EXPECT_EQ(CommDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
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

TEST(CommFile, OpenIsExclusiveUntilClosed)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Running());
    HANDLE first = CreateCommFile(pty.First().c_str(), GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
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

TEST(CommStateMapping, EveryLineSettingHasItsTermiosBits)
{
    struct Case {
        DWORD rate;
        BYTE size;
        BYTE parity;
        BYTE stop;
        tcflag_t rateBits;
        tcflag_t set;
        tcflag_t clear;
    };
    const Case cases[] = {
        {19200, 7, EVENPARITY, TWOSTOPBITS, B19200, CS7 | PARENB | CSTOPB, PARODD | CMSPAR},
        {115200, 8, NOPARITY, ONESTOPBIT, B115200, CS8, PARENB | CSTOPB},
        {9600, 7, ODDPARITY, ONESTOPBIT, B9600, CS7 | PARENB | PARODD, CMSPAR | CSTOPB},
        {110, 6, MARKPARITY, TWOSTOPBITS, B110, CS6 | PARENB | PARODD | CMSPAR | CSTOPB, 0},
        {300, 5, SPACEPARITY, ONE5STOPBITS, B300, CS5 | PARENB | CMSPAR | CSTOPB, PARODD},
        {14400, 8, NOPARITY, ONESTOPBIT, BOTHER, CS8, PARENB},
    };
    for (const Case& c : cases) {
        DCB dcb;
        dcb.BaudRate = c.rate;
        dcb.ByteSize = c.size;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stop;
        ASSERT_TRUE(IsValidCommState(dcb));
        termios2 t{};
        t.c_cflag = HUPCL | CRTSCTS | CS8 | PARENB | B50; // leftovers from the device
        t.c_lflag = ICANON | ECHO;
        t.c_iflag = ICRNL | IXON;
        t.c_oflag = OPOST;
        CommStateToTermios(dcb, t);
        EXPECT_EQ(t.c_cflag & CBAUD, c.rateBits) << c.rate;
        EXPECT_EQ(t.c_cflag & CIBAUD, 0u) << "input speed follows output";
        EXPECT_EQ(t.c_ospeed, c.rate);
        EXPECT_EQ(t.c_cflag & CSIZE, c.set & CSIZE) << c.rate;
        EXPECT_EQ(t.c_cflag & (c.set & ~CSIZE), c.set & ~CSIZE) << c.rate;
        EXPECT_EQ(t.c_cflag & c.clear, 0u) << c.rate;
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL | HUPCL), CREAD | CLOCAL | HUPCL);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_lflag, 0u);
        EXPECT_EQ(t.c_oflag, 0u);
        EXPECT_EQ(t.c_iflag & (ICRNL | IXON | INPCK), 0u);

        const DCB back = TermiosToCommState(t, DCB());
        EXPECT_EQ(back.BaudRate, c.rate);
        EXPECT_EQ(back.ByteSize, c.size);
        EXPECT_EQ(back.Parity, c.parity);
        EXPECT_EQ(back.StopBits, c.stop);
    }

    DCB flow;
    flow.BaudRate = 9600;
    flow.ByteSize = 8;
    flow.fOutxCtsFlow = 1;
    flow.fOutX = 1;
    flow.fInX = 1;
    flow.XonChar = 1;
    flow.XoffChar = 2;
    flow.Parity = EVENPARITY;
    flow.fParity = 1;
    flow.fErrorChar = 1;
    termios2 t{};
    CommStateToTermios(flow, t);
    EXPECT_EQ(t.c_cflag & CRTSCTS, static_cast<tcflag_t>(CRTSCTS));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), static_cast<tcflag_t>(IXON | IXOFF | INPCK));
    EXPECT_EQ(t.c_cc[VSTART], 1);
    EXPECT_EQ(t.c_cc[VSTOP], 2);
    const DCB back = TermiosToCommState(t, flow);
    EXPECT_EQ(back.fOutxCtsFlow, 1u);
    EXPECT_EQ(back.fOutX, 1u);
    EXPECT_EQ(back.fInX, 1u);
}

TEST(CommState, LineSettingsReachTheDeviceAsSttyShowsThem)
{
    PtyPair pty;
    Comm comm(pty.First());
    ASSERT_TRUE(comm.ok());

    // Raw from the start.
    const std::string raw = Stty(pty.First());
    for (const char* flag : {"-icanon", "-echo", "-isig", "-opost", "-icrnl", "-ixon", "cread", "clocal"})
        EXPECT_TRUE(HasFlag(raw, flag)) << flag << " in" << raw;

    // A pseudo-terminal always works with 8 data bits and no parity (its
    // driver resets them), so stty shows the rest of each setting here;
    // the mapping of those two is checked above.
    struct Case {
        DWORD rate;
        BYTE size;
        BYTE parity;
        BYTE stop;
        std::vector<std::string> flags;
    };
    const Case cases[] = {
        {19200, 7, EVENPARITY, TWOSTOPBITS, {"-parodd", "-cmspar", "cstopb"}},
        {115200, 8, NOPARITY, ONESTOPBIT, {"-parodd", "-cstopb"}},
        {9600, 7, ODDPARITY, ONESTOPBIT, {"parodd", "-cmspar", "-cstopb"}},
        {110, 6, MARKPARITY, TWOSTOPBITS, {"parodd", "cmspar", "cstopb"}},
        {300, 8, SPACEPARITY, ONESTOPBIT, {"-parodd", "cmspar", "-cstopb"}},
    };
    for (const Case& c : cases) {
        DCB dcb;
        ASSERT_TRUE(GetCommState(comm.get(), &dcb));
        dcb.BaudRate = c.rate;
        dcb.ByteSize = c.size;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stop;
        ASSERT_TRUE(SetCommState(comm.get(), &dcb)) << c.rate;
        const std::string stty = Stty(pty.First());
        EXPECT_NE(stty.find("speed " + std::to_string(c.rate) + " baud"), std::string::npos) << stty;
        for (const std::string& flag : c.flags)
            EXPECT_TRUE(HasFlag(stty, flag)) << flag << " at " << c.rate << " in" << stty;

        DCB back;
        ASSERT_TRUE(GetCommState(comm.get(), &back));
        EXPECT_EQ(back.BaudRate, c.rate);
        EXPECT_EQ(back.StopBits, c.stop);
    }

    // Flow control.
    DCB dcb;
    ASSERT_TRUE(GetCommState(comm.get(), &dcb));
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.XonChar = 0x01;
    dcb.XoffChar = 0x02;
    ASSERT_TRUE(SetCommState(comm.get(), &dcb));
    const std::string stty = Stty(pty.First());
    for (const char* flag : {"crtscts", "ixon", "ixoff"})
        EXPECT_TRUE(HasFlag(stty, flag)) << flag << " in" << stty;
    for (const char* text : {"start = ^A", "stop = ^B"})
        EXPECT_NE(stty.find(text), std::string::npos) << text << " in" << stty;
}

TEST(CommState, RatesWithoutAConstantUseTheArbitraryRateInterface)
{
    PtyPair pty;
    Comm comm(pty.First());
    ASSERT_TRUE(comm.ok());
    for (DWORD rate : {14400u, 56000u, 128000u, 256000u, 31250u}) {
        DCB dcb;
        ASSERT_TRUE(GetCommState(comm.get(), &dcb));
        dcb.BaudRate = rate;
        ASSERT_TRUE(SetCommState(comm.get(), &dcb)) << rate;
        DCB back;
        ASSERT_TRUE(GetCommState(comm.get(), &back));
        EXPECT_EQ(back.BaudRate, rate);
    }
    // Back to a rate with a constant: the arbitrary-rate bits are gone.
    DCB dcb;
    ASSERT_TRUE(GetCommState(comm.get(), &dcb));
    dcb.BaudRate = 57600;
    ASSERT_TRUE(SetCommState(comm.get(), &dcb));
    EXPECT_NE(Stty(pty.First()).find("speed 57600 baud"), std::string::npos);
}

TEST(CommState, FieldsTermiosCannotHoldAreKeptAndInvalidStatesRefused)
{
    PtyPair pty;
    Comm comm(pty.First());
    ASSERT_TRUE(comm.ok());
    DCB dcb;
    ASSERT_TRUE(GetCommState(comm.get(), &dcb));
    dcb.BaudRate = 4800;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fNull = 1;
    dcb.fAbortOnError = 1;
    dcb.XonLim = 100;
    dcb.XoffLim = 200;
    dcb.EofChar = 0x1A;
    dcb.EvtChar = 0x0D;
    dcb.ErrorChar = '?';
    ASSERT_TRUE(SetCommState(comm.get(), &dcb));
    DCB back;
    ASSERT_TRUE(GetCommState(comm.get(), &back));
    EXPECT_EQ(back.fDtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(back.fNull, 1u);
    EXPECT_EQ(back.fAbortOnError, 1u);
    EXPECT_EQ(back.XonLim, 100);
    EXPECT_EQ(back.XoffLim, 200);
    EXPECT_EQ(back.EofChar, 0x1A);
    EXPECT_EQ(back.EvtChar, 0x0D);
    EXPECT_EQ(back.ErrorChar, '?');

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

    DCB still;
    ASSERT_TRUE(GetCommState(comm.get(), &still));
    EXPECT_EQ(still.BaudRate, 4800u);
    EXPECT_EQ(still.ByteSize, 8);
}

TEST(CommRead, TimeOutsAndQueuedBytes)
{
    PtyPair pty;
    Comm comm(pty.First());
    PtyEnd peer(pty.Second());
    ASSERT_TRUE(comm.ok());
    ASSERT_TRUE(peer.IsOpen());
    char buffer[64];
    DWORD got = 99;

    // Nothing arrives: the read waits for the time-out and returns nothing.
    SetTimeouts(comm.get(), MAXDWORD, MAXDWORD, 300);
    auto start = Clock::now();
    ASSERT_TRUE(ReadCommFile(comm.get(), buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_GE(MillisecondsSince(start), 280);

    // Queued bytes come at once, up to the count asked for.
    ASSERT_TRUE(peer.Write("0123456789"));
    ASSERT_TRUE(WaitQueued(comm.get(), 10));
    ASSERT_TRUE(ReadCommFile(comm.get(), buffer, 4, &got, nullptr));
    ASSERT_EQ(got, 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    ASSERT_TRUE(ReadCommFile(comm.get(), buffer, sizeof buffer, &got, nullptr));
    ASSERT_EQ(got, 6u);
    EXPECT_EQ(std::string(buffer, 6), "456789");

    // A byte that comes while the read waits ends the wait.
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        peer.Write("x");
    });
    SetTimeouts(comm.get(), MAXDWORD, MAXDWORD, 20000);
    ASSERT_TRUE(ReadCommFile(comm.get(), buffer, sizeof buffer, &got, nullptr));
    later.join();
    EXPECT_EQ(got, 1u);

    // Interval MAXDWORD with nothing else: never waits.
    SetTimeouts(comm.get(), MAXDWORD, 0, 0);
    ASSERT_TRUE(ReadCommFile(comm.get(), buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 0u);

    // A total time-out: the read collects what comes until it ends.
    SetTimeouts(comm.get(), 0, 0, 400);
    ASSERT_TRUE(peer.Write("ab"));
    start = Clock::now();
    ASSERT_TRUE(ReadCommFile(comm.get(), buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "ab");
    EXPECT_GE(MillisecondsSince(start), 380);

    // No time-outs at all: the read waits for every byte asked for.
    SetTimeouts(comm.get(), 0, 0, 0);
    std::thread writer([&] {
        for (char c : std::string("wxyz")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            peer.Write(std::string(1, c));
        }
    });
    ASSERT_TRUE(ReadCommFile(comm.get(), buffer, 4, &got, nullptr));
    writer.join();
    EXPECT_EQ(std::string(buffer, got), "wxyz");

    // Zero bytes asked: nothing read, nothing waited for.
    ASSERT_TRUE(ReadCommFile(comm.get(), buffer, 0, &got, nullptr));
    EXPECT_EQ(got, 0u);
}

TEST(CommReadWrite, LargeTransfersArriveWholeAndInOrderBothWays)
{
    PtyPair pty;
    Comm comm(pty.First());
    PtyEnd peer(pty.Second());
    ASSERT_TRUE(comm.ok());
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
    while (back.size() < data.size()) {
        DWORD got = 0;
        ASSERT_TRUE(ReadCommFile(comm.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr));
        if (got == 0)
            break;
        back.append(buffer.data(), got);
    }
    sender.join();
    EXPECT_TRUE(back == data) << back.size() << " bytes came";
}

TEST(CommRead, AVanishedDeviceFailsAfterTheQueuedBytes)
{
    PtyPair pty;
    Comm comm(pty.First());
    ASSERT_TRUE(comm.ok());
    {
        PtyEnd peer(pty.Second());
        ASSERT_TRUE(peer.Write("last"));
        ASSERT_TRUE(WaitQueued(comm.get(), 4));
    }
    pty.Stop();
    SetTimeouts(comm.get(), MAXDWORD, MAXDWORD, 250);
    char buffer[16];
    DWORD got = 0;
    // What was queued may still be read ...
    if (ReadCommFile(comm.get(), buffer, sizeof buffer, &got, nullptr)) {
        EXPECT_EQ(std::string(buffer, got), "last");
    }
    // ... then every read fails at once instead of timing out empty.
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        EXPECT_FALSE(ReadCommFile(comm.get(), buffer, sizeof buffer, &got, nullptr));
        EXPECT_EQ(got, 0u);
        EXPECT_NE(GetLastError(), ERROR_SUCCESS);
        EXPECT_LT(MillisecondsSince(start), 200);
    }
    DWORD written = 0;
    EXPECT_FALSE(WriteCommFile(comm.get(), "x", 1, &written, nullptr));
}

TEST(CommRead, ClosingTheHandleEndsAReadOnAnotherThread)
{
    PtyPair pty;
    PtyEnd peer(pty.Second());
    HANDLE h = CreateCommFile(pty.First().c_str(), GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
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

TEST(CommReadWrite, OverlappedOperationsCompleteThroughTheRecord)
{
    PtyPair pty;
    Comm comm(pty.First(), FILE_FLAG_OVERLAPPED);
    PtyEnd peer(pty.Second());
    ASSERT_TRUE(comm.ok());
    OVERLAPPED ov;
    ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(ov.hEvent, nullptr);

    DWORD count = 0;
    const BOOL started = WriteCommFile(comm.get(), "hello", 5, &count, &ov);
    ASSERT_TRUE(started || GetLastError() == ERROR_IO_PENDING);
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 20000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetCommOverlappedResult(comm.get(), &ov, &count, TRUE));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(peer.Read(5), "hello");

    SetTimeouts(comm.get(), MAXDWORD, MAXDWORD, 20000);
    ASSERT_TRUE(peer.Write("abc"));
    char buffer[8];
    const BOOL readStarted = ReadCommFile(comm.get(), buffer, sizeof buffer, &count, &ov);
    ASSERT_TRUE(readStarted || GetLastError() == ERROR_IO_PENDING);
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 20000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetCommOverlappedResult(comm.get(), &ov, &count, TRUE));
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
