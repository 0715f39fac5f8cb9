#include "Platform/dde/DdeTables.h"

#include "Platform/dde/DdeRuntimeDir.h"
#include "Platform/dde/DdeWire.h"

namespace Platform::Dde {

StringTable& StringTable::Get()
{
    static StringTable* table = new StringTable();  // outlives every user at exit
    return *table;
}

std::uintptr_t StringTable::Add(std::string_view text)
{
    if (text.empty() || text.size() > MAX_NAME || text.find('\0') != std::string_view::npos)
        return 0;
    std::string folded = FoldCase(text);
    {
        std::shared_lock guard(m_lock);
        if (auto found = m_byFolded.find(folded); found != m_byFolded.end()) {
            m_entries.at(found->second)->refs.fetch_add(1);
            return found->second;
        }
    }
    std::unique_lock guard(m_lock);
    if (auto found = m_byFolded.find(folded); found != m_byFolded.end()) {
        m_entries.at(found->second)->refs.fetch_add(1);
        return found->second;
    }
    const std::uintptr_t id = m_next++;
    auto entry = std::make_unique<Entry>();
    entry->text = std::string(text);
    entry->folded = folded;
    entry->refs = 1;
    m_entries.emplace(id, std::move(entry));
    m_byFolded.emplace(std::move(folded), id);
    return id;
}

bool StringTable::AddRef(std::uintptr_t id)
{
    std::shared_lock guard(m_lock);
    auto found = m_entries.find(id);
    if (found == m_entries.end())
        return false;
    found->second->refs.fetch_add(1);
    return true;
}

bool StringTable::Release(std::uintptr_t id)
{
    {
        std::shared_lock guard(m_lock);
        auto found = m_entries.find(id);
        if (found == m_entries.end())
            return false;
        if (found->second->refs.fetch_sub(1) > 1)
            return true;
    }
    // The count reached 0: the entry goes unless someone took it meanwhile.
    std::unique_lock guard(m_lock);
    auto found = m_entries.find(id);
    if (found != m_entries.end() && found->second->refs.load() <= 0) {
        m_byFolded.erase(found->second->folded);
        m_entries.erase(found);
    }
    return true;
}

bool StringTable::Text(std::uintptr_t id, std::string& text) const
{
    std::shared_lock guard(m_lock);
    auto found = m_entries.find(id);
    if (found == m_entries.end())
        return false;
    text = found->second->text;
    return true;
}

bool StringTable::Exists(std::uintptr_t id) const
{
    std::shared_lock guard(m_lock);
    return m_entries.count(id) != 0;
}

std::size_t StringTable::Size() const
{
    std::shared_lock guard(m_lock);
    return m_entries.size();
}

DataTable& DataTable::Get()
{
    static DataTable* table = new DataTable();  // outlives every user at exit
    return *table;
}

std::uintptr_t DataTable::Add(std::shared_ptr<DataObject> data)
{
    // The thread's block: ids [next, end), taken whole from m_next.
    thread_local std::uintptr_t t_next = 0;
    thread_local std::uintptr_t t_end = 0;
    if (t_next == t_end) {
        t_next = m_next.fetch_add(ID_BLOCK);
        t_end = t_next + ID_BLOCK;
    }
    const std::uintptr_t id = t_next++;
    Shard& shard = ShardOf(id);
    std::lock_guard guard(shard.lock);
    shard.entries.emplace(id, std::move(data));
    return id;
}

std::shared_ptr<DataObject> DataTable::Find(std::uintptr_t id) const
{
    const Shard& shard = ShardOf(id);
    std::lock_guard guard(shard.lock);
    auto found = shard.entries.find(id);
    return found == shard.entries.end() ? nullptr : found->second;
}

std::shared_ptr<DataObject> DataTable::TakeUnlessAppOwned(std::uintptr_t id)
{
    Shard& shard = ShardOf(id);
    std::lock_guard guard(shard.lock);
    auto found = shard.entries.find(id);
    if (found == shard.entries.end())
        return nullptr;
    std::shared_ptr<DataObject> data = found->second;
    if (!data->appOwned)
        shard.entries.erase(found);
    return data;
}

bool DataTable::Remove(std::uintptr_t id)
{
    std::shared_ptr<DataObject> data;
    {
        Shard& shard = ShardOf(id);
        std::lock_guard guard(shard.lock);
        auto found = shard.entries.find(id);
        if (found == shard.entries.end())
            return false;
        data = std::move(found->second);
        shard.entries.erase(found);
    }
    data.reset();  // outside the lock: it releases its item string
    return true;
}

void DataTable::RemoveOwnedBy(DWORD owner)
{
    std::vector<std::shared_ptr<DataObject>> gone;
    for (Shard& shard : m_shards) {
        std::lock_guard guard(shard.lock);
        for (auto it = shard.entries.begin(); it != shard.entries.end();) {
            if (it->second->owner == owner) {
                gone.push_back(std::move(it->second));
                it = shard.entries.erase(it);
            } else {
                ++it;
            }
        }
    }
}

std::size_t DataTable::Size() const
{
    std::size_t size = 0;
    for (const Shard& shard : m_shards) {
        std::lock_guard guard(shard.lock);
        size += shard.entries.size();
    }
    return size;
}

} // namespace Platform::Dde
