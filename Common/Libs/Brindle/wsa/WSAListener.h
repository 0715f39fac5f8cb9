// CWSAListener: a listening CWSASocket that accepts child sockets, reports
// their events to its own sink and can send one buffer to all of them.
//
// Contract
// - Listen binds to the address given with SetAddress (port 0 takes a free
//   port: GetLocalPort tells which) and keeps one accept pending. Each
//   accepted connection becomes a child CWSASocket with the listener's sink
//   and port; its host text and port are the peer's. A child is in the
//   list before its OnOpen runs.
// - A child whose connection ends gets OnClose, leaves the list and is
//   destroyed later on a worker, never inside its own completion.
// - An accept that fails reaches the sink as OnError and is tried again
//   after a pause of one second; the listener keeps listening.
// - Broadcast queues one send of the same buffer on every child; the bytes
//   are shared, never copied or written into.
// - CloseAll closes and destroys every child (no OnClose); the listener's
//   own Cleanup and Close do the same.
// - Iterating the children (begin/end) requires holding the port's lock.
//
// Thread-safety: every call from any thread, with the exceptions of
// CWSASocket (Close and destruction not under the port's lock).
#pragma once

#include "Brindle/wsa/WSASocket.h"

#include <memory>
#include <vector>

namespace Brindle {

class CWSAListener : public CWSASocket {
public:
    // Pause before an accept is tried again after a failure.
    static constexpr unsigned long RearmDelayMs = 1000;

    CWSAListener(CIOCP& iocp, CWSASink* sink);
    ~CWSAListener() override;

    bool Listen(int backlog);
    // The number of children the buffer was queued to.
    std::size_t Broadcast(const CIOBuffer& buffer);
    void CloseAll();
    std::size_t size() const;
    // Children with more than `limit` operations outstanding (a peer that
    // does not keep up with the sends); with `close` they are closed and
    // leave the list. Their number.
    std::size_t CheckAllOutstandingOverlapped(int limit, bool close);

    using Children = std::vector<std::unique_ptr<CWSASocket>>;
    Children::const_iterator begin() const { return m_children.begin(); }
    Children::const_iterator end() const { return m_children.end(); }

protected:
    void Cleanup() override;
    void OnErrorComplete(COverlapped* record) override;
    void OnCloseChild(CWSASocket* child) override;
    void OnAcceptComplete(COverlapped* record) override;
    void OnDeferredComplete(COverlapped* record) override;

private:
    enum DeferredTag { RELEASE_CHILDREN = 1, REARM_ACCEPT = 2 };

    void PostAccept();
    // Takes the child out of the list and destroys it on a worker.
    void Retire(CWSASocket* child);
    void PostDeferred(DeferredTag tag, unsigned long delayMs);
    void AcceptFailed(COverlapped* record);

    Children m_children;
    // Children that left the list and wait to be destroyed on a worker.
    Children m_retired;
};

} // namespace Brindle
