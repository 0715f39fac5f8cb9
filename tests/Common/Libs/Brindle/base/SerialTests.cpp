// The serial line: CSerialSettings (defaults, validating setters, texts, DCB
// and registry form), CSerialPort and the CSerialInput reader thread over
// socat pseudo-terminal pairs.
#include "Brindle/base/RegSection.h"
#include "Brindle/base/SerialInput.h"
#include "Brindle/base/SerialPort.h"
#include "Brindle/base/SerialSettings.h"

#include "Platform/Serial.h"
#include "Platform/WinError.h"

#include "Eventually.h"
#include "PtyPair.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace Brindle;
using testsupport::CommandOutput;
using testsupport::PtyEnd;
using testsupport::PtyPair;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(30);

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

// The text form, then the fields it leaves out.
std::string Text(const CSerialSettings& s)
{
    std::ostringstream out;
    out << s << " | In: " << s.GetInputBufferSize() << " Out: " << s.GetOutputBufferSize()
        << " Timeout: " << s.GetTimeout() << " Dtr: " << s.GetDtrEnable();
    return out.str();
}

const char* const kDefaults =
    "Port: COM1 Baud: 9600 Parity: EVEN Size: 7 StopB: 1 | In: 4096 Out: 4096 Timeout: 250 Dtr: 0";

