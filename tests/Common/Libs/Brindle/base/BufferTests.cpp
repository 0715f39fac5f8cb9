#include "Brindle/base/Buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

using Brindle::CBuffer;
using Brindle::CSendBuffer;

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
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&shared] {
            for (int i = 0; i < 50000; ++i) {
                CBuffer copy(shared);
                CBuffer other("x", 1);
                other = copy;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(std::string(shared.Buffer(), shared.Size()), "payload");
}

// "queued/first-length first-block" of a send queue; the block is "<none>"
// when nothing is queued.
static std::string Queue(const CSendBuffer& q)
{
    const std::string first = q.GetData() == nullptr ? "<none>" : std::string(q.GetData(), q.GetDataLen());
    return std::to_string(q.GetBufferSize()) + "/" + std::to_string(q.GetDataLen()) + " " + first;
}

TEST(SendBuffer, QueuesAndRemovesInOrder)
{
    CSendBuffer q;
    EXPECT_EQ(Queue(q), "0/0 <none>");
    q.PutData(CBuffer("hello", 5));
    q.PutData(CBuffer("abc", 3));
    EXPECT_EQ(Queue(q), "8/5 hello");
    q.RemoveBytes(2);
    EXPECT_EQ(Queue(q), "6/3 llo");
    q.RemoveBytes(3);
    EXPECT_EQ(Queue(q), "3/3 abc");
    q.RemoveBytes(3);
    EXPECT_EQ(Queue(q), "0/0 <none>");
}

TEST(SendBuffer, RemovingAcrossBuffersAndMoreThanQueued)
{
    CSendBuffer q;
    q.PutData(CBuffer("12345", 5));
    q.PutData(CBuffer("678", 3));
    q.RemoveBytes(6);
    EXPECT_EQ(Queue(q), "2/2 78");
    q.RemoveBytes(100);
    EXPECT_EQ(Queue(q), "0/0 <none>");
    q.RemoveBytes(1); // nothing queued: nothing happens
    EXPECT_EQ(Queue(q), "0/0 <none>");
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
