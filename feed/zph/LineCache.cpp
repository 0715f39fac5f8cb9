#include "zph/LineCache.h"

#include "protocol/FieldIds.h"
#include "zph/ZPHKey.h"

namespace ZPH {

using namespace ZPHWire;

// ---------------------------------------------------------------- LineWriter

LineWriter::LineWriter(LineCache* cache, unsigned key, std::unique_lock<std::recursive_mutex> lock,
                       std::shared_ptr<LineObject> line)
    : m_cache(cache), m_key(key), m_lock(std::move(lock)), m_line(std::move(line))
{
}

LineWriter::LineWriter(LineWriter&& other) noexcept
    : m_cache(other.m_cache), m_key(other.m_key), m_lock(std::move(other.m_lock)), m_line(std::move(other.m_line))
{
    other.m_cache = nullptr;
}

LineWriter& LineWriter::operator=(LineWriter&& other) noexcept
{
    if (this != &other) {
        Commit();
        m_cache = other.m_cache;
        m_key = other.m_key;
        m_lock = std::move(other.m_lock);
        m_line = std::move(other.m_line);
        other.m_cache = nullptr;
    }
    return *this;
}

LineWriter::~LineWriter() { Commit(); }

void LineWriter::Commit()
{
    if (m_cache != nullptr && m_line != nullptr)
        m_cache->Publish(m_key, std::move(m_line));
    Cancel();
}

void LineWriter::Cancel()
{
    m_line.reset();
    m_cache = nullptr;
    if (m_lock.owns_lock())
        m_lock.unlock();
}

// ----------------------------------------------------------------- LineCache

LineCache::LineCache() = default;

int LineCache::SlotOf(unsigned key)
{
    int page = 0, line = 0;
    if (!ParseZPHKey(key, page, line))
        return -1;
    return SlotOf(page, line);
}

LineRef LineCache::Load(int slot) const
{
    std::lock_guard guard(m_stripes[slot % STRIPES]);
    return m_lines[slot];
}

void LineCache::Store(int slot, std::shared_ptr<LineObject> line)
{
    line->m_page = slot / MAX_LINE + 1;
    line->m_line = slot % MAX_LINE + 1;
    line->m_lineFlags = (line->m_lineFlags & ~LOCAL_LINE_FLAGS) | m_localFlags[slot];
    LineRef published = std::move(line);
    {
        std::lock_guard guard(m_stripes[slot % STRIPES]);
        m_lines[slot].swap(published);
    }
    // The old snapshot, if this was its last holder, goes outside the stripe lock.
}

void LineCache::StoreNull(int slot)
{
    LineRef old;
    {
        std::lock_guard guard(m_stripes[slot % STRIPES]);
        m_lines[slot].swap(old);
    }
}

void LineCache::Publish(unsigned key, std::shared_ptr<LineObject> line)
{
    const int slot = SlotOf(key);
    if (slot < 0)
        return;
    std::lock_guard write(m_writeLock);
    m_localFlags[slot] = line->m_lineFlags & LOCAL_LINE_FLAGS;
    Store(slot, std::move(line));
}

LineRef LineCache::GetForRead(unsigned key) const
{
    const int slot = SlotOf(key);
    return slot < 0 ? nullptr : Load(slot);
}

LineWriter LineCache::GetForWrite(unsigned key)
{
    const int slot = SlotOf(key);
    if (slot < 0)
        return {};
    std::unique_lock lock(m_writeLock);
    LineRef current = Load(slot);
    if (!current)
        return {};
    return LineWriter(this, key, std::move(lock), std::make_shared<LineObject>(*current));
}

PageRef LineCache::GetPage(int page) const
{
    if (page < 1 || page > MAX_PAGE)
        return nullptr;
    std::lock_guard guard(m_pageLock);
    return m_pages[page];
}

bool LineCache::SetTitle(int page, const std::string& title)
{
    if (page < 1 || page > MAX_PAGE)
        return false;
    std::lock_guard guard(m_pageLock);
    auto next = m_pages[page] ? std::make_shared<PageObject>(*m_pages[page]) : std::make_shared<PageObject>(page);
    next->m_title = title;
    m_pages[page] = std::move(next);
    return true;
}

bool LineCache::SetPageCount(int page, int count)
{
    if (page < 1 || page > MAX_PAGE)
        return false;
    std::lock_guard guard(m_pageLock);
    auto next = m_pages[page] ? std::make_shared<PageObject>(*m_pages[page]) : std::make_shared<PageObject>(page);
    next->m_count = count;
    m_pages[page] = std::move(next);
    return true;
}

bool LineCache::Put(unsigned key, const LineObject& line)
{
    const int slot = SlotOf(key);
    if (slot < 0)
        return false;
    std::lock_guard write(m_writeLock);
    Store(slot, std::make_shared<LineObject>(line));
    return true;
}

void LineCache::Clear(std::vector<unsigned>* changed)
{
    std::lock_guard write(m_writeLock);
    for (int slot = 0; slot < SLOTS; ++slot) {
        if (changed != nullptr && Load(slot))
            changed->push_back(CreateZPHKey(slot / MAX_LINE + 1, slot % MAX_LINE + 1));
        StoreNull(slot);
    }
}

std::size_t LineCache::GetLineCount() const
{
    std::size_t count = 0;
    for (int slot = 0; slot < SLOTS; ++slot) {
        if (Load(slot))
            ++count;
    }
    return count;
}

std::array<LineRef, MAX_LINE + 1> LineCache::GetPageLines(int page) const
{
    std::array<LineRef, MAX_LINE + 1> lines;
    if (page < 1 || page > MAX_PAGE)
        return lines;
    for (int line = 1; line <= MAX_LINE; ++line)
        lines[line] = Load(SlotOf(page, line));
    return lines;
}

bool LineCache::Apply(const ZPHMessage& msg, std::vector<unsigned>& changed)
{
    const int page = msg.m_page;
    const int line = msg.m_line;
    const bool lineValid = page >= 1 && page <= MAX_PAGE && line >= 1 && line <= MAX_LINE;
    switch (msg.m_type) {
    case MSG_DATA:
    case MSG_REFRESH:
        return lineValid && ApplyData(msg, changed);
    case MSG_INSERT:
        return lineValid && ApplyInsert(msg, changed);
    case MSG_ERASE:
        return lineValid && ApplyErase(page, line, changed);
    case MSG_CLEAR:
        return ApplyClear(page, line, changed);
    default:
        return false;
    }
}

bool LineCache::ApplyData(const ZPHMessage& msg, std::vector<unsigned>& changed)
{
    const int slot = SlotOf(msg.m_page, msg.m_line);
    std::lock_guard write(m_writeLock);
    LineRef current = Load(slot);
    // A refresh, or data for a line not held, is the whole line.
    const bool whole = msg.m_type == MSG_REFRESH || !current;
    auto next = whole ? std::make_shared<LineObject>(msg.m_page, msg.m_line) : std::make_shared<LineObject>(*current);
    if (!next->Apply(msg, whole))
        return false;
    Store(slot, std::move(next));
    changed.push_back(CreateZPHKey(msg.m_page, msg.m_line));
    return true;
}

bool LineCache::ApplyInsert(const ZPHMessage& msg, std::vector<unsigned>& changed)
{
    const int page = msg.m_page;
    const int line = msg.m_line;
    auto inserted = std::make_shared<LineObject>(page, line);
    if (!inserted->Apply(msg, true))
        return false;
    std::lock_guard write(m_writeLock);
    // The lines from there down move one down; the last falls off.
    for (int l = MAX_LINE; l > line; --l) {
        LineRef above = Load(SlotOf(page, l - 1));
        if (above)
            Store(SlotOf(page, l), std::make_shared<LineObject>(*above));
        else
            StoreNull(SlotOf(page, l));
        changed.push_back(CreateZPHKey(page, l));
    }
    Store(SlotOf(page, line), std::move(inserted));
    changed.push_back(CreateZPHKey(page, line));
    return true;
}

bool LineCache::ApplyErase(int page, int line, std::vector<unsigned>& changed)
{
    std::lock_guard write(m_writeLock);
    // The lines below move one up; the last becomes empty.
    for (int l = line; l < MAX_LINE; ++l) {
        LineRef below = Load(SlotOf(page, l + 1));
        if (below)
            Store(SlotOf(page, l), std::make_shared<LineObject>(*below));
        else
            StoreNull(SlotOf(page, l));
        changed.push_back(CreateZPHKey(page, l));
    }
    StoreNull(SlotOf(page, MAX_LINE));
    changed.push_back(CreateZPHKey(page, MAX_LINE));
    return true;
}

bool LineCache::ApplyClear(int page, int line, std::vector<unsigned>& changed)
{
    // Page 0 line 0 clears everything; page P line 0 the page; else one line.
    if (page < 0 || page > MAX_PAGE || line < 0 || line > MAX_LINE || (page == 0 && line != 0))
        return false;
    if (page == 0) {
        Clear(&changed);
        return true;
    }
    std::lock_guard write(m_writeLock);
    const int first = line == 0 ? 1 : line;
    const int last = line == 0 ? MAX_LINE : line;
    for (int l = first; l <= last; ++l) {
        const int slot = SlotOf(page, l);
        if (Load(slot)) {
            StoreNull(slot);
            changed.push_back(CreateZPHKey(page, l));
        }
    }
    return true;
}

} // namespace ZPH
