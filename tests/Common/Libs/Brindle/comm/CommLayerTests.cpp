// The layer chain: up-calls and down-calls through default layers, reports
// of broken links, list sources, unlinking on destruction; and the owned
// byte buffer the transports lend to the system.
#include "Brindle/comm/CommBuffer.h"
#include "Brindle/comm/CommLayer.h"

#include "CommLogCapture.h"
#include "CommTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Brindle;
using commtest::CommLogCapture;
using commtest::Stack;

namespace {

// The top of a chain: writes down what reaches it.
class Recorder : public CCommLayer {
public:
    void OnOpen(void* source) override { events.push_back("open " + Name(source)); }
    void OnClose(void* source) override { events.push_back("close " + Name(source)); }
    void OnData(void* source, const std::string& data) override
    {
        events.push_back("data " + Name(source) + " " + data);
        if (throwOnData)
            throw std::runtime_error("upper layer fault");
    }
    void OnError(void* source, unsigned long error, const std::string& text) override
    {
        events.push_back("error " + Name(source) + " " + std::to_string(error) + " " + text);
    }
    using CCommLayer::CallDownData;

    static std::string Name(void* source)
    {
        std::ostringstream out;
        out << source;
        return out.str();
    }

    std::vector<std::string> events;
    bool throwOnData = false;
};

// The bottom of a chain: raises up-calls with its own source and keeps
// what is sent to it. With members it stands for a listener: its own
// source is a list of the members' sources.
class Bottom : public CCommLayer {
public:
    bool SendData(void* source, const std::string& data) override
    {
        if (source != GetSource())
            return CCommLayer::SendData(source, data);
        sent.push_back(data);
        return true;
    }
    bool IsList(void* source) override { return !members.empty() && source == GetSource(); }
    bool GetSourceList(void* source, std::list<void*>& sources) override
    {
        if (!IsList(source))
            return false;
        for (Bottom* member : members)
            sources.push_back(member->GetSource());
        return true;
    }
    // Members are reached by their own source through the same up layer.
    CCommLayer* GetDownLayer(void* source) override
    {
        for (Bottom* member : members)
            if (member->GetSource() == source)
                return member;
        return CCommLayer::GetDownLayer(source);
    }
    void Open() { CallUpOpen(GetSource()); }
    void Close() { CallUpClose(GetSource()); }
    void Data(const std::string& data) { CallUpData(GetSource(), data); }
    void Error(unsigned long code, const std::string& text) { CallUpError(GetSource(), code, text); }
    using CCommLayer::DownLink;
    using CCommLayer::UpLink;

    std::vector<std::string> sent;
    std::vector<Bottom*> members;
};

TEST(CommLayerChain, UpCallsPassThroughDefaultLayersWithTheBottomSource)
{
    Bottom bottom;
    CCommLayer middle;
    Recorder top;
    Stack(bottom, middle, top);
    const std::string src = Recorder::Name(&bottom);

    bottom.Open();
    bottom.Data(std::string("a\0b", 3));
    bottom.Error(104, "reset");
    bottom.Close();

    EXPECT_EQ(top.events, (std::vector<std::string>{"open " + src, "data " + src + " " + std::string("a\0b", 3),
                                                     "error " + src + " 104 reset", "close " + src}));
    EXPECT_TRUE(top.CallDownData(&bottom, "down"));
    EXPECT_EQ(bottom.sent, std::vector<std::string>{"down"});
}

TEST(CommLayerChain, MissingLinksAreReportedAndDropped)
{
    CommLogCapture log;
    Bottom bottom;
    const std::string src = Recorder::Name(&bottom);
    bottom.Open();
    bottom.Close();
    bottom.Data("payload");
    bottom.Error(5, "broken");
    Recorder top;
    EXPECT_FALSE(top.CallDownData(&bottom, "x"));

    const std::vector<std::string> expected{"Cannot call up open", "Cannot call up close",
                                            "Cannot call up data, source = " + src + " buffer = payload",
                                            "Cannot call up error, source = " + src + " buffer = broken",
                                            "Cannot call down data"};
    auto records = log.Take();
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(records[i].text, expected[i]);
        EXPECT_EQ(records[i].severity, -1);
        EXPECT_EQ(records[i].source, "CCommLayer");
    }
}

TEST(CommLayerChain, AFaultAboveDoesNotUnwindIntoTheTransport)
{
    Bottom bottom;
    Recorder top;
    top.throwOnData = true;
    bottom.SetChain(&top);
    EXPECT_NO_THROW(bottom.Data("one"));
    EXPECT_NO_THROW(bottom.Data("two"));
    EXPECT_EQ(top.events.size(), 2u);
}

