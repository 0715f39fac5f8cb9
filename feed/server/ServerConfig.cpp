#include "ServerConfig.h"

#include "MarketText.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace zphd {

// ---- PageSet ---------------------------------------------------------------

PageSet PageSet::All()
{
    PageSet set;
    set.m_all = true;
    return set;
}

bool PageSet::Parse(std::string_view text, PageSet& set, std::string& error)
{
    PageSet parsed;
    if (text == "all") {
        set = All();
        return true;
    }
    if (text == "none" || text.empty()) {
        set = parsed;
        return true;
    }
    while (!text.empty()) {
        const auto comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const auto dash = item.find('-');
        int first = 0, last = 0;
        bool ok = dash == std::string_view::npos
            ? ParseInt(item, first) && (last = first, true)
            : ParseInt(item.substr(0, dash), first) && ParseInt(item.substr(dash + 1), last);
        if (!ok || first < 1 || last > kMaxPage || first > last) {
            error = "bad page list item \"" + std::string(item) + "\" (pages are 1-300)";
            return false;
        }
        for (int p = first; p <= last; ++p)
            parsed.m_pages.insert(p);
    }
    set = parsed;
    return true;
}

bool PageSet::Contains(int page) const
{
    if (page < 1 || page > kMaxPage)
        return false;
    return m_all || m_pages.count(page) != 0;
}

void PageSet::Add(int page)
{
    if (page >= 1 && page <= kMaxPage && !m_all)
        m_pages.insert(page);
}

void PageSet::Remove(int page)
{
    if (m_all) {
        m_all = false;
        for (int p = 1; p <= kMaxPage; ++p)
            m_pages.insert(p);
    }
    m_pages.erase(page);
}

std::string PageSet::ToString() const
{
    if (m_all)
        return "all";
    if (m_pages.empty())
        return "none";
    std::string text;
    auto it = m_pages.begin();
    while (it != m_pages.end()) {
        int first = *it, last = *it;
        for (++it; it != m_pages.end() && *it == last + 1; ++it)
            last = *it;
        if (!text.empty())
            text += ',';
        text += std::to_string(first);
        if (last != first)
            text += '-' + std::to_string(last);
    }
    return text;
}

// ---- ServerConfig ------------------------------------------------------------

const UserAccount* ServerConfig::FindUser(std::string_view name) const
{
    for (const auto& user : users)
        if (user.name == name)
            return &user;
    return nullptr;
}

UserAccount* ServerConfig::FindUser(std::string_view name)
{
    return const_cast<UserAccount*>(static_cast<const ServerConfig*>(this)->FindUser(name));
}

