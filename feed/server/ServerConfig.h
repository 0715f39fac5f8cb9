// ServerConfig: what zphd serves and to whom: the market's settings, the
// pages and their lines, and the user accounts. It is read from a small text
// file or, without one, from the embedded default (a believable emerging
// markets desk over seven pages). The file format is described in
// feed/server/README.md and by DefaultConfigText(), which is itself a valid
// file.
//
// Thread-safety: a ServerConfig is a plain value; ParseConfig is re-entrant.
#pragma once

#include "protocol/Protocol.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zphd {

constexpr int kLinesPerPage = ZPHWire::MAX_LINE;

// Pages 1..300 as "all" or a list of pages and ranges ("1-6,10").
class PageSet {
public:
    static constexpr int kMaxPage = ZPHWire::MAX_PAGE;

    static PageSet All();
    // false and an error text for anything but "all", "none" or a list of
    // pages and ranges within 1..300.
    static bool Parse(std::string_view text, PageSet& set, std::string& error);

    bool Contains(int page) const;
    void Add(int page);
    void Remove(int page);
    std::string ToString() const;
    bool operator==(const PageSet& other) const = default;

private:
    bool m_all = false;
    std::set<int> m_pages;
};

struct UserAccount {
    std::string name;
    std::string password;      // empty: no password asked
    int level = 0;             // 1..998 a trader's customer number, 999 full view
    PageSet pages;             // pages the user may see
    PageSet withheld;          // pages whose prices are withheld from the user
    bool orderEntry = false;   // may enter orders
    int centre = 100;          // the user's centre code (the stacks show it)
};

enum class LineKind : char { Field = 'F', Text = 'T', Monitor = 'M' };

struct LineSpec {
    int line = 0;
    LineKind kind = LineKind::Field;
    std::string text;          // the issue name of a field line, the text of a text line
    double price = 0;          // a field line's starting fair value
    double tick = 0.125;       // its price step
    int decimals = 3;          // digits after the point in its rates
    std::uint32_t lineFlags = 0;
    std::uint32_t issueFlags = 0;
    char spreadRole = 0;       // 'M' or 'S' for a spread leg, else 0
    std::string spreadPartner; // the other leg's name
    bool indicative = false;   // shows indicative rates
};

struct PageSpec {
    int page = 0;
    std::string title;
    std::vector<LineSpec> lines; // ascending line numbers 1..26
};

struct MarketSettings {
    std::uint64_t seed = 1;
    double rate = 8;           // simulated updates per second (0: a still market)
    double tradeEvery = 4;     // mean seconds between simulated trades (0: none)
    double tradeWindow = 2;    // seconds a trade stays "trading" before it is done
};

struct ServerConfig {
    MarketSettings market;
    std::vector<UserAccount> users;
    std::string defaultUser;   // account for socket logins with an unknown name; empty: refused
    std::string serialUser;    // account whose view the serial line carries
    std::vector<PageSpec> pages;

    const UserAccount* FindUser(std::string_view name) const;
    UserAccount* FindUser(std::string_view name);
};

// The embedded default configuration, as file text.
const char* DefaultConfigText();

// Parses configuration text. On failure returns false with "line N: what".
bool ParseConfig(std::string_view text, ServerConfig& config, std::string& error);

// Reads and parses a file; the error names the file.
bool LoadConfigFile(const std::string& path, ServerConfig& config, std::string& error);

// Splits one line into words: blanks separate, "double quotes" group (with \"
// and \\ inside), # outside quotes starts a comment. false for an unclosed
// quote.
bool SplitWords(std::string_view line, std::vector<std::string>& words);

} // namespace zphd
