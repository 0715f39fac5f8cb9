// What MAVO's DDE server publishes: its topics, its items with their line
// fields and groups, and the text of each item for a line.
//
// Topics: "APP", or "P<page>L<line>" for one line. A line topic is exactly
// "P", one or more digits, "L", one or more digits, nothing else, 4 to 7
// characters, with a page of 1..300 and a line of 1..26 ("P12L3"; "P1L2x",
// "p12l3" and "P0L1" are refused). Item names match without regard to case.
//
// Values are text. A line item's value follows the item table; a value that
// comes out empty is sent as a single space. A line whose prices are
// withheld from the user (flag 0x40000 in either flag word, outside the full
// view) gives only "LINE", "TEXT" (the line text in its withheld form) and
// "ISSUENAME"; every other item is a single space. Numbers are written
// without regard to the process locale.
//
// Free functions and constant tables; any thread.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/LineObject.h"

#include <string>
#include <string_view>
#include <vector>

namespace mavo {

enum class DdeGroup {
    Always,   // published whenever the server runs
    Live,     // while "Live Price Data" is ticked
    History,  // while "History, Trade and Volume Data" is ticked
};

struct DdeItem {
    const char* name;
    int field;
    DdeGroup group;
};

// Item names compare without regard to ASCII case.
bool DdeNameEquals(std::string_view a, std::string_view b);

// The line items, in the table's order.
const std::vector<DdeItem>& DdeLineItems();
// The item of a name (any case), or null.
const DdeItem* FindDdeItem(std::string_view name);
// The item of a field number, or null.
const DdeItem* FindDdeItemByField(int field);
// The item's position in DdeLineItems(), or -1.
int DdeItemIndex(int field);

// The "APP" topic and its items.
inline constexpr const char* kDdeAppTopic = "APP";
inline constexpr const char* kDdeTimestampItem = "TIMESTAMP";
inline constexpr const char* kDdePacketsItem = "PACKETS";

// The line key of a line topic; false (key 0) for any other text.
bool ParseDdeTopic(std::string_view topic, unsigned& key);
// "P%dL%d" of a key's page and line; empty for an invalid key.
std::string MakeDdeTopic(unsigned key);

// Prices of the line are withheld from this user.
bool IsDdeRestricted(const LineObject& line, bool fullView);

// The item's value for a line, as sent (never empty: an empty value is a
// single space). False for a field the table does not name.
bool DdeLineValue(const LineObject& line, int field, bool fullView, std::string& value);

} // namespace mavo
