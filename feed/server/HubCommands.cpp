#include "HubCommands.h"

#include "ControlLine.h"
#include "Hub.h"
#include "HubSession.h"
#include "LineFields.h"
#include "Log.h"
#include "MarketText.h"

#include "protocol/FieldIds.h"
#include "protocol/Protocol.h"

#include <algorithm>
#include <limits>
#include <vector>

using namespace ZPHWire;

namespace zphd {

namespace {

bool PlainText(std::string_view text)
{
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; });
}

std::string Usage(const char* text)
{
    return std::string("ERR usage: ") + text;
}

std::string LineMissing(int page, int line)
{
    return "ERR no line " + std::to_string(page) + "/" + std::to_string(line);
}

std::string SessionCount(std::size_t n)
{
    return "OK sessions=" + std::to_string(n);
}

// The bytes of each kind of broken frame "malformed" sends; empty for an
// unknown kind.
std::string MalformedBytes(const std::string& kind)
{
    const std::string header = std::string("\x01\x1DZPH\x1ET\x1F") + "D\x1EP\x1F" "1\x1EL\x1F" "1\x02";
    if (kind == "garbage")
        return "\x07\x08this is not a message\x7f\x04";
    if (kind == "truncated")
        return "\x01\x1DZPH\x1ET\x1F" "D\x1EP\x1F";
    if (kind == "header")
        return "\x01\x1DXYZ\x1ET\x1F" "D\x02\x03";
    if (kind == "fields")
        return header + "\x1D" "F\x1E" "abc\x1F" "x\x03";
    if (kind == "page")
        return "\x01\x1DZPH\x1ET\x1F" "D\x1EP\x1F" "one\x1EL\x1F" "1\x02\x03";
    if (kind == "oversize")
        return header + "\x1D" "F\x1E" "5\x1F" + std::string(MAX_FRAME_SIZE + 100, 'x') + "\x03";
    if (kind == "binary") {
        std::string bytes;
        for (int i = 0; i < 256; ++i)
            bytes += static_cast<char>((i * 37 + 11) & 0xFF);
        return bytes;
    }
    return {};
}

// The last order as "last-order" shows it: control characters as '?'.
std::string Printable(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

} // namespace

struct HubCommands::Verb {
    const char* name;
    std::string (HubCommands::*run)(ControlLine& args);
};

// In the order "help" lists them.
const HubCommands::Verb HubCommands::kVerbs[] = {
    {"help", &HubCommands::Help},
    {"status", &HubCommands::Status},
    {"sessions", &HubCommands::Sessions},
    {"get", &HubCommands::Get},
    {"set", &HubCommands::Set},
    {"title", &HubCommands::Title},
    {"count", &HubCommands::Count},
    {"notify", &HubCommands::Notify},
    {"notice", &HubCommands::Notice},
    {"permissions", &HubCommands::Permissions},
    {"level", &HubCommands::Level},
    {"order-entry", &HubCommands::OrderEntry},
    {"insert", &HubCommands::Insert},
    {"erase", &HubCommands::Erase},
    {"clear", &HubCommands::Clear},
    {"stall", &HubCommands::Stall},
    {"drop", &HubCommands::Drop},
    {"malformed", &HubCommands::Malformed},
    {"fail-login", &HubCommands::FailLogin},
    {"rate", &HubCommands::Rate},
    {"trade-every", &HubCommands::TradeEvery},
    {"trade", &HubCommands::Trade},
    {"order", &HubCommands::Order},
    {"orders", &HubCommands::Orders},
    {"last-order", &HubCommands::LastOrder},
    {"quit", &HubCommands::Quit},
};

