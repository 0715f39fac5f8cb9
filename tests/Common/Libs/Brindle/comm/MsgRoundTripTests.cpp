// Properties of the text form over many random messages: whatever is built
// parses back to an equal message (its header and every record with it),
// and a parsed text builds to itself.
#include "Brindle/comm/Msg.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace Brindle;

namespace {

class RandomMessages {
public:
    explicit RandomMessages(unsigned seed) : m_rng(seed) {}

    // Any byte but the six delimiters: NUL, 0x1C, high bytes included.
    std::string Text()
    {
        const int length = Pick(0, 4) == 0 ? 0 : Pick(1, 24);
        std::string text;
        for (int i = 0; i < length; ++i) {
            char c;
            do {
                c = static_cast<char>(Pick(0, 255));
            } while (c == 0x01 || c == 0x02 || c == 0x03 || c == 0x1D || c == 0x1E || c == 0x1F);
            text.push_back(c);
        }
        return text;
    }

    // Ids often repeat, as duplicates are allowed and lookups take the first.
    std::string Id()
    {
        static const char* const common[] = {"", "id", "Price", "a"};
        return Pick(0, 3) == 0 ? common[Pick(0, 3)] : Text();
    }

    void Fill(CRec& record)
    {
        const int values = Pick(0, 3) == 0 ? 0 : Pick(1, 12);
        for (int i = 0; i < values; ++i)
            record.set(CVar(Id())) = CVar(Text());
    }

    CMsg Message()
    {
        CMsg msg{CVar(Id())};
        Fill(msg.get_header());
        const int records = Pick(0, 3) == 0 ? 0 : Pick(1, 8);
        for (int i = 0; i < records; ++i)
            Fill(msg.add(CRec(CVar(Id()))));
        return msg;
    }

    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_rng); }

private:
    std::mt19937 m_rng;
};

} // namespace

TEST(MsgRoundTrip, BuiltMessagesParseBackEqual)
{
    RandomMessages random(20240601u);
    for (int i = 0; i < 3000; ++i) {
        const CMsg msg = random.Message();
        ASSERT_TRUE(msg.is_valid_text());
        const std::string text = msg.build_string();
        ASSERT_EQ(text.size(), msg.required_size());

        CMsg back;
        ASSERT_TRUE(back.parse(text)) << "message " << i;
        ASSERT_EQ(back, msg) << "message " << i;
        ASSERT_EQ(back.get_raw_buffer(), text);
        // Parsed text is already in the plain form: building gives it again.
        ASSERT_EQ(back.build_string(), text);
    }
}

TEST(MsgRoundTrip, OneParserReadsManyMessagesInTurn)
{
    // Parsing into the same object must not carry anything over.
    RandomMessages random(99u);
    CMsg reused;
    for (int i = 0; i < 500; ++i) {
        const CMsg msg = random.Message();
        ASSERT_TRUE(reused.parse(msg.build_string()));
        ASSERT_EQ(reused, msg);
    }
}
