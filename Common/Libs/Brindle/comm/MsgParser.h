// CMsgParser: the layer that sits on a byte layer (a TCP socket, the framed
// channel) and turns each source's byte stream into messages, and messages
// sent down into their text form.
//
// Stream cutting: a message runs from an SOH (0x01) to the next ETX (0x03).
// Bytes outside SOH...ETX are ignored; a message split over any number of
// receives is put together again, one receive may carry many. When a text
// holds a second SOH before its ETX (the first message was cut short), the
// message starts at the last SOH, so the good message after a truncated one
// is still delivered. A text that does not parse is logged ("Parse Error",
// severity -1, the text as message) and skipped.
//
// Limits: a pending text (a message whose ETX has not come) longer than the
// message limit (SetMessageLimit, 16 MiB by default) is dropped, logged, and
// reported with OnError up; the stream then resumes at the next SOH. Work per
// receive is linear in its bytes: 1-byte receives cost no more per byte
// than large ones.
//
// SendMsg sends the message's text form with this layer's SendData (so a
// list source fans out); a message that has no valid text form is refused
// (false, logged).
//
// Thread-safety: the pending texts are kept per source under a lock that is
// released before any message goes up; receives of different sources may
// run on different workers at once.
#pragma once

#include "Brindle/comm/MsgLayer.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace Brindle {

class CMsgParser : public CMsgLayer {
public:
    static constexpr unsigned DEFAULT_MESSAGE_LIMIT = 16u * 1024u * 1024u;

    CMsgParser() = default;
    ~CMsgParser() override = default;

    void SetMessageLimit(unsigned bytes) { m_limit = bytes; }
    unsigned GetMessageLimit() const { return m_limit; }

    void OnOpen(void* source) override;
    void OnClose(void* source) override;
    void OnData(void* source, const std::string& data) override;
    bool SendMsg(void* source, const CMsg& msg) override;

    // The bytes held for a source's incomplete message (0 when none).
    std::size_t GetPendingSize(void* source) const;

private:
    mutable std::mutex m_lock;
    std::map<void*, std::string> m_pending;
    std::atomic<unsigned> m_limit{DEFAULT_MESSAGE_LIMIT};
};

} // namespace Brindle
