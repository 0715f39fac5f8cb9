// Feeds arbitrary bytes to the message stream parser, once as one receive
// and once cut into receives of 1 to 16 bytes (the first input byte says
// how): both must deliver the same messages, in the same order, each of
// which builds to a text that parses back to it. A third parser with a
// small message limit takes the same stream and must never hold more than
// its limit.
#include "Brindle/comm/CommLayer.h"
#include "Brindle/comm/MsgParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace Brindle;

namespace {

class Bottom : public CCommLayer {
public:
    void Receive(const std::string& bytes) { CallUpData(GetSource(), bytes); }
};

class Top : public CMsgLayer {
public:
    void OnMsg(void* /*source*/, const CMsg& msg) override { texts.push_back(msg.build_string()); }
    void OnError(void* /*source*/, unsigned long /*error*/, const std::string& /*text*/) override { ++errors; }
    std::vector<std::string> texts;
    int errors = 0;
};

struct Stack {
    Bottom bottom;
    CMsgParser parser;
    Top top;
    Stack()
    {
        bottom.SetChain(&parser);
        parser.SetChain(&top);
    }
};

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t chunk = 1 + data[0] % 16;
    const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);

    Stack whole;
    whole.bottom.Receive(stream);

    Stack pieces;
    Stack limited;
    constexpr unsigned limit = 64;
    limited.parser.SetMessageLimit(limit);
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        const std::string piece = stream.substr(at, chunk);
        pieces.bottom.Receive(piece);
        limited.bottom.Receive(piece);
        Require(limited.parser.GetPendingSize(limited.bottom.GetSource()) <= limit);
    }

    Require(whole.top.texts == pieces.top.texts);
    Require(whole.parser.GetPendingSize(whole.bottom.GetSource()) ==
            pieces.parser.GetPendingSize(pieces.bottom.GetSource()));
    for (const std::string& text : whole.top.texts) {
        CMsg again;
        Require(again.parse(text));
        Require(again.build_string() == text);
    }
    return 0;
}
