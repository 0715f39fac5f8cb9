// Feeds arbitrary bytes to the message text parser. A text that parses must
// build again (it cannot hold a delimiter inside an id or value), the built
// text must parse to an equal message, and building that gives the same
// text. A refusal must leave no cached text. The same bytes also go through
// the record parser, the value readers and the list splitter.
#include "Brindle/comm/Msg.h"
#include "Brindle/comm/Variant.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using Brindle::CMsg;
using Brindle::CRec;
using Brindle::CVal;
using Brindle::CVariant;
using Brindle::CVariantList;

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// Every typed read of every value, for the sanitizers to watch.
void ReadAll(const CRec& record)
{
    for (const CVal& v : record) {
        const Brindle::CVar& value = v.get_value();
        // Summed unsigned: the reads are what is watched, and a sum of
        // extreme values must not overflow in the harness itself.
        volatile unsigned long sink = static_cast<unsigned long>(value.get_int()) +
                                      static_cast<unsigned long>(value.get_long()) + value.get_unsigned_long() +
                                      value.get_unsigned_int() + value.get_bool() +
                                      static_cast<unsigned long>(value.get_char());
        volatile double real = value.get_double();
        (void)sink;
        (void)real;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    CMsg msg;
    if (msg.parse(input)) {
        Require(msg.get_raw_buffer() == input);
        Require(msg.is_valid_text());
        const std::string text = msg.build_string();
        Require(text.size() == msg.required_size());
        CMsg again;
        Require(again.parse(text));
        Require(again == msg);
        Require(again.build_string() == text);
        ReadAll(msg.get_header());
        for (const CRec& r : msg)
            ReadAll(r);
    } else {
        Require(msg.get_raw_buffer().empty());
    }

    CRec record;
    if (record.parse(input)) {
        Require(record.is_valid_text());
        CRec again;
        Require(again.parse(record.to_string()));
        Require(again == record);
    }

    // Splitting and joining gives back the text exactly.
    const CVariant joined{std::string(input)};
    const CVariantList list(joined);
    Require(list.GetJoined() == joined);
    for (const CVariant& v : list) {
        volatile double sink = static_cast<double>(v.IntValue()) + static_cast<double>(v.LongValue()) +
                               static_cast<double>(v.UnsignedLongValue()) + v.DoubleValue() + v.BoolValue();
        (void)sink;
    }
    return 0;
}
