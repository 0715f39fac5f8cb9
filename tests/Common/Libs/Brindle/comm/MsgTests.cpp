// The message text form: building, parsing, lookups, the cached text and
// refusals; over many random messages, built texts parse back equal.
#include "Brindle/base/Exception.h"
#include "Brindle/comm/Msg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>

using namespace Brindle;

namespace {

// Writes a message text with readable names for the delimiters:
// [SOH] [STX] [ETX] [GS] [RS] [US].
std::string T(std::string text)
{
    const std::pair<const char*, char> names[] = {{"[SOH]", 0x01}, {"[STX]", 0x02}, {"[ETX]", 0x03},
                                                  {"[GS]", 0x1D},  {"[RS]", 0x1E},  {"[US]", 0x1F}};
    for (const auto& [name, byte] : names) {
        for (std::size_t at; (at = text.find(name)) != std::string::npos;)
            text.replace(at, std::strlen(name), 1, byte);
    }
    return text;
}

class RandomMessages {
public:
    explicit RandomMessages(unsigned seed) : m_rng(seed) {}

    // Any byte but the six delimiters: NUL, 0x1C, high bytes included.
    std::string Text()
    {
        const int length = Pick(0, 4) == 0 ? 0 : Pick(1, 24);
        std::string text;
        while (text.size() < static_cast<std::size_t>(length)) {
            const char c = static_cast<char>(Pick(0, 255));
            if (std::string_view("\x01\x02\x03\x1D\x1E\x1F").find(c) == std::string_view::npos)
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

TEST(Msg, BuildsAndParsesTheDelimitedTextForm)
{
    CMsg msg(CVar("LOGIN"));
    msg.get_header().set("User") = "bob";
    msg["R1"].set("a") = 1;
    const std::string expected = T("[SOH][GS]LOGIN[RS]User[US]bob[STX][GS]R1[RS]a[US]1[ETX]");
    EXPECT_EQ(msg.build_string(), expected);
    EXPECT_EQ(msg.required_size(), expected.size());
    EXPECT_EQ(msg.to_string(), expected);
    EXPECT_EQ(msg["R1"].to_string(), T("[GS]R1[RS]a[US]1"));
    EXPECT_EQ(msg["R1"]["a"].to_string(), T("[RS]a[US]1"));
    EXPECT_EQ(msg["R1"].required_size(), 7u);
    EXPECT_EQ(msg["R1"]["a"].required_size(), 4u);

    CMsg back;
    ASSERT_TRUE(back.parse(expected));
    EXPECT_EQ(back.get_header().get_id(), "LOGIN");
    EXPECT_EQ(back.get_header().get("User"), "bob");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back["R1"].get("a").get_int(), 1);
    // Without records the body is empty.
    EXPECT_EQ(CMsg(CVar("PING")).build_string(), T("[SOH][GS]PING[STX][ETX]"));
}

TEST(Msg, ParseRefusesBytesOutsideTheFrameAndTextsThatCouldNotBeSentAgain)
{
    CMsg msg;
    const std::string good = T("[SOH][GS]H[STX][GS]R[RS]a[US]1[ETX]");
    ASSERT_TRUE(msg.parse(good));
    const std::string refused[] = {
        "x" + good,
        good + "x",
        good + T("[ETX]"),
        "",
        T("[SOH][ETX]"),
        T("[SOH][STX][ETX]"),                   // header without GS
        T("[SOH][GS]H[ETX]"),                   // no STX
        T("[SOH][GS]H[STX][GS]R[ETX]x[ETX]"),   // ETX inside
        T("[SOH][GS]H[SOH][STX][ETX]"),         // SOH in the header
        T("[SOH][GS]H[STX][GS]R[STX][ETX]"),    // STX in a record
        T("[SOH][GS]H[STX][GS]R[RS]a[ETX]"),    // value without US
        T("[SOH][GS]H[STX][GS]R[RS]a[US]1[US]2[ETX]"), // a second US would end up inside the value's text
        T("[SOH][GS]H[RS]a[US]1[US]2[STX][ETX]"),
        T("[SOH][GS]H[GS]X[STX][ETX]"),         // a GS inside the header's id
        T("[SOH][GS]H[STX][GS]R[US]x[ETX]"),    // a US inside a record id
    };
    for (const std::string& text : refused)
        EXPECT_FALSE(msg.parse(text)) << &text - refused;
}

TEST(Msg, ParseToleratesBytesBetweenTheParts)
{
    // Bytes before the header's GS, after the STX and before a record's first
    // value carry nothing and are skipped.
    CMsg msg;
    ASSERT_TRUE(msg.parse(T("[SOH]zz[GS]H[STX]junk[GS]R[RS]a[US]1[ETX]")));
    EXPECT_EQ(msg.get_header().get_id(), "H");
    ASSERT_EQ(msg.size(), 1u);
    EXPECT_EQ(msg["R"].get("a"), "1");
    // Sent again it is the plain form, which reads back the same.
    CMsg again;
    ASSERT_TRUE(again.parse(msg.build_string()));
    EXPECT_EQ(again, msg);
    EXPECT_EQ(again.build_string(), T("[SOH][GS]H[STX][GS]R[RS]a[US]1[ETX]"));
}

TEST(Msg, RecordWithoutValuesHasJustItsId)
{
    CRec rec;
    ASSERT_TRUE(rec.parse(T("[GS]Prices")));
    EXPECT_EQ(rec.get_id(), "Prices");
    EXPECT_TRUE(rec.empty());
    ASSERT_TRUE(rec.parse(T("[GS]")));
    EXPECT_EQ(rec.get_id(), "");
    EXPECT_FALSE(rec.parse("Prices"));
    EXPECT_FALSE(rec.parse(T("[GS]P[ETX]")));

    // Empty ids and values are values like any other.
    ASSERT_TRUE(rec.parse(T("[GS][RS][US][RS]x[US]")));
    ASSERT_EQ(rec.size(), 2u);
    EXPECT_EQ(rec.get(""), "");
    EXPECT_EQ(rec.find_value("x")->get_value(), "");
}

TEST(Msg, ValueParseStopsAtItsOwnEnd)
{
    const std::string text = T("[RS]a[US]1[RS]b[US]2");
    CVal v;
    ASSERT_TRUE(v.parse(text, 0, text.find(0x1E, 1)));
    EXPECT_EQ(v.get_id(), "a");
    EXPECT_EQ(v.get_value(), "1");
    ASSERT_TRUE(v.parse(text, 1, text.size()));
    EXPECT_EQ(v.get_id(), "b");

    // The US lies beyond the end: no value, and the old one stays.
    const std::string split = T("xx[RS]id[US]value");
    EXPECT_FALSE(v.parse(split, 0, split.find(0x1F)));
    EXPECT_EQ(v.get_id(), "b");
    EXPECT_EQ(v.get_value(), "2");
    EXPECT_FALSE(v.parse(split, 0, 0));
    EXPECT_FALSE(v.parse(split, 5, 100)); // no RS from there on
    ASSERT_TRUE(v.parse(split, 0, 100));  // an end past the text is the text's end
    EXPECT_EQ(v.get_id(), "id");
    EXPECT_EQ(v.get_value(), "value");
}

TEST(Msg, LookupsReturnTheFirstMatchOrTheSharedEmptyObjects)
{
    CRec rec(CVar("R"));
    rec.set("a") = "first";
    rec.set("b") = "other";
    rec.set("a") = "second"; // set appends even when the id exists
    ASSERT_EQ(rec.size(), 3u);
    const CRec& crec = rec;
    EXPECT_EQ(crec.get("a"), "first");
    EXPECT_EQ(crec["a"].get_value(), "first");
    EXPECT_EQ(crec.find_value("a") - crec.begin(), 0);
    EXPECT_EQ(crec.find_value("A"), crec.end());
    EXPECT_EQ(&crec["zz"], &CVal::nval);
    EXPECT_EQ(&crec.get("zz"), &CRec::nval);
    EXPECT_EQ(rec.size(), 3u);

    // The non-const operator[] appends what is missing.
    rec["c"].set_value(3);
    ASSERT_EQ(rec.size(), 4u);
    EXPECT_EQ(rec.get("c").get_int(), 3);
    rec["a"].set_value("changed");
    EXPECT_EQ(rec.get("a"), "changed");
    EXPECT_EQ(rec.size(), 4u);

    CMsg msg(CVar("H"));
    msg["R1"].set("x") = 1;
    msg.add(CRec(CVar("R1")));
    const CMsg& cmsg = msg;
    EXPECT_EQ(cmsg["R1"].get("x"), "1");
    EXPECT_EQ(&cmsg["R9"], &CRec::nrec);
    EXPECT_EQ(cmsg.find_record("R9"), cmsg.end());
    EXPECT_EQ(msg.size(), 2u);
    msg["R9"];
    EXPECT_EQ(msg.size(), 3u);
    EXPECT_EQ(msg.get_records().back().get_id(), "R9");

    EXPECT_EQ(std::count_if(rec.begin(), rec.end(), CIsVal(CVar("a"))), 2);
    EXPECT_EQ(std::count_if(msg.begin(), msg.end(), CIsRec(CVar("R1"))), 2);
}

TEST(Msg, CopyValuesAppendsARangeEvenFromItself)
{
    CRec a(CVar("A"));
    a.set("x") = 1;
    a.set("y") = 2;
    CRec b(CVar("B"));
    b.copy_values(a.begin(), a.end());
    EXPECT_EQ(b.get_values(), a.get_values());
    b.copy_values(b.begin(), b.end());
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b.get_values()[2].get_id(), "x");
    EXPECT_EQ(b.get_values()[3].get_value(), "2");
}

TEST(Msg, CachedTextStaysUntilPreparedOrAParseFails)
{
    const std::string text = T("[SOH][GS]H[RS]k[US]v[STX][ETX]");
    CMsg msg;
    ASSERT_TRUE(msg.parse(text));
    msg.get_header().set("added") = "later";
    EXPECT_EQ(msg.to_string(), text);
    EXPECT_EQ(msg.get_raw_buffer(), text);
    EXPECT_NE(msg.build_string(), text);
    msg.prepare_string();
    EXPECT_EQ(msg.get_raw_buffer(), msg.build_string());
    EXPECT_EQ(msg.to_string(), T("[SOH][GS]H[RS]k[US]v[RS]added[US]later[STX][ETX]"));

    // A failed parse leaves no stale text behind, and keeps the records
    // read before the fault.
    EXPECT_FALSE(msg.parse("garbage"));
    EXPECT_TRUE(msg.get_raw_buffer().empty());
    EXPECT_FALSE(msg.parse(T("[SOH][GS]H[STX][GS]A[RS]a[US]1[GS]B[RS]broken[ETX]")));
    ASSERT_EQ(msg.size(), 1u);
    EXPECT_EQ(msg.get_records()[0].get_id(), "A");
}

TEST(Msg, BuildingRefusesDelimitersInIdsAndValues)
{
    for (const char bad : {'\x01', '\x02', '\x03', '\x1D', '\x1E', '\x1F'}) {
        const std::string text = std::string("a") + bad + "b";
        CMsg inHeaderId{CVar(text)};
        CMsg inRecordId(CVar("H"));
        inRecordId[text];
        CMsg inValueId(CVar("H"));
        inValueId["R"].set(text) = "v";
        CMsg inValue(CVar("H"));
        inValue.get_header().set("k") = text;
        for (CMsg* msg : {&inHeaderId, &inRecordId, &inValueId, &inValue}) {
            EXPECT_FALSE(msg->is_valid_text());
            try {
                (void)msg->build_string();
                ADD_FAILURE() << "built a text with byte " << int(bad);
            } catch (const CException& e) {
                EXPECT_EQ(e.GetLastError(), ERROR_INVALID_DATA);
            }
            EXPECT_THROW((void)msg->to_string(), CException);
            EXPECT_THROW(msg->prepare_string(), CException);
            EXPECT_TRUE(msg->get_raw_buffer().empty());
        }
        EXPECT_THROW((void)CVal(CVar("k"), CVar(text)).to_string(), CException);
        EXPECT_THROW((void)CRec(CVar(text)).to_string(), CException);
    }
    // The list separator and NUL are ordinary bytes.
    CMsg fine(CVar("H"));
    fine.get_header().set("list") = std::string("a\x1C" "b\0c", 5);
    EXPECT_TRUE(fine.is_valid_text());
    CMsg back;
    ASSERT_TRUE(back.parse(fine.build_string()));
    EXPECT_EQ(back, fine);
}

TEST(Msg, PrintsTheDiagnosticDump)
{
    CMsg msg(CVar("HDR"));
    msg.get_header().set("user") = "bob";
    msg["R1"].set("price") = "101.5";
    msg["R2"];
    int anchor = 0;
    msg.set_source(&anchor);

    std::ostringstream pointer;
    pointer << static_cast<void*>(&anchor);
    std::ostringstream out;
    msg.print(out);
    const std::string expected = "Message: Source: " + pointer.str() +
                                 "\nHeader:\n"
                                 "Id: HDR\n"
                                 "                user = bob\n"
                                 "\nRecords:\n"
                                 "Id: R1\n"
                                 "               price = 101.5\n"
                                 "\n"
                                 "Id: R2\n"
                                 "\n";
    EXPECT_EQ(out.str(), expected);

    // The stream's own alignment is left as it was.
    std::ostringstream after;
    after << std::left;
    CVal(CVar("a-very-long-identifier-over-twenty"), CVar("v")).print(after);
    after << std::setw(4) << 1;
    EXPECT_EQ(after.str(), "a-very-long-identifier-over-twenty = v1   ");
}

TEST(Msg, CopiesAreIndependentValues)
{
    CMsg a(CVar("H"));
    a["R"].set("x") = 1;
    CMsg b = a;
    b["R"]["x"].set_value(2);
    EXPECT_EQ(a["R"].get("x"), "1");
    EXPECT_EQ(b["R"].get("x"), "2");
    EXPECT_FALSE(a == b);
    CRec header(CVar("New"));
    header.set("v") = "w";
    b.set_header(header);
    EXPECT_EQ(b.get_header(), header);
    b.clear();
    EXPECT_EQ(b.size(), 0u);
    EXPECT_TRUE(b.get_header().empty());
    EXPECT_EQ(b.get_header().get_id(), "New");
}

// Parsing into the same object must not carry anything over.
TEST(MsgRoundTrip, BuiltMessagesParseBackEqualIntoOneReusedObject)
{
    RandomMessages random(20240601u);
    CMsg back;
    for (int i = 0; i < 3000; ++i) {
        const CMsg msg = random.Message();
        ASSERT_TRUE(msg.is_valid_text());
        const std::string text = msg.build_string();
        ASSERT_EQ(text.size(), msg.required_size());
        ASSERT_TRUE(back.parse(text)) << "message " << i;
        ASSERT_EQ(back, msg) << "message " << i;
        ASSERT_EQ(back.get_raw_buffer(), text);
        // Parsed text is already in the plain form: building gives it again.
        ASSERT_EQ(back.build_string(), text);
    }
}