std::string HubCommands::Run(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    if (line.size() > kMaxControlLine)
        return "ERR line too long";
    ControlLine words(line);
    std::string verb;
    if (!words.Word(verb))
        return "ERR empty command";
    std::string_view argText = line.substr(line.find(verb) + verb.size());
    if (!PlainText(argText))
        return "ERR control characters in the command";
    ControlLine args(argText);
    const auto entry = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                    [&](const Verb& v) { return verb == v.name; });
    std::string reply = entry == std::end(kVerbs) ? "ERR unknown command " + Cut(verb, 40) + " (try help)"
                                                  : (this->*entry->run)(args);
    LogDebug("control: " + Cut(line, 200) + " -> " + Cut(reply.substr(0, reply.find('\n')), 200));
    return reply;
}

std::vector<Hub::Session*> HubCommands::Targets(std::string_view target, std::string& error)
{
    std::vector<Hub::Session*> sessions;
    int id = 0;
    if (!target.empty() && target[0] == '#') {
        if (!ParseInt(target.substr(1), id) || m_hub.FindSession(id) == nullptr) {
            error = "no session " + std::string(target);
            return sessions;
        }
        sessions.push_back(m_hub.FindSession(id));
        return sessions;
    }
    if (target != "all" && m_hub.m_config.FindUser(target) == nullptr) {
        error = "no user " + std::string(target);
        return sessions;
    }
    for (auto& [sid, s] : m_hub.m_sessions)
        if (s->LoggedIn() && (target == "all" || s->user.name == target))
            sessions.push_back(s.get());
    return sessions;
}

UserAccount* HubCommands::UserAndValue(ControlLine& args, std::string& value, std::string& reply)
{
    std::string name;
    if (!args.Word(name) || !args.Word(value) || !args.AtEnd()) {
        reply = Usage("permissions USER PAGES | level USER N | order-entry USER yes|no");
        return nullptr;
    }
    UserAccount* user = m_hub.m_config.FindUser(name);
    if (user == nullptr)
        reply = "ERR no user " + name;
    return user;
}

std::string HubCommands::Help(ControlLine&)
{
    std::string names;
    for (const Verb& verb : kVerbs)
        names += (names.empty() ? "" : " ") + std::string(verb.name);
    return "OK 1\n" + names;
}

std::string HubCommands::Status(ControlLine&)
{
    return "OK sessions=" + std::to_string(m_hub.m_sessions.size()) + " logged-in="
        + std::to_string(m_hub.LoggedInCount()) + " rate=" + FormatQuantity(m_hub.m_market.Rate())
        + " stalled=" + (m_hub.Stalled() ? "1" : "0") + " time=" + std::to_string(m_hub.m_now);
}

std::string HubCommands::Sessions(ControlLine&)
{
    std::string lines;
    for (auto& [id, s] : m_hub.m_sessions) {
        std::string pages;
        for (int p : s->pages)
            pages += (pages.empty() ? "" : ",") + std::to_string(p);
        lines += "\n#" + std::to_string(id) + " " + PortName(s->kind) + " "
            + (s->user.name.empty() ? "-" : s->user.name) + " level=" + std::to_string(s->user.level)
            + " state=" + (s->LoggedIn() ? "in" : s->state == Hub::Session::State::Closing ? "closing" : "login")
            + " pages=" + (pages.empty() ? "-" : pages) + " messages=" + std::to_string(s->frames)
            + " bad=" + std::to_string(s->bad) + " peer=" + s->peer;
    }
    return "OK " + std::to_string(m_hub.m_sessions.size()) + lines;
}

std::string HubCommands::Get(ControlLine& args)
{
    int page = 0, line = 0, field = 0;
    if (!args.Int(page, 1, MAX_PAGE) || !args.Int(line, 1, MAX_LINE))
        return Usage("get PAGE LINE [FIELD]");
    const LineState* state = m_hub.m_market.GetLine(page, line);
    if (state == nullptr)
        return LineMissing(page, line);
    if (!args.AtEnd()) {
        std::string text;
        if (!args.Int(field, 0, std::numeric_limits<int>::max()) || !args.AtEnd() || !GetField(*state, field, text))
            return "ERR no field";
        return "OK 1\n" + std::to_string(field) + "\t" + text;
    }
    std::string lines;
    int n = 0;
    for (auto& [id, text] : FieldsOf(*state))
        if (!IsAbsentValue(id, text)) {
            lines += "\n" + std::to_string(id) + "\t" + text;
            ++n;
        }
    return "OK " + std::to_string(n) + lines;
}

