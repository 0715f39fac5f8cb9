#include "Brindle/base/Callback.h"

#include <algorithm>
#include <atomic>

namespace Brindle {

namespace {
std::atomic<int> g_nextId{1};
}

CCallback::CCallback() = default;

CCallback::CCallback(const CCallback& other) : CDatasink(other), m_entries(other.Snapshot()) {}

CCallback& CCallback::operator=(const CCallback& other)
{
    if (this != &other) {
        std::vector<Entry> copy = other.Snapshot();
        CSyncLock<CCritSec> lock(&m_lock);
        m_entries.swap(copy);
    }
    return *this;
}

CCallback::~CCallback() = default;

int CCallback::Register(DATA_CALLBACK onData, EVENT_CALLBACK onOpen, EVENT_CALLBACK onClose, EVENT_CALLBACK onBlock,
                        void* user)
{
    const int id = g_nextId.fetch_add(1, std::memory_order_relaxed);
    CSyncLock<CCritSec> lock(&m_lock);
    m_entries.push_back(Entry{onData, onOpen, onClose, onBlock, user, id});
    return id;
}

void CCallback::Unregister(int id)
{
    CSyncLock<CCritSec> lock(&m_lock);
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), [id](const Entry& e) { return e.id == id; }),
                    m_entries.end());
}

std::vector<CCallback::Entry> CCallback::Snapshot() const
{
    CSyncLock<CCritSec> lock(&m_lock);
    return m_entries;
}

bool CCallback::IsRegistered(int id) const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [id](const Entry& e) { return e.id == id; });
}

template <typename Call>
void CCallback::Dispatch(Call call)
{
    CSyncLock<CCritSec> lock(&m_lock);
    // The walk runs over a copy, so that a function that registers or
    // unregisters (the lock is re-entrant) cannot pull the list from under it.
    const std::vector<Entry> walk = m_entries;
    for (const Entry& entry : walk) {
        if (!IsRegistered(entry.id))
            continue;
        try {
            call(entry);
        } catch (...) {
            // A failing receiver must not cost the others their event.
        }
    }
}

void CCallback::DispatchData(const char* data, int length, void* source)
{
    Dispatch([&](const Entry& e) {
        if (e.onData != nullptr)
            e.onData(data, length, source, e.user);
    });
}

void CCallback::DispatchOpen(void* source)
{
    Dispatch([&](const Entry& e) {
        if (e.onOpen != nullptr)
            e.onOpen(source, e.user);
    });
}

void CCallback::DispatchClose(void* source)
{
    Dispatch([&](const Entry& e) {
        if (e.onClose != nullptr)
            e.onClose(source, e.user);
    });
}

void CCallback::DispatchBlock(void* source)
{
    Dispatch([&](const Entry& e) {
        if (e.onBlock != nullptr)
            e.onBlock(source, e.user);
    });
}

} // namespace Brindle
