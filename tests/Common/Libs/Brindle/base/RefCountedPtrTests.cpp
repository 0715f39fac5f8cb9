#include "Brindle/base/RefCountedPtr.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using Brindle::CRefCountedConstPtr;
using Brindle::CRefCountedPtr;

namespace {

struct Tracked {
    explicit Tracked(std::atomic<int>& deletionCount, int initial = 0) : deletions(deletionCount), value(initial) {}
    virtual ~Tracked() { deletions.fetch_add(1); }
    std::atomic<int>& deletions;
    int value;
};

struct Derived : Tracked {
    Derived(std::atomic<int>& deletionCount, std::atomic<int>& derivedDeletionCount)
        : Tracked(deletionCount), derivedDeletions(derivedDeletionCount)
    {
    }
    ~Derived() override { derivedDeletions.fetch_add(1); }
    std::atomic<int>& derivedDeletions;
};

} // namespace

TEST(RefCountedPtr, CopiesShareAndTheLastDeletes)
{
    std::atomic<int> deletions{0};
    {
        CRefCountedPtr<Tracked> a(new Tracked(deletions, 7));
        EXPECT_EQ(a.RefCount(), 1);
        {
            CRefCountedPtr<Tracked> b(a);
            CRefCountedPtr<Tracked> c;
            c = b;
            EXPECT_EQ(a.RefCount(), 3);
            EXPECT_TRUE(a == b);
            EXPECT_TRUE(c == a.GetPtr());
            c->value = 9;
            EXPECT_EQ((*a).value, 9);
        }
        EXPECT_EQ(a.RefCount(), 1);
        EXPECT_EQ(deletions.load(), 0);
    }
    EXPECT_EQ(deletions.load(), 1);
}

TEST(RefCountedPtr, AssignReleaseAndReset)
{
    std::atomic<int> deletions{0};
    auto* first = new Tracked(deletions, 1);
    CRefCountedPtr<Tracked> p(first);
    p.Assign(first); // already held: nothing happens
    EXPECT_EQ(p.RefCount(), 1);
    EXPECT_EQ(deletions.load(), 0);
    p = first;
    EXPECT_EQ(deletions.load(), 0);

    CRefCountedPtr<Tracked> keep(p);
    p = new Tracked(deletions, 2); // the first lives on in keep
    EXPECT_EQ(deletions.load(), 0);
    EXPECT_EQ(p.RefCount(), 1);
    EXPECT_EQ(keep.RefCount(), 1);
    EXPECT_EQ(keep->value, 1);

    p.Release();
    EXPECT_TRUE(p.IsNull());
    EXPECT_EQ(deletions.load(), 1);
    keep.Reset();
    EXPECT_EQ(deletions.load(), 2);
    keep.Reset();
    EXPECT_EQ(deletions.load(), 2);

    CRefCountedPtr<Tracked> a(new Tracked(deletions));
    CRefCountedPtr<Tracked> b(a);
    a.Assign(b); // same counter: no change
    EXPECT_EQ(a.RefCount(), 2);
    CRefCountedPtr<Tracked>& self = a;
    a = self;
    EXPECT_EQ(a.RefCount(), 2);
}

TEST(RefCountedPtr, DeletesAsTheTypeItWasGiven)
{
    std::atomic<int> deletions{0};
    std::atomic<int> derived{0};
    {
        CRefCountedPtr<Derived> d(new Derived(deletions, derived));
        CRefCountedPtr<Tracked> base(d);
        EXPECT_EQ(base.RefCount(), 2);
        d.Reset();
    }
    EXPECT_EQ(derived.load(), 1);
    EXPECT_EQ(deletions.load(), 1);
}

TEST(RefCountedPtr, CopiesAndReleasesOnTwoThreadsBalance)
{
    std::atomic<int> deletions{0};
    CRefCountedPtr<Tracked> shared(new Tracked(deletions));
    threadtest::OnThreads(2, [&](int) {
        std::vector<CRefCountedPtr<Tracked>> held;
        for (int i = 0; i < 100000; ++i) {
            held.push_back(shared);
            if (held.size() > 16)
                held.clear();
        }
    });
    EXPECT_EQ(shared.RefCount(), 1);
    EXPECT_EQ(deletions.load(), 0);
    shared.Reset();
    EXPECT_EQ(deletions.load(), 1);
}

TEST(RefCountedPtr, LastReleaseOnAnotherThreadDeletesOnce)
{
    std::atomic<int> deletions{0};
    for (int round = 0; round < 200; ++round) {
        CRefCountedPtr<Tracked> a(new Tracked(deletions));
        CRefCountedPtr<Tracked> b(a);
        std::thread other([moved = std::move(b)]() mutable { moved.Reset(); });
        a.Reset();
        other.join();
    }
    EXPECT_EQ(deletions.load(), 200);
}
