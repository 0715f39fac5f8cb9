#include "Platform/IoPort.h"

#include "Platform/KernelObjects.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectTimeoutMs = 10000;
constexpr int kMaxEvents = 256;

struct Completion {
    OVERLAPPED* ov;
    DWORD bytes;
    ULONG_PTR key;
    DWORD error;
    bool io; // an operation's result (written into the record) or a post
};

struct Port;
struct SocketEntry;

struct ReadySocket {
    std::shared_ptr<SocketEntry> entry;
    std::uint32_t events;
};

// ---------------------------------------------------------------- port

struct Port {
    std::uintptr_t id = 0;
    int epoll = -1;
    int wake = -1;

    std::mutex lock;
    std::condition_variable idle;
    std::deque<Completion> queue;
    // Sockets the poller found ready, for any thread to do their reads and
    // writes: the poller only gathers readiness, so the system calls of
    // many sockets run on every worker at once, not one after another.
    std::deque<ReadySocket> ready;
    // Whether `queue` or `ready` holds anything, readable without the lock:
    // a thread about to sleep looks at it for a moment first. Written under
    // `lock`.
    std::atomic<bool> hasWork{false};
    std::multimap<Clock::time_point, Completion> timers;
    // Sockets closed while attached: kept until no epoll batch can still
    // name them (freed by the poller before its next wait).
    std::vector<std::shared_ptr<SocketEntry>> retired;
    unsigned idleThreads = 0;
    // Idle threads notified that have not woken yet: a second post must not
    // count on a thread the first one already took.
    unsigned signalled = 0;
    bool polling = false;
    bool pollerBlocked = false;
    bool wakePending = false;
    bool closed = false;

    ~Port()
    {
        if (epoll >= 0)
            ::close(epoll);
        if (wake >= 0)
            ::close(wake);
    }

    // Caller holds `lock`. Wakes one idle thread not woken already.
    bool SignalIdle()
    {
        if (idleThreads <= signalled)
            return false;
        ++signalled;
        idle.notify_one();
        return true;
    }

    // Caller holds `lock`. Wakes someone who will take the new work.
    void WakeForWork(bool fromHandler)
    {
        if (SignalIdle())
            return;
        if (polling && pollerBlocked && !fromHandler && !wakePending) {
            wakePending = true;
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(wake, &one, sizeof one);
        }
    }

    // Queues a batch of finished operations. With wakeSomeone false nobody is
    // woken for it: the caller is a worker that takes it next itself.
    void Push(std::vector<Completion>& batch, bool fromHandler, bool wakeSomeone = true);

    // Caller holds `lock`, after changing `queue`.
    void NoteQueue() { hasWork.store(!queue.empty() || !ready.empty(), std::memory_order_release); }
};

thread_local const void* t_handlerPort = nullptr;

// The record's status word may be read by another thread (HasCompleted)
// while the operation runs: it is written atomically.
void WriteResult(OVERLAPPED& ov, const Completion& c)
{
    ov.InternalHigh = c.bytes;
    std::atomic_ref<ULONG_PTR>(ov.Internal).store(c.error, std::memory_order_release);
}

std::mutex& PortTableLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}
std::unordered_map<std::uintptr_t, std::shared_ptr<Port>>& PortTable()
{
    static auto* table = new std::unordered_map<std::uintptr_t, std::shared_ptr<Port>>;
    return *table;
}
std::atomic<std::uintptr_t> g_nextPort{0x40000002};

std::shared_ptr<Port> FindPort(HANDLE h)
{
    std::lock_guard<std::mutex> guard(PortTableLock());
    auto it = PortTable().find(reinterpret_cast<std::uintptr_t>(h));
    return it == PortTable().end() ? nullptr : it->second;
}

void Port::Push(std::vector<Completion>& batch, bool fromHandler, bool wakeSomeone)
{
    if (batch.empty())
        return;
    std::lock_guard<std::mutex> guard(lock);
    if (closed) {
        batch.clear();
        return;
    }
    for (Completion& c : batch) {
        if (c.io && c.ov != nullptr)
            WriteResult(*c.ov, c);
        queue.push_back(c);
    }
    batch.clear();
    NoteQueue();
    if (wakeSomeone)
        WakeForWork(fromHandler || t_handlerPort == this);
}

// ---------------------------------------------------------------- sockets

enum class OpKind { Receive, Send, Accept };

struct Op {
    OVERLAPPED* ov = nullptr;
    iovec iov[WSABUF_MAX];
    unsigned iovCount = 0;
    unsigned iovFirst = 0;   // sends: first buffer not yet sent whole
    DWORD done = 0;          // sends: bytes handed to the system so far
    int flags = 0;
    sockaddr* from = nullptr; // receive-from
    int* fromLength = nullptr;
    sockaddr_storage to{};   // send-to
    socklen_t toLength = 0;
    SOCKET acceptSocket = INVALID_SOCKET;
    char* acceptBuffer = nullptr;
    DWORD localLength = 0;
    DWORD remoteLength = 0;
};

