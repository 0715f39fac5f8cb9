// The modem emulator reads whatever a client writes to its line: command
// lines of any bytes and length, and data-mode streams with escapes.
#include "Hayes.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);

    // Fed in two reads split at the first byte's value: the same lines
    // as one read.
    const std::size_t split = size > 0 ? data[0] % (size + 1) : 0;
    modememu::CommandLineBuffer whole, halves;
    std::vector<modememu::CommandLineBuffer::Line> a, b;
    whole.Feed(bytes, size, a);
    halves.Feed(bytes, split, b);
    halves.Feed(bytes + split, size - split, b);
    if (a.size() != b.size())
        std::abort();
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].text != b[i].text || a[i].overflow != b[i].overflow)
            std::abort();
        if (a[i].text.size() > modememu::CommandLineBuffer::kMaxLine)
            std::abort();
        const modememu::ParsedLine parsed = modememu::ParseCommandLine(a[i].text);
        if (parsed.ok && !parsed.isAt)
            std::abort();
        if (parsed.dial && parsed.dial->find('\r') != std::string::npos)
            std::abort();
    }
    modememu::ParseCommandLine(std::string(bytes, size));

    modememu::EscapeDetector one, two;
    const std::size_t end = one.Feed(bytes, size);
    if (end != std::string::npos && (end < 3 || end > size || bytes[end - 1] != '+'))
        std::abort();
    two.Feed(bytes, split);
    two.Feed(bytes + split, size - split);
    return 0;
}
