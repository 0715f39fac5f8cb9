// LineState: everything the market shows of one line, as the texts and
// numbers a client's line cache holds, before anything that depends on who
// looks at it (the own levels and the withheld mark are added per user).
//
// Thread-safety: a plain value.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zphd {

constexpr int kStackLevels = 5;

// Line flags and issue flags the market sets.
constexpr std::uint32_t kFlagUnderline = 0x10;
constexpr std::uint32_t kFlagUntradeable = 0x200;
constexpr std::uint32_t kFlagWithheld = 0x40000;

// Side attributes (a client maps them to display states).
constexpr int kAttrNone = 0;
constexpr int kAttrFirm = 2;
constexpr int kAttrSubject = 3;
constexpr int kAttrReferred = 4;
constexpr int kAttrTrading = 5;
constexpr int kAttrError = 6;
constexpr int kAttrNoLine = 7;
constexpr int kAttrLineFull = 8;

// Last trade types.
constexpr int kTradeNone = 0;
constexpr int kTradeOnBid = 1;
constexpr int kTradeOnOffer = 2;

struct StackEntry {
    std::string customer;
    std::string centre;
    std::string quantity;
    bool operator==(const StackEntry&) const = default;
};

struct SideView {
    int attribute = kAttrNone;
    int bestPrice = 0;
    std::string rate, quantity, indicative;
    std::string realRate, realQuantity;
    std::string prevRate, prevDate, prevCustomer;
    std::string prevPrevRate, prevPrevDate, prevPrevCustomer;
    std::string lastTrade, lastTradeTime, tradeHigh, tradeLow, tradeVolume, transaction;
    std::string backup;
    int whenCentre = 0;      // hit (bid) or lift (offer) when this centre
    int fastFlash = 0;
    char spreadRole = 0;     // 'M', 'S' or 0
    std::string spreadPartner;
    std::array<StackEntry, kStackLevels> stack;
    std::array<StackEntry, kStackLevels> traded;
    bool operator==(const SideView&) const = default;
};

struct LineState {
    int line = 0;
    char kind = 'F';         // 'F' field, 'T' text, 'M' trade monitor
    std::string text;        // a text line's text
    std::string issue;
    std::uint32_t lineFlags = 0;
    std::uint32_t issueFlags = 0;
    std::string lastTrade;
    int lastTradeType = kTradeNone;
    std::string lastTradeTime, transaction;
    std::string high, low, volume;
    std::string persistTrade, persistTime;
    SideView bid, offer;
    bool operator==(const LineState&) const = default;
};

} // namespace zphd