const char* DefaultConfigText()
{
    return R"cfg(# zphd default market: a small emerging markets desk.
seed 20240611
rate 8              # simulated updates per second
trade-every 4       # mean seconds between simulated trades
trade-window 2      # seconds a trade shows as trading

# user NAME level=N [password=TEXT] [pages=SET] [withhold=SET] [orders=yes|no] [centre=CODE]
user desk     level=999 password=desk    pages=all
user trader1  level=101 password=trader1 pages=1-6 orders=yes centre=110
user trader2  level=102 password=trader2 pages=1-6 orders=yes centre=210
user viewer   level=300 password=viewer  pages=1-3,5,6 withhold=3
user guest    level=150                  pages=1-6 orders=yes centre=310
default-user guest
serial-user guest

page 1 LATAM SOVEREIGNS
text  "ARGENTINA" flags=0x2000
issue "ARG 7.50 29"           64.250 0.125 indicative=yes
issue "ARG 8.28 33"           58.500 0.125
issue "ARG PAR 38"            41.750 0.125 flags=0x10
text  "BRAZIL" flags=0x2000
issue "BRV 6.00 30"           97.125 0.125
issue "BRV 8.25 34"          112.500 0.125
issue "BRV 7.125 37"         104.375 0.125 flags=0x10
text  "MEXICO" flags=0x2000
issue "MXV 4.75 32"           93.625 0.125
issue "MXV 6.05 40"           96.000 0.125
issue "MXV 5.75 110"          85.250 0.125 flags=0x10
text  "ANDEAN" flags=0x2000
issue "COL 7.375 37"          99.750 0.125
issue "PER 8.75 33"          118.250 0.125
issue "PER 5.625 50"          92.500 0.125
issue "ECU 8.50 35"           71.875 0.125
issue "VEN 9.25 27"           12.750 0.25 issue-flags=0x1000

page 2 LATAM CORPORATES
text  "ENERGY" flags=0x4000
issue "PMX 6.70 32"           91.375 0.125
issue "PMX 7.69 50"           78.250 0.125
issue "YAC 8.50 25"           97.750 0.125
issue "AGS 5.25 31"           94.125 0.125 flags=0x10
text  "MATERIALS / TELECOM" flags=0x4000
issue "VAL 5.875 36"         101.500 0.125
issue "CMZ 9.00 31"           88.625 0.125
issue "TEL 4.375 30"         92.875 0.125
issue "CLV 6.125 37"        103.250 0.125 flags=0x10
text  "FINANCIALS" flags=0x4000
issue "BSR 6.25 28"           99.375 0.125
issue "ITV 3.875 27"          96.500 0.125
issue "BNO 5.50 34"           95.625 0.125 indicative=yes

page 3 US TREASURIES
issue "T 4 1/4 11/26"         99.8750 0.0625 decimals=4
issue "T 4 1/8 10/27"         99.5000 0.0625 decimals=4
issue "T 4 5/8 09/28"        101.1250 0.0625 decimals=4
issue "T 4 3/8 11/30"        100.6875 0.0625 decimals=4 flags=0x10
issue "T 4 1/4 11/34"         98.4375 0.0625 decimals=4
issue "T 4 5/8 11/44"         97.2500 0.0625 decimals=4
issue "T 4 1/4 08/54"         91.8125 0.0625 decimals=4

page 4 SWAPS AND SPREADS
text  "USD SWAPS (RATE)" flags=0x1000
issue "USD IRS 2Y"             4.285 0.005
issue "USD IRS 5Y"             4.010 0.005
issue "USD IRS 10Y"            4.125 0.005 flags=0x10
text  "CURVE SPREADS (BP)" flags=0x1000
issue "2S10S"                -16.000 0.25 spread=M partner="USD IRS 10Y"
issue "5S30S"                 12.500 0.25 spread=S partner="USD IRS 5Y"
issue "MXV 32/40 SW"           2.375 0.125 spread=M partner="MXV 6.05 40"    

page 5 TRADE MONITOR
text  "          LAST TRADES ON THE DESK" flags=0x2000
monitor 12

page 6 MARKET NEWS
text  "*** DESK OPEN 07:00 - 17:30 NEW YORK ***" flags=0x40
text  ""
text  "ARGENTA: PROVINCIAL ROLLOVER TALKS CONTINUE"
text  "BRAVIA: CENTRAL BANK HOLDS SELIC, GUIDANCE UNCHANGED"
text  "MEXIVAL: NEW 2036 LINE EXPECTED AFTER ROADSHOW"
text  "PERUNA: RATING OUTLOOK REVISED TO STABLE"
text  "PETROMEX: TENDER FOR 2027S, RESULTS THURSDAY"
text  ""
text  "CALL THE DESK: NEW YORK 110, LONDON 210, BUENOS AIRES 310"

page 7 DESK RUNS
text  "INTERNAL: NOT FOR DISTRIBUTION" flags=0x4000
issue "ARG 29 RUN"            64.250 0.125 flags=0x10000
issue "BRV 30 RUN"             97.125 0.125 flags=0x10000
issue "PMX OLD 26"             99.000 0.125 flags=0x200
)cfg";
}

namespace {

// key=value options after the positional words of a directive.
struct Options {
    std::vector<std::pair<std::string, std::string>> items;

