#include "Brindle/base/Runnable.h"

#include <cxxabi.h>

namespace Brindle {

void CThreadProcess::Run()
{
    // Cleared when the run ends, however it ends, so that calling Run again
    // starts clean; never when it begins, which would lose a request made
    // while the thread was starting.
    struct ClearOnExit {
        std::atomic<long>& counter;
        ~ClearOnExit() { counter.store(0, std::memory_order_release); }
    } clear{m_shutdown};

    bool success = true;
    if (ThreadInit() == 0)
        return;
    try {
        while (!InShutdown()) {
            if (ThreadExecuteFcn() == 0)
                m_shutdown.fetch_add(1, std::memory_order_acq_rel);
        }
    } catch (const abi::__forced_unwind&) {
        throw; // the thread is being torn down; it must unwind
    } catch (...) {
        success = false;
    }
    ThreadExit(success);
}

void CThreadProcess::RequestShutdown()
{
    m_shutdown.fetch_add(1, std::memory_order_acq_rel);
}

} // namespace Brindle
