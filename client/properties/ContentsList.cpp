#include "properties/ContentsList.h"

#include "core/PageBounds.h"
#include "pages/MAVODoc.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

#include <algorithm>
#include <cstdio>

namespace mavo {

namespace {

constexpr unsigned kWithheld = 0x40000;

std::string Padded12(const std::string& text)
{
    // "%12s": right-aligned, never cut.
    return text.size() >= 12 ? text : std::string(12 - text.size(), ' ') + text;
}

} // namespace

bool IsLineKey(unsigned key)
{
    int page = 0, line = 0;
    ParseZPHKey(key, page, line);
    return IsPageLine(page, line) &&
           CreateZPHKey(page, line) == key;
}

std::string ContentsIssueText(const LineRef& line, bool fullView)
{
    if (!line)
        return Padded12({});
    if (line->m_kind == 'T') {
        const bool shown = fullView || (line->m_lineFlags & kWithheld) == 0;
        return Padded12(shown ? line->m_text : std::string());
    }
    const bool shown = fullView || (line->m_issueFlags & kWithheld) == 0;
    return Padded12(shown ? line->m_issueName : std::string());
}

ContentsRow MakeContentsRow(unsigned key, const LineCache& cache, bool fullView)
{
    int page = 0, number = 0;
    ParseZPHKey(key, page, number);
    return {std::to_string(page), std::to_string(number), ContentsIssueText(cache.GetForRead(key), fullView)};
}

std::vector<SelectLineRow> SelectLineRows(int page, const LineCache& cache, bool fullView)
{
    std::vector<SelectLineRow> rows;
    if (!IsPageNumber(page))
        return rows;
    for (int number = 1; number <= CMAVODoc::kLinesPerPage; ++number) {
        const unsigned key = CreateZPHKey(page, number);
        const LineRef line = cache.GetForRead(key);
        SelectLineRow row;
        row.key = key;
        row.page = std::to_string(page);
        row.line = std::to_string(number);
        row.lineNumber = line ? std::to_string(line->m_line) : std::string();
        row.issue = ContentsIssueText(line, fullView);
        rows.push_back(std::move(row));
    }
    return rows;
}

CContentsList::CContentsList(CPageFeed& feed, const std::vector<unsigned>& keys) : m_feed(feed)
{
    Insert({}, keys);
}

CContentsList::~CContentsList()
{
    for (unsigned key : m_keys)
        m_feed.Release(key);
}

std::set<int> CContentsList::Insert(const std::set<int>& selection, const std::vector<unsigned>& keys)
{
    int at = selection.empty() ? Count() : std::min(*selection.rbegin() + 1, Count());
    at = std::max(at, 0);
    std::set<int> inserted;
    for (unsigned key : keys) {
        if (!IsLineKey(key))
            continue;
        m_feed.AddRef(key);
        m_keys.insert(m_keys.begin() + at, key);
        inserted.insert(at);
        ++at;
    }
    return inserted;
}

void CContentsList::Remove(const std::set<int>& selection)
{
    // From the back, so the positions still to drop stay where they are.
    for (auto it = selection.rbegin(); it != selection.rend(); ++it) {
        const int row = *it;
        if (row < 0 || row >= Count())
            continue;
        const unsigned key = m_keys[static_cast<std::size_t>(row)];
        m_keys.erase(m_keys.begin() + row);
        m_feed.Release(key);
    }
}

std::set<int> CContentsList::MoveUp(const std::set<int>& selection)
{
    std::set<int> moved;
    for (int row : selection) {
        if (row < 0 || row >= Count())
            continue;
        if (row > 0 && moved.count(row - 1) == 0) {
            std::swap(m_keys[static_cast<std::size_t>(row - 1)], m_keys[static_cast<std::size_t>(row)]);
            moved.insert(row - 1);
        } else {
            moved.insert(row);
        }
    }
    return moved;
}

std::set<int> CContentsList::MoveDown(const std::set<int>& selection)
{
    std::set<int> moved;
    for (auto it = selection.rbegin(); it != selection.rend(); ++it) {
        const int row = *it;
        if (row < 0 || row >= Count())
            continue;
        if (row + 1 < Count() && moved.count(row + 1) == 0) {
            std::swap(m_keys[static_cast<std::size_t>(row + 1)], m_keys[static_cast<std::size_t>(row)]);
            moved.insert(row + 1);
        } else {
            moved.insert(row);
        }
    }
    return moved;
}

void CContentsList::Commit(CMAVODoc& document) const { document.SetLines(m_keys); }

ContentsRow CContentsList::Row(int row) const
{
    if (row < 0 || row >= Count())
        return {};
    return MakeContentsRow(m_keys[static_cast<std::size_t>(row)], m_feed.Cache(), m_feed.IsFullView());
}

} // namespace mavo
