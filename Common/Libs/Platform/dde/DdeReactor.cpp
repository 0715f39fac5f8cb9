#include "Platform/dde/DdeReactor.h"

#include "Platform/dde/Ddeml.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace Platform::Dde {

namespace {

constexpr std::uint64_t WAKE_TOKEN = 1;
constexpr std::uint64_t INOTIFY_TOKEN = 2;
constexpr std::size_t READ_BLOCK = 64 * 1024;
constexpr int READS_PER_TURN = 16;  // one busy peer never starves the others

std::mutex g_reactorLock;
std::weak_ptr<Reactor> g_reactor;

} // namespace

// ----------------------------------------------------------- Conversation

Conversation::Conversation(std::uintptr_t id, int fd, bool server, std::weak_ptr<ConversationSink> sink,
                           int readPoll)
    : m_id(id), m_server(server), m_sink(std::move(sink)), m_readPoll(readPoll), m_fd(fd)
{
}

Conversation::~Conversation()
{
    // A conversation never registered (or never closed by a reactor) still
    // owns its descriptor.
    if (!m_closed && m_fd >= 0)
        ::close(m_fd);
}

Conversation::SendResult Conversation::Send(std::string_view bytes, std::size_t limit)
{
    std::lock_guard guard(m_lock);
    if (m_closed || m_shutdown || m_closeWhenFlushed)
        return SendResult::CLOSED;
    std::size_t written = 0;
    if (m_out.empty()) {
        while (written < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.data() + written, bytes.size() - written, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            // The peer is gone; the reactor reports it.
            m_shutdown = true;
            ::shutdown(m_fd, SHUT_RDWR);
            return SendResult::CLOSED;
        }
        if (written == bytes.size())
            return SendResult::SENT;
    }
    const std::size_t rest = bytes.size() - written;
    if (m_outBytes + rest > limit) {
        m_shutdown = true;
        m_closeReason = DMLERR_LOW_MEMORY;
        m_out.clear();
        m_outBytes = 0;
        m_outHead = 0;
        ::shutdown(m_fd, SHUT_RDWR);
        return SendResult::OVERFLOW;
    }
    m_out.emplace_back(bytes.substr(written));
    m_outBytes += rest;
    UpdateEventsLocked();
    return SendResult::SENT;
}

void Conversation::Shutdown(UINT reason)
{
    std::lock_guard guard(m_lock);
    if (m_closed || m_shutdown)
        return;
    m_shutdown = true;
    m_closeReason = reason;
    ::shutdown(m_fd, SHUT_RDWR);
}

void Conversation::CloseWhenFlushed()
{
    std::lock_guard guard(m_lock);
    if (m_closed || m_shutdown)
        return;
    if (m_out.empty()) {
        m_shutdown = true;
        ::shutdown(m_fd, SHUT_RDWR);
    } else {
        m_closeWhenFlushed = true;
    }
}

bool Conversation::IsClosing() const
{
    std::lock_guard guard(m_lock);
    return m_closed || m_shutdown || m_closeWhenFlushed;
}

void Conversation::FrameTaken()
{
    m_waiting.fetch_add(1);
}

void Conversation::FrameDone()
{
    const int left = m_waiting.fetch_sub(1) - 1;
    if (left <= MAX_FRAMES_WAITING / 2) {
        std::lock_guard guard(m_lock);
        if (m_readPaused && !m_closed) {
            m_readPaused = false;
            UpdateEventsLocked();
        }
    }
}

std::size_t Conversation::QueuedBytes() const
{
    std::lock_guard guard(m_lock);
    return m_outBytes;
}