TEST(CommLayerChain, SendToAListSourceReachesEveryMemberInOrder)
{
    Bottom listener, a, b, c;
    listener.members = {&a, &b, &c};
    CCommLayer middle;
    Recorder top;
    Stack(listener, middle, top);

    EXPECT_TRUE(top.CallDownData(&listener, "hello"));
    for (Bottom* member : listener.members)
        EXPECT_EQ(member->sent, std::vector<std::string>{"hello"});
    EXPECT_TRUE(listener.sent.empty());

    // With no members the listener's own source is no list: it sends itself.
    listener.members.clear();
    EXPECT_TRUE(top.CallDownData(&listener, "solo"));
    EXPECT_EQ(listener.sent, std::vector<std::string>{"solo"});
}

TEST(CommLayerChain, DestructionUnlinksBothNeighbours)
{
    CommLogCapture log;
    Bottom bottom;
    Recorder top;
    {
        CCommLayer middle;
        Stack(bottom, middle, top);
        ASSERT_EQ(bottom.UpLink(), &middle);
    }
    EXPECT_EQ(bottom.UpLink(), nullptr);
    bottom.Data("lost");
    EXPECT_FALSE(top.CallDownData(&bottom, "x"));
    EXPECT_EQ(log.Matching("Cannot call up data").size(), 1u);
    EXPECT_EQ(log.Matching("Cannot call down data").size(), 1u);
    EXPECT_TRUE(top.events.empty());
    // A destroyed bottom leaves the upper layer without a down link.
    auto gone = std::make_unique<Bottom>();
    gone->SetChain(&top);
    gone.reset();
    EXPECT_FALSE(top.CallDownData(nullptr, "x"));
    EXPECT_EQ(log.Matching("Cannot call down data").size(), 2u);
}

TEST(CommLayerChain, RelinkingTellsTheOldUpperLayerToForget)
{
    Bottom bottom;
    Recorder first, second;
    bottom.SetChain(&first);
    bottom.SetChain(&second);
    EXPECT_FALSE(first.CallDownData(&bottom, "x"));
    EXPECT_TRUE(second.CallDownData(&bottom, "y"));
    EXPECT_EQ(bottom.sent, std::vector<std::string>{"y"});
    // A newer down link is kept when an older one goes away.
    Bottom other;
    other.SetChain(&second);
    bottom.SetChain(nullptr);
    EXPECT_TRUE(second.CallDownData(&other, "z"));
    EXPECT_EQ(other.sent, std::vector<std::string>{"z"});
}

TEST(CommBuffer, AssignCopiesBytesAndTakesTextLengthForCountZero)
{
    struct Case {
        const char* bytes;
        unsigned count;
        std::string expected;
    };
    const Case cases[] = {
        {"abc\0def", 7, std::string("abc\0def", 7)},
        {"abc\0def", 0, "abc"},
        {"", 0, ""},
        {nullptr, 0, ""},
    };
    for (const Case& c : cases) {
        CCommBuffer buffer(16);
        buffer.Assign(c.bytes, c.count);
        ASSERT_EQ(buffer.GetCapacity(), c.expected.size());
        EXPECT_EQ(buffer.GetBuffer() == nullptr, c.expected.empty());
        if (!c.expected.empty()) {
            EXPECT_EQ(std::string(buffer.GetBuffer(), buffer.GetCapacity()), c.expected);
        }
    }
}

TEST(CommBuffer, AllocateReplacesAndOwnershipMoves)
{
    CCommBuffer buffer(std::string("first"));
    buffer.Assign(buffer.GetBuffer() + 1, 3); // a part of itself
    EXPECT_EQ(std::string(buffer.GetBuffer(), 3), "irs");
    buffer.Allocate(262144);
    EXPECT_EQ(buffer.GetCapacity(), 262144u);
    CCommBuffer moved(std::move(buffer));
    EXPECT_EQ(moved.GetCapacity(), 262144u);
    EXPECT_EQ(buffer.GetCapacity(), 0u);
    EXPECT_EQ(buffer.GetBuffer(), nullptr);
    moved.Allocate(0);
    EXPECT_EQ(moved.GetBuffer(), nullptr);
    moved.Assign(std::string());
    EXPECT_EQ(moved.GetCapacity(), 0u);
}

} // namespace
