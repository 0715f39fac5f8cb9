// CSerialInput: the reader thread over socat pseudo-terminal pairs.
#include "Brindle/base/SerialInput.h"

#include "PtyPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Brindle;
using testsupport::PtyEnd;
using testsupport::PtyPair;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(30);

// Records every event; tests wait on it.
class RecordingSink : public CDatasink {
public:
    struct Event {
        std::string kind;
        void* source;
    };

    void OnData(const char* data, int length, void* source) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_throwOnData) {
            m_throwOnData = false;
            m_events.push_back({"data-throw", source});
            m_changed.notify_all();
            throw std::runtime_error("sink failed");
        }
        m_data.append(data, static_cast<std::size_t>(length));
        m_dataSources.push_back(source);
        m_changed.notify_all();
    }
    void OnOpen(void* source) override { Add("open", source); }
    void OnClose(void* source) override { Add("close", source); }

    void ThrowOnNextData()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_throwOnData = true;
    }

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

    std::vector<Event> Events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::string Data()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_data;
    }
    std::vector<void*> DataSources()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_dataSources;
    }

private:
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
    bool m_throwOnData = false;
};

CSerialSettings SettingsFor(const std::string& path)
{
    return CSerialSettings(path.c_str(), CSerialSettings::PARITY_NONE, CSerialSettings::BAUD_115200,
                           CSerialSettings::BYTESIZE_8, CSerialSettings::STOPBITS_1);
}

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

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

} // namespace

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
