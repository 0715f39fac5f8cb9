// A modem's replies reach MAVO's dialer as any bytes in any pieces; the
// phone number comes from the settings store as any text.
#include "modem/ModemDial.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const std::size_t split = size > 0 ? data[0] % (size + 1) : 0;

    mavo::CModemReplyLines whole, halves;
    std::vector<std::string> a, b;
    whole.Feed(bytes, size, a);
    halves.Feed(bytes, split, b);
    halves.Feed(bytes + split, size - split, b);
    if (a != b)
        std::abort();
    for (const std::string& line : a) {
        if (line.empty() || line.size() > mavo::CModemReplyLines::kMaxLine)
            std::abort();
        if (line.find_first_of("\r\n") != std::string::npos)
            std::abort();
        mavo::ClassifyReply(line);
    }

    const std::string text(bytes, size);
    const std::string number = mavo::DialablePart(text);
    if (number.size() > mavo::kMaxPhoneNumber)
        std::abort();
    if (!number.empty() && !mavo::IsValidPhoneNumber(number))
        std::abort();
    const auto command = mavo::DialCommand(text);
    if (command && (command->find('\r') != command->size() - 1 || !mavo::IsValidPhoneNumber(text)))
        std::abort();
    return 0;
}
