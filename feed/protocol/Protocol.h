// The feed protocol between a feed server and the feed-source library:
// message kinds, what each carries, the order of a session, and the limits
// a receiver enforces. Field ids are in FieldIds.h.
//
// Every message is one ZPHMessage: a type (one printable character), a page,
// a line and an ordered list of fields (id, text). On a byte stream (TCP,
// TLS or a serial line) it travels in the library's message text form:
//
//   SOH GS "ZPH" RS "T" US <type> RS "P" US <page> RS "L" US <line>
//   STX [GS "F" {RS <field id> US <text>}] ETX
//
// (SOH 0x01, STX 0x02, ETX 0x03, GS 0x1D, RS 0x1E, US 0x1F.) The header
// record is "ZPH" with the type, page and line; the one body record "F"
// holds the fields in order, each keyed by its decimal id; a message without
// fields has no body record. Page and line are decimal integers. No text may
// hold any of the six delimiter bytes: a sender refuses such a message. A
// receiver ignores body records of other ids, so later versions may add some.
//
// Session, on a socket or database connection:
//   1. The server sends 'G' at once on every accepted connection.
//   2. The client sends 'L'. The socket and serial sources send it as soon
//      as the link is up; the database source waits for 'G' and includes
//      F_PASSWORD_PROOF computed from its F_NONCE (LoginProof in zph/Codec.h).
//      On a serial line there is no 'G'; every 'L' starts a new session.
//   3. The server answers 'W' (accepted) or 'F' (refused, with an optional
//      reason) and closes the connection after 'F'.
//   4. After 'W' the server sends 'M', then 'H' for every page that has a
//      title, 'K' for every page with a count, and 'T' once a second for the
//      rest of the session. A 'Q' from the client is answered with 'C' for
//      that page and 'R' for every line the page has; from then on the
//      client gets 'D', 'I', 'E' and 'C' for the pages it asked for.
//      'N', 'O' and 'U' may come at any time after 'W'.
//   5. Orders ('A') may be sent after 'W'; their effect shows as line data.
//      A refused order is answered with 'O' (value and text).
// A receiver treats any message as data for the feed state (live on data,
// stale after the configured time without data, dead when the link drops).
//
// Secure connections: TLS is a property of the server's listener. A client
// set to secure runs TLS on the same port number and never falls back to
// plain text; a mismatch fails the connection. The client verifies the
// server's certificate: its chain against the trust store it is given (the
// source's "CAFile" setting, else the system's) and its name against the
// host it dialled, so a server's self-made certificate names "localhost"
// and 127.0.0.1 (DNS and IP subject alternative names).
//
// Header only; constants may be used from any thread.
#pragma once

#include <cstddef>

