#include "LogMessage.h"

#include "Brindle/base/LogData.h"

#include <charconv>
#include <cstdint>

using namespace Brindle;

namespace logd {

namespace {

constexpr long long MaxCounter = 999999;
constexpr long long LastSecond = 253402300799LL; // 9999-12-31T23:59:59Z

bool Number(const CRec& header, const char* id, long long low, long long high, long long& value)
{
    const std::string& text = header.get(id).get_value();
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && p == end && value >= low && value <= high;
}

} // namespace

MessageKind ReadMessage(const CMsg& msg, Record& record, std::string& why)
{
    const CRec& header = msg.get_header();
    const std::string& kind = header.get_id().get_value();
    if (kind == "Reset")
        return MessageKind::Reset;
    if (kind != CLogData::ID) {
        why = "a message \"" + kind.substr(0, 40) + "\" is neither Reset nor Log";
        return MessageKind::Refused;
    }
    long long counter = 0, time = 0, severity = 0, batch = 0, error = 0;
    if (!Number(header, "C", 1, MaxCounter, counter) || !Number(header, "T", 0, LastSecond, time) ||
        !Number(header, "S", INT32_MIN, INT32_MAX, severity) || !Number(header, "B", INT32_MIN, INT32_MAX, batch) ||
        !Number(header, "E", INT32_MIN, INT32_MAX, error)) {
        why = "a Log message whose C, T, S, B or E is not a number in range";
        return MessageKind::Refused;
    }
    record.counter = static_cast<int>(counter);
    record.time = time;
    record.severity = static_cast<int>(severity);
    record.batch = static_cast<int>(batch);
    record.lastError = static_cast<int>(error);
    record.source = header.get("X").get_value();
    record.host = header.get("H").get_value();
    record.application = header.get("A").get_value();
    record.text = header.get("0").get_value();
    return MessageKind::Log;
}

} // namespace logd
