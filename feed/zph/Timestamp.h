// Timestamp: the feed time and the feed metrics as a source last saw them:
// the feed time text sent by the server, the local time the connection was
// made, the number of packets received and of bad packets since the connect
// (or the last reset of the metrics), and the largest delay seen between the
// server sending a feed time and this side receiving it, in milliseconds.
//
// A plain value: copy it freely. One object is used by one thread at a time.
#pragma once

#include <string>

namespace ZPH {

class Timestamp {
public:
    Timestamp() = default;

    const char* GetFeedTime() const { return m_feedTime.c_str(); }
    const char* GetConnectTime() const { return m_connectTime.c_str(); }
    long GetPackets() const { return m_packets; }
    long GetBadPackets() const { return m_badPackets; }
    long GetMaxDelay() const { return m_maxDelay; }
    // Delay of the feed time this object was made from, milliseconds.
    long GetDelay() const { return m_delay; }

    void SetFeedTime(const std::string& text) { m_feedTime = text; }
    void SetConnectTime(const std::string& text) { m_connectTime = text; }
    void SetPackets(long count) { m_packets = count; }
    void SetBadPackets(long count) { m_badPackets = count; }
    void SetMaxDelay(long ms) { m_maxDelay = ms; }
    void SetDelay(long ms) { m_delay = ms; }

    friend bool operator==(const Timestamp&, const Timestamp&) = default;

private:
    std::string m_feedTime;
    std::string m_connectTime;
    long m_packets = 0;
    long m_badPackets = 0;
    long m_maxDelay = 0;
    long m_delay = 0;
};

} // namespace ZPH
