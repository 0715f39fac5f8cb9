// Poller: the server's one epoll set. Each watched descriptor has a handler
// that is called with the ready events; handlers may watch, change and
// unwatch any descriptor (their own included) while they run. A descriptor
// unwatched during a round never gets a late event from that round, even if
// its number is reused at once.
//
// Thread-safety: one thread owns a poller.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

namespace zphd {

class Poller {
public:
    using Handler = std::function<void(std::uint32_t events)>;

    Poller();   // throws Brindle::CException when epoll cannot be created
    ~Poller();
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;

    // Level-triggered interest (EPOLLIN, EPOLLOUT ...); false when epoll
    // refuses the descriptor.
    bool Watch(int fd, std::uint32_t events, Handler handler);
    bool Change(int fd, std::uint32_t events);
    void Unwatch(int fd);

    // Waits up to timeoutMs (-1 forever) and runs the handlers of what is
    // ready; returns how many ran.
    int Wait(int timeoutMs);

private:
    struct Entry {
        std::uint64_t generation;
        std::uint32_t events;
        Handler handler;
    };

    int m_epoll;
    std::uint64_t m_generation = 0;
    std::unordered_map<int, std::shared_ptr<Entry>> m_entries;
};

} // namespace zphd
