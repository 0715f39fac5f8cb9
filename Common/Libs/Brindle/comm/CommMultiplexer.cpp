#include "Brindle/comm/CommMultiplexer.h"

#include <mutex>

namespace Brindle {

CCommMultiplexer::~CCommMultiplexer()
{
    std::vector<Link> links;
    {
        std::unique_lock<std::shared_mutex> guard(m_lock);
        links.swap(m_links);
    }
    for (const Link& link : links)
        ForgetUpLink(link.layer, this);
}

void CCommMultiplexer::RemoveChain(CCommLayer* down)
{
    std::unique_lock<std::shared_mutex> guard(m_lock);
    std::erase_if(m_links, [down](const Link& link) { return link.layer == down; });
}

void CCommMultiplexer::SetDownChain(CCommLayer* down)
{
    if (down == nullptr)
        return;
    void* source = down->GetSource();
    std::unique_lock<std::shared_mutex> guard(m_lock);
    m_links.push_back({down, source});
}

CCommLayer* CCommMultiplexer::GetDownLayer(void* source)
{
    std::shared_lock<std::shared_mutex> guard(m_lock);
    for (const Link& link : m_links)
        if (link.source == source)
            return link.layer;
    return nullptr;
}

std::size_t CCommMultiplexer::size() const
{
    std::shared_lock<std::shared_mutex> guard(m_lock);
    return m_links.size();
}

} // namespace Brindle
