// Feeds arbitrary text to the number-list readers. A list is either refused
// (empty) or within the cap, and the range text of what was read reads back
// to the same numbers when they are ascending and distinct.
#include "Brindle/base/NumberList.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace Brindle;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<int> numbers = to_vector(text);
    if (numbers.size() > kMaxNumberListSize)
        std::abort();
    for (int n : numbers) {
        if (n < 0)
            std::abort(); // negative numbers cannot be written
    }
    const std::string delimited = to_delimited_string(text);
    if (numbers.empty() != delimited.empty())
        std::abort();

    const std::string ranges = to_range_string(numbers);
    bool ascending = true;
    for (size_t i = 1; i < numbers.size() && ascending; ++i)
        ascending = numbers[i] > numbers[i - 1];
    // (Checked on shorter lists only: a full list takes milliseconds.)
    if (ascending && !numbers.empty() && numbers.size() <= 10000 && to_vector(ranges) != numbers)
        std::abort();
    (void)to_range_string(text);
    return 0;
}
