#include "Brindle/comm/CommLog.h"

#include <atomic>
#include <iostream>
#include <mutex>

namespace Brindle::CommLog {

namespace {
std::mutex& OutputLock()
{
    static std::mutex lock;
    return lock;
}
std::atomic<RecordSink> g_sink{nullptr};
} // namespace

void SetRecordSink(RecordSink sink)
{
    g_sink.store(sink, std::memory_order_release);
}

void Write(int severity, const char* sourceName, const std::string& text)
{
    if (RecordSink sink = g_sink.load(std::memory_order_acquire)) {
        sink(severity, sourceName != nullptr ? sourceName : "", text);
        return;
    }
    std::lock_guard<std::mutex> guard(OutputLock());
    std::clog << severity << ' ' << (sourceName != nullptr ? sourceName : "") << ": " << text << '\n';
}

void Stream(const std::string& text)
{
    if (RecordSink sink = g_sink.load(std::memory_order_acquire)) {
        sink(0, "", text);
        return;
    }
    std::lock_guard<std::mutex> guard(OutputLock());
    std::clog << text << '\n';
}

} // namespace Brindle::CommLog