struct SocketEntry : std::enable_shared_from_this<SocketEntry> {
    std::mutex lock;
    SOCKET id = INVALID_SOCKET;
    int fd = -1;
    int type = 0;
    bool closed = false;
    std::shared_ptr<Port> port;
    ULONG_PTR key = 0;
    bool readable = false;
    // The peer's end (or an error) was signalled: the socket stays readable
    // from then on, for that edge is not raised again once a read used it.
    bool peerClosed = false;
    bool writable = false;
    std::deque<Op> receives;
    std::deque<Op> sends;
    std::deque<Op> accepts;
    // Buffer sizes asked for, carried over to an accepted connection.
    int receiveBuffer = 0;
    int sendBuffer = 0;
    // Event selection (FD_CONNECT).
    HANDLE selectEvent = nullptr;
    long selectMask = 0;
    bool connecting = false;
    long networkEvents = 0;
    int connectError = 0;
};

std::shared_mutex& SocketTableLock()
{
    static auto* lock = new std::shared_mutex;
    return *lock;
}
std::unordered_map<std::uintptr_t, std::shared_ptr<SocketEntry>>& SocketTable()
{
    static auto* table = new std::unordered_map<std::uintptr_t, std::shared_ptr<SocketEntry>>;
    return *table;
}
std::atomic<std::uintptr_t> g_nextSocket{0x40000001};

std::shared_ptr<SocketEntry> FindSocket(SOCKET s)
{
    std::shared_lock<std::shared_mutex> guard(SocketTableLock());
    auto it = SocketTable().find(static_cast<std::uintptr_t>(s));
    return it == SocketTable().end() ? nullptr : it->second;
}

std::shared_ptr<SocketEntry> FindSocket(HANDLE h)
{
    return FindSocket(static_cast<SOCKET>(reinterpret_cast<std::uintptr_t>(h)));
}

int Fail(DWORD code)
{
    SetLastError(code);
    return SOCKET_ERROR;
}

// The outcome of one attempt at an operation.
enum class Attempt { Done, WouldBlock };

Completion Finish(SocketEntry& e, const Op& op, DWORD bytes, DWORD error)
{
    return Completion{op.ov, bytes, e.key, error, true};
}

void WriteAddress(const sockaddr_storage& address, socklen_t length, char* block, DWORD blockLength)
{
    std::memset(block, 0, blockLength);
    std::memcpy(block, &address, std::min<std::size_t>(length, blockLength));
}