void Conversation::UpdateEventsLocked()
{
    if (m_closed || m_reactor == nullptr)
        return;
    if (m_readPoll >= 0) {
        // The reactor only writes: armed once per wait for room, so a socket
        // that has ended never keeps it busy.
        if (!m_out.empty() && m_events == 0) {
            m_events = EPOLLOUT;
            m_reactor->Modify(m_fd, m_id, EPOLLOUT | EPOLLONESHOT);
        }
        const std::uint32_t readEvents = m_readPaused ? 0u : std::uint32_t(EPOLLIN);
        if (readEvents != m_readEvents) {
            m_readEvents = readEvents;
            epoll_event event{};
            event.events = readEvents;
            event.data.u64 = m_id;
            ::epoll_ctl(m_readPoll, EPOLL_CTL_MOD, m_fd, &event);
        }
        return;
    }
    std::uint32_t events = EPOLLRDHUP;
    if (!m_readPaused)
        events |= EPOLLIN;
    if (!m_out.empty())
        events |= EPOLLOUT;
    if (events != m_events) {
        m_events = events;
        m_reactor->Modify(m_fd, m_id, events);
    }
}

void Conversation::ReadReady(std::uint32_t events)
{
    // One block per reading thread: frames are cut from it at once.
    thread_local std::unique_ptr<char[]> t_block;
    if (!t_block)
        t_block.reset(new char[READ_BLOCK]);
    std::lock_guard readGuard(m_readLock);
    if (m_closed.load())
        return;
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR))
        OnReadable(t_block.get(), READ_BLOCK);
    // A paused reader would never see the end; the peer is gone.
    if ((events & EPOLLERR) || ((events & EPOLLHUP) && m_readPaused.load()))
        CloseReading(0);
}

void Conversation::OnReadable(char* buffer, std::size_t size)
{
    auto sink = m_sink.lock();
    for (int turn = 0; turn < READS_PER_TURN; ++turn) {
        // Only the reader closes the descriptor, so reading needs no m_lock
        // and never waits for a sender.
        if (m_closed.load() || m_readPaused.load())
            return;
        const ssize_t n = ::recv(m_fd, buffer, size, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            CloseReading(0);
            return;
        }
        m_reader.Append(buffer, static_cast<std::size_t>(n));
        Frame frame;
        for (;;) {
            const auto result = m_reader.Next(frame);
            if (result == FrameReader::NEED_MORE)
                break;
            if (result == FrameReader::BAD) {
                CloseReading(DMLERR_POSTMSG_FAILED);
                return;
            }
            if (!sink) {
                CloseReading(0);
                return;
            }
            sink->OnFrame(shared_from_this(), std::move(frame));
        }
        if (m_waiting.load() >= MAX_FRAMES_WAITING) {
            std::lock_guard guard(m_lock);
            if (!m_closed && m_waiting.load() >= MAX_FRAMES_WAITING) {
                m_readPaused = true;
                UpdateEventsLocked();
                return;
            }
        }
        if (static_cast<std::size_t>(n) < size)
            return;
    }
}

void Conversation::OnWritable()
{
    std::lock_guard guard(m_lock);
    if (m_closed)
        return;
    if (m_readPoll >= 0)
        m_events = 0;  // the one-shot wait has fired
    while (!m_out.empty()) {
        iovec parts[64];
        int count = 0;
        for (auto it = m_out.begin(); it != m_out.end() && count < 64; ++it, ++count) {
            const std::size_t skip = count == 0 ? m_outHead : 0;
            parts[count].iov_base = const_cast<char*>(it->data()) + skip;
            parts[count].iov_len = it->size() - skip;
        }
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = static_cast<std::size_t>(count);
        ssize_t n = ::sendmsg(m_fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n < 0) {
            m_out.clear();
            m_outBytes = 0;
            m_outHead = 0;
            m_shutdown = true;
            ::shutdown(m_fd, SHUT_RDWR);
            break;
        }
        auto left = static_cast<std::size_t>(n);
        m_outBytes -= left;
        while (left > 0) {
            const std::size_t headRest = m_out.front().size() - m_outHead;
            if (left >= headRest) {
                left -= headRest;
                m_out.pop_front();
                m_outHead = 0;
            } else {
                m_outHead += left;
                left = 0;
            }
        }
    }
    if (m_out.empty() && m_closeWhenFlushed && !m_shutdown) {
        m_shutdown = true;
        ::shutdown(m_fd, SHUT_RDWR);
    }
    UpdateEventsLocked();
}

void Conversation::CloseNow(UINT reason)
{
    std::lock_guard readGuard(m_readLock);
    CloseReading(reason);
}

