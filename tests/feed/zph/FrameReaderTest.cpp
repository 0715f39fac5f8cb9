#include "protocol/FrameReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using ZPHWire::FrameReader;
using Strings = std::vector<std::string>;

namespace {

// What the reader gives until it needs more: each frame, or the reason of
// each bad stretch; `kinds` gets 'F' or 'B' for each.
Strings Drain(FrameReader& reader, std::string* kinds = nullptr)
{
    Strings events;
    for (;;) {
        std::string_view frame;
        const char* reason = nullptr;
        const auto result = reader.Next(frame, reason);
        if (result == FrameReader::NEED_MORE)
            return events;
        if (kinds != nullptr)
            *kinds += result == FrameReader::FRAME ? 'F' : 'B';
        events.push_back(result == FrameReader::FRAME ? std::string(frame) : std::string(reason));
    }
}

std::string Frame(const std::string& body) { return "\x01" + body + "\x03"; }

} // namespace

TEST(FrameReader, CutsFramesWhateverTheChunking)
{
    const std::string stream = Frame("one") + Frame("two") + Frame("three");
    for (std::size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        FrameReader reader;
        Strings frames;
        std::string kinds;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            reader.Append(stream.substr(at, chunk));
            for (const auto& frame : Drain(reader, &kinds))
                frames.push_back(frame);
        }
        EXPECT_EQ(kinds, "FFF") << "chunk " << chunk;
        EXPECT_EQ(frames, (Strings{Frame("one"), Frame("two"), Frame("three")})) << chunk;
        EXPECT_EQ(reader.Buffered(), 0u);
    }
}

TEST(FrameReader, JunkAndCutMessagesAreReportedOnceAndTheStreamRecoversAsAfterAReset)
{
    FrameReader reader;
    reader.Append("garbage" + Frame("a") + "\x01half" + Frame("b") + "xx");
    std::string kinds;
    auto events = Drain(reader, &kinds);
    EXPECT_EQ(kinds, "BFBFB") << "trailing junk is bad too";
    ASSERT_EQ(events.size(), 5u);
    events.pop_back();
    EXPECT_EQ(events, (Strings{"bytes outside a message", Frame("a"), "message cut short", Frame("b")}));
    EXPECT_EQ(reader.Buffered(), 0u);
    reader.Append(Frame("c"));
    EXPECT_EQ(Drain(reader), Strings{Frame("c")});
    // A reset forgets a partial message.
    reader.Append("\x01partial");
    EXPECT_TRUE(Drain(reader).empty());
    reader.Reset();
    reader.Append(Frame("whole"));
    EXPECT_EQ(Drain(reader), Strings{Frame("whole")});
}

TEST(FrameReader, OverlongMessageIsDroppedWithinTheBoundAndReadingGoesOn)
{
    const std::size_t max = 64;
    FrameReader reader(max);
    // Exactly the maximum passes.
    const std::string exact = Frame(std::string(max - 2, 'x'));
    reader.Append(exact);
    EXPECT_EQ(Drain(reader), Strings{exact});

    // One byte more is one bad packet, however long it goes on.
    reader.Append("\x01");
    std::string kinds;
    for (int i = 0; i < 1000; ++i) {
        reader.Append(std::string(50, 'y'));
        for (const auto& reason : Drain(reader, &kinds))
            EXPECT_EQ(reason, "message too long");
        ASSERT_LE(reader.Buffered(), max + 50);
    }
    EXPECT_EQ(kinds, "B");
    reader.Append("\x03" + Frame("next"));
    EXPECT_EQ(Drain(reader), Strings{Frame("next")});
}
