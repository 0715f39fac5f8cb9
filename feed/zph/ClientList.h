// ClientList<Client>: a list of registered call-back clients that can be
// called from feed threads while other threads register and unregister.
//
// Guarantees:
// - Unregister returns only when no call to that client is running on any
//   other thread, so the caller may destroy the client right after. Called
//   from inside a call to that same client (on the same thread), it does not
//   wait for that call, and no further call reaches the client.
// - A client registered while a call round runs may or may not be called in
//   that round; one unregistered is never called after Unregister returns.
// - No lock is held while a client is called, so clients may call back into
//   the list (register, unregister) or into anything else.
// - A call-back that throws is caught; the exception is counted and the
//   round goes on with the next client.
//
// Thread-safety: all members from any thread.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ZPH {

template <typename Client>
class ClientList {
public:
    // false when (client, flag) is null or already registered.
    bool Register(Client* client, unsigned flag = 0)
    {
        if (client == nullptr)
            return false;
        std::lock_guard guard(m_lock);
        for (const auto& entry : *m_entries) {
            if (entry->client == client && entry->flag == flag)
                return false;
        }
        auto next = std::make_shared<Entries>(*m_entries);
        next->push_back(std::make_shared<Entry>(client, flag));
        m_entries = std::move(next);
        return true;
    }

    // false when (client, flag) was not registered.
    bool Unregister(Client* client, unsigned flag = 0)
    {
        std::unique_lock guard(m_lock);
        auto found = std::find_if(m_entries->begin(), m_entries->end(), [&](const std::shared_ptr<Entry>& entry) {
            return entry->client == client && entry->flag == flag;
        });
        if (found == m_entries->end())
            return false;
        std::shared_ptr<Entry> entry = *found;
        auto next = std::make_shared<Entries>();
        for (const auto& other : *m_entries) {
            if (other != entry)
                next->push_back(other);
        }
        m_entries = std::move(next);
        entry->removed = true;
        const auto self = std::this_thread::get_id();
        m_idle.wait(guard, [&] {
            return std::all_of(entry->callers.begin(), entry->callers.end(),
                               [&](std::thread::id id) { return id == self; });
        });
        return true;
    }

    bool IsRegistered(Client* client, unsigned flag = 0) const
    {
        std::lock_guard guard(m_lock);
        return std::any_of(m_entries->begin(), m_entries->end(), [&](const std::shared_ptr<Entry>& entry) {
            return entry->client == client && entry->flag == flag;
        });
    }

    std::size_t Size() const
    {
        std::lock_guard guard(m_lock);
        return m_entries->size();
    }

    // Calls call(client, flag) for every registered client, in registration
    // order. Only clients whose flag satisfies want(flag) are called.
    template <typename Call, typename Want>
    void ForEach(Call&& call, Want&& want)
    {
        std::shared_ptr<const Entries> entries;
        {
            std::lock_guard guard(m_lock);
            entries = m_entries;
        }
        const auto self = std::this_thread::get_id();
        for (const auto& entry : *entries) {
            if (!want(entry->flag))
                continue;
            {
                std::lock_guard guard(m_lock);
                if (entry->removed)
                    continue;
                entry->callers.push_back(self);
            }
            try {
                call(entry->client, entry->flag);
            } catch (...) {
                std::lock_guard guard(m_lock);
                ++m_failures;
            }
            std::lock_guard guard(m_lock);
            auto& callers = entry->callers;
            callers.erase(std::find(callers.begin(), callers.end(), self));
            if (entry->removed)
                m_idle.notify_all();
        }
    }

    template <typename Call>
    void ForEach(Call&& call)
    {
        ForEach(std::forward<Call>(call), [](unsigned) { return true; });
    }

    // Call-backs that threw since the list was made.
    unsigned long Failures() const
    {
        std::lock_guard guard(m_lock);
        return m_failures;
    }

private:
    struct Entry {
        Entry(Client* c, unsigned f) : client(c), flag(f) {}
        Client* client;
        unsigned flag;
        bool removed = false;                 // guarded by m_lock
        std::vector<std::thread::id> callers;  // threads inside a call to it; guarded by m_lock
    };
    using Entries = std::vector<std::shared_ptr<Entry>>;

    mutable std::mutex m_lock;
    std::condition_variable m_idle;
    std::shared_ptr<const Entries> m_entries = std::make_shared<const Entries>();
    unsigned long m_failures = 0;
};

} // namespace ZPH
