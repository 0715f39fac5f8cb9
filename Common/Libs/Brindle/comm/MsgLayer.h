// CMsgLayer: a protocol layer that carries whole messages (CMsg) as well as
// bytes. Messages go up with OnMsg and down with SendMsg; the layer above a
// message layer, and the one below it when messages are sent down, must be
// message layers themselves: the links are checked (a layer of another kind
// counts as missing).
//
// - CallUpMsg: the up message layer's OnMsg; with none, the library log gets
//   "Cannot call up message" (source "CMsgLayer", severity -1) and the
//   message is dropped. Anything thrown above is caught and dropped, so a
//   fault in one layer never unwinds into the transport.
// - CallDownMsg: the down message layer's SendMsg and its result; with none,
//   "Cannot call down message" is logged and the result is false.
//
// Thread-safety: no state of its own; the up-calls run on the worker that
// delivered the bytes, the down-calls on the caller's thread.
#pragma once

#include "Brindle/comm/CommLayer.h"
#include "Brindle/comm/Msg.h"

namespace Brindle {

class CMsgLayer : public CCommLayer {
public:
    CMsgLayer() = default;
    ~CMsgLayer() override = default;

    virtual CMsgLayer* GetUpMsgLayer(void* source);
    virtual CMsgLayer* GetDownMsgLayer(void* source);
    virtual void OnMsg(void* source, const CMsg& msg);
    virtual bool SendMsg(void* source, const CMsg& msg);

protected:
    void CallUpMsg(void* source, const CMsg& msg);
    bool CallDownMsg(void* source, const CMsg& msg);
};

} // namespace Brindle