void Conversation::CloseReading(UINT reason)
{
    {
        std::lock_guard guard(m_lock);
        if (m_closed)
            return;
        if (m_closeReason != 0)
            reason = m_closeReason;
        m_closed = true;
        if (m_reactor != nullptr)
            m_reactor->Forget(m_fd, m_id);
        m_reactor = nullptr;
        ::close(m_fd);
        m_fd = -1;
        m_out.clear();
        m_outBytes = 0;
        m_outHead = 0;
    }
    if (auto sink = m_sink.lock())
        sink->OnClosed(shared_from_this(), reason);
}

// ----------------------------------------------------------------- Reactor

std::shared_ptr<Reactor> Reactor::Acquire()
{
    std::lock_guard guard(g_reactorLock);
    if (auto reactor = g_reactor.lock())
        return reactor;
    std::shared_ptr<Reactor> reactor(new Reactor());
    g_reactor = reactor;
    return reactor;
}

Reactor::Reactor()
{
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = WAKE_TOKEN;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event);
    if (m_inotify >= 0) {
        event.data.u64 = INOTIFY_TOKEN;
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_inotify, &event);
    }
    m_readBuffer.resize(READ_BLOCK);
    // The thread takes no signals meant for the program: it starts with
    // every signal blocked.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    m_thread = std::thread([this] { Run(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

Reactor::~Reactor()
{
    m_stop = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(m_wake, &one, sizeof one);
    if (m_thread.joinable())
        m_thread.join();
    std::unordered_map<std::uint64_t, std::shared_ptr<Conversation>> conversations;
    std::unordered_map<std::uint64_t, std::shared_ptr<Listener>> listeners;
    {
        std::lock_guard guard(m_lock);
        conversations.swap(m_conversations);
        listeners.swap(m_listeners);
    }
    for (auto& [token, conv] : conversations)
        conv->CloseNow(0);
    for (auto& [token, listener] : listeners)
        ::close(listener->fd);
    if (m_inotify >= 0)
        ::close(m_inotify);
    ::close(m_wake);
    ::close(m_epoll);
}

bool Reactor::Add(const std::shared_ptr<Conversation>& conv)
{
    {
        std::lock_guard guard(m_lock);
        m_conversations[conv->Id()] = conv;
    }
    std::lock_guard guard(conv->m_lock);
    bool added = !conv->m_closed;
    if (added) {
        conv->m_reactor = this;
        const std::uint32_t out = conv->m_out.empty() ? 0u : std::uint32_t(EPOLLOUT);
        epoll_event event{};
        event.data.u64 = conv->Id();
        if (conv->m_readPoll >= 0) {
            // Watched here only while something waits to be written (see
            // Modify): an idle socket wakes nothing but its reader.
            conv->m_readEvents = EPOLLIN;
            event.events = EPOLLIN;
            added = ::epoll_ctl(conv->m_readPoll, EPOLL_CTL_ADD, conv->m_fd, &event) == 0;
            conv->m_events = 0;
            if (added)
                conv->UpdateEventsLocked();
        } else {
            conv->m_events = EPOLLIN | EPOLLRDHUP | out;
            event.events = conv->m_events;
            added = ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, conv->m_fd, &event) == 0;
        }
        if (!added) {
            conv->m_reactor = nullptr;
            conv->m_shutdown = true;
            ::shutdown(conv->m_fd, SHUT_RDWR);
        }
    }
    if (!added) {
        std::lock_guard mapGuard(m_lock);
        m_conversations.erase(conv->Id());
    }
    return added;
}

std::uint64_t Reactor::AddListener(int fd, AcceptFn onAccept)
{
    auto listener = std::make_shared<Listener>(Listener{fd, std::move(onAccept)});
    std::uint64_t token;
    {
        std::lock_guard guard(m_lock);
        token = m_nextToken++;
        m_listeners[token] = listener;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = token;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
        std::lock_guard guard(m_lock);
        m_listeners.erase(token);
        return 0;
    }
    return token;
}