std::string HubCommands::Set(ControlLine& args)
{
    int page = 0, line = 0, field = 0;
    if (!args.Int(page, 1, MAX_PAGE) || !args.Int(line, 1, MAX_LINE)
        || !args.Int(field, 0, std::numeric_limits<int>::max()))
        return Usage("set PAGE LINE FIELD TEXT");
    const std::string text = args.Rest();
    const LineState* state = m_hub.m_market.GetLine(page, line);
    if (state == nullptr)
        return LineMissing(page, line);
    LineState edited = *state;
    if (!SetField(edited, field, text))
        return "ERR field " + std::to_string(field) + " cannot take \"" + Cut(text) + "\"";
    m_hub.m_market.EditLine(page, line, edited);
    return "OK";
}

std::string HubCommands::Title(ControlLine& args)
{
    int page = 0;
    if (!args.Int(page, 1, MAX_PAGE))
        return Usage("title PAGE TEXT");
    m_hub.m_market.SetTitle(page, args.Rest());
    return "OK";
}

std::string HubCommands::Count(ControlLine& args)
{
    int page = 0, count = 0;
    std::string word;
    if (!args.Int(page, 1, MAX_PAGE) || !args.Word(word) || !args.AtEnd())
        return Usage("count PAGE N|auto");
    if (word == "auto") {
        m_hub.m_fixedCounts.erase(page);
        m_hub.PageCountsFromViewers();
        return "OK";
    }
    if (!ParseInt(word, count) || count < 0)
        return Usage("count PAGE N|auto");
    m_hub.m_fixedCounts.insert(page);
    m_hub.m_market.SetCount(page, count);
    return "OK";
}

std::string HubCommands::Notify(ControlLine& args)
{
    std::string target, error;
    if (!args.Word(target))
        return Usage("notify all|USER|#ID TEXT");
    const std::string text = args.Rest();
    auto sessions = Targets(target, error);
    if (!error.empty())
        return "ERR " + error;
    for (Hub::Session* s : sessions) {
        ZPHMessage msg(MSG_NOTIFICATION, 0, 0);
        msg.AddField(F_NOTIFICATION, text);
        m_hub.Send(*s, msg);
    }
    return SessionCount(sessions.size());
}

std::string HubCommands::Notice(ControlLine& args)
{
    std::string target, error;
    int value = 0;
    if (!args.Word(target) || !args.Int(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()))
        return Usage("notice all|USER|#ID VALUE [TEXT]");
    const std::string text = args.Rest();
    auto sessions = Targets(target, error);
    if (!error.empty())
        return "ERR " + error;
    for (Hub::Session* s : sessions)
        m_hub.SendNotice(*s, value, text);
    return SessionCount(sessions.size());
}

std::string HubCommands::Permissions(ControlLine& args)
{
    std::string value, reply, error;
    UserAccount* user = UserAndValue(args, value, reply);
    if (user == nullptr)
        return reply;
    PageSet pages;
    if (!PageSet::Parse(value, pages, error))
        return "ERR " + error;
    user->pages = pages;
    m_hub.UserChanged(*user, false, true);
    return "OK";
}

std::string HubCommands::Level(ControlLine& args)
{
    std::string value, reply;
    UserAccount* user = UserAndValue(args, value, reply);
    if (user == nullptr)
        return reply;
    int level = 0;
    if (!ParseInt(value, level) || level < 1 || level > kFullView)
        return "ERR the level is 1-999";
    user->level = level;
    m_hub.UserChanged(*user, true, false);
    return "OK";
}

