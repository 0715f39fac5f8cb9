// zphd's configuration files: any text is read or refused with a line
// number; what is read makes a market that runs.
#include "Market.h"
#include "ServerConfig.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zphd::ServerConfig config;
    std::string error;
    if (!zphd::ParseConfig(std::string_view(reinterpret_cast<const char*>(data), size), config, error)) {
        if (error.rfind("line ", 0) != 0 && error.find("no user") == std::string::npos)
            __builtin_trap();
        return 0;
    }
    // Keep each run short; the rates themselves are the market's to honour.
    config.market.rate = std::min(config.market.rate, 500.0);
    config.market.tradeEvery = std::max(config.market.tradeEvery, config.market.tradeEvery > 0 ? 0.01 : 0.0);
    zphd::Market market(config, 1718107200);
    for (std::int64_t t = 0; t <= 3000; t += 250)
        market.Advance(t);
    market.TakeEvents();
    return 0;
}
