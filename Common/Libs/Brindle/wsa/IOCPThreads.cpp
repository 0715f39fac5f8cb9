#include "Brindle/wsa/IOCPThreads.h"

#include "Brindle/base/Exception.h"

namespace Brindle {

CIOCPThreads::CIOCPThreads(int threads, const char* name)
{
    for (int i = 0; i < threads; ++i) {
        m_threads.push_back(std::make_unique<CThreadObject>(name));
        if (!m_threads.back()->StartThread(&m_iocp)) {
            const DWORD code = m_threads.back()->GetError().GetLastError();
            Stop();
            throw CException("Cannot start an IO completion port worker", code);
        }
    }
}

CIOCPThreads::~CIOCPThreads()
{
    Stop();
}

void CIOCPThreads::Stop()
{
    m_iocp.RequestShutdown();
    for (auto& thread : m_threads) {
        thread->StopThread();
        thread->Join();
    }
    m_threads.clear();
}

} // namespace Brindle
