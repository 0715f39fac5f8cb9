// Field ids of the feed protocol: every id that a ZPHMessage may carry.
//
// A field is (id, text). Ids are read per message kind (Protocol.h):
// - line data ('D', 'R', 'I') uses the line ids below. Where the screen
//   client's DDE item table names a field, its id is that table's number
//   (marked "DDE"); every other line id is our own and is chosen so that it
//   never collides with a DDE number. Bid-side ids are 100..199; the offer
//   twin of a bid id is the bid id + 100 (OFFER_SIDE).
// - the other kinds use the control ids (1000 and above).
// - orders ('A') use the order ids, which the client fixes; they share small
//   numbers with line ids but only ever appear in 'A' messages.
//
// Values are text. Numbers are written in the C locale: integers in decimal,
// doubles in the shortest form that reads back exactly ("2.5", "0.1"). An
// absent field in 'D' means "unchanged"; in 'R' and 'I' it means empty text,
// 0 or ' ' for a character.
//
// Header only; constants may be used from any thread.
#pragma once

namespace ZPHWire {

// ---------------------------------------------------------------- line data
// Line-wide fields.
constexpr int F_LINE = 1;                  // DDE "LINE": line number, "%d" (the header's line wins)
constexpr int F_KIND = 2;                  // kind of line: 'F' field line, 'T' text line, 'M' trade monitor line; absent in 'R' and 'I': 'F'
constexpr int F_LINE_FLAGS = 3;            // line flags, 32-bit unsigned decimal (0x10 underline, 0x200 no trading, 0x40000 withheld, ...)
constexpr int F_TEXT = 4;                  // DDE "TEXT": the text of a text line
constexpr int F_ISSUE_NAME = 5;            // DDE "ISSUENAME": issue name
constexpr int F_ISSUE_FLAGS = 6;           // issue flags, 32-bit unsigned decimal
constexpr int F_LAST_TRADE = 10;           // DDE "LASTTRADE": last trade
constexpr int F_LAST_TRADE_TYPE = 11;      // DDE "LASTTRADETYPE": 1 after a bid trade (a hit), 2 after an offer trade (a lift), 0 none
constexpr int F_LAST_TRADE_TIME = 12;      // DDE "LASTTRADETIME": time of the last trade, "HH:MM"
constexpr int F_LAST_TRADE_NUMBER = 13;    // transaction number of the last trade
constexpr int F_DAILY_HIGH = 14;           // DDE "DAILYHIGH"
constexpr int F_DAILY_LOW = 15;            // DDE "DAILYLOW"
constexpr int F_DAILY_VOLUME = 16;         // DDE "DAILYVOLUME": text with two decimals
constexpr int F_LAST_PERSIST_TRADE = 17;   // DDE "LASTPERSISTTRADE": last trade of the day
constexpr int F_LAST_PERSIST_TRADE_TIME = 18; // DDE "LASTPERSISTTRADETIME"

// Per-side fields, bid ids; the offer id is the bid id + OFFER_SIDE.
constexpr int OFFER_SIDE = 100;
constexpr int F_BID_RATE = 100;            // DDE "BIDRATE": rate text
constexpr int F_BID_QUANTITY = 101;        // DDE "BIDQUAN": quantity text
constexpr int F_BID_ATTRIBUTE = 102;       // DDE "BIDATTR": attribute 0..8 (2 normal, 3, 4, 5 trading, 6 error, 7 no line, 8 line full)
constexpr int F_BID_BEST = 103;            // best-price flag, 1 when this side is the best price
constexpr int F_BID_OWN_LEVEL = 104;       // own level: 0 none, 1..5 the stack level of the receiving user's own price
constexpr int F_BID_SPREAD_ROLE = 105;     // spread role: 'M' master, 'S' slave, empty none
constexpr int F_BID_SPREAD_PARTNER = 106;  // text naming the other line of the spread
constexpr int F_BID_PREV_RATE = 107;       // DDE "PREVBIDRATE"
constexpr int F_BID_PREV_DATE = 108;       // DDE "PREVBIDDATE"
constexpr int F_BID_PREV_CUSTOMER = 109;   // previous customer on this side
constexpr int F_BID_PREV_PREV_CUSTOMER = 110; // the customer before the previous one
constexpr int F_BID_BACKUP = 111;          // backup price text (empty: none)
constexpr int F_BID_WHEN_CENTER = 112;     // hit-when-centre (bid) / lift-when-centre (offer) value, int
constexpr int F_BID_FAST_FLASH = 113;      // fast-flash flag, 1 to blink on every tick
constexpr int F_BID_INDICATIVE = 115;      // DDE "INDICATIVEBID"
constexpr int F_BID_PREV_PREV_RATE = 117;  // DDE "PREVPREVBIDRATE"
constexpr int F_BID_PREV_PREV_DATE = 118;  // DDE "PREVPREVBIDDATE"
// Stacks: the id of level L (0..4) is the base + L.
constexpr int F_BID_STACK_CUSTOMER = 120;  // customer number of stack level L, text
constexpr int F_BID_STACK_CENTER = 130;    // centre code of stack level L, text (e.g. "250": centre 2)
constexpr int F_BID_STACK_QUANTITY = 140;  // quantity of stack level L, text
constexpr int F_BID_TRADED_CUSTOMER = 150; // aggressor (traded stack) customer of level L
constexpr int F_BID_TRADED_CENTER = 160;   // aggressor centre code of level L
constexpr int F_BID_TRADED_QUANTITY = 170; // aggressor quantity of level L
constexpr int STACK_LEVELS = 5;
constexpr int F_BID_LAST_TRADE = 191;      // DDE "LASTBIDTRADE"
constexpr int F_BID_LAST_TRADE_TIME = 192; // DDE "LASTBIDTRADETIME"
constexpr int F_BID_TRADE_HIGH = 193;      // DDE "HIGHBIDTRADE"
constexpr int F_BID_TRADE_LOW = 194;       // DDE "LOWBIDTRADE"
constexpr int F_BID_TRADE_VOLUME = 195;    // DDE "BIDTRADEVOLUME"
constexpr int F_BID_TRADE_NUMBER = 196;    // transaction number of the last trade on this side
constexpr int F_BID_REAL_RATE = 197;       // DDE "BIDREALRATE": rate as a number; when absent, taken from F_BID_RATE
constexpr int F_BID_REAL_QUANTITY = 198;   // DDE "BIDREALQUAN": quantity as a number; when absent, taken from F_BID_QUANTITY

// The offer twins, spelt out for readers that search by name.
constexpr int F_OFFER_RATE = F_BID_RATE + OFFER_SIDE;                         // DDE "OFFERRATE" (200)
constexpr int F_OFFER_QUANTITY = F_BID_QUANTITY + OFFER_SIDE;                 // DDE "OFFERQUAN" (201)
constexpr int F_OFFER_ATTRIBUTE = F_BID_ATTRIBUTE + OFFER_SIDE;               // DDE "OFFERATTR" (202)
constexpr int F_OFFER_BEST = F_BID_BEST + OFFER_SIDE;                         // 203
constexpr int F_OFFER_OWN_LEVEL = F_BID_OWN_LEVEL + OFFER_SIDE;               // 204
constexpr int F_OFFER_SPREAD_ROLE = F_BID_SPREAD_ROLE + OFFER_SIDE;           // 205
constexpr int F_OFFER_SPREAD_PARTNER = F_BID_SPREAD_PARTNER + OFFER_SIDE;     // 206
constexpr int F_OFFER_PREV_RATE = F_BID_PREV_RATE + OFFER_SIDE;               // DDE "PREVOFFERRATE" (207)
constexpr int F_OFFER_PREV_DATE = F_BID_PREV_DATE + OFFER_SIDE;               // DDE "PREVOFFERDATE" (208)
constexpr int F_OFFER_PREV_CUSTOMER = F_BID_PREV_CUSTOMER + OFFER_SIDE;       // 209
constexpr int F_OFFER_PREV_PREV_CUSTOMER = F_BID_PREV_PREV_CUSTOMER + OFFER_SIDE; // 210
constexpr int F_OFFER_BACKUP = F_BID_BACKUP + OFFER_SIDE;                     // 211
constexpr int F_OFFER_WHEN_CENTER = F_BID_WHEN_CENTER + OFFER_SIDE;           // 212 lift-when-centre
constexpr int F_OFFER_FAST_FLASH = F_BID_FAST_FLASH + OFFER_SIDE;             // 213
constexpr int F_OFFER_INDICATIVE = F_BID_INDICATIVE + OFFER_SIDE;             // DDE "INDICATIVEOFFER" (215)
constexpr int F_OFFER_PREV_PREV_RATE = F_BID_PREV_PREV_RATE + OFFER_SIDE;     // DDE "PREVPREVOFFERRATE" (217)
constexpr int F_OFFER_PREV_PREV_DATE = F_BID_PREV_PREV_DATE + OFFER_SIDE;     // DDE "PREVPREVOFFERDATE" (218)
constexpr int F_OFFER_STACK_CUSTOMER = F_BID_STACK_CUSTOMER + OFFER_SIDE;     // 220..224
constexpr int F_OFFER_STACK_CENTER = F_BID_STACK_CENTER + OFFER_SIDE;         // 230..234
constexpr int F_OFFER_STACK_QUANTITY = F_BID_STACK_QUANTITY + OFFER_SIDE;     // 240..244
constexpr int F_OFFER_TRADED_CUSTOMER = F_BID_TRADED_CUSTOMER + OFFER_SIDE;   // 250..254
constexpr int F_OFFER_TRADED_CENTER = F_BID_TRADED_CENTER + OFFER_SIDE;       // 260..264
constexpr int F_OFFER_TRADED_QUANTITY = F_BID_TRADED_QUANTITY + OFFER_SIDE;   // 270..274
constexpr int F_OFFER_LAST_TRADE = F_BID_LAST_TRADE + OFFER_SIDE;             // DDE "LASTOFFERTRADE" (291)
constexpr int F_OFFER_LAST_TRADE_TIME = F_BID_LAST_TRADE_TIME + OFFER_SIDE;   // DDE "LASTOFFERTRADETIME" (292)
constexpr int F_OFFER_TRADE_HIGH = F_BID_TRADE_HIGH + OFFER_SIDE;             // DDE "HIGHOFFERTRADE" (293)
constexpr int F_OFFER_TRADE_LOW = F_BID_TRADE_LOW + OFFER_SIDE;               // DDE "LOWOFFERTRADE" (294)
constexpr int F_OFFER_TRADE_VOLUME = F_BID_TRADE_VOLUME + OFFER_SIDE;         // DDE "OFFERTRADEVOLUME" (295)
constexpr int F_OFFER_TRADE_NUMBER = F_BID_TRADE_NUMBER + OFFER_SIDE;         // 296
constexpr int F_OFFER_REAL_RATE = F_BID_REAL_RATE + OFFER_SIDE;               // DDE "OFFERREALRATE" (297)
constexpr int F_OFFER_REAL_QUANTITY = F_BID_REAL_QUANTITY + OFFER_SIDE;       // DDE "OFFERREALQUAN" (298)

// Id of a stack field at a level: StackField(F_BID_STACK_QUANTITY, 2) == 142.
constexpr int StackField(int base, int level) { return base + level; }

// Line flag bits that belong to the receiving program, never to the feed: the
// line cache keeps them across every update of the line (0x80000 marks the
// line shown in the client's trade or line window).
constexpr unsigned LOCAL_LINE_FLAGS = 0x80000u;

// ------------------------------------------------------------- control ids
constexpr int F_PROTOCOL = 1000;           // 'G', 'L': protocol version (PROTOCOL_VERSION)
constexpr int F_SERVER_NAME = 1001;        // 'G', 'W': the server's name, text
constexpr int F_NONCE = 1002;              // 'G': 32 lowercase hex digits, fresh for each connection
constexpr int F_SOURCE_KIND = 1003;        // 'L': 1 socket, 2 serial, 3 database
constexpr int F_USER = 1004;               // 'L', 'W': user name
constexpr int F_HOST_NAME = 1005;          // 'L': the client computer's name
constexpr int F_CLIENT_VERSION = 1006;     // 'L': client version, major*100+minor
constexpr int F_PASSWORD_PROOF = 1007;     // 'L' from the database source: LoginProof() of nonce, user, password
constexpr int F_USER_LEVEL = 1010;         // 'W', 'U': user level, int (999 full view); also the user's customer number in stacks
constexpr int F_ORDER_ENTRY = 1011;        // 'W', 'U': 1 when the user may enter orders
constexpr int F_PERMISSIONS = 1012;        // 'M': one character per page from page 1: '1' may see it, '0' not; missing pages are '0'
constexpr int F_TITLE = 1013;              // 'H': page title text (empty allowed)
constexpr int F_PAGE_COUNT = 1014;         // 'K': the page's count, int
constexpr int F_REASON = 1015;             // 'F': why the login failed (optional; absent or empty: no reason given)
constexpr int F_NOTIFICATION = 1016;       // 'N': notification text; '|' marks a line break
constexpr int F_NOTICE = 1017;             // 'O': notice value, int
constexpr int F_NOTICE_TEXT = 1018;        // 'O': optional text explaining the notice
constexpr int F_FEED_TIME = 1020;          // 'T': feed time as text, the server's local time as "%d %b %Y %H:%M:%S"
constexpr int F_SEND_TIME = 1021;          // 'T': the server's clock when it sent the message, microseconds since 1970 UTC

// Metrics that the receiving source adds to each 'T' before handing it to
// message clients (ZPHMessage::GetTimeStamp reads them); never sent.
constexpr int F_CONNECT_TIME = 1030;       // local time the connection was made, text
constexpr int F_PACKETS = 1031;            // packets received since connect or reset
constexpr int F_BAD_PACKETS = 1032;        // bad packets since connect or reset
constexpr int F_MAX_DELAY = 1033;          // largest send-to-receive delay seen, milliseconds
constexpr int F_DELAY = 1034;              // delay of this 'T', milliseconds

// --------------------------------------------------------------- order ids
// Fields of an order ('A'), in the order the client adds them.
constexpr int O_SYSTEM = 1;                // always 22
constexpr int O_CLASS = 3;                 // always 199
constexpr int O_COMMAND = 7;               // command name: "CCEnterBid", "CCJoinBid", "CCEnterOffer", "CCJoinOffer",
                                           // "CCDeleteBid", "CCDeleteOffer", "CCTradeBid", "CCTradeOffer",
                                           // "CCEnterMaxBidTradeQuantity", "CCEnterMaxOfferTradeQuantity"
constexpr int O_PAGE = 8;                  // page of the line, int
constexpr int O_LINE = 9;                  // line number, int
constexpr int O_RESERVED = 10;             // always 0
constexpr int O_RATE = 15;                 // rate (double; text of the displayed rate in the max-quantity commands)
constexpr int O_QUANTITY = 16;             // quantity (double): order size, or the quantity shown for a trade/delete
constexpr int O_TRADE_QUANTITY = 17;       // quantity to trade (double); the maximum quantity in the max-quantity commands
constexpr int O_USER_LEVEL = 20;           // the sender's user level, int
constexpr int O_FLAGS = 21;                // enter/join: the integer 0x2000000 (33554432); "CCTradeBid": the text "0"

constexpr int O_SYSTEM_VALUE = 22;
constexpr int O_CLASS_VALUE = 199;
constexpr int O_ENTER_FLAGS = 0x2000000;

} // namespace ZPHWire
