#include "pages/MAVODoc.h"

#include "Brindle/base/RegSection.h"
#include "core/PageBounds.h"
#include "pages/CenterColor.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

#include <algorithm>
#include <map>

namespace mavo {

namespace {

constexpr const char* kTitleValue = "Title";
constexpr const char* kLineCountValue = "LineCount";
constexpr const char* kLinesSection = "Lines";
constexpr const char* kViewsSection = "Views";
constexpr const char* kPageValue = "Page";

bool IsLineKey(unsigned key)
{
    int page = 0, line = 0;
    return ParseZPHKey(key, page, line);
}

} // namespace

CMAVODoc::CMAVODoc(CPageFeed& feed) : m_feed(feed) {}

CMAVODoc::~CMAVODoc()
{
    ClearLines();
}

unsigned CMAVODoc::GetLineKey(int position) const
{
    if (position < 0 || position >= GetLineCount())
        return 0;
    return m_lines[static_cast<std::size_t>(position)];
}

int CMAVODoc::GetLinePosition(unsigned key) const
{
    const auto it = m_index.find(key);
    return it == m_index.end() ? -1 : it->second.front();
}

const std::vector<int>& CMAVODoc::PositionsOf(unsigned key) const
{
    static const std::vector<int> kNone;
    const auto it = m_index.find(key);
    return it == m_index.end() ? kNone : it->second;
}

void CMAVODoc::Append(unsigned key)
{
    m_index[key].push_back(GetLineCount());
    m_lines.push_back(key);
    m_feed.AddRef(key);
}

void CMAVODoc::ClearLines()
{
    for (unsigned key : m_lines)
        m_feed.Release(key);
    m_lines.clear();
    m_index.clear();
}

void CMAVODoc::SetLines(const std::vector<unsigned>& keys)
{
    // References on the new list first, so a line kept across the change
    // never drops to no reference (which would release it at the source).
    std::vector<unsigned> old;
    old.swap(m_lines);
    m_index.clear();
    for (unsigned key : keys)
        if (IsLineKey(key))
            Append(key);
    for (unsigned key : old)
        m_feed.Release(key);
    RecomputePage();
    for (CDocumentView* view : m_views)
        view->OnLinesChanged();
    UpdateAllViews();
}

bool CMAVODoc::NewPage(int page, const std::string& title)
{
    if (CreateZPHKey(page, 1) == 0)
        return false;
    std::vector<unsigned> keys;
    for (int line = 1; line <= kLinesPerPage; ++line)
        keys.push_back(CreateZPHKey(page, line));
    SetTitle(title);
    m_page = page;
    SetLines(keys);
    SetReady();
    return true;
}

std::vector<int> CMAVODoc::PagesOfLines() const
{
    std::vector<int> pages;
    for (unsigned key : m_lines) {
        int page = 0, line = 0;
        if (ParseZPHKey(key, page, line) && std::find(pages.begin(), pages.end(), page) == pages.end())
            pages.push_back(page);
    }
    return pages;
}

void CMAVODoc::RequestPages()
{
    for (int page : PagesOfLines())
        if (m_feed.GetPermission(page))
            m_feed.RequestPage(page);
}

int CMAVODoc::RecomputePage()
{
    if (m_lines.empty())
        return m_page;
    int candidate = 0, line = 0;
    ParseZPHKey(m_lines.front(), candidate, line);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        int page = 0;
        if (!ParseZPHKey(m_lines[i], page, line) || page != candidate || line != static_cast<int>(i) + 1) {
            m_page = 0;
            return m_page;
        }
    }
    m_page = candidate;
    return m_page;
}

void CMAVODoc::SetTitle(const std::string& title)
{
    m_title = title.substr(0, kMaxTitle);
    for (CDocumentView* view : m_views)
        view->OnTitleChanged();
}

void CMAVODoc::AddView(CDocumentView* view)
{
    if (view != nullptr && std::find(m_views.begin(), m_views.end(), view) == m_views.end())
        m_views.push_back(view);
}

