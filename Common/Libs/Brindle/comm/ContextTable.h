// CContextTable<T>: the per-connection contexts of a layer (the framed
// channel's CSecurityContext, the message security layer's
// CMsgSecurityContext), one per source, shared through CRefCountedPtr so
// that a send may keep one while its connection closes.
//
// A context that leaves the table (replaced by a new open, removed on close,
// or the table going away) is told Detach(), after the table's lock is let
// go, so that calls still holding it do nothing further.
//
// Thread-safety: every call may run on any thread; the lock is held only
// while the table itself is read or changed.
#pragma once

#include "Brindle/base/RefCountedPtr.h"

#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace Brindle {

template <class T>
class CContextTable {
public:
    CContextTable() = default;
    CContextTable(const CContextTable&) = delete;
    CContextTable& operator=(const CContextTable&) = delete;
    ~CContextTable() { DetachAll(); }

    // The context of `source`, or null.
    CRefCountedPtr<T> Find(void* source) const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto it = m_contexts.find(source);
        return it != m_contexts.end() ? it->second : CRefCountedPtr<T>();
    }

    // Stores `context` for `source`; one it replaces is detached.
    void Replace(void* source, const CRefCountedPtr<T>& context)
    {
        CRefCountedPtr<T> old;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            old = std::exchange(m_contexts[source], context);
        }
        if (old.NotNull())
            old->Detach();
    }

    // The context of `source`, made with `make()` when there is none.
    template <class Make>
    CRefCountedPtr<T> FindOrMake(void* source, Make make)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        CRefCountedPtr<T>& context = m_contexts[source];
        if (context.IsNull())
            context = make();
        return context;
    }

    // Takes the context of `source` out and detaches it.
    void Remove(void* source)
    {
        CRefCountedPtr<T> old;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            const auto it = m_contexts.find(source);
            if (it == m_contexts.end())
                return;
            old = std::move(it->second);
            m_contexts.erase(it);
        }
        old->Detach();
    }

    void DetachAll()
    {
        std::vector<CRefCountedPtr<T>> old;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            for (auto& entry : m_contexts)
                old.push_back(std::move(entry.second));
            m_contexts.clear();
        }
        for (auto& context : old)
            context->Detach();
    }

private:
    mutable std::mutex m_lock;
    std::map<void*, CRefCountedPtr<T>> m_contexts;
};

} // namespace Brindle
