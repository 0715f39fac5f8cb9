// CFrameLink: the one way from the feed libraries' threads to the main
// window. Call-backs of the controller run on feed threads; there they only
// copy data into this object or post a FrameMessage through it. The main
// window installs the poster (which turns a message into an event on the
// window thread) when it is created and removes it when it goes; messages
// posted while no poster is installed are dropped.
//
// It also holds the main window's feed texts that library threads write: the
// status text, the source name and a copy of the last feed Timestamp, all
// three under one lock; and it is the main window's TimestampClient, so
// feed times coalesce: a flood of them leaves at most one FEED_TIME message
// waiting, whose handler reads the latest copy.
//
// Source log lines coalesce the same way: they queue here (at most
// kMaxPendingLogLines; older ones are dropped and counted) behind one
// SOURCE_LOG wake-up.
//
// Thread-safety: every member may be called from any thread. SetPoster
// waits until no post is running, so once SetPoster(nullptr) returns the old
// poster is never called again.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/Clients.h"
#include "zph/Timestamp.h"

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mavo {

// Messages of the main window, numbered from the platform's first user
// message (1024) as the original windows numbered them.
enum FrameMessageId : int {
    MSG_KEY_UPDATE = 1025,    // a changed line key, to a page window
    MSG_WAIT = 1026,          // first: 1 begin, 0 end
    MSG_FEED_STATE = 1027,    // first: feed state, second: source kind
    MSG_FEED_TIME = 1028,     // the feed time copy changed
    MSG_PERMISSIONS = 1029,   // new page permissions
    MSG_FEED_NOTICE = 1030,   // second: the notice value
    MSG_NOTIFICATION = 1031,  // text: the notification, line breaks made
    MSG_LOGIN_FAILED = 1032,  // text: the reason, or none
    MSG_PAGE_TITLE = 1042,    // first: the page
    MSG_DDE_MESSAGE = 1043,   // an inbound feed message, to the DDE window
    // Our own: the controller asks the window to run a command of its own
    // (first: the command id), as the original posted WM_COMMAND.
    MSG_COMMAND = 1100,
    // Our own: source log lines are waiting (TakeSourceLog).
    MSG_SOURCE_LOG = 1101,
};

struct FrameMessage {
    int id = 0;
    int first = 0;
    int second = 0;
    std::optional<std::string> text;
};

class CFrameLink : public TimestampClient {
public:
    using Poster = std::function<void(FrameMessage&&)>;
    static constexpr std::size_t kMaxPendingLogLines = 2000;

    CFrameLink() = default;
    ~CFrameLink() override = default;
    CFrameLink(const CFrameLink&) = delete;
    CFrameLink& operator=(const CFrameLink&) = delete;

    void SetPoster(Poster poster);
    // False when no poster took it.
    bool Post(FrameMessage message);

    // The feed texts (one lock for all three).
    void SetStatusText(const std::string& text);
    void SetSourceName(const std::string& text);
    void SetStatusAndName(const std::string& status, const std::string& name);
    std::string GetStatusText() const;
    std::string GetSourceName() const;
    Timestamp GetTimestamp() const;

    // TimestampClient: copies the time and posts MSG_FEED_TIME unless one is
    // waiting already.
    void OnTimestamp(const Timestamp& timestamp) override;
    // The handler of MSG_FEED_TIME calls this first, then reads the copy, so
    // that a time arriving meanwhile posts again.
    void FeedTimeTaken() { m_timePending = false; }

    // Queues a source log line; posts MSG_SOURCE_LOG unless one is waiting.
    void AddSourceLog(std::string line);
    // The lines waiting, oldest first; a line telling how many were dropped
    // comes first when the queue overflowed.
    std::vector<std::string> TakeSourceLog();

private:
    mutable std::mutex m_posterLock;
    Poster m_poster;

    mutable std::mutex m_textLock;
    std::string m_statusText;
    std::string m_sourceName;
    Timestamp m_timestamp;
    std::atomic<bool> m_timePending{false};

    std::mutex m_logLock;
    std::deque<std::string> m_log;
    unsigned long m_logDropped = 0;
    bool m_logPending = false;
};

} // namespace mavo