    const std::string* Find(std::string_view key) const
    {
        for (const auto& item : items)
            if (item.first == key)
                return &item.second;
        return nullptr;
    }
};

bool SplitOptions(const std::vector<std::string>& words, std::size_t first,
                  std::vector<std::string>& positional, Options& options, std::string& error)
{
    for (std::size_t i = first; i < words.size(); ++i) {
        const auto eq = words[i].find('=');
        if (eq == std::string::npos || eq == 0) {
            if (!options.items.empty()) {
                error = "\"" + words[i] + "\" after options";
                return false;
            }
            positional.push_back(words[i]);
        } else {
            options.items.emplace_back(words[i].substr(0, eq), words[i].substr(eq + 1));
        }
    }
    return true;
}

bool CheckKnown(const Options& options, std::initializer_list<std::string_view> known, std::string& error)
{
    for (const auto& item : options.items)
        if (std::find(known.begin(), known.end(), item.first) == known.end()) {
            error = "unknown option \"" + item.first + "\"";
            return false;
        }
    return true;
}

bool ReadBool(const std::string& text, bool& value, std::string& error)
{
    if (text == "yes" || text == "1" || text == "true" || text == "on")
        value = true;
    else if (text == "no" || text == "0" || text == "false" || text == "off")
        value = false;
    else {
        error = "\"" + text + "\" is not yes or no";
        return false;
    }
    return true;
}

bool ReadFlags(const std::string& text, std::uint32_t& value, std::string& error)
{
    std::uint64_t parsed = 0;
    if (!ParseUnsigned(text, parsed) || parsed > 0xFFFFFFFFull) {
        error = "bad flags \"" + text + "\"";
        return false;
    }
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

bool ReadNumber(const std::string& text, double lo, double hi, double& value, std::string& error)
{
    double parsed = 0;
    if (!ParseDecimal(text, parsed) || parsed < lo || parsed > hi) {
        error = "bad number \"" + text + "\"";
        return false;
    }
    value = parsed;
    return true;
}

bool ReadInt(const std::string& text, int lo, int hi, int& value, std::string& error)
{
    int parsed = 0;
    if (!ParseInt(text, parsed) || parsed < lo || parsed > hi) {
        error = "bad number \"" + text + "\" (" + std::to_string(lo) + "-" + std::to_string(hi) + ")";
        return false;
    }
    value = parsed;
    return true;
}

constexpr std::size_t kMaxText = 80;

bool ParseUser(const std::vector<std::string>& words, ServerConfig& config, std::string& error)
{
    std::vector<std::string> positional;
    Options options;
    if (!SplitOptions(words, 1, positional, options, error))
        return false;
    if (positional.size() != 1) {
        error = "user needs exactly one name";
        return false;
    }
    if (!CheckKnown(options, {"level", "password", "pages", "withhold", "orders", "centre"}, error))
        return false;
    UserAccount user;
    user.name = positional[0];
    if (user.name.size() > 64 || config.FindUser(user.name) != nullptr) {
        error = "user name \"" + user.name + "\" too long or repeated";
        return false;
    }
    const std::string* level = options.Find("level");
    if (level == nullptr) {
        error = "user needs level=";
        return false;
    }
    if (!ReadInt(*level, 1, 999, user.level, error))
        return false;
    if (const auto* v = options.Find("password"))
        user.password = *v;
    if (const auto* v = options.Find("pages"); v && !PageSet::Parse(*v, user.pages, error))
        return false;
    if (const auto* v = options.Find("withhold"); v && !PageSet::Parse(*v, user.withheld, error))
        return false;
    if (const auto* v = options.Find("orders"); v && !ReadBool(*v, user.orderEntry, error))
        return false;
    if (const auto* v = options.Find("centre"); v && !ReadInt(*v, 0, 9999, user.centre, error))
        return false;
    config.users.push_back(std::move(user));
    return true;
}

// One line directive of a page; nextLine is the number the line takes unless
// it names its own, and moves past what the directive used.
bool ParseLine(const std::vector<std::string>& words, PageSpec& page, int& nextLine, std::string& error)
{
    std::vector<std::string> positional;
    Options options;
    if (!SplitOptions(words, 1, positional, options, error))
        return false;
    LineSpec line;
    line.line = nextLine;
    const std::string& what = words[0];
    int count = 1;
    if (what == "text") {
        if (positional.size() != 1) {
            error = "text needs one (quoted) text";
            return false;
        }
        if (!CheckKnown(options, {"flags", "line"}, error))
            return false;
        line.kind = LineKind::Text;
        line.text = positional[0];
    } else if (what == "issue") {
        if (positional.size() != 3) {
            error = "issue needs a name, a price and a tick";
            return false;
        }
        if (!CheckKnown(options, {"flags", "issue-flags", "line", "decimals", "spread", "partner", "indicative"}, error))
            return false;
        line.kind = LineKind::Field;
        line.text = positional[0];
        if (!ReadNumber(positional[1], -1e6, 1e6, line.price, error)
            || !ReadNumber(positional[2], 1e-6, 1e4, line.tick, error))
            return false;
        if (line.tick <= 0) {
            error = "tick must be above 0";
            return false;
        }
        if (const auto* v = options.Find("decimals"); v && !ReadInt(*v, 0, 6, line.decimals, error))
            return false;
        if (const auto* v = options.Find("issue-flags"); v && !ReadFlags(*v, line.issueFlags, error))
            return false;
        if (const auto* v = options.Find("spread")) {
            if (*v != "M" && *v != "S") {
                error = "spread is M or S";
                return false;
            }
            line.spreadRole = (*v)[0];
        }
        if (const auto* v = options.Find("partner"))
            line.spreadPartner = *v;
        if (const auto* v = options.Find("indicative"); v && !ReadBool(*v, line.indicative, error))
            return false;
    } else if (what == "monitor") {
        if (positional.size() > 1) {
            error = "monitor takes at most a count";
            return false;
        }
        if (!CheckKnown(options, {"flags", "line"}, error))
            return false;
        line.kind = LineKind::Monitor;
        if (!positional.empty() && !ReadInt(positional[0], 1, kLinesPerPage, count, error))
            return false;
    } else { // blank
        if (!positional.empty() || !options.items.empty()) {
            error = "blank takes nothing";
            return false;
        }
        ++nextLine;
        return true;
    }
    if (line.text.size() > kMaxText) {
        error = "text longer than 80 characters";
        return false;
    }
    if (const auto* v = options.Find("flags"); v && !ReadFlags(*v, line.lineFlags, error))
        return false;
    if (const auto* v = options.Find("line"); v && !ReadInt(*v, 1, kLinesPerPage, line.line, error))
        return false;
    const int previous = page.lines.empty() ? 0 : page.lines.back().line;
    if (line.line <= previous) {
        error = "line " + std::to_string(line.line) + " is not after line " + std::to_string(previous);
        return false;
    }
    for (int i = 0; i < count; ++i, ++line.line) {
        if (line.line > kLinesPerPage) {
            error = "more than 26 lines on page " + std::to_string(page.page);
            return false;
        }
        page.lines.push_back(line);
    }
    nextLine = line.line;
    return true;
}

} // namespace

bool SplitWords(std::string_view line, std::vector<std::string>& words)
{
    words.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= line.size() || line[i] == '#')
            break;
        std::string word;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] == '"') {
                ++i;
                bool closed = false;
                while (i < line.size()) {
                    if (line[i] == '\\' && i + 1 < line.size()) {
                        word += line[i + 1];
                        i += 2;
                    } else if (line[i] == '"') {
                        ++i;
                        closed = true;
                        break;
                    } else {
                        word += line[i++];
                    }
                }
                if (!closed)
                    return false;
            } else {
                word += line[i++];
            }
        }
        words.push_back(std::move(word));
    }
    return true;
}