TEST(CSerialSettings, SettersStoreOnlyValidValues)
{
    CSerialSettings s;
    s.SetBaud(14400);
    s.SetParity('O');
    s.SetByteSize(8);
    s.SetStopBits(2);
    s.SetInputBufferSize(1024);
    s.SetOutputBufferSize(65536);
    s.SetTimeout(0);
    s.SetDtrEnable(2);
    s.SetPort("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const std::string valid =
        "Port: ABCDEFGHIJKLMNOPQRS Baud: 14400 Parity: ODD Size: 8 StopB: 2 | In: 1024 Out: 65536 Timeout: 0 Dtr: 2";
    EXPECT_EQ(Text(s), valid);
    EXPECT_EQ(s.GetBaud(), 4);

    // None of these is valid: nothing changes.
    s.SetBaud(28800);
    s.SetBaud(0);
    s.SetBaud(static_cast<CSerialSettings::BAUDRATE>(12));
    s.SetBaud(static_cast<CSerialSettings::BAUDRATE>(-1));
    s.SetParity('o');
    s.SetParity('X');
    s.SetParity(static_cast<CSerialSettings::PARITY>(3));
    s.SetByteSize(9);
    s.SetByteSize(static_cast<CSerialSettings::BYTESIZE>(2));
    s.SetStopBits(3);
    s.SetStopBits(static_cast<CSerialSettings::STOPBITS>(5));
    s.SetInputBufferSize(1023);
    s.SetOutputBufferSize(65537);
    s.SetTimeout(-1);
    s.SetDtrEnable(3);
    s.SetDtrEnable(-1);
    s.SetPort(nullptr);
    EXPECT_EQ(Text(s), valid);

    s.SetBaud(110);
    s.SetParity('N');
    EXPECT_EQ(s.GetBaud(), CSerialSettings::BAUD_110);
    EXPECT_EQ(s.GetParity(), CSerialSettings::PARITY_NONE);
}

TEST(CSerialSettings, PutCommStateSetsTheLineFieldsOnly)
{
    CSerialSettings s("COM2", CSerialSettings::PARITY_ODD, CSerialSettings::BAUD_19200, CSerialSettings::BYTESIZE_8,
                      CSerialSettings::STOPBITS_2);
    s.SetDtrEnable(1);
    DCB dcb;
    dcb.fOutX = 1;
    dcb.XonLim = 77;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.EofChar = 0x1A;
    // Rate, byte size, parity, stop bits and DTR: what PutCommState writes.
    const auto lineFields = [&dcb] {
        return std::vector<unsigned>{dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits, dcb.fDtrControl};
    };
    s.PutCommState(dcb);
    EXPECT_EQ(lineFields(), (std::vector<unsigned>{19200, 8, ODDPARITY, TWOSTOPBITS, DTR_CONTROL_ENABLE}));
    EXPECT_EQ((std::vector<long>{dcb.fOutX, dcb.XonLim, dcb.fRtsControl, dcb.EofChar}),
              (std::vector<long>{1, 77, RTS_CONTROL_HANDSHAKE, 0x1A}));

    const CSerialSettings defaults;
    defaults.PutCommState(dcb);
    EXPECT_EQ(lineFields(), (std::vector<unsigned>{9600, 7, EVENPARITY, ONESTOPBIT, DTR_CONTROL_DISABLE}));
}

// A section in a registry store of the test's own.
struct Section {
    testsupport::ScopedRegistryDir dir;
    CRegSection section{HKEY_CURRENT_USER, "Software/Halvern/MAVO/Controller/Serial"};
};

TEST(CSerialSettingsRegistry, AnEmptySectionGivesTheDefaultsAndAWrittenOneReadsBackTheSame)
{
    Section s;
    ASSERT_TRUE(s.section.IsOpen());
    EXPECT_EQ(Text(CSerialSettings(s.section)), kDefaults);

    CSerialSettings custom("/dev/ttyUSB1", CSerialSettings::PARITY_ODD, CSerialSettings::BAUD_14400,
                           CSerialSettings::BYTESIZE_8, CSerialSettings::STOPBITS_2);
    custom.SetInputBufferSize(2048);
    custom.SetOutputBufferSize(65536);
    custom.SetTimeout(0);
    custom.SetDtrEnable(2);
    custom.WriteToRegistry(s.section);

    EXPECT_EQ(Text(CSerialSettings(s.section)),
              "Port: /dev/ttyUSB1 Baud: 14400 Parity: ODD Size: 8 StopB: 2 | In: 2048 Out: 65536 Timeout: 0 Dtr: 2");

    // The defaults written and read back are the defaults.
    Section other;
    CSerialSettings().WriteToRegistry(other.section);
    EXPECT_EQ(Text(CSerialSettings(other.section)), kDefaults);
}

TEST(CSerialSettingsRegistry, ValuesAreWrittenInOrderWithTheirTypes)
{
    Section s;
    CSerialSettings().WriteToRegistry(s.section);
    const std::vector<std::pair<std::string, DWORD>> expected = {
        {"Baud", REG_SZ},         {"ByteSize", REG_SZ},     {"Parity", REG_SZ},
        {"Port", REG_SZ},         {"StopBits", REG_SZ},     {"InputBuffer", REG_DWORD},
        {"OutputBuffer", REG_DWORD}, {"Timeout", REG_DWORD}, {"DtrEnabled", REG_DWORD},
    };
    std::vector<std::pair<std::string, DWORD>> found;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD nameChars = sizeof name;
        DWORD type = 0;
        if (RegEnumValueA(s.section, i, name, &nameChars, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        found.emplace_back(name, type);
    }
    EXPECT_EQ(found, expected);

    char text[80];
    s.section.GetStr("Parity", text, sizeof text, "");
    EXPECT_STREQ(text, "EVEN");
    s.section.GetStr("Baud", text, sizeof text, "");
    EXPECT_STREQ(text, "9600");
    int number = 0;
    s.section.GetInt("InputBuffer", number, 0);
    EXPECT_EQ(number, 4096);
}

TEST(CSerialSettingsRegistry, StoredValuesThatAreNotValidLeaveTheFieldAsItWas)
{
    Section s;
    s.section.SetStr("Baud", "9601");
    s.section.SetStr("ByteSize", "9");
    s.section.SetStr("Parity", "even"); // texts compare case-sensitively
    s.section.SetStr("StopBits", "1.5");
    s.section.SetStr("Port", "/dev/a-very-long-device-name");
    s.section.SetInt("InputBuffer", 512);
    s.section.SetInt("OutputBuffer", 65537);
    s.section.SetInt("Timeout", -5);
    s.section.SetInt("DtrEnabled", 7);

    CSerialSettings settings("COM3", CSerialSettings::PARITY_NONE, CSerialSettings::BAUD_300,
                             CSerialSettings::BYTESIZE_8, CSerialSettings::STOPBITS_2);
    settings.SetInputBufferSize(8192);
    settings.SetOutputBufferSize(1024);
    settings.SetTimeout(1000);
    settings.SetDtrEnable(1);
    settings.ReadFromRegistry(s.section);
    EXPECT_EQ(Text(settings), "Port: /dev/a-very-long-de Baud: 300 Parity: NONE Size: 8 StopB: 2"
                              " | In: 8192 Out: 1024 Timeout: 1000 Dtr: 1");

    // A value stored with another type is as good as a missing one: the
    // default applies.
    s.section.SetInt("Baud", 9600);
    s.section.SetStr("Timeout", "100");
    settings.ReadFromRegistry(s.section);
    EXPECT_EQ(settings.GetBaud(), CSerialSettings::BAUD_9600);
    EXPECT_EQ(settings.GetTimeout(), 250);
}

bool WaitQueued(const CSerialPort& port, DWORD count)
{
    return testsupport::Eventually([&] {
        COMSTAT stat;
        return ClearCommError(port.GetHandle(), nullptr, &stat) && stat.cbInQue >= count;
    }, std::chrono::seconds(20), std::chrono::milliseconds(5));
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

// A port's far end on a fresh pseudo-terminal pair.
struct CSerialPortLine : ::testing::Test {
    PtyPair pty;
    PtyEnd peer{pty.Second()};
};

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

TEST_F(CSerialPortLine, ReadTimesOutEmptyAndGivesQueuedBytesUpToTheMaximum)
{
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

TEST_F(CSerialPortLine, WritesReachThePeerAndReadsGetThePeersBytesInOrder)
{
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
    for (const char* flag : {"speed 19200 baud", " parodd", " cstopb", "-icanon"})
        EXPECT_NE(stty.find(flag), std::string::npos) << flag << " in " << stty;
    port.Close();

    // The rate without a B-constant.
    settings.SetBaud(14400);
    CSerialPort odd(settings);
    ASSERT_TRUE(odd.Open());
    DCB dcb;
    ASSERT_TRUE(GetCommState(odd.GetHandle(), &dcb));
    // (A pseudo-terminal has no parity.)
    EXPECT_EQ((std::vector<DWORD>{dcb.BaudRate, dcb.StopBits, dcb.Parity}),
              (std::vector<DWORD>{14400, TWOSTOPBITS, NOPARITY}));
    COMMTIMEOUTS t;
    ASSERT_TRUE(GetCommTimeouts(odd.GetHandle(), &t));
    EXPECT_EQ((std::vector<DWORD>{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                                  t.WriteTotalTimeoutConstant}),
              (std::vector<DWORD>{MAXDWORD, MAXDWORD, 250u, 0u}));
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

TEST_F(CSerialPortLine, HoldingTheMutexKeepsOtherThreadsOutBetweenOperations)
{
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

TEST_F(CSerialPortLine, OverlappedModeReadsAndWritesThroughItsRecord)
{
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

// Records every event; tests wait on it.
class RecordingSink : public CDatasink {
public:
    struct Event {
        std::string kind;
        void* source;
    };

    void OnData(const char* data, int length, void* source) override
    {
        if (m_throwOnData.exchange(false)) {
            Add("data-throw", source);
            throw std::runtime_error("sink failed");
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_data.append(data, static_cast<std::size_t>(length));
        m_dataSources.push_back(source);
        m_changed.notify_all();
    }
    void OnOpen(void* source) override { Add("open", source); }
    void OnClose(void* source) override { Add("close", source); }

    void ThrowOnNextData() { m_throwOnData = true; }

    // Waits until the predicate holds for the events and data so far.
    template <typename Pred>
    bool WaitFor(Pred pred)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kPatience, [&] { return pred(m_events, m_data); });
    }

    bool WaitForEvents(std::size_t count)
    {
        return WaitFor([count](const std::vector<Event>& e, const std::string&) { return e.size() >= count; });
    }

    std::vector<Event> Events() { return Copy(m_events); }
    std::string Data() { return Copy(m_data); }
    std::vector<void*> DataSources() { return Copy(m_dataSources); }

private:
    template <typename T>
    T Copy(const T& member)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return member;
    }
    void Add(const std::string& kind, void* source)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back({kind, source});
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
    std::string m_data;
    std::vector<void*> m_dataSources;
    std::atomic<bool> m_throwOnData{false};
};

// A reader on one end of a fresh pseudo-terminal pair.
class CSerialInputTest : public ::testing::Test {
protected:
    // Starts the reader and waits for its open event (the nth event so far).
    void StartAndWaitForOpen(std::size_t events = 1)
    {
        ASSERT_TRUE(input.StartThread(&sink));
        ASSERT_TRUE(sink.WaitForEvents(events));
        ASSERT_EQ(sink.Events()[events - 1].kind, "open");
    }
    bool WaitForData(std::size_t size)
    {
        return sink.WaitFor([size](const auto&, const std::string& data) { return data.size() >= size; });
    }

    PtyPair pty;
    RecordingSink sink;
    CSerialInput input{SettingsFor(pty.First())};
};

TEST_F(CSerialInputTest, OpensAfterASecondAndDeliversTheBytesInOrder)
{
    EXPECT_FALSE(input.IsConnected());
    ASSERT_NE(input.GetPort(), nullptr);

    const auto start = Clock::now();
    ASSERT_TRUE(input.StartThread(&sink));
    EXPECT_TRUE(input.StartThread(&sink)); // running already
    ASSERT_TRUE(sink.WaitForEvents(1));
    EXPECT_GE(MillisecondsSince(start), 900);
    const auto events = sink.Events();
    ASSERT_EQ(events[0].kind, "open");
    EXPECT_EQ(events[0].source, input.GetPort()->GetHandle());
    EXPECT_TRUE(input.IsConnected());

    PtyEnd peer(pty.Second());
    std::string sent;
    for (int i = 0; i < 300; ++i) {
        std::string piece = "<" + std::to_string(i) + ":" + std::string(static_cast<std::size_t>(i % 97), 'z') + ">";
        sent += piece;
        ASSERT_TRUE(peer.Write(piece));
    }
    ASSERT_TRUE(WaitForData(sent.size()));
    EXPECT_TRUE(sink.Data() == sent);
    for (void* source : sink.DataSources())
        EXPECT_EQ(source, events[0].source);

    // Another thread may write on the port while the reader reads.
    EXPECT_EQ(input.GetPort()->Write("ack", 3), 3);
    EXPECT_EQ(peer.Read(3), "ack");

    EXPECT_TRUE(input.StopThread());
    EXPECT_FALSE(input.IsConnected());
    EXPECT_TRUE(input.StopThread());
    EXPECT_EQ(sink.Events().size(), 1u) << "a stop is not reported";
}

TEST(CSerialInput, AMissingPortIsRetriedOnceASecondAndStopsPromptly)
{
    RecordingSink sink;
    CSerialInput input(SettingsFor("/nonexistent/tty"));
    ASSERT_TRUE(input.StartThread(&sink));
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    const int opens = input.GetPort()->GetOpens();
    EXPECT_GE(opens, 1);
    EXPECT_LE(opens, 4);
    const auto start = Clock::now();
    EXPECT_TRUE(input.StopThread());
    EXPECT_LT(MillisecondsSince(start), 5000);
    EXPECT_TRUE(sink.Events().empty());
}

TEST_F(CSerialInputTest, AVanishedLineIsClosedReportedAndReopenedWhenItReturns)
{
    StartAndWaitForOpen();
    void* const firstHandle = sink.Events()[0].source;

    pty.Stop();
    ASSERT_TRUE(sink.WaitForEvents(2));
    EXPECT_EQ(sink.Events()[1].kind, "close");
    EXPECT_EQ(sink.Events()[1].source, firstHandle) << "OnClose names the handle OnOpen gave";

    // While the line is gone the reader tries once a second, no faster.
    const int opensBefore = input.GetPort()->GetOpens();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_LE(input.GetPort()->GetOpens() - opensBefore, 4);
    EXPECT_EQ(sink.Events().size(), 2u);

    ASSERT_TRUE(pty.Start());
    ASSERT_TRUE(sink.WaitForEvents(3));
    EXPECT_EQ(sink.Events()[2].kind, "open");
    EXPECT_NE(sink.Events()[2].source, firstHandle);
    PtyEnd peer(pty.Second());
    ASSERT_TRUE(peer.Write("again"));
    ASSERT_TRUE(WaitForData(5));
    EXPECT_EQ(sink.Data(), "again");
    input.StopThread();
}

TEST_F(CSerialInputTest, ASinkThatThrowsEndsTheConnectionAndANewOneStarts)
{
    StartAndWaitForOpen();
    PtyEnd peer(pty.Second());
    sink.ThrowOnNextData();
    ASSERT_TRUE(peer.Write("boom"));
    // data-throw, close, then open again a second later.
    ASSERT_TRUE(sink.WaitForEvents(4));
    const auto events = sink.Events();
    EXPECT_EQ(events[1].kind, "data-throw");
    EXPECT_EQ(events[2].kind, "close");
    EXPECT_EQ(events[2].source, events[0].source);
    EXPECT_EQ(events[3].kind, "open");
    ASSERT_TRUE(peer.Write("fine"));
    ASSERT_TRUE(sink.WaitFor([](const auto&, const std::string& data) { return data.find("fine") != std::string::npos; }));
}

TEST_F(CSerialInputTest, CanBeStartedAgainAfterAStopAndDestructionStopsARunningReader)
{
    StartAndWaitForOpen();
    input.StopThread();
    StartAndWaitForOpen(2);
    PtyEnd peer(pty.Second());
    ASSERT_TRUE(peer.Write("second run"));
    ASSERT_TRUE(WaitForData(10));
    EXPECT_EQ(sink.Data(), "second run");
    input.StopThread();

    // A reader destroyed while it runs lets go of its port.
    {
        CSerialInput other(SettingsFor(pty.First()));
        ASSERT_TRUE(other.StartThread(&sink));
        ASSERT_TRUE(sink.WaitForEvents(3));
    }
    CSerialPort port(SettingsFor(pty.First()));
    EXPECT_TRUE(port.Open());
}

} // namespace
