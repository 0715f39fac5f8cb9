#include "Brindle/comm/BBPacket.h"
#include "Brindle/comm/BBPacketReader.h"
#include "Brindle/comm/Msg.h"

#include "ChildProcess.h"
#include "CommTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <tuple>
#include <vector>

using namespace Brindle;
using commtest::Hex;

namespace {

// The class-wide codes are process-wide: every test starts from the defaults.
class BBPacketTest : public ::testing::Test {
protected:
    void SetUp() override { Restore(); }
    void TearDown() override { Restore(); }
    static void Restore()
    {
        CBBPacket::SetBrokerBankCode("KTRV");
        CBBPacket::SetCityCode("NYC");
    }
};

// One packet and its description for the Python peer.
struct Sample {
    std::unique_ptr<CBBPacket> packet;
    std::string json;
};

// A packet of kind T with its sequence and time set.
template <typename T>
std::unique_ptr<T> Make(char sequence, long when)
{
    auto p = std::make_unique<T>();
    p->SetSequence(sequence);
    p->SetTimestamp(when);
    return p;
}

// The packet with the fields every kind shares and `fields` of its own.
Sample Describe(std::unique_ptr<CBBPacket> p, const char* kind, const commtest::JsonFields& fields = {})
{
    commtest::JsonFields all{{"kind", kind},
                             {"seq", std::string(1, p->GetSequence())},
                             {"city", CBBPacket::GetCityCode()},
                             {"bank", CBBPacket::GetBrokerBankCode()},
                             {"time", static_cast<long>(p->GetTimestamp().GetTimestamp())}};
    all.insert(all.end(), fields.begin(), fields.end());
    return {std::move(p), commtest::Object(all)};
}

std::vector<Sample> MakeSamples(long when)
{
    std::vector<Sample> out;
    out.push_back(Describe(Make<CBBHeartbeat>('A', when), "heartbeat"));
    for (int variant = 0; variant < 2; ++variant) {
        auto p = Make<CBBLoadMonitor>('7', when + variant);
        p->set_security_id("US912828XY");
        p->set_security_short_name("T 2 1/4 11/27");
        p->set_monitor_id("M1");
        p->set_foreground_color(5);
        if (variant == 0)
            p->SetMaturityOrder(12);
        else
            p->SetAbsoluteOrder(34, 120, 17);
        const commtest::JsonFields fields{
            {"flag", false}, {"code", 8}, {"security_id", p->get_security_id()},
            {"short_name", p->get_security_short_name()}, {"function", "GDCO"}, {"monitor_id", p->get_monitor_id()},
            {"maturity", variant == 0}, {"color", 5}, {"number", p->get_monitor_number()}, {"page", p->get_page()},
            {"row", p->get_row()}};
        out.push_back(Describe(std::move(p), "load", fields));
    }
    auto clear = Make<CBBClearMonitor>('z', when);
    clear->set_function_name("AB");
    clear->set_monitor_id("9999");
    clear->set_monitor_number(4321);
    clear->set_suppress_prices(true);
    out.push_back(Describe(std::move(clear), "clear",
                           {{"function", "AB"}, {"monitor_id", "9999"}, {"number", 4321}, {"suppress", true}}));
    auto page = Make<CBBPageData>('3', when);
    page->set_contributor_id("HALVERN"); // cut to 2
    page->set_product_code("G");         // padded to 2
    page->set_page(12345);
    page->set_row(26);
    page->set_column(40);
    page->set_access_type("01");
    page->set_security_id("912828XY7");
    std::string text(200, 'A');
    for (int i = 0; i < 200; ++i)
        text[i] = static_cast<char>('A' + i % 26);
    page->set_text(text);
    out.push_back(Describe(std::move(page), "page",
                           {{"contributor", "HALVERN"}, {"product", "G"}, {"page", 12345}, {"row", 26}, {"column", 40},
                            {"access", "01"}, {"security_id", "912828XY7"}, {"text", text}}));
    auto clearPage = Make<CBBClearPage>('C', when);
    clearPage->set_contributor_id("HV");
    clearPage->set_product_code("GV");
    clearPage->set_page(7);
    out.push_back(Describe(std::move(clearPage), "page",
                           {{"contributor", "HV"}, {"product", "GV"}, {"page", 7}, {"row", 1}, {"column", 1},
                            {"access", "99"}, {"security_id", "ACLEARPG"}, {"text", std::string(80, ' ')}}));
    for (int entries : {1, 3}) {
        auto p = Make<CBBRecordData>('r', when);
        p->set_security_id("912828XY7");
        p->set_condition_code('Q');
        std::string data;
        for (int i = 0; i < entries; ++i) {
            const char code = static_cast<char>('a' + i);
            const std::string value = entries == 1 ? "a value longer than fourteen" : "v" + std::to_string(i);
            p->AddData(code, CVar(value));
            data += (i ? ", [" : "[") + commtest::Json(std::string(1, code)).text + ", " + commtest::Json(value).text;
            data += "]";
        }
        out.push_back(Describe(std::move(p), "record",
                               {{"record_type", "70"}, {"id_type", "2"}, {"security_id", "912828XY7"},
                                {"data", commtest::Json::Raw("[" + data + "]")}, {"condition", "Q"}}));
    }
    return out;
}

// The packets Python builds for the samples, in hex.
std::vector<std::string> PythonPackets(const std::vector<Sample>& samples)
{
    testsupport::TempDir dir;
    const std::string file = dir.str() + "/packets.json";
    {
        std::ofstream out(file);
        out << "[";
        for (std::size_t i = 0; i < samples.size(); ++i)
            out << (i ? ",\n" : "") << samples[i].json;
        out << "]";
    }
    testsupport::ChildProcess python(
        {"/usr/bin/python3", BRINDLE_SOURCE_DIR "/tests/Common/Libs/Brindle/comm/bb_packets.py", file});
    EXPECT_EQ(python.Wait(), 0) << python.Stderr();
    std::vector<std::string> lines;
    std::istringstream in(python.Stdout());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST_F(BBPacketTest, EveryKindIsByteExactWithAPeerBuiltFromTheWireFormat)
{
    for (bool otherCodes : {false, true}) {
        if (otherCodes) {
            ASSERT_TRUE(CBBPacket::SetBrokerBankCode("BANKX"));
            ASSERT_TRUE(CBBPacket::SetCityCode("LDN1"));
        }
        const auto samples = MakeSamples(1700000000 + (otherCodes ? 4000 : 0));
        const auto expected = PythonPackets(samples);
        ASSERT_EQ(expected.size(), samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
            EXPECT_EQ(Hex(samples[i].packet->CreateString()), expected[i]) << samples[i].json;
    }
}

TEST_F(BBPacketTest, EveryKindReadsBackToTheSameFieldsAndBytes)
{
    const long now = CTimestamp().GetTimestamp();
    for (const Sample& s : MakeSamples(now)) {
        const std::string bytes = s.packet->CreateString();
        std::size_t used = 0;
        std::unique_ptr<CBBPacket> read;
        std::string why;
        ASSERT_EQ(CBBPacketReader::Read(bytes, used, read, &why), BB_READ_PACKET) << s.json << ": " << why;
        EXPECT_EQ(used, bytes.size());
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(typeid(*read), typeid(*s.packet)) << s.json;
        EXPECT_EQ(read->GetSequence(), s.packet->GetSequence());
        EXPECT_EQ(read->GetTimestamp().GetTimestamp(), s.packet->GetTimestamp().GetTimestamp()) << s.json;
        EXPECT_EQ(Hex(read->CreateString()), Hex(bytes)) << s.json;
    }
    CBBLoadMonitor load;
    load.SetAbsoluteOrder(9, 300, 26);
    load.set_security_id("ID");
    std::unique_ptr<CBBPacket> read;
    std::size_t used = 0;
    ASSERT_EQ(CBBPacketReader::Read(load.CreateString(), used, read), BB_READ_PACKET);
    auto* back = dynamic_cast<CBBLoadMonitor*>(read.get());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::make_tuple(back->get_maturity_order(), back->get_monitor_number(), back->get_page(), back->get_row(),
                              back->get_security_id(), back->get_code_number(), back->get_flag()),
              std::make_tuple(false, 9, 300, 26, std::string("ID"), 8, false));
}

TEST_F(BBPacketTest, PageDataFieldsAreForcedToTheirWidths)
{
    CBBPageData page;
    page.set_text(std::string(200, 'x'));
    page.set_security_id("A-SECURITY-ID-LONGER-THAN-14");
    const std::string bytes = page.CreateString();
    // STX - seq cc HH:MM:SS 05 " 1" pp page5 row2 col2 len3 aa sec14 7sp text
    EXPECT_EQ(bytes.substr(28, 3), "160");
    EXPECT_EQ(bytes.substr(33, 14), "A-SECURITY-ID-");
    EXPECT_EQ(bytes.size(), 54u + 160u + 2u);
    EXPECT_EQ(page.get_text().size(), 200u); // the packet itself is unchanged
    EXPECT_EQ(CBBPacket::ComputeLRC("x"), 0);
    EXPECT_EQ(CBBPacket::ComputeLRC(""), 0);
}

TEST_F(BBPacketTest, RecordDataEntries)
{
    CBBRecordData record;
    EXPECT_EQ(record.CreateString(), "");
    EXPECT_FALSE(record.IsValid());
    record.set_security_id("S");
    EXPECT_FALSE(record.IsValid());
    EXPECT_FALSE(record.AddData(CVal(CVar("AB"), CVar("x"))));
    EXPECT_TRUE(record.get_data().empty());
    EXPECT_TRUE(record.AddData(CVal(CVar("P"), CVar("101.5"))));
    EXPECT_TRUE(record.AddData('Q', CVar(42)));
    EXPECT_TRUE(record.AddData('P', CVar("dup")));
    EXPECT_TRUE(record.IsValid());

    CMsg msg(CVar("HDR"));
    record.AddRecord(&msg);
    record.AddRecord(nullptr);
    const CRec& data = msg["DATA"];
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data.get_values()[0].get_id().get_value(), "P");
    EXPECT_EQ(data.get_values()[0].get_value().get_value(), "101.5");
    EXPECT_EQ(data.get_values()[1].get_value().get_value(), "42");
    EXPECT_EQ(data.get_values()[2].get_value().get_value(), "dup");

    // Full at 99: the count keeps two digits.
    for (int i = 3; i < 99; ++i)
        ASSERT_TRUE(record.AddData('x', CVar(i)));
    EXPECT_FALSE(record.AddData('y', CVar("one too many")));
    const std::string bytes = record.CreateString();
    EXPECT_EQ(record.get_data().size(), 99u);
    EXPECT_EQ(bytes.substr(3 + 2 + 7 + 8 + 1 + 12, 2), "99");
}

TEST_F(BBPacketTest, FieldsThatWouldBreakTheLayoutAreRefused)
{
    CBBPageData page;
    page.set_text("line\x03" "end"); // an ETX inside would end the packet
    EXPECT_EQ(page.CreateString(), "");
    page.set_text("fine");
    for (const int number : {100000, -1, 99999}) { // six digits in a five-digit field, a sign, the largest
        page.set_page(number);
        EXPECT_EQ(page.CreateString().empty(), number != 99999) << number;
    }

    CBBLoadMonitor load;
    load.set_foreground_color(100);
    EXPECT_EQ(load.CreateString(), "");
    load.set_foreground_color(2);
    load.set_security_short_name("tab\there");
    EXPECT_EQ(load.CreateString(), "");

    CBBHeartbeat beat;
    beat.SetSequence('\x02');
    EXPECT_EQ(beat.CreateString(), "");
    EXPECT_FALSE(CBBPacket::SetBrokerBankCode("KT\x03V"));
    EXPECT_EQ(CBBPacket::GetBrokerBankCode(), "KTRV");

    CBBRecordData record;
    record.set_security_id("S");
    record.AddData('a', CVar("bad\x1b"));
    EXPECT_EQ(record.CreateString(), "");
}

TEST_F(BBPacketTest, ReaderSkipsWhatIsNoPacketAndKeepsTheRest)
{
    CBBHeartbeat beat;
    beat.SetSequence('1');
    CBBClearMonitor clear;
    clear.SetSequence('2');
    std::string badLrc = beat.CreateString();
    badLrc.back() ^= 0x55;
    const std::string cut = clear.CreateString().substr(0, 40);

    CBBPacketReader reader;
    reader.Append("noise");
    reader.Append(beat.CreateString());
    reader.Append(badLrc);
    reader.Append(cut);
    reader.Append(clear.CreateString());
    const std::string tail = beat.CreateString();
    reader.Append(tail.substr(0, 5));

    std::vector<std::string> seen;
    std::unique_ptr<CBBPacket> packet;
    for (int i = 0; i < 20; ++i) {
        const BBREAD r = reader.Next(packet);
        if (r == BB_READ_INCOMPLETE)
            break;
        seen.push_back(r == BB_READ_PACKET ? std::string("packet ") + packet->GetSequence() : "bad: " + reader.GetError());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"bad: bytes outside a packet", "packet 1", "bad: wrong LRC",
                                               "bad: packet cut short by the next one", "packet 2"}));
    EXPECT_EQ(reader.Buffered(), 5u);
    reader.Append(tail.substr(5));
    EXPECT_EQ(reader.Next(packet), BB_READ_PACKET);
    EXPECT_EQ(reader.Buffered(), 0u);

    // A run without an end is refused once it passes the packet limit.
    std::string endless(1, '\x02');
    endless.append(CBBPacketReader::MAX_PACKET + 10, 'x');
    std::size_t used = 0;
    EXPECT_EQ(CBBPacketReader::Read(endless, used, packet), BB_READ_BAD);
    EXPECT_EQ(used, 1u);
    EXPECT_EQ(CBBPacketReader::Read(endless.substr(0, 100), used, packet), BB_READ_INCOMPLETE);
}

