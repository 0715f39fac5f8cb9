#include "core/DdeUpdates.h"

#include "core/DdeItems.h"
#include "core/PageBounds.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

namespace mavo {

namespace {

constexpr std::uint64_t kAppBit = std::uint64_t(1) << 63;
// The fields a page-less clear refreshes.
constexpr int kClearAllFields[] = {5, 100, 197, 200, 297};

} // namespace

CDdeUpdates::CDdeUpdates(std::function<void()> wake) : m_wake(std::move(wake)) {}

void CDdeUpdates::SetWake(std::function<void()> wake)
{
    std::lock_guard guard(m_lock);
    m_wake = std::move(wake);
}

bool CDdeUpdates::IsPublished(int field) const
{
    const DdeItem* item = FindDdeItemByField(field);
    if (item == nullptr)
        return false;
    switch (item->group) {
    case DdeGroup::Always: return true;
    case DdeGroup::Live: return m_live.load();
    case DdeGroup::History: return m_history.load();
    }
    return false;
}

void CDdeUpdates::AddPair(unsigned key, int field, std::vector<Update>& batch) const
{
    batch.emplace_back(key, field);
    batch.emplace_back(key, field == 4 ? 5 : 4);
}

void CDdeUpdates::AddLine(unsigned key, std::vector<Update>& batch) const
{
    for (const auto& item : DdeLineItems()) {
        if (IsPublished(item.field))
            AddPair(key, item.field, batch);
    }
}

void CDdeUpdates::OnMessage(const ZPHMessage& msg)
{
    std::vector<Update> batch;
    switch (msg.m_type) {
    case 'D':
    case 'R': {
        const unsigned key = CreateZPHKey(msg.m_page, msg.m_line);
        if (key == 0)
            return;
        for (const auto& [field, text] : msg.GetFields()) {
            if (IsPublished(field))
                AddPair(key, field, batch);
        }
        AddLine(key, batch);
        break;
    }
    case 'T': {
        Timestamp timestamp;
        if (!msg.GetTimeStamp(timestamp))
            return;
        SetFeedTime(timestamp);
        batch.emplace_back(0u, 0);
        break;
    }
    case 'I':
    case 'E':
        if (CreateZPHKey(msg.m_page, msg.m_line) == 0)
            return;
        for (int line = msg.m_line; line <= kLinesPerPage; ++line)
            AddLine(CreateZPHKey(msg.m_page, line), batch);
        break;
    case 'C':
        if (msg.m_page >= 1 && msg.m_line >= 1) {
            const unsigned key = CreateZPHKey(msg.m_page, msg.m_line);
            if (key == 0)
                return;
            AddLine(key, batch);
        } else if (msg.m_page >= 1) {
            if (CreateZPHKey(msg.m_page, 1) == 0)
                return;
            for (int line = 1; line <= kLinesPerPage; ++line)
                AddLine(CreateZPHKey(msg.m_page, line), batch);
        } else {
            for (int page : AskedPages()) {
                for (int line = 1; line <= kLinesPerPage; ++line) {
                    for (int field : kClearAllFields) {
                        if (IsPublished(field))
                            AddPair(CreateZPHKey(page, line), field, batch);
                    }
                }
            }
        }
        break;
    default:
        return;
    }
    Commit(batch);
}

void CDdeUpdates::Add(unsigned key, int field)
{
    std::vector<Update> batch;
    if (key == 0 && field == 0)
        batch.emplace_back(0u, 0);
    else
        AddPair(key, field, batch);
    Commit(batch);
}

void CDdeUpdates::Commit(const std::vector<Update>& batch)
{
    if (batch.empty())
        return;
    std::function<void()> wake;
    {
        std::lock_guard guard(m_lock);
        const bool wasEmpty = m_count == 0;
        for (const auto& [key, field] : batch) {
            std::uint64_t bit;
            if (key == 0) {
                bit = kAppBit;
            } else {
                const int index = DdeItemIndex(field);
                if (index < 0)
                    continue;
                bit = std::uint64_t(1) << index;
            }
            auto [entry, made] = m_pending.try_emplace(key, 0);
            if (made)
                m_order.push_back(key);
            if ((entry->second & bit) == 0) {
                entry->second |= bit;
                ++m_count;
            }
        }
        if (wasEmpty && m_count > 0)
            wake = m_wake;
    }
    if (wake)
        wake();
}

std::vector<CDdeUpdates::Update> CDdeUpdates::Take()
{
    std::unordered_map<unsigned, std::uint64_t> pending;
    std::vector<unsigned> order;
    {
        std::lock_guard guard(m_lock);
        pending.swap(m_pending);
        order.swap(m_order);
        m_count = 0;
    }
    std::vector<Update> updates;
    const auto& items = DdeLineItems();
    for (unsigned key : order) {
        const std::uint64_t bits = pending[key];
        if (bits & kAppBit)
            updates.emplace_back(0u, 0);
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (bits & (std::uint64_t(1) << i))
                updates.emplace_back(key, items[i].field);
        }
    }
    return updates;
}

std::size_t CDdeUpdates::PendingCount() const
{
    std::lock_guard guard(m_lock);
    return m_count;
}

void CDdeUpdates::MarkAsked(int page)
{
    if (!IsPageNumber(page))
        return;
    std::lock_guard guard(m_lock);
    m_asked.set(static_cast<std::size_t>(page));
}

bool CDdeUpdates::IsAsked(int page) const
{
    if (!IsPageNumber(page))
        return false;
    std::lock_guard guard(m_lock);
    return m_asked.test(static_cast<std::size_t>(page));
}

std::vector<int> CDdeUpdates::AskedPages() const
{
    std::vector<int> pages;
    std::lock_guard guard(m_lock);
    for (int page = kFirstPage; page <= kLastPage; ++page) {
        if (m_asked.test(static_cast<std::size_t>(page)))
            pages.push_back(page);
    }
    return pages;
}

Timestamp CDdeUpdates::GetFeedTime() const
{
    std::lock_guard guard(m_lock);
    return m_feedTime;
}

void CDdeUpdates::SetFeedTime(const Timestamp& timestamp)
{
    std::lock_guard guard(m_lock);
    m_feedTime = timestamp;
}

} // namespace mavo
