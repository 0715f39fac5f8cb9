// A CPageFeed over a line cache of the test's own: reference counts,
// registered key clients, user level, order entry, permissions and page
// requests are plain fields the test sets and reads. A release of a line
// that held no reference is counted: a reference released twice shows
// there instead of vanishing in the floor of 0.
#pragma once

#include "pages/PageFeed.h"
#include "zph/ZPHKey.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <vector>

using namespace ZPH;

namespace pagestest {

class FakePageFeed : public mavo::CPageFeed {
public:
    LineCache cache;
    std::map<unsigned, int> refs;
    std::atomic<int> userLevel{0};
    std::atomic<bool> orderEntry{false};
    std::set<int> deniedPages;
    std::vector<int> requestedPages;
    int overReleases = 0;

    const LineCache& Cache() const override { return cache; }
    LineCache& MutableCache() override { return cache; }
    int AddRef(unsigned key) override { return ++refs[key]; }
    int Release(unsigned key) override
    {
        int& n = refs[key];
        overReleases += n == 0 ? 1 : 0;
        n = std::max(0, n - 1);
        return n;
    }
    int Refs(unsigned key) const
    {
        const auto it = refs.find(key);
        return it == refs.end() ? 0 : it->second;
    }
    bool Register(KeyClient* client) override
    {
        std::lock_guard<std::mutex> lock(m_clientLock);
        m_clients.push_back(client);
        return true;
    }
    bool Unregister(KeyClient* client) override
    {
        std::lock_guard<std::mutex> lock(m_clientLock);
        m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), client), m_clients.end());
        return true;
    }
    int UserLevel() const override { return userLevel; }
    bool OrderEntry() const override { return orderEntry; }
    bool GetPermission(int page) const override { return deniedPages.count(page) == 0; }
    void RequestPage(int page) override { requestedPages.push_back(page); }

    // As the feed thread does after a change: every client hears the key.
    void Dispatch(unsigned key)
    {
        std::lock_guard<std::mutex> lock(m_clientLock);
        for (KeyClient* client : m_clients)
            client->OnKeyUpdate(key);
    }
    std::size_t ClientCount()
    {
        std::lock_guard<std::mutex> lock(m_clientLock);
        return m_clients.size();
    }
    int TotalRefs() const
    {
        int total = 0;
        for (const auto& [key, n] : refs)
            total += n;
        return total;
    }

private:
    std::mutex m_clientLock;
    std::vector<KeyClient*> m_clients;
};

} // namespace pagestest
