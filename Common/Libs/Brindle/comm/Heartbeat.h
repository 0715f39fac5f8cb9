// CHeartbeat: the HEARTBEAT record, a program's periodic "I am alive":
// timestamp ("Date", the FormatISO text "YYYYMMDDHH:MM:SS"), counter
// ("Count", unsigned) and response requested ("Resp", 0 or 1), bound by
// CHeartbeat::OPS in that order.
//
// The counter constructor stamps the current time unless the counter is 0
// (then the timestamp stays empty). GetDefaultHeartbeatMsg gives the text
// form of a message whose header is a HEARTBEAT record with "Resp" 0,
// followed by this process's APPLICATION record. Who sends heartbeats, and
// how often, is the program's choice: there is no timer here.
//
// Thread-safety: a plain value, used by one thread at a time.
#pragma once

#include "Brindle/comm/Msg.h"
#include "Brindle/comm/RecordOps.h"

#include <string>

namespace Brindle {

class CHeartbeat {
public:
    static constexpr const char* ID = "HEARTBEAT";
    static const CRecordOps<CHeartbeat> OPS;

    CHeartbeat(const std::string& timestamp, unsigned counter, int responseRequested)
        : m_timestamp(timestamp), m_counter(counter), m_responseRequested(responseRequested)
    {
    }
    explicit CHeartbeat(unsigned counter = 0, int responseRequested = 0);

    const std::string& GetTimestamp() const { return m_timestamp; }
    void SetTimestamp(const std::string& timestamp) { m_timestamp = timestamp; }
    unsigned GetCounter() const { return m_counter; }
    void SetCounter(unsigned counter) { m_counter = counter; }
    int GetResponseRequested() const { return m_responseRequested; }
    void SetResponseRequested(int requested) { m_responseRequested = requested; }

    // The HEARTBEAT record of these fields.
    CRec ToRecord() const;
    void FromRecord(const CRec& record) { OPS.Read(*this, record); }

    static std::string GetDefaultHeartbeatMsg(const std::string& timestamp, unsigned counter);
    static std::string GetDefaultHeartbeatMsg(unsigned counter);

    friend bool operator==(const CHeartbeat&, const CHeartbeat&) = default;

private:
    std::string m_timestamp;
    unsigned m_counter = 0;
    int m_responseRequested = 0;
};

} // namespace Brindle
