#include "status/SourceStatusLog.h"

#include "core/FeedLibrary.h"
#include "zph/Timestamp.h"

#include <cstdio>

namespace mavo {

std::string LineUpdateText(unsigned key)
{
    char text[64];
    std::snprintf(text, sizeof text, "Update on page %u, line %u", key / 100, key % 100);
    return text;
}

std::string FormatLogEntry(std::time_t when, std::string_view text)
{
    std::tm local{};
    char stamp[16] = "00:00:00";
    if (::localtime_r(&when, &local) != nullptr)
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::string entry(stamp);
    entry += '\t';
    entry.append(text);
    return entry;
}

MetricTexts MetricTextsOf(const Timestamp& timestamp)
{
    MetricTexts texts;
    texts.connectTime = timestamp.GetConnectTime();
    texts.packets = std::to_string(timestamp.GetPackets());
    texts.badPackets = std::to_string(timestamp.GetBadPackets());
    texts.maxDelay = std::to_string(timestamp.GetMaxDelay());
    return texts;
}

const std::string& CSourceStatusLog::Add(std::string_view text, std::time_t when)
{
    // Trimmed before the new entry goes in, so the cap is never exceeded.
    m_lastTrimmed = 0;
    while (m_entries.size() >= kMaxEntries) {
        m_entries.pop_front();
        ++m_lastTrimmed;
    }
    m_entries.push_back(FormatLogEntry(when, text));
    return m_entries.back();
}

} // namespace mavo
