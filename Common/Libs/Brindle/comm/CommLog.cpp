#include "Brindle/comm/CommLog.h"

#include "Brindle/base/Log.h"
#include "Brindle/base/LogStream.h"
#include "Brindle/base/SyncObjects.h"
#include "Brindle/comm/Var.h"

#include <atomic>

namespace Brindle::CommLog {

namespace {
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
    // With no logger registered the library log drops the record, as every
    // other record of the library.
    CLog::Log(CLogData(static_cast<SEVERITY>(severity), sourceName != nullptr ? sourceName : "", CVar(text)));
}

void Stream(const std::string& text)
{
    if (RecordSink sink = g_sink.load(std::memory_order_acquire)) {
        sink(0, "", text);
        return;
    }
    // One lock over insertion and send, so another thread's insertions
    // cannot land inside this line.
    CSystemLock lock;
    lstr << text;
    lstr.Log();
}

} // namespace Brindle::CommLog