bool ParseConfig(std::string_view text, ServerConfig& result, std::string& error)
{
    ServerConfig config;
    PageSpec* page = nullptr;
    int nextLine = 1;
    std::vector<std::string> words;
    int number = 0;
    auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(number) + ": " + what;
        return false;
    };
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = text.find('\n', start);
        std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() + 1 : end + 1;
        ++number;
        // Texts travel in messages whose delimiters are control bytes.
        for (char c : line)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r')
                return fail(c == 0 ? "NUL byte" : "control character");
        if (!SplitWords(line, words))
            return fail("unclosed quote");
        if (words.empty())
            continue;
        const std::string& what = words[0];
        std::string why;
        if (what == "seed" || what == "rate" || what == "trade-every" || what == "trade-window") {
            if (words.size() != 2)
                return fail(what + " takes one value");
            if (what == "seed") {
                if (!ParseUnsigned(words[1], config.market.seed))
                    return fail("bad seed \"" + words[1] + "\"");
            } else {
                double value = 0;
                double hi = what == "rate" ? 1e6 : 3600;
                if (!ReadNumber(words[1], 0, hi, value, why))
                    return fail(why);
                (what == "rate" ? config.market.rate
                 : what == "trade-every" ? config.market.tradeEvery
                                         : config.market.tradeWindow) = value;
            }
        } else if (what == "user") {
            if (!ParseUser(words, config, why))
                return fail(why);
        } else if (what == "default-user" || what == "serial-user") {
            if (words.size() != 2)
                return fail(what + " takes one name");
            (what == "default-user" ? config.defaultUser : config.serialUser) = words[1];
        } else if (what == "page") {
            int n = 0;
            if (words.size() < 2 || !ParseInt(words[1], n) || n < 1 || n > PageSet::kMaxPage)
                return fail("page needs a number 1-300");
            for (const auto& p : config.pages)
                if (p.page == n)
                    return fail("page " + words[1] + " repeated");
            std::string title;
            for (std::size_t i = 2; i < words.size(); ++i)
                title += (i > 2 ? " " : "") + words[i];
            if (title.size() > kMaxText)
                return fail("title longer than 80 characters");
            config.pages.push_back(PageSpec {n, title, {}});
            page = &config.pages.back();
            nextLine = 1;
        } else if (what == "text" || what == "issue" || what == "monitor" || what == "blank") {
            if (page == nullptr)
                return fail(what + " before any page");
            if (!ParseLine(words, *page, nextLine, why))
                return fail(why);
        } else {
            return fail("unknown directive \"" + what + "\"");
        }
    }
    for (const auto* name : {&config.defaultUser, &config.serialUser})
        if (!name->empty() && config.FindUser(*name) == nullptr) {
            error = "no user \"" + *name + "\" for default-user or serial-user";
            return false;
        }
    std::sort(config.pages.begin(), config.pages.end(),
              [](const PageSpec& a, const PageSpec& b) { return a.page < b.page; });
    result = std::move(config);
    return true;
}

bool LoadConfigFile(const std::string& path, ServerConfig& config, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!ParseConfig(text.str(), config, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace zphd