namespace ZPHWire {

constexpr int PROTOCOL_VERSION = 1;

// Default ports on the server's host.
constexpr unsigned short DEFAULT_SOCKET_PORT = 6093;
constexpr unsigned short DEFAULT_DATABASE_PORT = 6094;

// The whole text form of one message, SOH to ETX, may not be longer; a
// receiver drops a longer frame unread and counts it as one bad packet.
constexpr std::size_t MAX_FRAME_SIZE = 64 * 1024;
// A message may not carry more fields than this.
constexpr std::size_t MAX_FIELDS = 2048;
// The server sends 'T' this often.
constexpr int TIME_INTERVAL_MS = 1000;
// The database source waits this long for 'G', and every source this long
// for 'W' or 'F' after its 'L'.
constexpr int LOGIN_TIMEOUT_MS = 10000;

// Pages and lines that line data may address.
constexpr int MAX_PAGE = 300;
constexpr int MAX_LINE = 26;

// Header record id and its value ids, and the id of the body record.
constexpr const char* HEADER_ID = "ZPH";
constexpr const char* HEADER_TYPE = "T";
constexpr const char* HEADER_PAGE = "P";
constexpr const char* HEADER_LINE = "L";
constexpr const char* BODY_ID = "F";

// Message kinds (the type of a ZPHMessage). "page, line" name the header.
enum MSGTYPE : char {
    // ---- server to client
    // page, line: the line; fields: the line fields that changed. A line the
    // client does not hold yet is created from them.
    MSG_DATA = 'D',
    // page, line: the line; fields: the whole line (absent fields are empty).
    MSG_REFRESH = 'R',
    // 0, 0; F_FEED_TIME, F_SEND_TIME. The receiving source adds F_CONNECT_TIME,
    // F_PACKETS, F_BAD_PACKETS, F_MAX_DELAY and F_DELAY before dispatching it.
    MSG_TIME = 'T',
    // page, line: lines line..25 of the page move down one (line 26 falls
    // off) and the new line is made from the fields, as for 'R'.
    MSG_INSERT = 'I',
    // page, line: the line goes, lines line+1..26 move up one, line 26 is
    // then absent. No fields.
    MSG_ERASE = 'E',
    // page >= 1 and line >= 1: that line goes; page >= 1, line 0: every line
    // of the page; page 0: every line of every page. No fields.
    MSG_CLEAR = 'C',
    // 0, 0; F_PROTOCOL, F_SERVER_NAME, F_NONCE.
    MSG_GREETING = 'G',
    // 0, 0; F_USER, F_USER_LEVEL, F_ORDER_ENTRY, F_SERVER_NAME.
    MSG_WELCOME = 'W',
    // 0, 0; optional F_REASON.
    MSG_LOGIN_FAILED = 'F',
    // 0, 0; F_PERMISSIONS.
    MSG_PERMISSIONS = 'M',
    // 0, 0; F_USER_LEVEL and/or F_ORDER_ENTRY: the user's level or order
    // entry changed.
    MSG_USER = 'U',
    // page, 0; F_TITLE.
    MSG_TITLE = 'H',
    // page, 0; F_PAGE_COUNT.
    MSG_PAGE_COUNT = 'K',
    // 0, 0; F_NOTIFICATION.
    MSG_NOTIFICATION = 'N',
    // 0, 0; F_NOTICE, optional F_NOTICE_TEXT.
    MSG_NOTICE = 'O',

    // ---- client to server
    // 0, 0; F_PROTOCOL, F_SOURCE_KIND, F_USER, F_HOST_NAME, F_CLIENT_VERSION,
    // and F_PASSWORD_PROOF from the database source.
    MSG_LOGIN = 'L',
    // page, 0: send the page now ('C' then 'R' per line) and its changes
    // from now on.
    MSG_PAGE_REQUEST = 'Q',
    // 0, 0 (the client leaves the header at 0); the order fields O_* of
    // FieldIds.h, in this order: O_SYSTEM, O_CLASS, O_PAGE, O_LINE,
    // O_RESERVED, O_USER_LEVEL, O_COMMAND, then the command's own fields:
    //   "CCTradeBid"                   O_RATE, O_QUANTITY, O_TRADE_QUANTITY, O_FLAGS ("0")
    //   "CCTradeOffer"                 O_RATE, O_QUANTITY, O_TRADE_QUANTITY
    //   "CCEnterMaxBidTradeQuantity"   O_RATE (rate text), O_TRADE_QUANTITY (maximum)
    //   "CCEnterMaxOfferTradeQuantity" O_RATE (rate text), O_TRADE_QUANTITY (maximum)
    //   "CCDeleteBid", "CCDeleteOffer" O_RATE, O_QUANTITY (stack quantity at the own level)
    //   "CCEnterBid", "CCJoinBid", "CCEnterOffer", "CCJoinOffer"
    //                                  O_FLAGS (0x2000000), O_RATE, O_QUANTITY
    MSG_ORDER = 'A',
};

// Source kinds, as sent in F_SOURCE_KIND and answered by a source's kind.
enum SOURCEKIND : int {
    SOURCE_SOCKET = 1,
    SOURCE_SERIAL = 2,
    SOURCE_DATABASE = 3,
};

// Feed states a source reports.
enum FEEDSTATE : int {
    FEED_DEAD = 0,
    FEED_STALE = 1,
    FEED_LIVE = 2,
};

// Line kinds (F_KIND).
constexpr char LINE_FIELD = 'F';
constexpr char LINE_TEXT = 'T';
constexpr char LINE_MONITOR = 'M';

} // namespace ZPHWire
