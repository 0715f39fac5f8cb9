// CThreadLogger: moves the real output of records to a thread of its own, so
// a slow target (a file, a socket) never holds up the threads that log.
//
// Contract
// - Log queues a copy of the record and wakes the logger's thread; it never
//   waits for the target.
// - The thread (a CThreadObject running this object, started and stopped by
//   the owner) takes everything queued at once under the system lock and
//   writes it to the target after releasing the lock, in the order the
//   records were queued; it wakes on each record and at least once a second.
// - A target that also is a CBatchLogger gets each batch in one LogBatch
//   call.
// - A target that throws: a record with severity -2, source
//   "ThreadExecuteFcn" and the exception's text ("unhandled exception" for
//   anything that is no standard exception) goes to the target, and the
//   remaining records follow.
// - At stop every record still queued is written, then a record with
//   severity 0 (or -2 when the loop failed), source "ThreadExecuteFcn", text
//   "thread exit". Records logged after that wait for the next start.
// - The wake-up event belongs to this logger alone.
//
// Thread-safety: Log may be called from any thread (it takes the system lock
// briefly). The target is called on the logger's thread only, outside the
// system lock: it must not be fed by anybody else at the same time.
#pragma once

#include "Brindle/base/Logger.h"
#include "Brindle/base/Runnable.h"
#include "Brindle/base/SyncObjects.h"

#include <vector>

namespace Brindle {

class CThreadLogger : public CLogger, public CThreadProcess {
public:
    explicit CThreadLogger(CLogger& target);
    ~CThreadLogger() override;
    CThreadLogger(const CThreadLogger&) = delete;
    CThreadLogger& operator=(const CThreadLogger&) = delete;

    void Log(const CLogData& record) override;
    // Wakes the thread at once, so a stop does not wait for the time-out.
    void RequestShutdown() override;

    // Records queued and not yet taken by the thread.
    std::size_t Pending() const;

protected:
    int ThreadExecuteFcn() override;
    void ThreadExit(bool success) override;

private:
    // Writes the queue to the target; false when the target threw.
    bool Drain();
    void Deliver(const CLogData& record, bool* failed);
    void DeliverBatch(bool* failed);
    void ReportFailure(const char* text);

    CLogger& m_target;
    // The target's batch interface, when it has one.
    CBatchLogger* m_batchTarget;
    CEvent m_wakeup;
    std::vector<CLogData> m_queue;
    // The thread's batch, kept between rounds for its capacity.
    std::vector<CLogData> m_batch;
};

} // namespace Brindle
