// CSerialPort over socat pseudo-terminal pairs.
#include "Brindle/base/SerialPort.h"

#include "Platform/Serial.h"
#include "Platform/WinError.h"

#include "PtyPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

using namespace Brindle;
using testsupport::CommandOutput;
using testsupport::PtyEnd;
using testsupport::PtyPair;

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

CSerialSettings SettingsFor(const std::string& path, int timeout = 250)
{
    CSerialSettings settings(path.c_str(), CSerialSettings::PARITY_NONE, CSerialSettings::BAUD_115200,
                             CSerialSettings::BYTESIZE_8, CSerialSettings::STOPBITS_1);
    settings.SetTimeout(timeout);
    return settings;
}

bool WaitQueued(const CSerialPort& port, DWORD count)
{
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        COMSTAT stat;
        if (ClearCommError(port.GetHandle(), nullptr, &stat) && stat.cbInQue >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Reads until `count` bytes have come (or 20 s have passed).
std::string ReadAll(CSerialPort& port, std::size_t count)
{
    std::string out;
    char buffer[4096];
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (out.size() < count && Clock::now() < deadline) {
        const int n = port.Read(buffer, sizeof buffer);
        if (n < 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

} // namespace

TEST(CSerialPort, OpensExclusivelyAndCountsEveryOpen)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Running());
    CSerialPort port(SettingsFor(pty.First()));
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(port.GetHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(port.GetOpens(), 0);

    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.IsConnected());
    const HANDLE handle = port.GetHandle();
    // Opening an open port keeps what it has.
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.GetHandle(), handle);
    EXPECT_EQ(port.GetOpens(), 2);

    CSerialPort rival(SettingsFor(pty.First()));
    EXPECT_FALSE(rival.Open());
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(rival.IsConnected());
    EXPECT_EQ(rival.GetOpens(), 1);

    port.Close();
    EXPECT_FALSE(port.IsConnected());
    port.Close(); // closing a closed port is harmless
    EXPECT_TRUE(rival.Open());
}

TEST(CSerialPort, AMissingDeviceIsRefusedAndReadsAndWritesFail)
{
    CSerialPort port(SettingsFor("/nonexistent/serial-device"));
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(port.GetOpens(), 1);
    char buffer[8];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), -1);
    EXPECT_EQ(port.Write("x", 1), -1);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    // The port name keeps its first 19 characters.
    CSerialSettings longName;
    longName.SetPort("/dev/a-very-long-device-name");
    CSerialPort cut(longName);
    EXPECT_FALSE(cut.Open());
}

TEST(CSerialPort, ReadTimesOutEmptyAndGivesQueuedBytesUpToTheMaximum)
{
    PtyPair pty;
    PtyEnd peer(pty.Second());
    CSerialPort port(SettingsFor(pty.First(), 300));
    ASSERT_TRUE(port.Open());
    char buffer[64];

    const auto start = Clock::now();
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
    EXPECT_GE(MillisecondsSince(start), 280);

    ASSERT_TRUE(peer.Write("0123456789"));
    ASSERT_TRUE(WaitQueued(port, 10));
    // A zero-length read reads nothing and leaves the bytes queued.
    EXPECT_EQ(port.Read(buffer, 0), 0);
    EXPECT_EQ(port.Read(buffer, -5), 0);
    EXPECT_EQ(port.Read(nullptr, 10), 0);
    ASSERT_EQ(port.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_GE(port.GetMaxQueued(), 10);
    EXPECT_EQ(ReadAll(port, 6), "456789");
}

TEST(CSerialPort, WritesReachThePeerAndReadsGetThePeersBytesInOrder)
{
    PtyPair pty;
    PtyEnd peer(pty.Second());
    CSerialPort port(SettingsFor(pty.First()));
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.Write("ATDT123\r", 8), 8);
    EXPECT_EQ(port.Write("", 0), 0);
    EXPECT_EQ(peer.Read(8), "ATDT123\r");

    std::string data;
    for (int i = 0; i < 100000; ++i)
        data += static_cast<char>(i % 251);
    std::thread sender([&] { peer.Write(data); });
    const std::string got = ReadAll(port, data.size());
    sender.join();
    EXPECT_TRUE(got == data) << got.size() << " of " << data.size() << " bytes";
}

