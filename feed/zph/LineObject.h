// LineObject: one line of a feed page as the line cache holds it, with every
// field the screen client reads; PageObject: one page's title and count.
//
// Text fields are std::string (terminated: use c_str()); numbers are numbers.
// The stacks hold five levels (0 nearest the rate); the level getters give
// "" for an empty level or a level outside 0..4, never null.
//
// Apply() takes the line fields of a 'D', 'R' or 'I' message (FieldIds.h):
// it first checks every field it knows and changes nothing when one does not
// read (a number that is no number, a one-character field longer than one
// character), so a bad message never half-applies. Unknown ids are ignored.
//
// The cache hands out lines as immutable shared snapshots (LineCache.h); a
// LineObject itself has no lock: one thread changes a private copy.
#pragma once

#include "zph/ZPHMessage.h"

#include <string>

namespace ZPH {

struct StackLevel {
    std::string m_customer;
    std::string m_center;
    std::string m_quantity;
    friend bool operator==(const StackLevel&, const StackLevel&) = default;
};

// One side of a line (bid or offer).
struct LineSide {
    static constexpr int LEVELS = 5;

    int m_attribute = 0;          // 0..8, see the client's display states
    int m_best = 0;               // best-price flag
    double m_realRate = 0.0;      // rate as a number
    double m_realQuantity = 0.0;  // quantity as a number
    std::string m_rate;
    std::string m_quantity;
    std::string m_indicative;
    std::string m_prevRate;
    std::string m_prevDate;
    std::string m_prevPrevRate;
    std::string m_prevPrevDate;
    std::string m_prevCustomer;
    std::string m_prevPrevCustomer;
    std::string m_lastTrade;      // last trade on this side
    std::string m_lastTradeTime;
    std::string m_tradeHigh;
    std::string m_tradeLow;
    std::string m_tradeVolume;
    std::string m_tradeNumber;    // transaction number of the last trade on this side
    std::string m_backup;         // backup price, empty when none
    std::string m_spreadPartner;  // the other line of a spread
    int m_whenCenter = 0;         // hit-when-centre (bid) / lift-when-centre (offer)
    int m_fastFlash = 0;
    int m_ownLevel = 0;           // 0 none, 1..5 stack level of the user's own price
    char m_spreadRole = ' ';      // 'M' master, 'S' slave, other none
    StackLevel m_stack[LEVELS];   // the customers behind this side
    StackLevel m_traded[LEVELS];  // the aggressors of the last trade on this side

    friend bool operator==(const LineSide&, const LineSide&) = default;
};

class LineObject {
public:
    LineObject() = default;
    LineObject(int page, int line) : m_page(page), m_line(line) {}

    int m_page = 0;
    int m_line = 0;
    char m_kind = 'F';            // 'F' field line, 'T' text line, 'M' trade monitor line
    std::string m_text;           // text of a text line
    std::string m_issueName;
    unsigned m_lineFlags = 0;
    unsigned m_issueFlags = 0;
    std::string m_lastTrade;
    int m_lastTradeType = 0;      // 1 after a bid trade
    std::string m_lastTradeTime;
    std::string m_lastTradeNumber;
    std::string m_dailyHigh;
    std::string m_dailyLow;
    std::string m_dailyVolume;
    std::string m_lastPersistTrade;
    std::string m_lastPersistTradeTime;
    LineSide m_bid;
    LineSide m_offer;

    unsigned GetKey() const;

    // Level getters: level 0..4; "" outside that range.
    const char* GetBidQuantity(int level) const;
    const char* GetBidCustomer(int level) const;
    const char* GetBidCenter(int level) const;
    const char* GetOfferQuantity(int level) const;
    const char* GetOfferCustomer(int level) const;
    const char* GetOfferCenter(int level) const;
    const char* GetTradedBidQuantity(int level) const;
    const char* GetTradedBidCustomer(int level) const;
    const char* GetTradedBidCenter(int level) const;
    const char* GetTradedOfferQuantity(int level) const;
    const char* GetTradedOfferCustomer(int level) const;
    const char* GetTradedOfferCenter(int level) const;

    // Writes the line as one text of at most size-1 characters, always
    // terminated (nothing for a null buffer or size below 1); returns the
    // length written. Mode 0: a text line's text; a field line as issue,
    // bid / offer rates and quantities; a trade monitor line as transaction,
    // issue, quantity @ rate. Mode 1 (prices withheld): the text of a text
    // line, else the issue name alone.
    int GetTextLine(char* buffer, int size, int mode) const;

    // Applies the line fields of a message. whole: the message is the whole
    // line ('R', 'I'): every field it lacks is reset first. False, with the
    // line unchanged, when a known field does not read.
    bool Apply(const ZPHMessage& msg, bool whole);

    // Adds every field that differs from an empty line, so that Apply(msg,
    // true) on an empty line gives this line back.
    void ToMessage(ZPHMessage& msg) const;

    // The text of one line field by its id (FieldIds.h), as the feed would
    // send it: numbers in decimal, doubles in their shortest form, a
    // character as itself; F_LINE gives the line number. False for an id
    // that names no line field.
    bool GetFieldText(int id, std::string& text) const;

    // Fields equal (page and line included).
    friend bool operator==(const LineObject&, const LineObject&) = default;
};

class PageObject {
public:
    PageObject() = default;
    explicit PageObject(int page) : m_page(page) {}

    int m_page = 0;
    std::string m_title;
    int m_count = 0;

    const char* GetTitle() const { return m_title.c_str(); }
    int GetCount() const { return m_count; }
};

} // namespace ZPH
