// CContentsList: the line list the Contents page edits, and the rows of
// its "Select Lines to Add" dialog.
//
// References: the list holds one reference (CPageFeed::AddRef) on the line
// of every entry it lists, its own, apart from the document's. Adding an
// entry takes one, removing an entry releases it, and the list releases
// every remaining one when it is destroyed, whether the sheet ended with
// OK or Cancel. Commit hands the order to the document, which takes its
// own references; because the list still holds its references while the
// document swaps its lines, a line listed before and after never drops to
// no reference in between.
//
// Keys that name no line (0, a page outside 1..300, a line outside 1..26)
// are never listed.
//
// Thread-safety: the window thread only (it calls the feed's reference
// counts, which may be called from any thread).
#pragma once

#include "pages/PageFeed.h"

#include <set>
#include <string>
#include <vector>

namespace mavo {

class CMAVODoc;

// One row of the Contents list: "Page", "Line", "Issue".
struct ContentsRow {
    std::string page;
    std::string line;
    std::string issue;  // "%12s" of the issue name or the text line's text
};

// One row of "Select Lines to Add": "Page", "Line", "Line#", "Issue".
struct SelectLineRow {
    unsigned key = 0;
    std::string page;
    std::string line;
    std::string lineNumber;  // the line's own number, empty when absent
    std::string issue;
};

class CContentsList {
public:
    // Lists the keys with a reference each.
    CContentsList(CPageFeed& feed, const std::vector<unsigned>& keys);
    ~CContentsList();
    CContentsList(const CContentsList&) = delete;
    CContentsList& operator=(const CContentsList&) = delete;

    const std::vector<unsigned>& Keys() const { return m_keys; }
    int Count() const { return static_cast<int>(m_keys.size()); }

    // Inserts the keys after the last selected row (at the end without a
    // selection), each with its reference; returns the rows they now
    // occupy (to be selected).
    std::set<int> Insert(const std::set<int>& selection, const std::vector<unsigned>& keys);
    // Drops every selected row and releases its reference.
    void Remove(const std::set<int>& selection);
    // Each selected row moves one place; a row at the edge, and the rows
    // packed against it, stay. Returns the selection after the move.
    std::set<int> MoveUp(const std::set<int>& selection);
    std::set<int> MoveDown(const std::set<int>& selection);

    // The document's line list becomes this list's order.
    void Commit(CMAVODoc& document) const;

    ContentsRow Row(int row) const;

private:
    CPageFeed& m_feed;
    std::vector<unsigned> m_keys;
};

// True for a key of pages 1..300, lines 1..26.
bool IsLineKey(unsigned key);

// The Contents list's text of a line: the issue name of a field or trade
// monitor line, the text of a text line, right-aligned in 12 characters
// ("%12s"); withheld issues and texts stay empty outside the full view.
std::string ContentsIssueText(const LineRef& line, bool fullView);

ContentsRow MakeContentsRow(unsigned key, const LineCache& cache, bool fullView);

// Lines 1..26 of the page as they stand in the cache.
std::vector<SelectLineRow> SelectLineRows(int page, const LineCache& cache, bool fullView);

} // namespace mavo
