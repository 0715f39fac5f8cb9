#include "lists/PagePermission.h"

#include "lists/StoredLists.h"

namespace mavo {

std::vector<std::string> PermittedPageTexts(const std::function<bool(int page)>& permitted)
{
    std::vector<std::string> pages;
    if (!permitted)
        return pages;
    for (int page = kFirstPage; page <= kLastPage; ++page)
        if (permitted(page))
            pages.push_back(std::to_string(page));
    return pages;
}

} // namespace mavo
