// CCommListener: a listening TCP socket. Every accepted connection becomes
// a child CCommSocket, linked under the listener's own up layer (so a
// CCommMultiplexer there keeps them all and routes sends by source); a send
// to the listener's own source reaches every child (IsList,
// GetSourceList). The listener owns its children and deletes them when they
// close.
//
// Contract
// - A child is in the list before its first receive can complete: a peer
//   that connects and closes at once leaves no child behind.
// - A child closed by the peer or by an error is deleted on the worker that
//   saw it; a child closed with Close() leaves the list at once and is
//   deleted on a worker later. Either way it is no longer addressed by
//   sends to the listener's source.
// - Accept failures (out of descriptors, a socket that cannot be made) are
//   handed up as OnError and the accept is started again after a pause; the
//   listening handle stays open and the children stay.
// - Cleanup and Close close only the listening handle; the destructor also
//   deletes every child.
//
// Thread-safety: the child list is guarded by the system lock; children are
// deleted outside it. Accessors and CloseAll from any thread; begin/end walk
// the list and are only for a caller that holds the system lock.
#pragma once

#include "Brindle/comm/CommSocket.h"

#include <list>
#include <vector>

namespace Brindle {

class CCommListener : public CCommSocket {
public:
    // Pause before an accept is tried again after a failure.
    static constexpr unsigned long RearmDelayMs = 500;

    explicit CCommListener(CCommIOCP& iocp, SOCKET s = INVALID_SOCKET);
    ~CCommListener() override;

    // Binds the stored address, listens and posts the first accept.
    bool Listen(int backlog = 5);

    bool IsList(void* source) override;
    bool GetSourceList(void* source, std::list<void*>& sources) override;
    int CheckAllOutstandingOverlapped(int limit, bool close);
    void CloseAll();

    void OnAcceptComplete(CRefCountedPtr<CCommOverlapped> record) override;
    void OnErrorComplete(CRefCountedPtr<CCommOverlapped> record) override;
    void OnCloseChild(CCommSocket* child) override;
    void OnChildClosed(CCommSocket* child) override;
    void OnTaskComplete(CRefCountedPtr<CCommOverlapped> record) override;

    using iterator = std::list<CCommSocket*>::iterator;
    iterator begin() { return m_children.begin(); }
    iterator end() { return m_children.end(); }
    std::size_t size() const;

protected:
    void Cleanup() override;
    void Accept();
    // Starts the next accept after RearmDelayMs.
    void Rearm();

private:
    std::list<CCommSocket*> m_children;
    // Closed with Close(), waiting to be deleted.
    std::vector<CCommSocket*> m_reaping;
    bool m_reapPosted = false;
};

} // namespace Brindle
