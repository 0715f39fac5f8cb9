// CIOCPThreads: a CIOCP together with the worker threads that run it, for
// programs and loggers that want a port of their own.
//
// Contract: the threads start with the object and are stopped and joined
// when it goes (or on Stop). Sockets of the port must be destroyed before
// the object; Stop may come first.
//
// Thread-safety: Stop from any thread but not from one of the workers.
#pragma once

#include "Brindle/base/ThreadObject.h"
#include "Brindle/wsa/IOCP.h"

#include <memory>
#include <vector>

namespace Brindle {

class CIOCPThreads {
public:
    // Throws CException when the port or a thread cannot be made.
    explicit CIOCPThreads(int threads = 2, const char* name = "IOCP Worker");
    ~CIOCPThreads();
    CIOCPThreads(const CIOCPThreads&) = delete;
    CIOCPThreads& operator=(const CIOCPThreads&) = delete;

    CIOCP& GetIOCP() { return m_iocp; }
    void Stop();

private:
    CIOCP m_iocp;
    std::vector<std::unique_ptr<CThreadObject>> m_threads;
};

} // namespace Brindle
