// Splits arbitrary text at a delimiter set taken from its first bytes. The
// tokens joined by the delimiter they ended at give back the text after its
// leading delimiters, less one final delimiter.
#include "Brindle/base/Tokenizer.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using Brindle::CTokenizer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t setLength = data[0] % 4;
    if (size < 1 + setLength)
        return 0;
    const std::string delimiters(reinterpret_cast<const char*>(data) + 1, setLength);
    const std::string text(reinterpret_cast<const char*>(data) + 1 + setLength, size - 1 - setLength);

    CTokenizer tokens(text, delimiters);
    const size_t first = text.find_first_not_of(delimiters);
    std::string rest = first == std::string::npos ? std::string() : text.substr(first);
    size_t consumed = 0;
    while (!tokens.eof()) {
        const std::string token = tokens.next().get_value();
        if (rest.compare(consumed, token.size(), token) != 0)
            std::abort();
        consumed += token.size();
        if (consumed < rest.size()) {
            if (delimiters.find(rest[consumed]) == std::string::npos)
                std::abort(); // a token ended somewhere else than at a delimiter
            ++consumed;
        }
        if (consumed > rest.size())
            std::abort();
    }
    if (consumed != rest.size())
        std::abort(); // text left over after eof
    return 0;
}
