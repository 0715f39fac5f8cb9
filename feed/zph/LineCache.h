// LineCache: the lines and pages of the feed, as immutable shared snapshots.
//
// Readers: GetForRead(key) gives a LineRef, a shared pointer to a snapshot
// of the line (null when the cache lacks it). The snapshot stays valid and
// unchanged for as long as the reader holds it, whatever the feed does
// meanwhile (updates, erase, Clear): use it like a pointer,
//     if (LineRef line = cache.GetForRead(key)) draw(line->m_issueName);
// GetPage(page) gives a PageRef the same way.
//
// Writers change a private copy and publish it whole: GetForWrite(key) gives
// a LineWriter over a copy of the line (empty when the cache lacks it); the
// copy replaces the line when the writer goes out of scope (or on Commit).
// Writers are serialised by one lock, held while a LineWriter lives, so keep
// writers short and never wait for another thread while holding one.
//
// Flag bits of ZPHWire::LOCAL_LINE_FLAGS belong to the program, not to the
// feed: they are kept per key across every feed update, insert, erase or
// clear of the line, and only a LineWriter changes them.
//
// Thread-safety: every call from any thread. Readers never wait for writers
// beyond the swap of one pointer.
#pragma once

#include "zph/LineObject.h"
#include "zph/ZPHMessage.h"
#include "protocol/Protocol.h"

#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ZPH {

using LineRef = std::shared_ptr<const LineObject>;
using PageRef = std::shared_ptr<const PageObject>;

class LineCache;

// A private, writable copy of one line; published when it goes (or on
// Commit). Move-only. Empty (false) when the cache had no such line.
class LineWriter {
public:
    LineWriter() = default;
    LineWriter(LineWriter&& other) noexcept;
    LineWriter& operator=(LineWriter&& other) noexcept;
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;
    ~LineWriter();

    explicit operator bool() const { return m_line != nullptr; }
    LineObject* operator->() const { return m_line.get(); }
    LineObject& operator*() const { return *m_line; }
    LineObject* get() const { return m_line.get(); }

    // Publishes the copy now; the writer is empty afterwards.
    void Commit();
    // Drops the copy unpublished; the writer is empty afterwards.
    void Cancel();

private:
    friend class LineCache;
    LineWriter(LineCache* cache, unsigned key, std::unique_lock<std::recursive_mutex> lock,
               std::shared_ptr<LineObject> line);

    LineCache* m_cache = nullptr;
    unsigned m_key = 0;
    std::unique_lock<std::recursive_mutex> m_lock;
    std::shared_ptr<LineObject> m_line;
};

class LineCache {
public:
    LineCache();
    LineCache(const LineCache&) = delete;
    LineCache& operator=(const LineCache&) = delete;

    // The line's snapshot, or null (absent line, invalid key).
    LineRef GetForRead(unsigned key) const;
    // A writable copy of the line, empty when the line is absent.
    LineWriter GetForWrite(unsigned key);
    // The page's title and count, or null when nothing is known of the page.
    PageRef GetPage(int page) const;

    // Feed side. Applies line data ('D', 'R', 'I', 'E', 'C') and appends the
    // key of every line that changed to `changed`. False, with nothing
    // changed, for a message of another type, a page or line out of range,
    // or line fields that do not read.
    bool Apply(const ZPHMessage& msg, std::vector<unsigned>& changed);
    // Replaces a line with a copy of `line` (page and line taken from key).
    bool Put(unsigned key, const LineObject& line);
    bool SetTitle(int page, const std::string& title);
    bool SetPageCount(int page, int count);

    // Removes every line (pages and their titles stay); appends the keys of
    // the lines that went to `changed` when given.
    void Clear(std::vector<unsigned>* changed = nullptr);

    // Number of lines held.
    std::size_t GetLineCount() const;
    // Snapshots of every line of a page, by line number 1..26 (index 0 unused).
    std::array<LineRef, ZPHWire::MAX_LINE + 1> GetPageLines(int page) const;

private:
    friend class LineWriter;
    static constexpr int SLOTS = ZPHWire::MAX_PAGE * ZPHWire::MAX_LINE;
    static constexpr int STRIPES = 64;

    static int SlotOf(unsigned key);
    static int SlotOf(int page, int line) { return (page - 1) * ZPHWire::MAX_LINE + (line - 1); }

    // Apply's steps, one per kind of message; the page and line are checked.
    bool ApplyData(const ZPHMessage& msg, std::vector<unsigned>& changed);
    bool ApplyInsert(const ZPHMessage& msg, std::vector<unsigned>& changed);
    bool ApplyErase(int page, int line, std::vector<unsigned>& changed);
    bool ApplyClear(int page, int line, std::vector<unsigned>& changed);

    LineRef Load(int slot) const;
    // Publishes under the write lock: stamps page, line and the slot's own
    // local flags on the line first.
    void Store(int slot, std::shared_ptr<LineObject> line);
    void StoreNull(int slot);
    // Publishes a writer's copy, taking its local flags for the slot.
    void Publish(unsigned key, std::shared_ptr<LineObject> line);

    mutable std::array<std::mutex, STRIPES> m_stripes;
    std::array<LineRef, SLOTS> m_lines;
    std::array<unsigned, SLOTS> m_localFlags{};  // guarded by m_writeLock

    std::recursive_mutex m_writeLock;

    mutable std::mutex m_pageLock;
    std::array<PageRef, ZPHWire::MAX_PAGE + 1> m_pages;
};

} // namespace ZPH
