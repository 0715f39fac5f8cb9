// Copying and releasing a CRefCountedPtr against std::shared_ptr, on one and
// two threads. "Shared": every thread copies the same pointer, so the threads
// contend for one counter. "Own": each thread copies a pointer of its own.
#include "Brindle/base/RefCountedPtr.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

using Brindle::CRefCountedPtr;

namespace {

struct Payload {
    std::string text = "payload";
};

CRefCountedPtr<Payload>& SharedOurs()
{
    static CRefCountedPtr<Payload> p(new Payload);
    return p;
}

std::shared_ptr<Payload>& SharedStd()
{
    static std::shared_ptr<Payload> p = std::make_shared<Payload>();
    return p;
}

template <typename Ptr>
void CopyRelease(benchmark::State& state, const Ptr& source)
{
    for (auto _ : state) {
        Ptr copy(source);
        benchmark::DoNotOptimize(copy);
        // copy released here
    }
    state.SetItemsProcessed(state.iterations());
}

void Shared_RefCountedPtr(benchmark::State& state)
{
    CopyRelease(state, SharedOurs());
}

void Shared_SharedPtr(benchmark::State& state)
{
    CopyRelease(state, SharedStd());
}

void Own_RefCountedPtr(benchmark::State& state)
{
    const CRefCountedPtr<Payload> mine(new Payload);
    CopyRelease(state, mine);
}

void Own_SharedPtr(benchmark::State& state)
{
    const std::shared_ptr<Payload> mine = std::make_shared<Payload>();
    CopyRelease(state, mine);
}

// Making a new object and letting it go: counter allocation included.
void Create_RefCountedPtr(benchmark::State& state)
{
    for (auto _ : state) {
        CRefCountedPtr<Payload> p(new Payload);
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(state.iterations());
}

void Create_SharedPtr(benchmark::State& state)
{
    for (auto _ : state) {
        std::shared_ptr<Payload> p(new Payload); // separate counter, as ours
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(Shared_RefCountedPtr)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(Shared_SharedPtr)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(Own_RefCountedPtr)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(Own_SharedPtr)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(Create_RefCountedPtr)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(Create_SharedPtr)->Threads(1)->Threads(2)->UseRealTime();

BENCHMARK_MAIN();
