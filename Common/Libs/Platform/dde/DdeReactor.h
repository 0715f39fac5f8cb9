// The I/O side of the DDE layer: one thread per process that waits on every
// DDE socket (epoll) for writing, accepting and directory changes, and the
// socket of one conversation.
//
// Conversation
// - Send (any thread) writes at once when nothing is queued and queues the
//   rest without ever waiting; the reactor writes the queue as the socket
//   drains. When the queue would pass the caller's limit the conversation is
//   shut down with DMLERR_LOW_MEMORY instead: a peer that does not read never
//   holds up the sender.
// - Reading: a conversation made with a read poll (an epoll descriptor of
//   its owner) is read by whoever waits on that poll, through ReadReady: its
//   frames reach the sink on that thread, with no hand-over between threads.
//   One made without is read by the reactor, and its sink is called on the
//   reactor thread.
// - The sink counts the frames it has not processed yet (FrameTaken /
//   FrameDone): while too many wait, the socket is not read, so a peer that
//   floods never grows memory without bound.
// - The descriptor is closed only by its reader (or by CloseNow, which waits
//   for a read in progress); others ask for it with Shutdown (reason
//   reported to the sink's OnClosed) and the reader closes the socket once it
//   sees the end, and reports once.
//
// Reactor
// - Acquire starts the thread on first use; the last Release stops it and
//   closes what is still open.
// - Listeners call their accept function with each new socket; directory
//   watches report service socket files that appear (renamed in) or go.
//
// Thread-safety: every member from any thread; sink calls come on the
// reading thread (see above) and must not wait for another thread's owner.
#pragma once

#include "Platform/WinTypes.h"
#include "Platform/dde/DdeWire.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Platform::Dde {

class Conversation;
class Reactor;

class ConversationSink {
public:
    virtual ~ConversationSink() = default;
    virtual void OnFrame(const std::shared_ptr<Conversation>& conv, Frame&& frame) = 0;
    virtual void OnClosed(const std::shared_ptr<Conversation>& conv, UINT reason) = 0;
};

class Conversation : public std::enable_shared_from_this<Conversation> {
public:
    enum class SendResult { SENT, CLOSED, OVERFLOW };

    // Frames waiting for the owner before the reactor stops reading.
    static constexpr int MAX_FRAMES_WAITING = 64;

    // readPoll: the owner's epoll descriptor that watches this socket for
    // reading (it must outlive the open conversation); -1: the reactor reads.
    Conversation(std::uintptr_t id, int fd, bool server, std::weak_ptr<ConversationSink> sink, int readPoll = -1);
    ~Conversation();
    Conversation(const Conversation&) = delete;
    Conversation& operator=(const Conversation&) = delete;

    std::uintptr_t Id() const { return m_id; }
    bool IsServer() const { return m_server; }
    std::shared_ptr<ConversationSink> Sink() const { return m_sink.lock(); }

    SendResult Send(std::string_view bytes, std::size_t limit);
    // Ends the socket; OnClosed reports `reason` (0: a plain end).
    void Shutdown(UINT reason);
    // Ends the socket once everything queued is written.
    void CloseWhenFlushed();
    bool IsClosing() const;

    // Counting of frames handed to the owner and not yet processed.
    void FrameTaken();
    void FrameDone();

    std::size_t QueuedBytes() const;

    // The reader's side, for a conversation with a read poll: reads what has
    // come (`events` as the poll reported them) into the sink.
    void ReadReady(std::uint32_t events);
    // Closes the socket now (waiting for a read in progress) and reports.
    void CloseNow(UINT reason);

private:
    friend class Reactor;

    void OnReadable(char* buffer, std::size_t size);  // m_readLock held
    void OnWritable();
    void CloseReading(UINT reason);                    // m_readLock held
    void UpdateEventsLocked();

    const std::uintptr_t m_id;
    const bool m_server;
    const std::weak_ptr<ConversationSink> m_sink;
    const int m_readPoll;

    // Held while reading and closing: only one thread reads at a time, and
    // never while another closes. Taken before m_lock.
    std::mutex m_readLock;
    mutable std::mutex m_lock;
    int m_fd;
    std::deque<std::string> m_out;
    std::size_t m_outHead = 0;     // bytes of m_out.front() already written
    std::size_t m_outBytes = 0;
    // Descriptor closed. Written under m_lock and m_readLock; the reader
    // reads it under m_readLock alone.
    std::atomic<bool> m_closed{false};
    bool m_shutdown = false;       // Shutdown asked
    bool m_closeWhenFlushed = false;
    std::atomic<bool> m_readPaused{false};  // written under m_lock
    UINT m_closeReason = 0;
    std::uint32_t m_events = 0;    // events registered with the reactor
    std::uint32_t m_readEvents = 0;  // events registered with the read poll
    Reactor* m_reactor = nullptr;  // set while registered; only reached under m_lock
    std::atomic<int> m_waiting{0};

    FrameReader m_reader;          // under m_readLock
};

class Reactor {
public:
    using AcceptFn = std::function<void(int fd)>;
    using WatchFn = std::function<void(const std::string& dir, const std::string& name, bool added)>;

    static std::shared_ptr<Reactor> Acquire();
    ~Reactor();

    // Registers a connected, non-blocking socket; false when the reactor
    // cannot watch it (the socket is then closed and reported).
    bool Add(const std::shared_ptr<Conversation>& conv);
    // A listening socket; its token for RemoveListener, 0 on failure.
    std::uint64_t AddListener(int fd, AcceptFn onAccept);
    // Stops listening and closes the socket.
    void RemoveListener(std::uint64_t token);
    // Reports service files appearing in or leaving `dir`.
    void WatchDirectory(const std::string& dir, WatchFn onChange);

    // Used by conversations; Modify starts watching a socket not watched yet.
    void Modify(int fd, std::uint64_t token, std::uint32_t events);
    void Forget(int fd, std::uint64_t token);

private:
    Reactor();
    void Run();

    struct Listener {
        int fd;
        AcceptFn onAccept;
    };

    int m_epoll = -1;
    int m_wake = -1;
    int m_inotify = -1;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::unordered_map<std::uint64_t, std::shared_ptr<Conversation>> m_conversations;
    std::unordered_map<std::uint64_t, std::shared_ptr<Listener>> m_listeners;
    std::unordered_map<int, std::string> m_watchedDirs;  // inotify watch -> directory
    WatchFn m_onWatch;
    std::uint64_t m_nextToken = 16;
    std::vector<char> m_readBuffer;     // reactor thread only
    std::thread m_thread;
};

} // namespace Platform::Dde