void Reactor::RemoveListener(std::uint64_t token)
{
    std::shared_ptr<Listener> listener;
    {
        std::lock_guard guard(m_lock);
        auto found = m_listeners.find(token);
        if (found == m_listeners.end())
            return;
        listener = found->second;
        m_listeners.erase(found);
        // Closed under the lock so that the reactor thread never accepts on
        // a descriptor number that was reused meanwhile.
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, listener->fd, nullptr);
        ::close(listener->fd);
    }
}

void Reactor::WatchDirectory(const std::string& dir, WatchFn onChange)
{
    if (m_inotify < 0)
        return;
    const int watch = ::inotify_add_watch(m_inotify, dir.c_str(), IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM);
    if (watch < 0)
        return;
    std::lock_guard guard(m_lock);
    m_watchedDirs[watch] = dir;
    if (!m_onWatch)
        m_onWatch = std::move(onChange);
}

void Reactor::Modify(int fd, std::uint64_t token, std::uint32_t events)
{
    epoll_event event{};
    event.events = events;
    event.data.u64 = token;
    // A socket its owner reads joins on its first wait for room.
    if (::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event) != 0 && errno == ENOENT)
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
}

void Reactor::Forget(int fd, std::uint64_t token)
{
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    std::lock_guard guard(m_lock);
    m_conversations.erase(token);
}

void Reactor::Run()
{
    pthread_setname_np(pthread_self(), "dde-reactor");
    epoll_event events[64];
    while (!m_stop) {
        const int count = ::epoll_wait(m_epoll, events, 64, -1);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < count && !m_stop; ++i) {
            const std::uint64_t token = events[i].data.u64;
            const std::uint32_t what = events[i].events;
            if (token == WAKE_TOKEN) {
                std::uint64_t value;
                [[maybe_unused]] auto ignored = ::read(m_wake, &value, sizeof value);
                continue;
            }
            if (token == INOTIFY_TOKEN) {
                alignas(inotify_event) char buffer[4096];
                for (;;) {
                    const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
                    if (n <= 0)
                        break;
                    for (ssize_t at = 0; at < n;) {
                        const auto* note = reinterpret_cast<const inotify_event*>(buffer + at);
                        at += static_cast<ssize_t>(sizeof(inotify_event) + note->len);
                        std::string dir;
                        WatchFn onWatch;
                        {
                            std::lock_guard guard(m_lock);
                            auto found = m_watchedDirs.find(note->wd);
                            if (found == m_watchedDirs.end())
                                continue;
                            if (note->mask & IN_IGNORED) {
                                m_watchedDirs.erase(found);
                                continue;
                            }
                            dir = found->second;
                            onWatch = m_onWatch;
                        }
                        if (note->len == 0 || !onWatch)
                            continue;
                        const bool added = (note->mask & IN_MOVED_TO) != 0;
                        onWatch(dir, note->name, added);
                    }
                }
                continue;
            }
            std::shared_ptr<Conversation> conv;
            std::shared_ptr<Listener> listener;
            {
                std::lock_guard guard(m_lock);
                if (auto found = m_conversations.find(token); found != m_conversations.end())
                    conv = found->second;
                else if (auto other = m_listeners.find(token); other != m_listeners.end())
                    listener = other->second;
            }
            if (listener) {
                for (;;) {
                    int client;
                    {
                        std::lock_guard guard(m_lock);
                        if (m_listeners.count(token) == 0)
                            break;
                        client = ::accept4(listener->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    }
                    if (client < 0)
                        break;
                    listener->onAccept(client);
                }
                continue;
            }
            if (!conv)
                continue;  // a late event for a closed conversation
            if (conv->m_readPoll >= 0) {
                // Its reader sees the end; here only the queue is written.
                conv->OnWritable();
                continue;
            }
            if (what & EPOLLOUT)
                conv->OnWritable();
            if (what & (EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP))
                conv->OnReadable(m_readBuffer.data(), m_readBuffer.size());
            if (what & (EPOLLHUP | EPOLLERR)) {
                bool paused;
                {
                    std::lock_guard guard(conv->m_lock);
                    paused = conv->m_readPaused;
                }
                // A paused reader would never see the end; the peer is gone.
                if (paused || (what & EPOLLERR))
                    conv->CloseNow(0);
            }
        }
    }
}

} // namespace Platform::Dde
