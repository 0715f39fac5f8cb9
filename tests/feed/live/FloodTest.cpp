// A flood of updates: 10,000 a second for 10 seconds, and afterwards every
// line in the cache equals the server's.
#include "FieldCompare.h"
#include "RecordingController.h"
#include "ZphdServer.h"
#include "protocol/FieldIds.h"
#include "zph/NumberText.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace ZPH;

using namespace ZPHWire;
using namespace feedtest;
using namespace std::chrono_literals;

namespace {

class Counter : public KeyClient, public MsgClient {
public:
    void OnKeyUpdate(unsigned) override { ++calls; }
    void OnMessage(ZPHMessage* msg, unsigned) override
    {
        if (msg->m_type == MSG_DATA)
            ++updates;
    }
    std::atomic<long> calls{0};
    std::atomic<long> updates{0};
};

} // namespace

TEST(Flood, TenThousandUpdatesASecondLoseNoFinalState)
{
    ZphdServer server;
    RecordingController controller;
    controller.user = "desk";
    Counter counter;
    controller.Register(static_cast<KeyClient*>(&counter));
    controller.Register(static_cast<MsgClient*>(&counter), true);
    controller.Dial(SocketTo(server.SocketPort(), 0));
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    // The pages are those with a title.
    ASSERT_TRUE(controller.WaitFor([&] { return !controller.titles.empty(); }));
    std::this_thread::sleep_for(500ms);
    std::vector<int> pages;
    for (int page = 1; page <= MAX_PAGE; ++page)
        if (controller.GetLineCache().GetPage(page))
            pages.push_back(page);
    ASSERT_FALSE(pages.empty());
    for (int page : pages)
        controller.GetSource()->RequestPage(page);
    ASSERT_TRUE(controller.WaitFor([&] { return controller.GetLineCache().GetLineCount() > 0; }));

    server.Ok("rate 10000");
    std::this_thread::sleep_for(10s);
    server.Ok("rate 0");
    // Quiet: no update for a second.
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    long last = -1;
    while (counter.updates.load() != last && std::chrono::steady_clock::now() < deadline) {
        last = counter.updates.load();
        std::this_thread::sleep_for(1s);
    }
    ASSERT_EQ(counter.updates.load(), last) << "the feed never went quiet";
    // At least a second's worth arrived: the flood happened (how fast is the
    // benchmark's business).
    EXPECT_GT(counter.updates.load(), 10000) << "the flood reached the client";
    EXPECT_EQ(controller.GetSource()->GetMetrics().GetBadPackets(), 0);
    EXPECT_EQ(controller.GetSource()->GetFeedState(), FEED_LIVE);

    int compared = 0;
    for (int page : pages) {
        for (int line = 1; line <= MAX_LINE; ++line) {
            const auto theirs = server.Line(page, line);
            LineRef cached = controller.GetLineCache().GetForRead(CreateZPHKey(page, line));
            if (theirs.empty()) {
                EXPECT_FALSE(cached) << page << "/" << line << " is no line on the server";
                continue;
            }
            ASSERT_TRUE(cached) << page << "/" << line;
            for (const auto& [id, text] : theirs) {
                std::string ours;
                if (!cached->GetFieldText(id, ours))
                    continue;
                EXPECT_TRUE(SameFieldText(id, ours, text)) << page << "/" << line << " field " << id << ": ours \""
                                                       << ours << "\", the server's \"" << text << "\"";
            }
            // Fields the server does not list are absent here too (the line
            // number is the key's, not a field the server lists).
            for (int id = 1; id < 300; ++id) {
                std::string ours;
                if (theirs.count(id) || id == F_KIND || id == F_LINE || !cached->GetFieldText(id, ours))
                    continue;
                EXPECT_TRUE(AbsentText(ours)) << page << "/" << line << " field " << id << " = \"" << ours << "\"";
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 50);
    controller.Unregister(static_cast<KeyClient*>(&counter));
    controller.Unregister(static_cast<MsgClient*>(&counter), true);
}
