// CCommObject: the bottom link of a connection's layer stack, the object
// that owns an operating-system handle and whose operations complete on a
// CCommIOCP. Its address is the connection's source.
//
// Contract
// - SendData for another source is refused: "Cannot send data" goes to the
//   library log (severity -1, source "CCommObject") and the result is
//   false. For its own source it is Send(data).
// - StopCompletions clears this object from every operation in flight and
//   waits until no handler of it runs on another thread; operations made
//   afterwards complete without calling it. The destructor does it first,
//   but a derived class whose destructor still uses its state (closing its
//   handle, freeing its children) calls StopCompletions itself before that,
//   so that no handler runs while its part of the object is going away.
//
// Thread-safety: as CCommLayer; OnComplete runs on the port's workers,
// possibly on two at once for two operations of one object.
#pragma once

#include "Brindle/comm/CommIOCP.h"
#include "Brindle/comm/CommLayer.h"

#include <atomic>

namespace Brindle {

class CCommObject : public CCommLayer {
public:
    explicit CCommObject(CCommIOCP& iocp) : m_iocp(iocp) {}
    ~CCommObject() override;

    // Default: false (nothing to close).
    virtual bool Close();
    // One finished operation.
    virtual void OnComplete(CRefCountedPtr<CCommOverlapped> record) = 0;
    // Default: false (cannot send).
    virtual bool Send(const std::string& data);

    bool SendData(void* source, const std::string& data) override;

    CCommIOCP& GetIOCP() const { return m_iocp; }
    bool CompletionsStopped() const { return m_stopped.load(std::memory_order_acquire); }

protected:
    void StopCompletions();

private:
    CCommIOCP& m_iocp;
    std::atomic<bool> m_stopped{false};
};

} // namespace Brindle
