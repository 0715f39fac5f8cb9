// The shared byte buffers: CBuffer and its send queue, and CTextBuffer.
#include "Brindle/base/Buffer.h"
#include "Brindle/base/Exception.h"
#include "Brindle/base/TextBuffer.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

using Brindle::CBuffer;
using Brindle::CSendBuffer;
using Brindle::CTextBuffer;

TEST(Buffer, HoldsACopyAndConsumesFromTheFront)
{
    const char data[] = "hello";
    CBuffer b(data, 5);
    EXPECT_EQ(b.Size(), 5u);
    EXPECT_EQ(std::string(b.Buffer(), b.Size()), "hello");
    EXPECT_NE(static_cast<const char*>(b), data);
    b += 2;
    EXPECT_EQ(b.Size(), 3u);
    EXPECT_EQ(std::string(b.Buffer(), b.Size()), "llo");
    // The conversions ignore the offset.
    EXPECT_EQ(static_cast<const char*>(b) + 2, b.Buffer());

    CBuffer filled(4, '*');
    EXPECT_EQ(std::string(filled.Buffer(), filled.Size()), "****");
    CBuffer empty;
    EXPECT_EQ(empty.Size(), 0u);
    EXPECT_STREQ(empty.Buffer(), "");
}

TEST(Buffer, OffsetNeverPassesTheSize)
{
    CBuffer b("abc", 3);
    b.Increment(2);
    b.Increment(5);
    EXPECT_EQ(b.Size(), 0u);
    EXPECT_EQ(b.Buffer(), static_cast<const char*>(b) + 3);
    b.Increment(0xFFFFFFFFu);
    EXPECT_EQ(b.Size(), 0u);
}

TEST(Buffer, TextThatFitsIsWrittenIntoTheSharedBlock)
{
    CBuffer a(10, 'x');
    CBuffer b(a);
    a = "hi";
    EXPECT_TRUE(a == b);
    EXPECT_STREQ(static_cast<const char*>(b), "hi");
    EXPECT_EQ(a.Size(), 10u);
    a.SetStrSize();
    EXPECT_EQ(a.Size(), 2u);

    // Too long: this holder gets a block of its own.
    a = "a longer text";
    EXPECT_FALSE(a == b);
    EXPECT_EQ(a.Size(), 14u);
    EXPECT_STREQ(static_cast<const char*>(a), "a longer text");
    EXPECT_STREQ(static_cast<const char*>(b), "hi");

    // Text and NUL must both fit: nine letters fit in ten bytes, ten do not.
    CBuffer c(10, 'x');
    CBuffer d(c);
    c = "123456789";
    EXPECT_TRUE(c == d);
    c = "1234567890";
    EXPECT_FALSE(c == d);
}

TEST(Buffer, TextReadsStayInsideABlockWithoutNul)
{
    CBuffer b("abcdef", 3); // three bytes, no NUL among them
    EXPECT_EQ(b.Strlen(), 3u);
    EXPECT_EQ(std::strlen(static_cast<const char*>(b)), 3u);
    CBuffer withNul("ab\0cd", 5);
    EXPECT_EQ(withNul.Strlen(), 2u);
    withNul += 4;
    withNul.SetStrSize();
    EXPECT_EQ(withNul.Size(), 0u); // offset pulled back to the new size
}

TEST(Buffer, CopiesOnTwoThreadsReleaseOnce)
{
    CBuffer shared("payload", 7);
    threadtest::OnThreads(2, [&shared](int) {
        for (int i = 0; i < 50000; ++i) {
            CBuffer copy(shared);
            CBuffer other("x", 1);
            other = copy;
        }
    });
    EXPECT_EQ(std::string(shared.Buffer(), shared.Size()), "payload");
}

// "queued/first-length first-block" of a send queue; the block is "<none>"
// when nothing is queued.
static std::string Queue(const CSendBuffer& q)
{
    const std::string first = q.GetData() == nullptr ? "<none>" : std::string(q.GetData(), q.GetDataLen());
    return std::to_string(q.GetBufferSize()) + "/" + std::to_string(q.GetDataLen()) + " " + first;
}

