// zphd for the sources' tests: the shared launcher, on the market seed these
// tests were written against, and still: nothing changes unless a test
// changes it.
#pragma once

#include "../../support/ZphdServer.h"

namespace feedtest {

class ZphdServer : public testsupport::ZphdServer {
public:
    explicit ZphdServer(std::vector<std::string> extra = {}) : testsupport::ZphdServer(Seeded(std::move(extra))) {}

private:
    static std::vector<std::string> Seeded(std::vector<std::string> extra)
    {
        extra.insert(extra.begin(), {"--seed", "7", "--rate", "0", "--trade-every", "0"});
        return extra;
    }
};

} // namespace feedtest