Attempt TryReceive(SocketEntry& e, Op& op, std::vector<Completion>& out)
{
    for (;;) {
        msghdr msg{};
        msg.msg_iov = op.iov;
        msg.msg_iovlen = op.iovCount;
        sockaddr_storage from{};
        if (op.from != nullptr) {
            msg.msg_name = &from;
            msg.msg_namelen = sizeof from;
        }
        ssize_t n = ::recvmsg(e.fd, &msg, op.flags);
        if (n >= 0) {
            if (op.from != nullptr && op.fromLength != nullptr) {
                socklen_t room = *op.fromLength > 0 ? static_cast<socklen_t>(*op.fromLength) : 0;
                std::memcpy(op.from, &from, std::min(room, msg.msg_namelen));
                *op.fromLength = static_cast<int>(msg.msg_namelen);
            }
            DWORD error = (msg.msg_flags & MSG_TRUNC) != 0 ? WSAEMSGSIZE : 0;
            out.push_back(Finish(e, op, static_cast<DWORD>(n), error));
            return Attempt::Done;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Attempt::WouldBlock;
        out.push_back(Finish(e, op, 0, static_cast<DWORD>(errno)));
        return Attempt::Done;
    }
}

Attempt TrySend(SocketEntry& e, Op& op, std::vector<Completion>& out)
{
    for (;;) {
        msghdr msg{};
        msg.msg_iov = op.iov + op.iovFirst;
        msg.msg_iovlen = op.iovCount - op.iovFirst;
        if (op.toLength != 0) {
            msg.msg_name = &op.to;
            msg.msg_namelen = op.toLength;
        }
        ssize_t n = msg.msg_iovlen == 0 ? 0 : ::sendmsg(e.fd, &msg, op.flags | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return Attempt::WouldBlock;
            out.push_back(Finish(e, op, op.done, static_cast<DWORD>(errno)));
            return Attempt::Done;
        }
        op.done += static_cast<DWORD>(n);
        std::size_t left = static_cast<std::size_t>(n);
        while (op.iovFirst < op.iovCount && left >= op.iov[op.iovFirst].iov_len) {
            left -= op.iov[op.iovFirst].iov_len;
            ++op.iovFirst;
        }
        if (op.iovFirst == op.iovCount) {
            out.push_back(Finish(e, op, op.done, 0));
            return Attempt::Done;
        }
        // Part of a buffer went: the rest waits for room (never another
        // send's bytes in between).
        op.iov[op.iovFirst].iov_base = static_cast<char*>(op.iov[op.iovFirst].iov_base) + left;
        op.iov[op.iovFirst].iov_len -= left;
        if (op.toLength != 0) {
            // A datagram goes whole or not at all; a partial one is a fault.
            out.push_back(Finish(e, op, op.done, WSAEMSGSIZE));
            return Attempt::Done;
        }
    }
}

bool ReplaceDescriptor(SocketEntry& target, int fd);

Attempt TryAccept(SocketEntry& e, Op& op, std::vector<Completion>& out)
{
    for (;;) {
        sockaddr_storage remote{};
        socklen_t remoteLength = sizeof remote;
        int fd = ::accept4(e.fd, reinterpret_cast<sockaddr*>(&remote), &remoteLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
        std::shared_ptr<SocketEntry> target;
        if (fd < 0 && (errno == EMFILE || errno == ENFILE)) {
            // Give up the accept socket's own descriptor to take the
            // connection.
            target = FindSocket(op.acceptSocket);
            if (target) {
                std::lock_guard<std::mutex> guard(target->lock);
                if (target->fd >= 0) {
                    ::close(target->fd);
                    target->fd = -1;
                }
            }
            remoteLength = sizeof remote;
            fd = ::accept4(e.fd, reinterpret_cast<sockaddr*>(&remote), &remoteLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
        }
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return Attempt::WouldBlock;
            out.push_back(Finish(e, op, 0, static_cast<DWORD>(errno)));
            return Attempt::Done;
        }
        if (!target)
            target = FindSocket(op.acceptSocket);
        if (!target || !ReplaceDescriptor(*target, fd)) {
            ::close(fd);
            out.push_back(Finish(e, op, 0, WSAENOTSOCK));
            return Attempt::Done;
        }
        sockaddr_storage local{};
        socklen_t localLength = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength);
        if (op.acceptBuffer != nullptr) {
            WriteAddress(local, localLength, op.acceptBuffer, op.localLength);
            WriteAddress(remote, remoteLength, op.acceptBuffer + op.localLength, op.remoteLength);
        }
        out.push_back(Finish(e, op, 0, 0));
        return Attempt::Done;
    }
}

// Runs the waiting operations that readiness allows. Caller holds e.lock.
void RunReceives(SocketEntry& e, std::vector<Completion>& out)
{
    while (e.readable && !e.receives.empty()) {
        Op& op = e.receives.front();
        std::size_t room = 0;
        for (unsigned i = 0; i < op.iovCount; ++i)
            room += op.iov[i].iov_len;
        std::size_t before = out.size();
        if (TryReceive(e, op, out) == Attempt::WouldBlock) {
            e.readable = false;
            break;
        }
        e.receives.pop_front();
        // A stream read that came back short emptied the socket: the next
        // arrival raises a new edge, so no read is wasted finding EAGAIN.
        const Completion& c = out[before];
        if (e.type == SOCK_STREAM && c.error == 0 && c.bytes > 0 && c.bytes < room && !e.peerClosed)
            e.readable = false;
    }
    while (e.readable && !e.accepts.empty()) {
        if (TryAccept(e, e.accepts.front(), out) == Attempt::WouldBlock) {
            e.readable = false;
            break;
        }
        e.accepts.pop_front();
    }
}

void RunSends(SocketEntry& e, std::vector<Completion>& out)
{
    while (e.writable && !e.sends.empty()) {
        if (TrySend(e, e.sends.front(), out) == Attempt::WouldBlock) {
            e.writable = false;
            break;
        }
        e.sends.pop_front();
    }
}

void AbortAll(SocketEntry& e, std::vector<Completion>& out)
{
    for (std::deque<Op>* ops : {&e.receives, &e.sends, &e.accepts}) {
        for (const Op& op : *ops)
            out.push_back(Finish(e, op, op.done, ERROR_OPERATION_ABORTED));
        ops->clear();
    }
}

// The pending connect has ended (or may have): record it and set the event.
// Caller holds e.lock.
void CheckConnect(SocketEntry& e)
{
    if (!e.connecting)
        return;
    pollfd p{e.fd, POLLOUT, 0};
    if (::poll(&p, 1, 0) <= 0 || p.revents == 0)
        return; // still being made
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(e.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == 0 && (p.revents & (POLLERR | POLLHUP)) != 0)
        error = ECONNREFUSED;
    e.connecting = false;
    e.networkEvents |= FD_CONNECT;
    e.connectError = error;
    if (e.selectEvent != nullptr)
        SetEvent(e.selectEvent);
}

bool Register(SocketEntry& e)
{
    if (!e.port || e.fd < 0)
        return true;
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    ev.data.ptr = &e;
    return ::epoll_ctl(e.port->epoll, EPOLL_CTL_ADD, e.fd, &ev) == 0;
}

bool ReplaceDescriptor(SocketEntry& target, int fd)
{
    std::lock_guard<std::mutex> guard(target.lock);
    if (target.closed)
        return false;
    if (target.fd >= 0) {
        if (target.port)
            ::epoll_ctl(target.port->epoll, EPOLL_CTL_DEL, target.fd, nullptr);
        ::close(target.fd);
    }
    target.fd = fd;
    target.readable = false;
    target.peerClosed = false;
    target.writable = true;
    if (target.receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &target.receiveBuffer, sizeof target.receiveBuffer);
    if (target.sendBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &target.sendBuffer, sizeof target.sendBuffer);
    Register(target);
    return true;
}

// Handles one readiness event on a worker of the port. The completions are
// queued before the socket's lock is let go, so those of one socket reach the
// queue in the order they finished; the worker takes them next itself, and
// wakes another thread then if more is waiting. The poller passes `held`:
// it queues them itself once it has stopped polling, so that a spinning
// thread does not take them from under it.
void OnEvent(SocketEntry& e, std::uint32_t events, std::vector<Completion>* held = nullptr)
{
    thread_local std::vector<Completion> queued;
    std::vector<Completion>& out = held != nullptr ? *held : queued;
    std::lock_guard<std::mutex> guard(e.lock);
    if (e.closed || e.fd < 0 || !e.port)
        return;
    const bool failed = (events & (EPOLLERR | EPOLLHUP)) != 0;
    if (failed || (events & EPOLLRDHUP) != 0)
        e.peerClosed = true;
    if (failed || (events & (EPOLLIN | EPOLLRDHUP)) != 0)
        e.readable = true;
    if (failed || (events & EPOLLOUT) != 0) {
        e.writable = true;
        CheckConnect(e);
    }
    RunReceives(e, out);
    RunSends(e, out);
    if (held == nullptr)
        e.port->Push(out, true, false);
}

// Takes up to `count` buffers into an operation.
bool TakeBuffers(Op& op, const WSABUF* buffers, DWORD count)
{
    if (count > WSABUF_MAX || (count > 0 && buffers == nullptr))
        return false;
    for (DWORD i = 0; i < count; ++i) {
        op.iov[i].iov_base = buffers[i].buf;
        op.iov[i].iov_len = buffers[i].len;
    }
    op.iovCount = count;
    return true;
}

// Starts an operation: at once when the socket is ready, else queued.
int Start(SOCKET s, OpKind kind, Op&& op, LPDWORD transferred)
{
    if (op.ov == nullptr)
        return Fail(WSAEINVAL);
    std::shared_ptr<SocketEntry> e = FindSocket(s);
    if (!e)
        return Fail(WSAENOTSOCK);
    std::vector<Completion> out;
    std::shared_ptr<Port> port;
    bool pending = false;
    DWORD error = 0;
    {
        std::lock_guard<std::mutex> guard(e->lock);
        if (e->closed || e->fd < 0)
            return Fail(WSAENOTSOCK);
        if (!e->port)
            return Fail(WSAEINVAL); // nowhere to complete
        port = e->port;
        std::atomic_ref<ULONG_PTR>(op.ov->Internal).store(STATUS_PENDING, std::memory_order_release);
        op.ov->InternalHigh = 0;
        std::deque<Op>& queue = kind == OpKind::Send ? e->sends : kind == OpKind::Receive ? e->receives : e->accepts;
        queue.push_back(std::move(op));
        if (kind == OpKind::Send) {
            if (queue.size() == 1) {
                e->writable = true; // try: the edge may have come and gone
                RunSends(*e, out);
            }
        } else if (queue.size() == 1) {
            // A receive is tried when the socket may hold data, an accept
            // always (a connection may be waiting since the last edge).
            if (kind == OpKind::Accept)
                e->readable = true;
            RunReceives(*e, out);
        }
        pending = out.empty();
        if (!pending) {
            // Finished at once: the bytes are known now, the completion is
            // queued all the same (under the socket's lock: after the
            // completions that finished before it).
            error = out.front().error;
            if (transferred != nullptr)
                *transferred = out.front().bytes;
            port->Push(out, false);
        }
    }
    if (pending) {
        SetLastError(WSA_IO_PENDING);
        return SOCKET_ERROR;
    }
    if (error != 0) {
        // The failure is reported by its completion, as on Windows when an
        // operation fails after it was accepted.
        SetLastError(WSA_IO_PENDING);
        return SOCKET_ERROR;
    }
    return 0;
}

} // namespace

