// CFrameLink: posting from feed threads, coalescing of feed times and log
// lines, and the end of posting when the window goes.
#include "core/FrameLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace mavo;

namespace {

struct Recorder {
    std::mutex lock;
    std::vector<FrameMessage> messages;
    CFrameLink::Poster Poster()
    {
        return [this](FrameMessage&& m) {
            std::lock_guard guard(lock);
            messages.push_back(std::move(m));
        };
    }
    std::size_t Count(int id)
    {
        std::lock_guard guard(lock);
        const auto n = std::count_if(messages.begin(), messages.end(), [id](const FrameMessage& m) { return m.id == id; });
        return static_cast<std::size_t>(n);
    }
};

Timestamp Time(const char* text)
{
    Timestamp t;
    t.SetFeedTime(text);
    return t;
}

} // namespace

TEST(FrameLink, FeedTimesCoalesceUntilTaken)
{
    CFrameLink link;
    Recorder recorder;
    link.SetPoster(recorder.Poster());
    for (int i = 0; i < 100; ++i)
        link.OnTimestamp(Time(("10:00:" + std::to_string(i)).c_str()));
    EXPECT_EQ(recorder.Count(MSG_FEED_TIME), 1u);
    EXPECT_STREQ(link.GetTimestamp().GetFeedTime(), "10:00:99");

    link.FeedTimeTaken();
    link.OnTimestamp(Time("10:01:00"));
    EXPECT_EQ(recorder.Count(MSG_FEED_TIME), 2u);
}

TEST(FrameLink, ATimeWithoutWindowDoesNotBlockLaterOnes)
{
    CFrameLink link;
    link.OnTimestamp(Time("09:00:00"));
    Recorder recorder;
    link.SetPoster(recorder.Poster());
    link.OnTimestamp(Time("09:00:01"));
    EXPECT_EQ(recorder.Count(MSG_FEED_TIME), 1u);
}

TEST(FrameLink, LogLinesQueueBehindOneWakeUpAndOverflowIsTold)
{
    CFrameLink link;
    Recorder recorder;
    link.SetPoster(recorder.Poster());
    const std::size_t total = CFrameLink::kMaxPendingLogLines + 5;
    for (std::size_t i = 0; i < total; ++i)
        link.AddSourceLog("line " + std::to_string(i));
    EXPECT_EQ(recorder.Count(MSG_SOURCE_LOG), 1u);
    auto lines = link.TakeSourceLog();
    ASSERT_EQ(lines.size(), CFrameLink::kMaxPendingLogLines + 1);
    EXPECT_EQ(lines.front(), "5 log lines were dropped");
    EXPECT_EQ(lines[1], "line 5");
    EXPECT_EQ(lines.back(), "line " + std::to_string(total - 1));

    link.AddSourceLog("after");
    EXPECT_EQ(recorder.Count(MSG_SOURCE_LOG), 2u);
    EXPECT_EQ(link.TakeSourceLog(), std::vector<std::string>{"after"});
}

TEST(FrameLink, NoPostReachesARemovedPoster)
{
    CFrameLink link;
    std::atomic<int> delivered{0};
    std::atomic<bool> removed{false};
    std::atomic<int> lateDeliveries{0};
    link.SetPoster([&](FrameMessage&&) {
        ++delivered;
        if (removed)
            ++lateDeliveries;
    });
    std::atomic<bool> stop{false};
    std::thread feed([&] {
        while (!stop)
            link.Post(FrameMessage{MSG_FEED_NOTICE, 0, 1, std::nullopt});
    });
    while (delivered < 1000)
        std::this_thread::yield();
    link.SetPoster(nullptr);
    removed = true;
    const int before = delivered;
    for (int i = 0; i < 1000; ++i)
        std::this_thread::yield();
    stop = true;
    feed.join();
    EXPECT_EQ(delivered.load(), before);
    EXPECT_EQ(lateDeliveries.load(), 0);
    EXPECT_FALSE(link.Post(FrameMessage{MSG_FEED_NOTICE, 0, 1, std::nullopt}));
}

