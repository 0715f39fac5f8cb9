// CMAVODoc: the page document, the content of one page window: an ordered
// list of line keys, a title and the page number the list represents.
//
// - Every key in the list holds one reference on its line (CPageFeed AddRef);
//   clearing the list, replacing it and destroying the document release each
//   of them once.
// - page: the page number when the list is exactly lines 1, 2, ... n of one
//   page in that order, else 0; an empty list keeps the page it had.
// - A key may stand in the list more than once (the Contents page allows
//   it); PositionsOf gives every position, so an update repaints every row
//   that shows the line.
// - Views attach as CDocumentViews and hear about changes; saving writes
//   each view's own subsection in view order.
//
// Stored form (a subsection of "MAVO Document"): "Title" (string, read up
// to 80 characters), "LineCount", subsection "Lines" with values "0", "1",
// ... holding the raw keys, subsection "Views" with one subsection per
// view, and "Page". Loading skips keys outside pages 1..300 and lines
// 1..26, reads no more lines than are stored whatever "LineCount" says,
// and takes a stored page outside 0..300 as 0.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/PageBounds.h"
#include "pages/PageFeed.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Brindle {
class CRegSection;
}

namespace mavo {

class CDocumentView {
public:
    virtual ~CDocumentView() = default;
    // The lines were added, removed or reordered.
    virtual void OnLinesChanged() = 0;
    // Everything is to be drawn again.
    virtual void OnRedraw() = 0;
    virtual void OnTitleChanged() = 0;
    // Writes the view's and its frame's values into its subsection.
    virtual bool SaveView(const Brindle::CRegSection& section) = 0;
};

class CMAVODoc {
public:
    static constexpr int kMaxTitle = 80;
    static constexpr int kLinesPerPage = mavo::kLinesPerPage;

    explicit CMAVODoc(CPageFeed& feed);
    ~CMAVODoc();
    CMAVODoc(const CMAVODoc&) = delete;
    CMAVODoc& operator=(const CMAVODoc&) = delete;

    // ---- contents
    int GetLineCount() const { return static_cast<int>(m_lines.size()); }
    // 0 outside the list.
    unsigned GetLineKey(int position) const;
    // The first position of the key, -1 when absent.
    int GetLinePosition(unsigned key) const;
    // Every position of the key, in order.
    const std::vector<int>& PositionsOf(unsigned key) const;
    const std::vector<unsigned>& Lines() const { return m_lines; }
    std::vector<unsigned> CopyLines() const { return m_lines; }

    // Releases every key, empties the list.
    void ClearLines();
    // Clear, then append each key with its reference, recompute the page,
    // tell the views. Keys that name no line (0, page 301 ...) are skipped.
    void SetLines(const std::vector<unsigned>& keys);
    // "&New": lines 1..26 of the page, its title, ready. False (nothing
    // changed) for a page outside 1..300.
    bool NewPage(int page, const std::string& title);

    int GetPage() const { return m_page; }
    // Walks the list as described above; returns the page.
    int RecomputePage();

    // The pages the listed lines belong to, each once, in list order.
    std::vector<int> PagesOfLines() const;
    // Asks the active source for every page of PagesOfLines the user may
    // see: a page made of lines from several pages gets data for each.
    void RequestPages();

    const std::string& GetTitle() const { return m_title; }
    // Cut to kMaxTitle characters.
    void SetTitle(const std::string& title);

    bool IsReady() const { return m_ready; }
    void SetReady() { m_ready = true; }

    // ---- views
    void AddView(CDocumentView* view);
    void RemoveView(CDocumentView* view);
    const std::vector<CDocumentView*>& Views() const { return m_views; }
    void UpdateAllViews();

    // ---- persistence
    // True when every value was written (the views' included).
    bool Save(const Brindle::CRegSection& section);
    // Reads title, page and lines; sets the ready flag. The views are made
    // by the caller from ViewSectionNames.
    void Load(const Brindle::CRegSection& section);
    // The subsections of "Views" in the registry's order.
    static std::vector<std::string> ViewSectionNames(const Brindle::CRegSection& section);

    // ---- closing
    // True when order entry is on and a listed line holds one of the user's
    // own bids or offers: the window must stay open.
    bool HoldsOwnOrders() const;

    // "Page %d", or the page's title from the feed when it has one.
    static std::string TitleFor(int page, const LineCache& cache);

    CPageFeed& Feed() const { return m_feed; }

private:
    void Append(unsigned key);

    CPageFeed& m_feed;
    std::string m_title;
    std::vector<unsigned> m_lines;
    std::unordered_map<unsigned, std::vector<int>> m_index;
    int m_page = 0;
    bool m_ready = false;
    std::vector<CDocumentView*> m_views;
};

// The "Add New Page" spin buttons.
int AddTenPages(int page);
int SubtractTenPages(int page);

} // namespace mavo
