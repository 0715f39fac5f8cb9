#include "protocol/FrameReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using ZPHWire::FrameReader;

namespace {

struct Event {
    FrameReader::Result result;
    std::string text;
};

std::vector<Event> Drain(FrameReader& reader)
{
    std::vector<Event> events;
    for (;;) {
        std::string_view frame;
        const char* reason = nullptr;
        const auto result = reader.Next(frame, reason);
        if (result == FrameReader::NEED_MORE)
            return events;
        events.push_back({result, result == FrameReader::FRAME ? std::string(frame) : std::string(reason)});
    }
}

std::string Frame(const std::string& body) { return "\x01" + body + "\x03"; }

} // namespace

TEST(FrameReader, CutsFramesWhateverTheChunking)
{
    const std::string stream = Frame("one") + Frame("two") + Frame("three");
    for (std::size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        FrameReader reader;
        std::vector<std::string> frames;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            reader.Append(stream.substr(at, chunk));
            for (const auto& event : Drain(reader)) {
                ASSERT_EQ(event.result, FrameReader::FRAME) << "chunk " << chunk;
                frames.push_back(event.text);
            }
        }
        EXPECT_EQ(frames, (std::vector<std::string>{Frame("one"), Frame("two"), Frame("three")})) << chunk;
        EXPECT_EQ(reader.Buffered(), 0u);
    }
}

TEST(FrameReader, JunkAndCutMessagesAreReportedOnceAndTheStreamRecovers)
{
    FrameReader reader;
    reader.Append("garbage" + Frame("a") + "\x01half" + Frame("b") + "xx");
    auto events = Drain(reader);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].result, FrameReader::BAD);
    EXPECT_EQ(events[0].text, "bytes outside a message");
    EXPECT_EQ(events[1].text, Frame("a"));
    EXPECT_EQ(events[2].result, FrameReader::BAD);
    EXPECT_EQ(events[2].text, "message cut short");
    EXPECT_EQ(events[3].text, Frame("b"));
    EXPECT_EQ(events[4].result, FrameReader::BAD) << "trailing junk";
    EXPECT_EQ(reader.Buffered(), 0u);
    reader.Append(Frame("c"));
    events = Drain(reader);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text, Frame("c"));
}

TEST(FrameReader, OverlongMessageIsDroppedWithinTheBoundAndReadingGoesOn)
{
    const std::size_t max = 64;
    FrameReader reader(max);
    // Exactly the maximum passes.
    const std::string exact = Frame(std::string(max - 2, 'x'));
    reader.Append(exact);
    auto events = Drain(reader);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text, exact);

    // One byte more is one bad packet, however long it goes on.
    reader.Append("\x01");
    std::size_t bad = 0;
    for (int i = 0; i < 1000; ++i) {
        reader.Append(std::string(50, 'y'));
        for (const auto& event : Drain(reader)) {
            EXPECT_EQ(event.result, FrameReader::BAD);
            EXPECT_EQ(event.text, "message too long");
            ++bad;
        }
        ASSERT_LE(reader.Buffered(), max + 50);
    }
    reader.Append("\x03" + Frame("next"));
    events = Drain(reader);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text, Frame("next"));
    EXPECT_EQ(bad, 1u);
}

TEST(FrameReader, ResetForgetsAPartialMessage)
{
    FrameReader reader;
    reader.Append("\x01partial");
    EXPECT_TRUE(Drain(reader).empty());
    reader.Reset();
    reader.Append(Frame("whole"));
    auto events = Drain(reader);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text, Frame("whole"));
}