std::string HubCommands::OrderEntry(ControlLine& args)
{
    std::string value, reply;
    UserAccount* user = UserAndValue(args, value, reply);
    if (user == nullptr)
        return reply;
    if (value != "yes" && value != "no")
        return "ERR yes or no";
    user->orderEntry = value == "yes";
    m_hub.UserChanged(*user, true, false);
    return "OK";
}

std::string HubCommands::Insert(ControlLine& args)
{
    const char* usage = "insert PAGE LINE text [TEXT] | issue PRICE TICK NAME | monitor";
    int page = 0, line = 0;
    std::string kind;
    if (!args.Int(page, 1, MAX_PAGE) || !args.Int(line, 1, MAX_LINE) || !args.Word(kind))
        return Usage(usage);
    LineSpec spec;
    spec.line = line;
    if (kind == "text") {
        spec.kind = LineKind::Text;
        spec.text = args.Rest();
    } else if (kind == "issue") {
        if (!args.Number(spec.price, -1e6, 1e6) || !args.Number(spec.tick, 1e-6, 1e4))
            return Usage("insert PAGE LINE issue PRICE TICK NAME");
        spec.kind = LineKind::Field;
        spec.text = args.Rest();
    } else if (kind == "monitor" && args.AtEnd()) {
        spec.kind = LineKind::Monitor;
    } else {
        return Usage(usage);
    }
    if (spec.text.size() > 80)
        return "ERR text longer than 80 characters";
    m_hub.m_market.InsertLine(page, spec);
    return "OK";
}

std::string HubCommands::Erase(ControlLine& args)
{
    int page = 0, line = 0;
    if (!args.Int(page, 1, MAX_PAGE) || !args.Int(line, 1, MAX_LINE) || !args.AtEnd())
        return Usage("erase PAGE LINE");
    if (!m_hub.m_market.EraseLine(page, line))
        return "ERR no page " + std::to_string(page);
    return "OK";
}

std::string HubCommands::Clear(ControlLine& args)
{
    int page = 0, line = 0;
    if (!args.AtEnd() && !args.Int(page, 1, MAX_PAGE))
        return Usage("clear [PAGE [LINE]]");
    if (!args.AtEnd() && (!args.Int(line, 1, MAX_LINE) || !args.AtEnd()))
        return Usage("clear [PAGE [LINE]]");
    m_hub.m_market.Clear(page, line);
    return "OK";
}

std::string HubCommands::Stall(ControlLine& args)
{
    double seconds = 0;
    if (!args.Number(seconds, 0, 3600) || !args.AtEnd())
        return Usage("stall SECONDS");
    m_hub.m_stallUntil = m_hub.m_now + static_cast<std::int64_t>(seconds * 1000);
    Log("stalling the feed for " + FormatQuantity(seconds) + " seconds");
    return "OK";
}

std::string HubCommands::Drop(ControlLine& args)
{
    std::string target = "all", error;
    args.Word(target);
    if (!args.AtEnd())
        return Usage("drop [all|USER|#ID]");
    auto sessions = Targets(target, error);
    if (!error.empty())
        return "ERR " + error;
    // "all" also drops the sessions still logging in.
    if (target == "all")
        for (auto& [id, s] : m_hub.m_sessions)
            if (!s->LoggedIn() && s->state != Hub::Session::State::Closing)
                sessions.push_back(s.get());
    for (Hub::Session* s : sessions)
        m_hub.DropSession(*s, "dropped by the control interface");
    return SessionCount(sessions.size());
}

std::string HubCommands::Malformed(ControlLine& args)
{
    std::string target = "all", kind = "garbage", error;
    args.Word(target);
    args.Word(kind);
    if (!args.AtEnd())
        return Usage("malformed [all|USER|#ID [garbage|truncated|header|fields|page|oversize|binary]]");
    const std::string bytes = MalformedBytes(kind);
    if (bytes.empty())
        return "ERR no malformed kind " + kind;
    auto sessions = Targets(target, error);
    if (!error.empty())
        return "ERR " + error;
    for (Hub::Session* s : sessions)
        m_hub.SendRaw(*s, bytes);
    return SessionCount(sessions.size());
}

