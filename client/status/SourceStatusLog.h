// The display-free side of the "Source Status" window: its log of feed
// events (each entry the local time as "%H:%M:%S", a tab, and the text;
// never more than kMaxEntries, the oldest going first), its texts, and the
// four feed metrics as the window shows them.
//
// Thread-safety: a CSourceStatusLog is used by one thread (the window's);
// the free functions are pure and may be called from any thread.
#pragma once

#include "core/FeedLibrary.h"

#include <cstddef>
#include <ctime>
#include <deque>
#include <string>
#include <string_view>

namespace ZPH {
class Timestamp;
} // namespace ZPH

namespace mavo {

inline constexpr const char* kSourceStatusTitle = "Source Status";
inline constexpr const char* kFeedMetricsGroup = "Feed Metrics";
inline constexpr const char* kConnectTimeLabel = "Connect Time:";
inline constexpr const char* kPacketsLabel = "Packets Received:";
inline constexpr const char* kBadPacketsLabel = "Bad Packets:";
inline constexpr const char* kMaxDelayLabel = "Maximum Delay:";
inline constexpr const char* kResetButton = "Reset";
inline constexpr const char* kLogLineUpdatesSwitch = "Log line updates (potential performance degradation)";
inline constexpr const char* kLogBadPacketsSwitch = "Log bad packet errors";
inline constexpr const char* kLogFeedTimesSwitch = "Log time stamp packets received";
inline constexpr const char* kStartLineLogging = "Starting line update logging...";
inline constexpr const char* kStopLineLogging = "Stopping line update logging...";

// "Update on page %d, line %d" for a line key (page * 100 + line).
std::string LineUpdateText(unsigned key);
// One log entry: the local time of `when` as "%H:%M:%S", a tab, the text.
std::string FormatLogEntry(std::time_t when, std::string_view text);

// The four metric fields as the window shows them: the connect time as
// sent, the three counts as whole numbers.
struct MetricTexts {
    std::string connectTime;
    std::string packets;
    std::string badPackets;
    std::string maxDelay;

    friend bool operator==(const MetricTexts&, const MetricTexts&) = default;
};
MetricTexts MetricTextsOf(const Timestamp& timestamp);

class CSourceStatusLog {
public:
    static constexpr std::size_t kMaxEntries = 200;

    // Adds an entry stamped with `when`; the oldest entries go first so
    // that the log never holds more than kMaxEntries. Returns the entry.
    const std::string& Add(std::string_view text, std::time_t when);
    // How many entries the last Add removed (0 or more).
    std::size_t LastTrimmed() const { return m_lastTrimmed; }
    void Clear() { m_entries.clear(); }
    const std::deque<std::string>& Entries() const { return m_entries; }

private:
    std::deque<std::string> m_entries;
    std::size_t m_lastTrimmed = 0;
};

} // namespace mavo
