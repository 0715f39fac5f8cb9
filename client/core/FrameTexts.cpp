#include "core/FrameTexts.h"

namespace mavo {

const char* FeedStateText(FeedState state)
{
    switch (state) {
    case FeedState::Stale: return "Feed Stale";
    case FeedState::Live: return "Feed Live";
    default: return "Feed Dead";
    }
}

const char* SourceKindText(int kind)
{
    switch (kind) {
    case 1: return "Socket";
    case 2: return "Serial";
    case 3: return "ZPHDB";
    default: return "Unknown";
    }
}

std::string NotificationText(std::string_view text)
{
    std::string shown(text);
    for (char& c : shown)
        if (c == '|')
            c = '\n';
    return shown;
}

std::string LoginFailedText(const std::optional<std::string>& reason)
{
    std::string text = "Login Failed";
    if (reason && !reason->empty())
        text += "\nReason: " + *reason;
    return text;
}

std::string FailoverQuestion(int failover)
{
    return std::string("Are you sure you want to connect to the ") + (failover == 1 ? "PRIMARY" : "BACKUP") +
           " source?";
}

std::string StartErrorText(std::string_view raised)
{
    return "Error starting MAVO\n" + std::string(raised);
}

} // namespace mavo
