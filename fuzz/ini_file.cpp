// Loads arbitrary bytes as a settings file. Whatever loads must save (no
// loaded text can hold a line feed), and loading what was saved must give
// the same sections, keys, values and order; saving that again gives the
// same bytes.
#include "Brindle/base/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

using Brindle::CIniFile;

namespace {

bool Same(const CIniFile& a, const CIniFile& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].get_id().get_value() != b[i].get_id().get_value() || a[i].size() != b[i].size())
            return false;
        for (std::size_t j = 0; j < a[i].size(); ++j) {
            const auto& x = a[i].get_values()[j];
            const auto& y = b[i].get_values()[j];
            if (x.get_id().get_value() != y.get_id().get_value() ||
                x.get_value().get_value() != y.get_value().get_value())
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CIniFile first;
    if (!first.load(in)) {
        if (!first.empty())
            std::abort();
        return 0;
    }
    std::ostringstream saved;
    if (!first.save(saved))
        std::abort();
    std::istringstream again(saved.str());
    CIniFile second;
    if (!second.load(again) || !Same(first, second))
        std::abort();
    std::ostringstream resaved;
    if (!second.save(resaved) || resaved.str() != saved.str())
        std::abort();
    return 0;
}
