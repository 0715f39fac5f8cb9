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
    std::lock_guard guard(m_lock);
    if (auto found = m_byFolded.find(folded); found != m_byFolded.end()) {
        ++m_entries[found->second].refs;
        return found->second;
    }
    const std::uintptr_t id = m_next++;
    m_entries.emplace(id, Entry{std::string(text), folded, 1});
    m_byFolded.emplace(std::move(folded), id);
    return id;
}

bool StringTable::AddRef(std::uintptr_t id)
{
    std::lock_guard guard(m_lock);
    auto found = m_entries.find(id);
    if (found == m_entries.end())
        return false;
    ++found->second.refs;
    return true;
}

bool StringTable::Release(std::uintptr_t id)
{
    std::lock_guard guard(m_lock);
    auto found = m_entries.find(id);
    if (found == m_entries.end())
        return false;
    if (--found->second.refs <= 0) {
        m_byFolded.erase(found->second.folded);
        m_entries.erase(found);
    }
    return true;
}

bool StringTable::Text(std::uintptr_t id, std::string& text) const
{
    std::lock_guard guard(m_lock);
    auto found = m_entries.find(id);
    if (found == m_entries.end())
        return false;
    text = found->second.text;
    return true;
}

bool StringTable::Exists(std::uintptr_t id) const
{
    std::lock_guard guard(m_lock);
    return m_entries.count(id) != 0;
}

std::size_t StringTable::Size() const
{
    std::lock_guard guard(m_lock);
    return m_entries.size();
}

DataTable& DataTable::Get()
{
    static DataTable* table = new DataTable();  // outlives every user at exit
    return *table;
}

std::uintptr_t DataTable::Add(std::shared_ptr<DataObject> data)
{
    std::lock_guard guard(m_lock);
    const std::uintptr_t id = m_next++;
    m_entries.emplace(id, std::move(data));
    return id;
}

std::shared_ptr<DataObject> DataTable::Find(std::uintptr_t id) const
{
    std::lock_guard guard(m_lock);
    auto found = m_entries.find(id);
    return found == m_entries.end() ? nullptr : found->second;
}

bool DataTable::Remove(std::uintptr_t id)
{
    std::shared_ptr<DataObject> data;
    {
        std::lock_guard guard(m_lock);
        auto found = m_entries.find(id);
        if (found == m_entries.end())
            return false;
        data = std::move(found->second);
        m_entries.erase(found);
    }
    data.reset();
    return true;
}

void DataTable::RemoveOwnedBy(DWORD owner)
{
    std::vector<std::shared_ptr<DataObject>> gone;
    {
        std::lock_guard guard(m_lock);
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            if (it->second->owner == owner) {
                gone.push_back(std::move(it->second));
                it = m_entries.erase(it);
            } else {
                ++it;
            }
        }
    }
}

std::size_t DataTable::Size() const
{
    std::lock_guard guard(m_lock);
    return m_entries.size();
}

} // namespace Platform::Dde
