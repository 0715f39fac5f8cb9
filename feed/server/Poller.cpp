#include "Poller.h"

#include "Brindle/base/Exception.h"

#include <cerrno>
#include <sys/epoll.h>
#include <unistd.h>

namespace zphd {

Poller::Poller() : m_epoll(::epoll_create1(EPOLL_CLOEXEC))
{
    if (m_epoll < 0)
        throw Brindle::CException("zphd: cannot create the epoll set", static_cast<DWORD>(errno));
}

Poller::~Poller() { ::close(m_epoll); }

bool Poller::Watch(int fd, std::uint32_t events, Handler handler)
{
    auto entry = std::make_shared<Entry>(Entry {++m_generation, events, std::move(handler)});
    epoll_event ev {};
    ev.events = events;
    // The generation rides in the upper half so that a stale event for a
    // reused descriptor number is recognised and dropped.
    ev.data.u64 = (entry->generation << 32) | static_cast<std::uint32_t>(fd);
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0)
        return false;
    m_entries[fd] = std::move(entry);
    return true;
}

bool Poller::Change(int fd, std::uint32_t events)
{
    auto it = m_entries.find(fd);
    if (it == m_entries.end())
        return false;
    if (it->second->events == events)
        return true;
    epoll_event ev {};
    ev.events = events;
    ev.data.u64 = (it->second->generation << 32) | static_cast<std::uint32_t>(fd);
    if (::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &ev) != 0)
        return false;
    it->second->events = events;
    return true;
}

void Poller::Unwatch(int fd)
{
    auto it = m_entries.find(fd);
    if (it == m_entries.end())
        return;
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    m_entries.erase(it);
}

int Poller::Wait(int timeoutMs)
{
    epoll_event events[64];
    const int n = ::epoll_wait(m_epoll, events, 64, timeoutMs);
    if (n <= 0)
        return 0;
    int ran = 0;
    for (int i = 0; i < n; ++i) {
        const int fd = static_cast<int>(events[i].data.u64 & 0xFFFFFFFFu);
        const std::uint64_t generation = events[i].data.u64 >> 32;
        auto it = m_entries.find(fd);
        if (it == m_entries.end() || (it->second->generation & 0xFFFFFFFFu) != generation)
            continue;
        // Hold the entry: the handler may unwatch its own descriptor.
        std::shared_ptr<Entry> entry = it->second;
        entry->handler(events[i].events);
        ++ran;
    }
    return ran;
}

} // namespace zphd