std::string HubCommands::FailLogin(ControlLine& args)
{
    m_hub.m_failNextLogin = true;
    m_hub.m_failReason = args.Rest();
    return "OK";
}

std::string HubCommands::Rate(ControlLine& args)
{
    double value = 0;
    if (!args.Number(value, 0, 1e6) || !args.AtEnd())
        return Usage("rate UPDATES-PER-SECOND");
    m_hub.m_market.SetRate(value);
    return "OK";
}

std::string HubCommands::TradeEvery(ControlLine& args)
{
    double value = 0;
    if (!args.Number(value, 0, 3600) || !args.AtEnd())
        return Usage("trade-every SECONDS");
    m_hub.m_market.SetTradeEvery(value);
    return "OK";
}

std::string HubCommands::Trade(ControlLine& args)
{
    int page = 0, line = 0;
    std::string side;
    double quantity = 0;
    if (!args.Int(page, 1, MAX_PAGE) || !args.Int(line, 1, MAX_LINE) || !args.Word(side)
        || (side != "bid" && side != "offer") || !args.Number(quantity, 1e-6, 1e6) || !args.AtEnd())
        return Usage("trade PAGE LINE bid|offer QUANTITY");
    if (!m_hub.m_market.ForceTrade(page, line, side == "bid", quantity))
        return "ERR that side cannot trade now";
    return "OK";
}

std::string HubCommands::Order(ControlLine& args)
{
    const char* usage = "order USER COMMAND PAGE LINE RATE [QUANTITY [TRADE-QUANTITY]]";
    std::string name, rate, quantity, quantity2;
    OrderCommand order;
    if (!args.Word(name) || !args.Word(order.command) || !args.Int(order.page, 1, MAX_PAGE)
        || !args.Int(order.line, 1, MAX_LINE) || !args.Word(rate))
        return Usage(usage);
    order.rate = rate;
    if (args.Word(quantity))
        order.quantity = quantity;
    if (args.Word(quantity2))
        order.quantity2 = quantity2;
    if (!args.AtEnd())
        return Usage(usage);
    UserAccount* user = m_hub.m_config.FindUser(name);
    if (user == nullptr)
        return "ERR no user " + name;
    OrderResult result = m_hub.m_market.Execute(Trader {user->level, user->centre, user->orderEntry}, order);
    return (result.accepted ? "OK " : "ERR ") + result.text;
}

std::string HubCommands::Orders(ControlLine& args)
{
    std::string name;
    if (!args.Word(name) || !args.AtEnd())
        return Usage("orders USER");
    UserAccount* user = m_hub.m_config.FindUser(name);
    if (user == nullptr)
        return "ERR no user " + name;
    std::string lines;
    auto orders = m_hub.m_market.OrdersOf(user->level);
    for (const auto& o : orders)
        lines += "\n" + o;
    return "OK " + std::to_string(orders.size()) + lines;
}

std::string HubCommands::LastOrder(ControlLine& args)
{
    if (!args.AtEnd())
        return Usage("last-order");
    if (!m_hub.m_lastOrder)
        return "ERR no order received yet";
    // The first line names the sender and the type; then each field in the
    // order it came.
    std::string lines = "\nuser " + Printable(m_hub.m_lastOrderUser) + " type "
        + Printable(std::string(1, m_hub.m_lastOrder->m_type));
    for (const auto& [id, text] : m_hub.m_lastOrder->GetFields())
        lines += "\n" + std::to_string(id) + "\t" + Printable(text);
    return "OK " + std::to_string(m_hub.m_lastOrder->GetFieldCount() + 1) + lines;
}

std::string HubCommands::Quit(ControlLine&)
{
    m_hub.m_quit = true;
    return "OK";
}

} // namespace zphd
