// The process's DDE string handles and data handles.
//
// StringTable: one entry per text, compared without regard to ASCII case;
// the first spelling is kept. Each Add or AddRef is one reference; the
// entry goes with its last Release. Ids are never reused. Counting a
// reference up or down takes only a shared lock (the counts are atomic), so
// threads that pass the same handles around never queue behind each other.
//
// DataTable: data objects behind ids that are never reused, so a freed or
// stale handle finds nothing. The table is split into shards by id, and each
// thread takes its ids in blocks of its own that fall in one shard, so
// threads making and freeing their own handles rarely meet on a lock or on a
// cache line. A data object holds one reference on its item
// string while it lives. Find gives a shared copy that stays valid after the
// handle is freed.
//
// Thread-safety: every member from any thread.
#pragma once

#include "Platform/WinTypes.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Platform::Dde {

class StringTable {
public:
    static StringTable& Get();

    // The id of the text with one more reference; 0 for an empty text, one
    // longer than 255 bytes, or one holding a NUL.
    std::uintptr_t Add(std::string_view text);
    bool AddRef(std::uintptr_t id);
    bool Release(std::uintptr_t id);
    bool Text(std::uintptr_t id, std::string& text) const;
    bool Exists(std::uintptr_t id) const;
    std::size_t Size() const;

private:
    struct Entry {
        std::string text;
        std::string folded;
        std::atomic<long> refs{0};
    };
    mutable std::shared_mutex m_lock;
    std::unordered_map<std::uintptr_t, std::unique_ptr<Entry>> m_entries;
    std::unordered_map<std::string, std::uintptr_t> m_byFolded;
    std::uintptr_t m_next = 0x20000;
};

// One reference on a string id, released when the holder goes.
class StringRef {
public:
    StringRef() = default;
    // A new reference on the text's id (empty when the text is refused).
    static StringRef Make(std::string_view text) { return StringRef(StringTable::Get().Add(text)); }
    // One more reference on an existing id (empty for an unknown id).
    static StringRef Share(std::uintptr_t id)
    {
        return id != 0 && StringTable::Get().AddRef(id) ? StringRef(id) : StringRef();
    }
    StringRef(const StringRef& other) : m_id(other.m_id)
    {
        if (m_id != 0)
            StringTable::Get().AddRef(m_id);
    }
    StringRef(StringRef&& other) noexcept : m_id(other.m_id) { other.m_id = 0; }
    StringRef& operator=(StringRef other) noexcept
    {
        std::swap(m_id, other.m_id);
        return *this;
    }
    ~StringRef()
    {
        if (m_id != 0)
            StringTable::Get().Release(m_id);
    }

    std::uintptr_t id() const { return m_id; }
    std::string Text() const
    {
        std::string text;
        if (m_id != 0)
            StringTable::Get().Text(m_id, text);
        return text;
    }
    explicit operator bool() const { return m_id != 0; }

private:
    explicit StringRef(std::uintptr_t adopted) : m_id(adopted) {}
    std::uintptr_t m_id = 0;
};

struct DataObject {
    std::vector<BYTE> bytes;
    UINT format = 0;
    StringRef item;           // may be empty
    bool appOwned = false;
    DWORD owner = 0;          // instance id
};

class DataTable {
public:
    static DataTable& Get();

    std::uintptr_t Add(std::shared_ptr<DataObject> data);
    std::shared_ptr<DataObject> Find(std::uintptr_t id) const;
    // The object; the handle goes too unless the application owns it.
    std::shared_ptr<DataObject> TakeUnlessAppOwned(std::uintptr_t id);
    // Removes the handle; false when unknown.
    bool Remove(std::uintptr_t id);
    // Removes every handle of an instance.
    void RemoveOwnedBy(DWORD owner);
    std::size_t Size() const;

private:
    static constexpr std::size_t SHARDS = 16;
    static constexpr std::uintptr_t ID_BLOCK = 256;  // ids a thread takes at once
    struct alignas(64) Shard {
        mutable std::mutex lock;
        std::unordered_map<std::uintptr_t, std::shared_ptr<DataObject>> entries;
    };
    Shard& ShardOf(std::uintptr_t id) { return m_shards[(id / ID_BLOCK) % SHARDS]; }
    const Shard& ShardOf(std::uintptr_t id) const { return m_shards[(id / ID_BLOCK) % SHARDS]; }

    std::array<Shard, SHARDS> m_shards;
    alignas(64) std::atomic<std::uintptr_t> m_next{0x40000000};  // the next free block
};

} // namespace Platform::Dde
