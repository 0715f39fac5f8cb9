#include "MessageBuilder.h"
#include "zph/Codec.h"
#include "protocol/FieldIds.h"

#include <gtest/gtest.h>

#include <set>

using namespace ZPH;

using namespace ZPHWire;
using zphtest::Msg;

namespace {
const std::string SOH = "\x01", STX = "\x02", ETX = "\x03", GS = "\x1d", RS = "\x1e", US = "\x1f";

// A header record: its tag and its type, page and line as written.
std::string Header(const std::string& type, const std::string& page, const std::string& line,
                   const std::string& tag = "ZPH")
{
    return GS + tag + RS + "T" + US + type + RS + "P" + US + page + RS + "L" + US + line;
}

ZPHMessage RoundTrip(const ZPHMessage& msg)
{
    std::string text;
    EXPECT_TRUE(Encode(msg, text));
    ZPHMessage back;
    std::string error;
    EXPECT_TRUE(Decode(text, back, &error)) << error;
    return back;
}
} // namespace

TEST(Codec, TheWireFormIsTheMessageTextFormWithAZPHHeader)
{
    EXPECT_EQ(Encode(Msg(MSG_DATA, 12, 3, F_BID_RATE, "99.5", F_BID_ATTRIBUTE, 2)),
              SOH + Header("D", "12", "3") + STX + GS + "F" + RS + "100" + US + "99.5" + RS + "102" + US + "2" + ETX);
    EXPECT_EQ(Encode(ZPHMessage(MSG_PAGE_REQUEST, 7, 0)), SOH + Header("Q", "7", "0") + STX + ETX);
}

TEST(Codec, EveryKindRoundTripsWithItsFieldsInOrder)
{
    for (char type : {MSG_DATA, MSG_REFRESH, MSG_TIME, MSG_INSERT, MSG_ERASE, MSG_CLEAR, MSG_GREETING, MSG_WELCOME,
                      MSG_LOGIN_FAILED, MSG_PERMISSIONS, MSG_USER, MSG_TITLE, MSG_PAGE_COUNT, MSG_NOTIFICATION,
                      MSG_NOTICE, MSG_LOGIN, MSG_PAGE_REQUEST, MSG_ORDER}) {
        ZPHMessage msg(type, 300, 26);
        msg.AddField(F_TITLE, "Page|title with \x1c and a NUL");
        msg.m_page = -1;
        msg.AddField(F_TITLE, "");
        msg.AddField(0, 1.25);
        msg.AddField(F_ISSUE_NAME, std::string("a\0b", 3));
        EXPECT_EQ(RoundTrip(msg), msg) << type;
    }
}

TEST(Codec, MessagesThatCannotTravelAreRefused)
{
    std::string out = "kept";
    EXPECT_FALSE(Encode(ZPHMessage(0, 0), out));
    EXPECT_FALSE(Encode(ZPHMessage('\x01', 0, 0), out));
    EXPECT_FALSE(Encode(Msg(MSG_DATA, 1, 1, -5, "x"), out));
    for (char delimiter : {'\x01', '\x02', '\x03', '\x1d', '\x1e', '\x1f'}) {
        EXPECT_FALSE(Encode(Msg(MSG_NOTIFICATION, 0, 0, F_NOTIFICATION, std::string("a") + delimiter + "b"), out))
            << int(delimiter);
    }
    ZPHMessage many(MSG_DATA, 1, 1);
    for (std::size_t i = 0; i <= MAX_FIELDS; ++i)
        many.AddField(F_TEXT, "x");
    EXPECT_FALSE(Encode(many, out));
    EXPECT_FALSE(Encode(Msg(MSG_NOTIFICATION, 0, 0, F_NOTIFICATION, std::string(MAX_FRAME_SIZE, 'x')), out));
    EXPECT_EQ(out, "kept");
}

TEST(Codec, MalformedTextsAreRefusedWithAReason)
{
    const std::string header = Header("D", "1", "2");
    const std::string body = GS + "F" + RS + "100" + US + "x";
    ZPHMessage msg;
    std::string error;
    EXPECT_TRUE(Decode(SOH + header + STX + body + ETX, msg, &error)) << error;
    for (const std::string& bad : {
             std::string("junk") + SOH + header + STX + ETX,
             SOH + header + STX + ETX + "x",
             SOH + Header("D", "1", "2", "XYZ") + STX + ETX,
             SOH + GS + "ZPH" + RS + "P" + US + "1" + RS + "L" + US + "2" + STX + ETX,
             SOH + Header("DD", "1", "2") + STX + ETX,
             SOH + Header(" ", "1", "2") + STX + ETX,
             SOH + Header("D", "one", "2") + STX + ETX,
             SOH + Header("D", "99999999999", "2") + STX + ETX,
             SOH + header + STX + GS + "F" + RS + "abc" + US + "x" + ETX,
             SOH + header + STX + GS + "F" + RS + "-1" + US + "x" + ETX,
             SOH + header + STX + GS + "F" + RS + "100" + ETX,
             SOH + header + ETX,
         }) {
        error.clear();
        EXPECT_FALSE(Decode(bad, msg, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    std::string huge = SOH + header + STX + GS + "F" + RS + "4" + US + std::string(MAX_FRAME_SIZE, 'x') + ETX;
    EXPECT_FALSE(Decode(huge, msg, &error));
    EXPECT_EQ(error, "message too long");
}

TEST(Codec, RecordsOfALaterVersionAreSkipped)
{
    const std::string text = SOH + Header("H", "5", "0") + RS + "X" + US + "extra" + STX + GS + "Z" + RS + "q" + US +
                             "1" + GS + "F" + RS + "1013" + US + "Bills" + ETX;
    ZPHMessage msg;
    ASSERT_TRUE(Decode(text, msg));
    EXPECT_EQ(std::tuple(msg.m_type, msg.m_page, msg.GetFieldCount()), std::tuple(MSG_TITLE, 5, 1u));
    EXPECT_STREQ(msg.GetValue(F_TITLE), "Bills");
}

TEST(Codec, LoginProofIsHmacSha256OfNonceAndUser)
{
    // RFC 4231, test case 2: key "Jefe", data "what do ya want for nothing?".
    EXPECT_EQ(LoginProof("what do ya want ", "for nothing?", "Jefe"),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_NE(LoginProof("n", "bob", "secret"), LoginProof("n", "bob", "Secret"));
    EXPECT_NE(LoginProof("n", "bob", "secret"), LoginProof("m", "bob", "secret"));
    EXPECT_EQ(LoginProof("n", "bob", "").size(), 64u);
    EXPECT_TRUE(ProofEquals("abc", "abc"));
    EXPECT_FALSE(ProofEquals("abc", "abd"));
    EXPECT_FALSE(ProofEquals("abc", "abcd"));
}

TEST(Codec, NoncesAreFreshHex)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string nonce = MakeNonce();
        ASSERT_EQ(nonce.size(), 32u);
        EXPECT_EQ(nonce.find_first_not_of("0123456789abcdef"), std::string::npos);
        seen.insert(nonce);
    }
    EXPECT_EQ(seen.size(), 100u);
}
