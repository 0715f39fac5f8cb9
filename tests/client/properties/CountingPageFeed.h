// A FakePageFeed that also counts releases of lines that held no
// reference: a reference released twice shows here instead of vanishing
// in the fake's floor of 0.
#pragma once

#include "../pages/FakePageFeed.h"

namespace propstest {

class CountingPageFeed : public pagestest::FakePageFeed {
public:
    int overReleases = 0;

    int Release(unsigned key) override
    {
        if (refs[key] == 0)
            ++overReleases;
        return FakePageFeed::Release(key);
    }
    int Refs(unsigned key) const
    {
        const auto it = refs.find(key);
        return it == refs.end() ? 0 : it->second;
    }
};

} // namespace propstest
