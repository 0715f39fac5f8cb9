// CCommTrace: a pass-through layer that writes one line for every call it
// passes on, while tracing is on and a stream is set:
//   "OnOpen (" source ")"            "OnClose (" source ")"
//   "OnData (" source "): (" count ") " data
//   "OnError (" source ") dwError = " error " : " text
//   "SendData (" source "): (" count ") " data
// each ended by the terminator (newline by default). The source is written
// in the stream's pointer notation, counts and codes in decimal.
//
// Thread-safety: lines from calls on several threads never mix (one lock
// per layer around each line); SetStream and SetTrace may be called at any
// time. The stream (not owned) must outlive its use here.
#pragma once

#include "Brindle/comm/CommLayer.h"

#include <atomic>
#include <iosfwd>
#include <mutex>

namespace Brindle {

class CCommTrace : public CCommLayer {
public:
    void SetStream(std::ostream& stream, char terminator = '\n');
    void SetTrace(bool on) { m_trace.store(on, std::memory_order_release); }
    bool GetTrace() const { return m_trace.load(std::memory_order_acquire); }

    void OnOpen(void* source) override;
    void OnClose(void* source) override;
    void OnData(void* source, const std::string& data) override;
    void OnError(void* source, unsigned long error, const std::string& text) override;
    bool SendData(void* source, const std::string& data) override;

private:
    template <typename Write>
    void Line(Write write);

    std::atomic<bool> m_trace{false};
    std::mutex m_lock;
    std::ostream* m_stream = nullptr;
    char m_terminator = '\n';
};

} // namespace Brindle
