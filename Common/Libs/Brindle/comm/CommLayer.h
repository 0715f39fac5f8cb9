// CCommLayer: one link in a connection's chain of protocol layers.
//
// Up is towards the application, down towards the wire. Up-calls (OnOpen,
// OnClose, OnData, OnError) and down-calls (SendData, IsList,
// GetSourceList) carry a source: the address of the bottom object of the
// connection, which every layer passes through unchanged. Bytes handed up
// are valid for the call only; a layer that keeps them copies them.
//
// Contract
// - SetChain(up) makes `up` this layer's up layer and, when not null, tells
//   `up` that this is its down layer (SetDownChain). A layer that had
//   another up layer first tells that one to forget it (RemoveChain), so no
//   layer is left pointing at a link that has moved.
// - The default up-calls pass everything on to the up layer; without one
//   the call is reported to the library log (severity -1, source
//   "CCommLayer") and dropped. Whatever the upper layer throws is caught
//   and dropped, so a fault in one layer never unwinds into the transport.
// - The default SendData sends to every member of a list source (a
//   listener's own source reaches every accepted connection) and otherwise
//   passes the data down; without a down layer it reports "Cannot call down
//   data" and returns false.
// - Destruction unlinks: the down layer forgets this as its up layer, and
//   the up layer is told RemoveChain(this).
//
// Thread-safety: the links are read and changed atomically, so up-calls on
// worker threads may run while a new connection is linked in. Layers take
// no locks: a layer must stay alive while calls can reach it, and is
// unlinked (or destroyed) when no call runs through it.
#pragma once

#include <atomic>
#include <list>
#include <string>

namespace Brindle {

class CCommLayer {
public:
    CCommLayer() = default;
    CCommLayer(const CCommLayer&) = delete;
    CCommLayer& operator=(const CCommLayer&) = delete;

    virtual ~CCommLayer();
    virtual void SetChain(CCommLayer* up);
    // Forgets `down` when it is the current down layer.
    virtual void RemoveChain(CCommLayer* down);
    // This object's address: the name of the connection it is the bottom of.
    virtual void* GetSource();
    virtual void SetDownChain(CCommLayer* down);
    virtual CCommLayer* GetUpLayer(void* source);
    virtual CCommLayer* GetDownLayer(void* source);
    virtual void OnOpen(void* source);
    virtual void OnClose(void* source);
    virtual void OnData(void* source, const std::string& data);
    virtual void OnError(void* source, unsigned long error, const std::string& text);
    virtual bool SendData(void* source, const std::string& data);
    virtual bool IsList(void* source);
    virtual bool GetSourceList(void* source, std::list<void*>& sources);

protected:
    void CallUpOpen(void* source);
    void CallUpClose(void* source);
    void CallUpData(void* source, const std::string& data);
    void CallUpError(void* source, unsigned long error, const std::string& text);
    bool CallDownData(void* source, const std::string& data);
    bool CallDownIsList(void* source);
    bool CallDownGetSourceList(void* source, std::list<void*>& sources);

    // The links as they are now (null when there is none).
    CCommLayer* UpLink() const { return m_up.load(std::memory_order_acquire); }
    CCommLayer* DownLink() const { return m_down.load(std::memory_order_acquire); }
    // `down` forgets `up` when `up` is its up layer: for layers that keep
    // more than one down link and must unlink each of them.
    static void ForgetUpLink(CCommLayer* down, CCommLayer* up);

private:
    std::atomic<CCommLayer*> m_up{nullptr};
    std::atomic<CCommLayer*> m_down{nullptr};
};

} // namespace Brindle