TEST(SendBuffer, RemovesInOrderWithinAndAcrossBuffers)
{
    CSendBuffer q;
    EXPECT_EQ(Queue(q), "0/0 <none>");
    q.PutData(CBuffer("hello", 5));
    q.PutData(CBuffer("abc", 3));
    EXPECT_EQ(Queue(q), "8/5 hello");
    // (bytes removed, queue after)
    for (const auto& [bytes, after] : {std::pair{2u, "6/3 llo"}, {3u, "3/3 abc"}, {3u, "0/0 <none>"}}) {
        q.RemoveBytes(bytes);
        EXPECT_EQ(Queue(q), after);
    }
    q.PutData(CBuffer("12345", 5));
    q.PutData(CBuffer("678", 3));
    for (const auto& [bytes, after] : {std::pair{6u, "2/2 78"}, {100u, "0/0 <none>"}, {1u, "0/0 <none>"}}) {
        q.RemoveBytes(bytes); // more than is queued takes it all; nothing queued, nothing happens
        EXPECT_EQ(Queue(q), after);
    }
}

TEST(SendBuffer, PartlyConsumedBufferIsQueuedFromWhereItStands)
{
    CBuffer b("abcdef", 6);
    b += 4;
    CSendBuffer q;
    q.PutData(b);
    EXPECT_EQ(Queue(q), "2/2 ef");
    q.RemoveBytes(2);
    EXPECT_EQ(Queue(q), "0/0 <none>");

    // A fully consumed (or empty) buffer has nothing to send.
    b += 2;
    q.PutData(b);
    q.PutData(CBuffer());
    EXPECT_EQ(Queue(q), "0/0 <none>");
}

namespace {

using threadtest::ExpectThrows;

// "size/length text": the storage, the unread length and the unread text.
std::string State(const CTextBuffer& b)
{
    return std::to_string(b.Size()) + "/" + std::to_string(b.Length()) + " " + b.GetBuffer();
}

} // namespace

TEST(TextBuffer, NullBufferReadsAsEmptyText)
{
    CTextBuffer b;
    EXPECT_TRUE(b.IsNull());
    EXPECT_EQ(State(b), "0/0 ");
    const char* asText = b;
    EXPECT_STREQ(asText, "");
    EXPECT_EQ(b.Strcmp(""), 0);
    EXPECT_EQ(b.Strcmp("a"), -1);
    EXPECT_EQ(b.Stricmp(nullptr), 0);
    EXPECT_EQ(b.Find('a'), -1);
    EXPECT_EQ(b.Find("a"), -1);
    EXPECT_EQ(static_cast<char*>(b), nullptr);
    b = static_cast<const char*>(nullptr); // nothing to clear: stays null
    EXPECT_TRUE(b.IsNull());
}

TEST(TextBuffer, ReadPositionStaysWithinTheText)
{
    CTextBuffer b;
    b = "abc";
    b.Increment(10);
    EXPECT_EQ(State(b), "4/0 ");
    b.Increment(-20);
    EXPECT_EQ(State(b), "4/3 abc");

    // Shortening the text pulls the position back with it.
    b.Increment(3);
    b.Clear('\0');
    b.ResetLength();
    EXPECT_EQ(State(b), "4/0 ");
}

TEST(TextBuffer, CopiesShareUntilOneChanges)
{
    CTextBuffer a;
    a = "hello";
    CTextBuffer b(a);
    EXPECT_TRUE(a == b);
    b += " world";
    EXPECT_FALSE(a == b);
    EXPECT_STREQ(a.GetBuffer(), "hello");
    EXPECT_STREQ(b.GetBuffer(), "hello world");

    CTextBuffer c;
    c = a;
    c = "bye";
    EXPECT_STREQ(a.GetBuffer(), "hello");
    EXPECT_STREQ(c.GetBuffer(), "bye");

    // Self-assignment and assignment of a holder of the same storage change nothing.
    CTextBuffer d(a);
    d = a;
    CTextBuffer& self = d;
    d = self;
    EXPECT_TRUE(d == a);
    EXPECT_STREQ(d.GetBuffer(), "hello");
}

