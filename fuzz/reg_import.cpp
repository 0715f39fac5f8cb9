// The .reg text parser on hostile input: it must never crash, and whatever it
// accepts must write out as text that parses back to the same content.
#include "Platform/RegFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {
bool Same(const Platform::RegFile& a, const Platform::RegFile& b)
{
    if (a.keys.size() != b.keys.size())
        return false;
    for (std::size_t k = 0; k < a.keys.size(); ++k) {
        const auto& x = a.keys[k];
        const auto& y = b.keys[k];
        if (x.path != y.path || x.remove != y.remove || x.values.size() != y.values.size())
            return false;
        for (std::size_t v = 0; v < x.values.size(); ++v) {
            const auto& p = x.values[v];
            const auto& q = y.values[v];
            if (p.name != q.name || p.remove != q.remove || (!p.remove && (p.type != q.type || p.data != q.data)))
                return false;
        }
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Platform::RegFile file;
    std::string error;
    if (!Platform::ParseRegFile(text, &file, &error)) {
        if (error.empty() || !file.keys.empty())
            std::abort();
        return 0;
    }
    // Names holding line breaks cannot be written as .reg text; the export
    // refuses them, so only the others must round-trip.
    for (const auto& key : file.keys) {
        if (key.path.find_first_of("\r\n") != std::string::npos)
            return 0;
        for (const auto& value : key.values)
            if (value.name.find_first_of("\r\n") != std::string::npos)
                return 0;
    }
    std::string written = Platform::WriteRegFile(file);
    Platform::RegFile again;
    if (!Platform::ParseRegFile(written, &again, &error) || !Same(file, again))
        std::abort();
    return 0;
}