// ---------------------------------------------------------------- ports

HANDLE CreateIoCompletionPort(HANDLE fileHandle, HANDLE existingPort, ULONG_PTR completionKey, DWORD /*threads*/)
{
    if (fileHandle == INVALID_HANDLE_VALUE) {
        if (existingPort != nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        auto port = std::make_shared<Port>();
        port->epoll = ::epoll_create1(EPOLL_CLOEXEC);
        port->wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (port->epoll < 0 || port->wake < 0) {
            SetLastError(static_cast<DWORD>(errno));
            return nullptr;
        }
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLET;
        ev.data.ptr = port.get();
        if (::epoll_ctl(port->epoll, EPOLL_CTL_ADD, port->wake, &ev) != 0) {
            SetLastError(static_cast<DWORD>(errno));
            return nullptr;
        }
        port->id = g_nextPort.fetch_add(4);
        std::lock_guard<std::mutex> guard(PortTableLock());
        PortTable().emplace(port->id, port);
        return reinterpret_cast<HANDLE>(port->id);
    }
    std::shared_ptr<Port> port = FindPort(existingPort);
    std::shared_ptr<SocketEntry> e = FindSocket(fileHandle);
    if (!port || !e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(e->lock);
    if (e->closed || e->port) {
        SetLastError(ERROR_INVALID_PARAMETER); // a handle joins one port only
        return nullptr;
    }
    e->port = port;
    e->key = completionKey;
    if (!Register(*e)) {
        const DWORD code = static_cast<DWORD>(errno);
        e->port.reset();
        SetLastError(code);
        return nullptr;
    }
    return existingPort;
}

namespace {
// One turn as the port's poller, entered and left with lk held: waits in
// epoll with the lock let go until an event, a wake-up, `until` or the next
// timer, then hands the sockets the events named to the workers. False when
// the port was closed meanwhile.
bool PollOnce(Port& port, std::unique_lock<std::mutex>& lk, Clock::time_point now, Clock::time_point until,
              std::vector<ReadySocket>& ready, std::vector<Completion>& batch,
              std::vector<std::shared_ptr<SocketEntry>>& retired)
{
    epoll_event events[kMaxEvents];
    port.polling = true;
    if (!port.timers.empty())
        until = std::min(until, port.timers.begin()->first);
    int timeout = -1;
    if (until != Clock::time_point::max()) {
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        timeout = static_cast<int>(std::clamp<long long>(ms, 0, 24 * 3600 * 1000));
    }
    retired.swap(port.retired);
    port.pollerBlocked = timeout != 0;
    lk.unlock();
    retired.clear(); // no batch still names them
    int n = ::epoll_wait(port.epoll, events, kMaxEvents, timeout);
    {
        std::lock_guard<std::mutex> guard(port.lock);
        port.pollerBlocked = false;
    }
    // Each entry named here is alive: closed ones wait in `retired` until
    // the next turn, so a share of each can be taken for the workers.
    for (int i = 0; i < n; ++i) {
        if (events[i].data.ptr == &port) {
            std::uint64_t count;
            while (::read(port.wake, &count, sizeof count) > 0) {
            }
            continue;
        }
        ready.push_back({static_cast<SocketEntry*>(events[i].data.ptr)->shared_from_this(), events[i].events});
    }
    // The first socket is served here, still as the poller, so a lone
    // connection's next event finds this thread awake; the others go to the
    // workers at once.
    if (ready.size() > 1) {
        lk.lock();
        if (!port.closed) {
            for (std::size_t i = 1; i < ready.size(); ++i)
                port.ready.push_back(std::move(ready[i]));
            port.NoteQueue();
            port.SignalIdle();
        }
        lk.unlock();
    }
    if (!ready.empty())
        OnEvent(*ready.front().entry, ready.front().events, &batch);
    ready.clear(); // a closed socket may go here: outside every lock
    lk.lock();
    port.polling = false;
    port.wakePending = false;
    if (port.closed) {
        batch.clear();
        return false;
    }
    for (Completion& c : batch) {
        WriteResult(*c.ov, c);
        port.queue.push_back(c);
    }
    batch.clear();
    port.NoteQueue();
    return true;
}
} // namespace

namespace {
// Entered and left with lk held. True when work was queued within a short
// spin (lk let go meanwhile); never spins where one core would only delay
// the poller.
bool SpinForWork(Port& port, std::unique_lock<std::mutex>& lk, Clock::time_point deadline)
{
    static const bool several = std::thread::hardware_concurrency() > 1;
    if (!several)
        return false;
    constexpr auto kSpin = std::chrono::microseconds(50);
    lk.unlock();
    const Clock::time_point until = std::min(deadline, Clock::now() + kSpin);
    bool found = false;
    for (unsigned i = 0;; ++i) {
        if (port.hasWork.load(std::memory_order_acquire)) {
            found = true;
            break;
        }
        if ((i & 63) == 63 && Clock::now() >= until)
            break;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
    }
    lk.lock();
    return found;
}
} // namespace

BOOL GetQueuedCompletionStatus(HANDLE h, LPDWORD bytes, PULONG_PTR completionKey, LPOVERLAPPED* overlapped,
                               DWORD milliseconds)
{
    if (overlapped != nullptr)
        *overlapped = nullptr;
    std::shared_ptr<Port> port = FindPort(h);
    if (!port || overlapped == nullptr) {
        SetLastError(port ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const bool forever = milliseconds == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
    std::vector<ReadySocket> ready;
    std::vector<Completion> batch;
    std::vector<std::shared_ptr<SocketEntry>> retired;

    std::unique_lock<std::mutex> lk(port->lock);
    bool spun = false;
    for (;;) {
        if (port->closed) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        const Clock::time_point now = Clock::now();
        while (!port->timers.empty() && port->timers.begin()->first <= now) {
            port->queue.push_back(port->timers.begin()->second);
            port->timers.erase(port->timers.begin());
            port->NoteQueue();
        }
        if (!port->queue.empty()) {
            Completion c = port->queue.front();
            port->queue.pop_front();
            port->NoteQueue();
            // More work, or nobody polling: hand it to an idle thread.
            if (!port->queue.empty() || !port->polling)
                port->SignalIdle();
            lk.unlock();
            if (bytes != nullptr)
                *bytes = c.bytes;
            if (completionKey != nullptr)
                *completionKey = c.key;
            *overlapped = c.ov;
            if (c.error != 0) {
                SetLastError(c.error);
                return FALSE;
            }
            return TRUE;
        }
        if (!port->ready.empty()) {
            // A ready socket's reads and writes, here rather than on the
            // poller; what they finish is queued, taken on the next turn.
            ReadySocket r = std::move(port->ready.front());
            port->ready.pop_front();
            port->NoteQueue();
            if (!port->ready.empty() || !port->polling)
                port->SignalIdle();
            lk.unlock();
            OnEvent(*r.entry, r.events);
            r.entry.reset(); // a closed socket may go here: outside every lock
            lk.lock();
            continue;
        }
        if (!forever && now >= deadline) {
            // Leaving: an idle thread takes over the polling.
            if (!port->polling)
                port->SignalIdle();
            SetLastError(WAIT_TIMEOUT);
            return FALSE;
        }
        if (!port->polling) {
            Clock::time_point until = forever ? Clock::time_point::max() : deadline;
            if (!PollOnce(*port, lk, now, until, ready, batch, retired)) {
                SetLastError(ERROR_INVALID_HANDLE);
                return FALSE;
            }
            continue;
        }
        // Another thread polls. Under load its next batch is microseconds
        // away: look for it a moment before paying for a sleep and a wake.
        if (!spun && SpinForWork(*port, lk, forever ? Clock::time_point::max() : deadline)) {
            spun = true;
            continue;
        }
        spun = true;
        ++port->idleThreads;
        if (forever)
            port->idle.wait(lk);
        else
            port->idle.wait_until(lk, deadline);
        --port->idleThreads;
        if (port->signalled > 0)
            --port->signalled;
    }
}

namespace {
BOOL Post(HANDLE h, const Clock::time_point* when, DWORD bytes, ULONG_PTR key, LPOVERLAPPED ov)
{
    std::shared_ptr<Port> port = FindPort(h);
    if (!port) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(port->lock);
    if (port->closed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const Completion c{ov, bytes, key, 0, false};
    if (when != nullptr) {
        const bool earliest = port->timers.empty() || *when < port->timers.begin()->first;
        port->timers.emplace(*when, c);
        // The poller's wait may end too late for the new timer.
        if (earliest && port->polling && port->pollerBlocked && !port->wakePending) {
            port->wakePending = true;
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(port->wake, &one, sizeof one);
        }
        if (!port->polling)
            port->SignalIdle();
        return TRUE;
    }
    port->queue.push_back(c);
    port->NoteQueue();
    port->WakeForWork(t_handlerPort == port.get());
    return TRUE;
}
} // namespace

BOOL PostQueuedCompletionStatus(HANDLE port, DWORD bytes, ULONG_PTR completionKey, LPOVERLAPPED overlapped)
{
    return Post(port, nullptr, bytes, completionKey, overlapped);
}

BOOL PostQueuedCompletionStatusAfter(HANDLE port, DWORD delayMs, DWORD bytes, ULONG_PTR completionKey,
                                     LPOVERLAPPED overlapped)
{
    const Clock::time_point when = Clock::now() + std::chrono::milliseconds(delayMs);
    return Post(port, &when, bytes, completionKey, overlapped);
}

BOOL CloseIoCompletionPort(HANDLE h)
{
    std::shared_ptr<Port> port;
    {
        std::lock_guard<std::mutex> guard(PortTableLock());
        auto it = PortTable().find(reinterpret_cast<std::uintptr_t>(h));
        if (it == PortTable().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        port = std::move(it->second);
        PortTable().erase(it);
    }
    std::vector<std::shared_ptr<SocketEntry>> retired;
    std::deque<ReadySocket> ready;
    {
        std::lock_guard<std::mutex> guard(port->lock);
        port->closed = true;
        port->queue.clear();
        ready.swap(port->ready);
        port->NoteQueue();
        port->timers.clear();
        if (!port->polling)
            retired.swap(port->retired);
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(port->wake, &one, sizeof one);
        port->idle.notify_all();
    }
    return TRUE;
}

BOOL CancelIo(HANDLE h)
{
    std::shared_ptr<SocketEntry> e = FindSocket(h);
    if (!e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::vector<Completion> out;
    std::shared_ptr<Port> port;
    {
        std::lock_guard<std::mutex> guard(e->lock);
        AbortAll(*e, out);
        port = e->port;
    }
    if (port)
        port->Push(out, false);
    return TRUE;
}

IoPortHandlerScope::IoPortHandlerScope(HANDLE h) : m_previous(t_handlerPort)
{
    std::shared_ptr<Port> port = FindPort(h);
    t_handlerPort = port.get();
}

IoPortHandlerScope::~IoPortHandlerScope()
{
    t_handlerPort = m_previous;
}

// ---------------------------------------------------------------- sockets

int WSAGetLastError()
{
    return static_cast<int>(GetLastError());
}

void WSASetLastError(int code)
{
    SetLastError(static_cast<DWORD>(code));
}

SOCKET WSASocket(int af, int type, int protocol, void* /*protocolInfo*/, unsigned /*group*/, DWORD /*flags*/)
{
    int fd = ::socket(af, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        SetLastError(static_cast<DWORD>(errno));
        return INVALID_SOCKET;
    }
    auto e = std::make_shared<SocketEntry>();
    e->fd = fd;
    e->type = type;
    e->writable = true;
    e->id = static_cast<SOCKET>(g_nextSocket.fetch_add(4));
    std::unique_lock<std::shared_mutex> guard(SocketTableLock());
    SocketTable().emplace(static_cast<std::uintptr_t>(e->id), e);
    return e->id;
}

int closesocket(SOCKET s)
{
    std::shared_ptr<SocketEntry> e;
    {
        std::unique_lock<std::shared_mutex> guard(SocketTableLock());
        auto it = SocketTable().find(static_cast<std::uintptr_t>(s));
        if (it == SocketTable().end())
            return Fail(WSAENOTSOCK);
        e = std::move(it->second);
        SocketTable().erase(it);
    }
    std::vector<Completion> out;
    std::shared_ptr<Port> port;
    {
        std::lock_guard<std::mutex> guard(e->lock);
        e->closed = true;
        AbortAll(*e, out);
        port = e->port;
        if (e->fd >= 0) {
            if (port)
                ::epoll_ctl(port->epoll, EPOLL_CTL_DEL, e->fd, nullptr);
            ::close(e->fd);
            e->fd = -1;
        }
    }
    if (port) {
        port->Push(out, false);
        std::lock_guard<std::mutex> guard(port->lock);
        port->retired.push_back(std::move(e));
    }
    return 0;
}

namespace {
// Runs `fn(fd)` on the socket's descriptor under its lock; fn returns the
// system call's result (negative with errno set on failure).
template <typename Fn>
int WithDescriptor(SOCKET s, Fn fn)
{
    std::shared_ptr<SocketEntry> e = FindSocket(s);
    if (!e)
        return Fail(WSAENOTSOCK);
    std::lock_guard<std::mutex> guard(e->lock);
    if (e->closed || e->fd < 0)
        return Fail(WSAENOTSOCK);
    int result = fn(*e);
    if (result < 0)
        return Fail(static_cast<DWORD>(errno));
    return 0;
}
} // namespace

int bind(SOCKET s, const sockaddr* address, int length)
{
    return WithDescriptor(s, [&](SocketEntry& e) { return ::bind(e.fd, address, static_cast<socklen_t>(length)); });
}

int listen(SOCKET s, int backlog)
{
    return WithDescriptor(s, [&](SocketEntry& e) { return ::listen(e.fd, backlog); });
}

int shutdown(SOCKET s, int how)
{
    return WithDescriptor(s, [&](SocketEntry& e) { return ::shutdown(e.fd, how); });
}

int setsockopt(SOCKET s, int level, int name, const void* value, int length)
{
    return WithDescriptor(s, [&](SocketEntry& e) {
        int result = ::setsockopt(e.fd, level, name, value, static_cast<socklen_t>(length));
        if (result == 0 && level == SOL_SOCKET && length == sizeof(int)) {
            if (name == SO_RCVBUF)
                std::memcpy(&e.receiveBuffer, value, sizeof(int));
            else if (name == SO_SNDBUF)
                std::memcpy(&e.sendBuffer, value, sizeof(int));
        }
        return result;
    });
}

int getsockopt(SOCKET s, int level, int name, void* value, int* length)
{
    if (length == nullptr)
        return Fail(WSAEFAULT);
    return WithDescriptor(s, [&](SocketEntry& e) {
        socklen_t size = static_cast<socklen_t>(*length);
        int result = ::getsockopt(e.fd, level, name, value, &size);
        *length = static_cast<int>(size);
        return result;
    });
}

int getsockname(SOCKET s, sockaddr* address, int* length)
{
    if (length == nullptr)
        return Fail(WSAEFAULT);
    return WithDescriptor(s, [&](SocketEntry& e) {
        socklen_t size = static_cast<socklen_t>(*length);
        int result = ::getsockname(e.fd, address, &size);
        *length = static_cast<int>(size);
        return result;
    });
}

int getpeername(SOCKET s, sockaddr* address, int* length)
{
    if (length == nullptr)
        return Fail(WSAEFAULT);
    return WithDescriptor(s, [&](SocketEntry& e) {
        socklen_t size = static_cast<socklen_t>(*length);
        int result = ::getpeername(e.fd, address, &size);
        *length = static_cast<int>(size);
        return result;
    });
}

int connect(SOCKET s, const sockaddr* address, int length)
{
    std::shared_ptr<SocketEntry> e = FindSocket(s);
    if (!e)
        return Fail(WSAENOTSOCK);
    int fd;
    {
        std::lock_guard<std::mutex> guard(e->lock);
        if (e->closed || e->fd < 0)
            return Fail(WSAENOTSOCK);
        fd = e->fd;
        int result;
        do {
            result = ::connect(fd, address, static_cast<socklen_t>(length));
        } while (result < 0 && errno == EINTR);
        if (e->selectMask & FD_CONNECT) {
            if (result == 0) {
                e->networkEvents |= FD_CONNECT;
                e->connectError = 0;
                if (e->selectEvent != nullptr)
                    SetEvent(e->selectEvent);
                return 0;
            }
            if (errno == EINPROGRESS) {
                e->connecting = true;
                e->writable = false;
                // The attempt may have ended before we marked it.
                CheckConnect(*e);
                return Fail(WSAEWOULDBLOCK);
            }
            return Fail(static_cast<DWORD>(errno));
        }
        if (result == 0)
            return 0;
        if (errno != EINPROGRESS)
            return Fail(static_cast<DWORD>(errno));
    }
    // A blocking dial, bounded in time. The lock is not held: a close from
    // another thread ends the wait.
    pollfd p{fd, POLLOUT, 0};
    int ready;
    const auto until = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    do {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(left, 0)));
    } while (ready < 0 && errno == EINTR);
    std::lock_guard<std::mutex> guard(e->lock);
    if (e->closed || e->fd != fd)
        return Fail(WSAENOTSOCK);
    if (ready == 0)
        return Fail(WSAETIMEDOUT);
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error != 0)
        return Fail(static_cast<DWORD>(error));
    e->writable = true;
    return 0;
}

int WSARecv(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD received, LPDWORD flags, LPOVERLAPPED overlapped,
            void* /*completionRoutine*/)
{
    Op op;
    op.ov = overlapped;
    op.flags = flags != nullptr ? static_cast<int>(*flags) : 0;
    if (!TakeBuffers(op, buffers, count))
        return Fail(WSAEINVAL);
    return Start(s, OpKind::Receive, std::move(op), received);
}

int WSASend(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD sent, DWORD flags, LPOVERLAPPED overlapped,
            void* /*completionRoutine*/)
{
    Op op;
    op.ov = overlapped;
    op.flags = static_cast<int>(flags);
    if (!TakeBuffers(op, buffers, count))
        return Fail(WSAEINVAL);
    return Start(s, OpKind::Send, std::move(op), sent);
}

int WSARecvFrom(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD received, LPDWORD flags, sockaddr* from,
                int* fromLength, LPOVERLAPPED overlapped, void* /*completionRoutine*/)
{
    Op op;
    op.ov = overlapped;
    op.flags = flags != nullptr ? static_cast<int>(*flags) : 0;
    op.from = from;
    op.fromLength = fromLength;
    if (!TakeBuffers(op, buffers, count) || (from != nullptr && fromLength == nullptr))
        return Fail(WSAEINVAL);
    return Start(s, OpKind::Receive, std::move(op), received);
}

int WSASendTo(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD sent, DWORD flags, const sockaddr* to, int toLength,
              LPOVERLAPPED overlapped, void* /*completionRoutine*/)
{
    Op op;
    op.ov = overlapped;
    op.flags = static_cast<int>(flags);
    if (!TakeBuffers(op, buffers, count) || to == nullptr || toLength <= 0 ||
        toLength > static_cast<int>(sizeof op.to))
        return Fail(WSAEINVAL);
    std::memcpy(&op.to, to, static_cast<std::size_t>(toLength));
    op.toLength = static_cast<socklen_t>(toLength);
    return Start(s, OpKind::Send, std::move(op), sent);
}

BOOL AcceptEx(SOCKET listenSocket, SOCKET acceptSocket, void* buffer, DWORD receiveLength, DWORD localLength,
              DWORD remoteLength, LPDWORD received, LPOVERLAPPED overlapped)
{
    if (receiveLength != 0 || localLength < ACCEPT_ADDRESS_LENGTH || remoteLength < ACCEPT_ADDRESS_LENGTH ||
        buffer == nullptr || !FindSocket(acceptSocket)) {
        SetLastError(WSAEINVAL);
        return FALSE;
    }
    Op op;
    op.ov = overlapped;
    op.acceptSocket = acceptSocket;
    op.acceptBuffer = static_cast<char*>(buffer);
    op.localLength = localLength;
    op.remoteLength = remoteLength;
    return Start(listenSocket, OpKind::Accept, std::move(op), received) == 0 ? TRUE : FALSE;
}

void GetAcceptExSockaddrs(void* buffer, DWORD receiveLength, DWORD localLength, DWORD /*remoteLength*/,
                          sockaddr** local, int* localSize, sockaddr** remote, int* remoteSize)
{
    char* base = static_cast<char*>(buffer) + receiveLength;
    auto size = [](const sockaddr* a) {
        return a->sa_family == AF_INET6 ? static_cast<int>(sizeof(sockaddr_in6)) : static_cast<int>(sizeof(sockaddr_in));
    };
    if (local != nullptr)
        *local = reinterpret_cast<sockaddr*>(base);
    if (localSize != nullptr)
        *localSize = size(reinterpret_cast<sockaddr*>(base));
    if (remote != nullptr)
        *remote = reinterpret_cast<sockaddr*>(base + localLength);
    if (remoteSize != nullptr)
        *remoteSize = size(reinterpret_cast<sockaddr*>(base + localLength));
}

int WSAEventSelect(SOCKET s, HANDLE event, long networkEvents)
{
    std::shared_ptr<SocketEntry> e = FindSocket(s);
    if (!e)
        return Fail(WSAENOTSOCK);
    std::lock_guard<std::mutex> guard(e->lock);
    if (e->closed)
        return Fail(WSAENOTSOCK);
    if (networkEvents != 0 && (event == nullptr || !e->port))
        return Fail(WSAEINVAL);
    e->selectEvent = networkEvents != 0 ? event : nullptr;
    e->selectMask = networkEvents;
    if (networkEvents == 0)
        e->connecting = false;
    return 0;
}

int WSAEnumNetworkEvents(SOCKET s, HANDLE event, LPWSANETWORKEVENTS events)
{
    if (events == nullptr)
        return Fail(WSAEFAULT);
    std::shared_ptr<SocketEntry> e = FindSocket(s);
    if (!e)
        return Fail(WSAENOTSOCK);
    std::lock_guard<std::mutex> guard(e->lock);
    *events = WSANETWORKEVENTS{};
    events->lNetworkEvents = e->networkEvents & e->selectMask;
    if (events->lNetworkEvents & FD_CONNECT)
        events->iErrorCode[FD_CONNECT_BIT] = e->connectError;
    e->networkEvents = 0;
    if (event != nullptr)
        ResetEvent(event);
    return 0;
}

std::size_t OpenSocketCount()
{
    std::shared_lock<std::shared_mutex> guard(SocketTableLock());
    return SocketTable().size();
}