TEST(CSerialPort, OpenAppliesTheSettingsToTheLine)
{
    PtyPair pty;
    CSerialSettings settings(pty.First().c_str(), CSerialSettings::PARITY_ODD, CSerialSettings::BAUD_19200,
                             CSerialSettings::BYTESIZE_7, CSerialSettings::STOPBITS_2);
    CSerialPort port(settings);
    ASSERT_TRUE(port.Open());
    const std::string stty = CommandOutput("stty -F " + pty.First() + " -a");
    EXPECT_NE(stty.find("speed 19200 baud"), std::string::npos) << stty;
    EXPECT_NE(stty.find(" parodd"), std::string::npos) << stty;
    EXPECT_NE(stty.find(" cstopb"), std::string::npos) << stty;
    EXPECT_NE(stty.find("-icanon"), std::string::npos) << stty;
    port.Close();

    // The rate without a B-constant.
    settings.SetBaud(14400);
    CSerialPort odd(settings);
    ASSERT_TRUE(odd.Open());
    DCB dcb;
    ASSERT_TRUE(GetCommState(odd.GetHandle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 14400u);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.Parity, NOPARITY) << "a pseudo-terminal has no parity";
    COMMTIMEOUTS timeouts;
    ASSERT_TRUE(GetCommTimeouts(odd.GetHandle(), &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 250u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 0u);
}

TEST(CSerialPort, AVanishedDeviceFailsReadsAndTheLineCanBeReopenedWhenItReturns)
{
    PtyPair pty;
    CSerialPort port(SettingsFor(pty.First()));
    ASSERT_TRUE(port.Open());
    pty.Stop();
    char buffer[16];
    const auto start = Clock::now();
    EXPECT_EQ(port.Read(buffer, sizeof buffer), -1);
    EXPECT_LT(MillisecondsSince(start), 200) << "a dead line is not a quiet line";
    EXPECT_EQ(port.Write("x", 1), -1);
    EXPECT_TRUE(port.IsConnected()) << "the caller decides when to close";
    port.Close();
    EXPECT_FALSE(port.Open());

    ASSERT_TRUE(pty.Start());
    ASSERT_TRUE(port.Open());
    PtyEnd peer(pty.Second());
    ASSERT_TRUE(peer.Write("back"));
    EXPECT_EQ(ReadAll(port, 4), "back");
    EXPECT_EQ(port.GetOpens(), 3);
}

TEST(CSerialPort, HoldingTheMutexKeepsOtherThreadsOutBetweenOperations)
{
    PtyPair pty;
    PtyEnd peer(pty.Second());
    CSerialPort port(SettingsFor(pty.First()));
    ASSERT_TRUE(port.Open());
    std::thread other;
    {
        CSyncLock<CCritSec> hold(port.GetMutex());
        ASSERT_EQ(port.Write("ab", 2), 2);
        other = std::thread([&] { port.Write("cd", 2); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_EQ(port.Write("ef", 2), 2);
    }
    other.join();
    EXPECT_EQ(peer.Read(6), "abefcd");
}

TEST(CSerialPort, OverlappedModeReadsAndWritesThroughItsRecord)
{
    PtyPair pty;
    PtyEnd peer(pty.Second());
    CSerialPort port(SettingsFor(pty.First(), 300), GENERIC_READ | GENERIC_WRITE, true);
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.Write("hello", 5), 5);
    EXPECT_EQ(peer.Read(5), "hello");
    char buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
    ASSERT_TRUE(peer.Write("world"));
    EXPECT_EQ(ReadAll(port, 5), "world");
    port.Close();
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.Write("again", 5), 5);
    EXPECT_EQ(peer.Read(5), "again");
}
