// CMsgTrace: a top-of-stack message layer that prints what reaches it:
// "OnOpen: " source, "OnClose: " source, "OnMsg: " source followed by the
// message's dump (CMsg::print), each source line ended by a newline. It
// passes nothing up. SendMsg prints "SendMsg: " source and the dump, then
// sends the message down and returns the send's result.
//
// Thread-safety: writes to the stream are serialised by the layer, so lines
// of two workers never interleave; the stream must outlive the layer.
#pragma once

#include "Brindle/comm/MsgLayer.h"

#include <iosfwd>
#include <mutex>

namespace Brindle {

class CMsgTrace : public CMsgLayer {
public:
    explicit CMsgTrace(std::ostream& out) : m_out(out) {}

    void OnOpen(void* source) override;
    void OnClose(void* source) override;
    void OnMsg(void* source, const CMsg& msg) override;
    bool SendMsg(void* source, const CMsg& msg) override;

private:
    void Write(const char* what, void* source, const CMsg* msg);

    std::ostream& m_out;
    std::mutex m_lock;
};

} // namespace Brindle