void CMAVODoc::RemoveView(CDocumentView* view)
{
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

void CMAVODoc::UpdateAllViews()
{
    for (CDocumentView* view : m_views)
        view->OnRedraw();
}

bool CMAVODoc::Save(const Brindle::CRegSection& section)
{
    bool ok = section.IsOpen() != 0;
    ok = section.SetStr(kTitleValue, m_title) != 0 && ok;
    ok = section.SetInt(kLineCountValue, GetLineCount()) != 0 && ok;
    {
        Brindle::CRegSection lines(section, kLinesSection);
        ok = lines.IsOpen() != 0 && ok;
        for (int i = 0; i < GetLineCount(); ++i)
            ok = lines.SetInt(std::to_string(i).c_str(), static_cast<int>(m_lines[static_cast<std::size_t>(i)])) != 0 &&
                 ok;
    }
    {
        Brindle::CRegSection views(section, kViewsSection);
        ok = views.IsOpen() != 0 && ok;
        for (std::size_t i = 0; i < m_views.size(); ++i) {
            Brindle::CRegSection one(views, std::to_string(i).c_str());
            ok = one.IsOpen() != 0 && m_views[i]->SaveView(one) && ok;
        }
    }
    ok = section.SetInt(kPageValue, RecomputePage()) != 0 && ok;
    return ok;
}

void CMAVODoc::Load(const Brindle::CRegSection& section)
{
    int page = 0, count = 0;
    section.GetInt(kPageValue, page, 0);
    std::string title;
    // A longer stored title is cut rather than lost.
    section.GetStr(kTitleValue, title, 4096, "");
    section.GetInt(kLineCountValue, count, 0);

    // Only values that are stored are read, by their position, so a huge
    // "LineCount" costs nothing and a missing value is simply skipped.
    std::map<int, unsigned> stored;
    Brindle::CRegSection lines(section, kLinesSection);
    char name[64];
    char data[64];
    for (int index = 0; lines.EnumValue(index, name, sizeof name, data, sizeof data, "");) {
        const std::optional<int> position = ParseFeedInt(name);
        if (!position || *position < 0 || *position >= count || std::to_string(*position) != name)
            continue;
        int key = 0;
        lines.GetInt(name, key, 0);
        stored[*position] = static_cast<unsigned>(key);
    }

    ClearLines();
    for (const auto& [position, key] : stored)
        if (IsLineKey(key))
            Append(key);
    m_page = page >= 0 && page <= kLastPage ? page : 0;
    m_title = title.substr(0, kMaxTitle);
    SetReady();
    for (CDocumentView* view : m_views)
        view->OnLinesChanged();
}

std::vector<std::string> CMAVODoc::ViewSectionNames(const Brindle::CRegSection& section)
{
    std::vector<std::string> names;
    Brindle::CRegSection views(section, kViewsSection);
    char name[256];
    for (int index = 0; views.EnumKey(index, name, sizeof name);)
        names.emplace_back(name);
    return names;
}

bool CMAVODoc::HoldsOwnOrders() const
{
    if (!m_feed.OrderEntry())
        return false;
    for (unsigned key : m_lines) {
        const LineRef line = m_feed.Cache().GetForRead(key);
        if (line && (line->m_bid.m_ownLevel > 0 || line->m_offer.m_ownLevel > 0))
            return true;
    }
    return false;
}

std::string CMAVODoc::TitleFor(int page, const LineCache& cache)
{
    if (const PageRef p = cache.GetPage(page); p && !p->m_title.empty())
        return p->m_title.substr(0, kMaxTitle);
    return "Page " + std::to_string(page);
}

int AddTenPages(int page)
{
    const long next = static_cast<long>(page) + 10;
    return next < kFirstPage || next > kLastPage ? kLastPage : static_cast<int>(next);
}

int SubtractTenPages(int page)
{
    const long next = static_cast<long>(page) - 10;
    return next < kFirstPage || next > kLastPage ? kFirstPage : static_cast<int>(next);
}

} // namespace mavo