TEST_F(BBPacketTest, ReaderRefusesOtherCodesAndGrownFields)
{
    CBBLoadMonitor load;
    load.set_security_id("THIRTEEN-CHAR"); // grows its 12-wide field
    const std::string grown = load.CreateString();
    ASSERT_NE(grown, "");
    std::unique_ptr<CBBPacket> packet;
    std::size_t used = 0;
    EXPECT_EQ(CBBPacketReader::Read(grown, used, packet), BB_READ_BAD);
    EXPECT_EQ(used, grown.size());

    CBBHeartbeat beat;
    const std::string ours = beat.CreateString();
    CBBPacket::SetBrokerBankCode("OTHR");
    EXPECT_EQ(CBBPacketReader::Read(ours, used, packet), BB_READ_BAD);
    EXPECT_EQ(CBBPacketReader::Read(beat.CreateString(), used, packet), BB_READ_PACKET);

    CBBRecordData two;
    two.set_security_id("S");
    two.AddData('a', CVar("more than fourteen bytes"));
    two.AddData('b', CVar("x"));
    EXPECT_EQ(CBBPacketReader::Read(two.CreateString(), used, packet), BB_READ_BAD);
}

TEST_F(BBPacketTest, ClassCodesAreSafeFromSeveralThreads)
{
    std::atomic<bool> torn{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &torn] {
            for (int i = 0; i < 2000; ++i) {
                if (t % 2 == 0) {
                    CBBPacket::SetBrokerBankCode(i % 2 ? "AAAA" : "BBBBBBBB");
                    CBBPacket::SetCityCode(i % 2 ? "LDN" : "TOKYO");
                } else {
                    CBBHeartbeat beat;
                    const std::string bytes = beat.CreateString();
                    const std::string bank = bytes.substr(4, bytes.size() - 6);
                    if (bank != "AAAA" && bank != "BBBBBBBB" && bank != "KTRV")
                        torn = true;
                    const std::string city = CBBPacket::GetCityCode();
                    if (city != "LDN" && city != "TOKYO" && city != "NYC")
                        torn = true;
                }
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_FALSE(torn);
}

} // namespace
