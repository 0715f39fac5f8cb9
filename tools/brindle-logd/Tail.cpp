#include "Tail.h"

#include <cstdio>

namespace logd {

int RunTail(const std::string& /*connection*/, const Filter& /*filter*/, const std::string* /*pattern*/,
            long long /*intervalMs*/)
{
    std::fprintf(stderr, "brindle-logd: tail is not built yet\n");
    return 1;
}

} // namespace logd