TEST(TextBuffer, IndexChecksBoundsAndSharing)
{
    CTextBuffer b;
    b = "abc";
    b.Increment(1);
    EXPECT_EQ(std::as_const(b)[0], 'b');
    EXPECT_EQ(std::as_const(b)[1], 'c');
    ExpectThrows([&] { (void)std::as_const(b)[2]; }, "index out of bounds", 0);
    ExpectThrows([&] { (void)std::as_const(b)[0xFFFFFFFFu]; }, "index out of bounds", 0);

    b[0] = 'B';
    EXPECT_STREQ(b.GetBuffer(), "Bc");
    ExpectThrows([&] { b[2] = 'x'; }, "index out of bounds", 0);

    CTextBuffer copy(b);
    ExpectThrows([&] { b[0] = 'x'; }, "cannot change buffer with multiple references", 0);
    EXPECT_STREQ(copy.GetBuffer(), "Bc");
    ExpectThrows([&] { (void)CTextBuffer()[0]; }, "index out of bounds", 0);
}

TEST(TextBuffer, AppendingNullAddsOneNulByte)
{
    CTextBuffer b;
    b = "ab";
    b.AppendBuffer(nullptr);
    EXPECT_EQ(b.Length(), 3);
    EXPECT_EQ(std::as_const(b)[2], '\0');
    b += "c";
    EXPECT_EQ(b.Length(), 4);
    EXPECT_EQ(std::string(b.GetBuffer(), 4), std::string("ab\0c", 4));
    // Offsets count the NUL that is now content.
    EXPECT_EQ(b.Find('c'), 3);
    EXPECT_EQ(b.Find("c"), 3);
}

TEST(TextBuffer, FindCountsFromTheStartOfTheStorage)
{
    CTextBuffer b;
    b = "abcabc";
    b.Increment(4);
    EXPECT_EQ(b.Find('a'), 0);
    for (const auto& [text, at] :
         {std::pair<const char*, int>{"ca", 2}, {"bc", 1}, {"x", -1}, {"abcabcd", -1}, {nullptr, -1}})
        EXPECT_EQ(b.Find(text), at) << (text ? text : "(null)");
    // Comparisons, too, look at the whole text.
    for (const auto& [text, order] : {std::pair{"abcabc", 0}, {"abcabd", -1}, {"abca", 1}})
        EXPECT_EQ(b.Strcmp(text), order) << text;
    for (const auto& [text, order] : {std::pair{"ABCabc", 0}, {"ABCABD", -1}, {"ABB", 1}})
        EXPECT_EQ(b.Stricmp(text), order) << text;
}

TEST(TextBuffer, PutBufferWithCountsAndTerminating)
{
    CTextBuffer b;
    b.PutBuffer("abcdef", 3, 10);
    EXPECT_EQ(b.Size(), 10);
    EXPECT_EQ(b.Length(), 3);
    EXPECT_EQ(std::string(b.GetBuffer(), 3), "abc");
    b.AppendBuffer("xyz", 2);
    EXPECT_EQ(b.Length(), 5);
    b.AppendBuffer('\0', false); // terminate a text built with counts
    EXPECT_EQ(State(b), "10/5 abcxy");
    b.NullTerminate();
    EXPECT_STREQ(b.GetBuffer(), "abcxy");

    // Without size the storage takes count + 1; never less than it had.
    b.PutBuffer("hello");
    EXPECT_EQ(State(b), "10/5 hello");
    EXPECT_EQ(State(CTextBuffer("hello", 0)), "6/5 hello");
    // A size smaller than the text still takes the whole text.
    EXPECT_EQ(State(CTextBuffer("hello world", 0, 3)), "12/11 hello world");
}

TEST(TextBuffer, StorageWithoutNulStillReadsBounded)
{
    // Counted text over filled storage: no NUL anywhere in the block.
    CTextBuffer b(10, true, 'x');
    b.PutBuffer("abc", 3);
    EXPECT_EQ(State(b), "10/3 abcxxxxxxx");
    b.ResetLength();
    EXPECT_EQ(b.Length(), 10);
    EXPECT_EQ(b.Strcmp("abcxxxxxxx"), 0);
}

TEST(TextBuffer, AssignmentFromNullClearsTheBytesKeepingLength)
{
    CTextBuffer a;
    a = "abc";
    CTextBuffer shared(a);
    a = static_cast<const char*>(nullptr);
    EXPECT_EQ(State(a), "4/3 ");
    EXPECT_EQ(std::string(a.GetBuffer(), 3), std::string(3, '\0'));
    EXPECT_STREQ(shared.GetBuffer(), "abc"); // the copy kept its text

    CTextBuffer sized(nullptr, 0, 8);
    EXPECT_FALSE(sized.IsNull());
    EXPECT_EQ(sized.Size(), 8);
    EXPECT_EQ(sized.Length(), 0);
}

TEST(TextBuffer, ClearAndResize)
{
    CTextBuffer b;
    b = "abc";
    CTextBuffer copy(b);
    b.Clear('z');
    EXPECT_EQ(State(b), "4/3 zzzz");
    EXPECT_STREQ(copy.GetBuffer(), "abc");

    b = "abc";
    b.Resize(100);
    EXPECT_EQ(State(b), "100/3 abc");
    b.Resize(2);
    EXPECT_EQ(b.Size(), 100);
    CTextBuffer other(b);
    other.Resize(1); // only makes the storage private
    EXPECT_FALSE(other == b);
    EXPECT_EQ(State(other), "100/3 abc");
}

TEST(TextBuffer, AttachBufferTakesOnlyTheGivenBytes)
{
    CTextBuffer b;
    char* whole = new char[8];
    std::strcpy(whole, "abc");
    b.AttachBuffer(whole);
    EXPECT_EQ(State(b), "4/3 abc");

    // A size shorter than the text: the text is cut there, not overrun.
    char* longer = new char[12];
    std::strcpy(longer, "hello world");
    b.AttachBuffer(longer, 5);
    EXPECT_EQ(State(b), "5/5 hello");
    b += '!';
    EXPECT_STREQ(b.GetBuffer(), "hello!");

    char* roomy = new char[32]();
    std::strcpy(roomy, "hi");
    b.AttachBuffer(roomy, 32);
    EXPECT_EQ(State(b), "32/2 hi");
}

TEST(TextBuffer, ConsumeWhitespaceStopsAtTextAndEnd)
{
    CTextBuffer b;
    b = " \r\n\tx";
    b.ConsumeWhitespace();
    EXPECT_STREQ(b.GetBuffer(), "\tx"); // tabs are not consumed
    b = "  \r\n";
    b.ConsumeWhitespace();
    EXPECT_EQ(b.Length(), 0);
    EXPECT_STREQ(b.GetBuffer(), "");
}

TEST(TextBuffer, AppendingOwnTextIsSafe)
{
    CTextBuffer b;
    b = "abc";
    b.AppendBuffer(b.GetBuffer());
    EXPECT_STREQ(b.GetBuffer(), "abcabc");
    b.Increment(3);
    b = b.GetBuffer();
    EXPECT_EQ(b.Length(), 3);
    EXPECT_STREQ(b.GetBuffer(), "abc");
}

TEST(TextBuffer, CopiesOnSeveralThreadsCountSafely)
{
    CTextBuffer original;
    original = "shared text";
    threadtest::OnThreads(2, [&original](int t) {
        for (int i = 0; i < 20000; ++i) {
            CTextBuffer mine(original);
            if (i % 7 == 0)
                mine += static_cast<char>('a' + t); // private copy, shared one untouched
        }
    });
    EXPECT_STREQ(original.GetBuffer(), "shared text");
    CTextBuffer last(original);
    ExpectThrows([&] { original[0] = 'x'; }, "cannot change buffer with multiple references", 0);
}
