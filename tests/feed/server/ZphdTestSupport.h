// Helpers for the zphd tests: a recording SessionLink, decoding of what a
// session sent, a client-side mirror of the line cache built only from the
// messages and a TCP/TLS test client.
#pragma once

#include "Hub.h"
#include "ServerConfig.h"
#include "ZphdControl.h"

#include "zph/Codec.h"
#include "protocol/FieldIds.h"
#include "protocol/FrameReader.h"
#include "zph/ZPHMessage.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

using namespace ZPH;

namespace zphdtest {

using namespace ZPHWire;
using testsupport::ConnectTcp;
using testsupport::ControlClient;
using testsupport::ReplyFields;

// A small, still market: tests move it themselves.
constexpr const char* kTestConfig = R"(seed 11
rate 0
trade-every 0
trade-window 1
user alice level=101 password=wonder pages=1-3 orders=yes centre=110
user bob   level=102 password=builder pages=1,2 orders=yes centre=210
user viewer level=300 password=v pages=1-3 withhold=2
user desk  level=999 password=d pages=all
default-user viewer
serial-user bob
page 1 FIRST PAGE
text  "HEADER" flags=0x2000
issue "AAA 5 30" 100.000 0.125
issue "BBB 6 31" 50.00 0.25 decimals=2
issue "CCC 7 32" 75.000 0.125 flags=0x200
page 2 SECOND PAGE
issue "DDD 1 29" 99.000 0.125
issue "EEE 2 40" 98.000 0.125
page 3 MONITOR
monitor 4
page 9 DESK ONLY
issue "ZZZ" 10.000 0.125
)";

inline zphd::ServerConfig TestConfig(const char* text = kTestConfig)
{
    zphd::ServerConfig config;
    std::string error;
    EXPECT_TRUE(zphd::ParseConfig(text, config, error)) << error;
    return config;
}

// Everything a session sent, decoded as a client's reader would.
class FakeLink : public zphd::SessionLink {
public:
    bool Send(std::string_view bytes) override
    {
        if (refuse)
            return false;
        m_reader.Append(bytes);
        std::string_view frame;
        const char* reason = nullptr;
        for (auto r = m_reader.Next(frame, reason); r != FrameReader::NEED_MORE; r = m_reader.Next(frame, reason)) {
            ZPHMessage msg;
            if (r == FrameReader::FRAME && Decode(frame, msg))
                messages.push_back(msg);
            else
                ++bad;
        }
        return true;
    }
    void CloseAfterSend() override { ++closes; }
    void Drop() override { ++drops; }
    void Restart() override { ++restarts; }

    // Messages of one type, from index `from` on.
    std::vector<ZPHMessage> OfType(char type, std::size_t from = 0) const
    {
        std::vector<ZPHMessage> found;
        for (std::size_t i = from; i < messages.size(); ++i)
            if (messages[i].m_type == type)
                found.push_back(messages[i]);
        return found;
    }
    // Messages of one type since the last Mark.
    std::vector<ZPHMessage> Fresh(char type) const { return OfType(type, mark); }
    void Mark() { mark = messages.size(); }
    std::string Types(std::size_t from = 0) const
    {
        std::string types;
        for (std::size_t i = from; i < messages.size(); ++i)
            types += messages[i].m_type;
        return types;
    }

    bool refuse = false;
    std::vector<ZPHMessage> messages;
    std::size_t mark = 0;
    int bad = 0, closes = 0, drops = 0, restarts = 0;

private:
    FrameReader m_reader;
};

inline std::string Frame(const ZPHMessage& msg)
{
    std::string bytes;
    EXPECT_TRUE(Encode(msg, bytes));
    return bytes;
}

inline ZPHMessage LoginMessage(const std::string& user, int kind = SOURCE_SOCKET)
{
    ZPHMessage msg(MSG_LOGIN, 0, 0);
    msg.AddField(F_PROTOCOL, PROTOCOL_VERSION);
    msg.AddField(F_SOURCE_KIND, kind);
    msg.AddField(F_USER, user);
    msg.AddField(F_HOST_NAME, "testhost");
    msg.AddField(F_CLIENT_VERSION, 141);
    return msg;
}

inline ZPHMessage PageRequestMessage(int page) { return ZPHMessage(MSG_PAGE_REQUEST, page, 0); }

// An order as the trade window builds it.
inline ZPHMessage OrderMessage(const std::string& command, int page, int line, int level,
                               const std::vector<std::pair<int, std::string>>& own)
{
    ZPHMessage msg(MSG_ORDER, 0, 0);
    msg.AddField(O_SYSTEM, O_SYSTEM_VALUE);
    msg.AddField(O_CLASS, O_CLASS_VALUE);
    msg.AddField(O_PAGE, page);
    msg.AddField(O_LINE, line);
    msg.AddField(O_RESERVED, 0);
    msg.AddField(O_USER_LEVEL, level);
    msg.AddField(O_COMMAND, command);
    for (const auto& [id, text] : own)
        msg.AddField(id, text);
    return msg;
}

// The client's view of the lines, built from 'R', 'D', 'I', 'E' and 'C'
// alone, as a line cache would.
class Mirror {
public:
    using Fields = std::map<int, std::string>;

    void Apply(const ZPHMessage& msg)
    {
        const int page = msg.m_page, line = msg.m_line;
        switch (msg.m_type) {
        case MSG_REFRESH:
            lines[{page, line}] = Collect(msg);
            break;
        case MSG_DATA:
            for (const auto& [id, text] : msg.GetFields())
                lines[{page, line}][id] = text;
            break;
        case MSG_INSERT:
        case MSG_ERASE: {
            // The page as a list of its lines (index = line number), edited
            // and written back: what falls past the last line goes.
            std::vector<std::optional<Fields>> list(MAX_LINE + 1);
            for (int n = 1; n <= MAX_LINE; ++n)
                if (auto node = lines.extract({page, n}))
                    list[n] = std::move(node.mapped());
            if (msg.m_type == MSG_INSERT)
                list.insert(list.begin() + line, Collect(msg));
            else
                list.erase(list.begin() + line);
            for (int n = 1; n <= MAX_LINE && n < static_cast<int>(list.size()); ++n)
                if (list[n])
                    lines[{page, n}] = std::move(*list[n]);
            break;
        }
        case MSG_CLEAR:
            std::erase_if(lines, [&](const auto& e) {
                return page == 0 || (e.first.first == page && (line == 0 || e.first.second == line));
            });
            break;
        default:
            break;
        }
    }

    void Apply(const std::vector<ZPHMessage>& msgs, std::size_t from = 0)
    {
        for (std::size_t i = from; i < msgs.size(); ++i)
            Apply(msgs[i]);
    }

    // A line's fields without what absent stands for (empty, "0").
    Fields Line(int page, int line) const
    {
        Fields fields;
        auto it = lines.find({page, line});
        if (it != lines.end())
            for (const auto& [id, text] : it->second)
                if (!text.empty() && !(text == "0" && IsNumber(id)) && !(id == F_KIND && text == "F"))
                    fields[id] = text;
        return fields;
    }

    std::map<std::pair<int, int>, Fields> lines;

private:
    static bool IsNumber(int id)
    {
        const int side = id >= 200 && id < 300 ? id - OFFER_SIDE : id;
        return id == F_LINE_FLAGS || id == F_ISSUE_FLAGS || id == F_LAST_TRADE_TYPE || side == F_BID_ATTRIBUTE
            || side == F_BID_BEST || side == F_BID_WHEN_CENTER || side == F_BID_FAST_FLASH
            || side == F_BID_OWN_LEVEL;
    }
    static Fields Collect(const ZPHMessage& msg)
    {
        Fields fields;
        for (const auto& [id, text] : msg.GetFields())
            fields[id] = text;
        return fields;
    }
};

// A field's text, or "<none>" when the message lacks it.
inline std::string Value(const ZPHMessage& msg, int id)
{
    const char* v = msg.GetValue(id);
    return v == nullptr ? "<none>" : v;
}

// One field of each message ("<none>" where a message lacks it).
inline std::vector<std::string> Values(const std::vector<ZPHMessage>& msgs, int id)
{
    std::vector<std::string> values;
    for (const auto& msg : msgs)
        values.push_back(Value(msg, id));
    return values;
}
using Strings = std::vector<std::string>;

// A hub over the test market, fed as its connections would feed it.
class HubFixture : public ::testing::Test {
protected:
    static constexpr std::time_t kNoon = 1718107200;

    HubFixture() : hub(TestConfig(), kNoon, "test-zphd") {}
    // One message from connection `id`, as its bytes arrive.
    static void Feed(zphd::Hub& to, int id, const ZPHMessage& msg)
    {
        const std::string bytes = Frame(msg);
        to.Receive(id, bytes.data(), bytes.size());
    }
    void Feed(int id, const ZPHMessage& msg) { Feed(hub, id, msg); }
    // A connection that has logged in as `user`.
    int LoggedIn(FakeLink& link, const std::string& user, zphd::PortKind kind = zphd::PortKind::Socket)
    {
        const int id = hub.Connect(kind, link, "test");
        Feed(id, LoginMessage(user));
        EXPECT_EQ(link.OfType(MSG_WELCOME).size(), 1u) << user << ": " << link.Types();
        return id;
    }
    // A logged-in connection that asked for `pages`.
    int Viewing(FakeLink& link, const std::string& user, std::initializer_list<int> pages)
    {
        const int id = LoggedIn(link, user);
        for (int page : pages)
            Feed(id, PageRequestMessage(page));
        return id;
    }
    // The refusal a new socket connection gets for `login`.
    ZPHMessage Refusal(const ZPHMessage& login)
    {
        FakeLink link;
        Feed(hub.Connect(zphd::PortKind::Socket, link, "test"), login);
        EXPECT_EQ(link.Types(), "GF");
        return link.messages.size() > 1 ? link.messages[1] : ZPHMessage();
    }

    zphd::Hub hub;
};

// ---- over the network ---------------------------------------------------------------

// A blocking client of the feed protocol over TCP, TLS or a terminal.
class TestClient {
public:
    // caFile: verify the server against it and run TLS; empty: plain.
    bool Connect(int port, const std::string& caFile = {})
    {
        m_fd = ConnectTcp(port);
        if (m_fd < 0)
            return false;
        if (caFile.empty())
            return true;
        m_ctx = SSL_CTX_new(TLS_client_method());
        SSL_CTX_load_verify_locations(m_ctx, caFile.c_str(), nullptr);
        SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, nullptr);
        m_ssl = SSL_new(m_ctx);
        SSL_set_fd(m_ssl, m_fd);
        SSL_set1_host(m_ssl, "localhost");
        return SSL_connect(m_ssl) == 1;
    }
    // A terminal (or any descriptor) already open.
    void Adopt(int fd) { m_fd = fd; }

    ~TestClient()
    {
        if (m_ssl != nullptr)
            SSL_free(m_ssl);
        if (m_ctx != nullptr)
            SSL_CTX_free(m_ctx);
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool SendBytes(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const long n = m_ssl != nullptr ? SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size()))
                                            : ::write(m_fd, bytes.data(), bytes.size());
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    bool Send(const ZPHMessage& msg) { return SendBytes(Frame(msg)); }

    // The next whole message, waiting up to timeoutMs; false on time-out or
    // when the connection closed.
    bool Next(ZPHMessage& msg, int timeoutMs = 10000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::string_view frame;
            const char* reason = nullptr;
            if (const auto r = m_reader.Next(frame, reason); r != FrameReader::NEED_MORE) {
                if (r == FrameReader::FRAME && Decode(frame, msg))
                    return true;
                ++bad;
                continue;
            }
            const int left = MsLeft(deadline);
            if (left <= 0)
                return false;
            if (m_ssl == nullptr || SSL_pending(m_ssl) == 0) {
                pollfd p {m_fd, POLLIN, 0};
                if (::poll(&p, 1, left) <= 0)
                    continue;
            }
            char buffer[65536];
            const long n = m_ssl != nullptr ? SSL_read(m_ssl, buffer, sizeof buffer) : ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) {
                closed = true;
                return false;
            }
            m_reader.Append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Reads until a message of this type arrives.
    bool Await(char type, ZPHMessage& msg, int timeoutMs = 10000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (!Next(msg, std::max(MsLeft(deadline), 1)))
                return false;
            if (msg.m_type == type)
                return true;
        }
        return false;
    }

    bool Await(char type, int timeoutMs = 10000)
    {
        ZPHMessage msg;
        return Await(type, msg, timeoutMs);
    }

    int Fd() const { return m_fd; }
    int bad = 0;
    bool closed = false;

private:
    static int MsLeft(std::chrono::steady_clock::time_point deadline)
    {
        using namespace std::chrono;
        return static_cast<int>(duration_cast<milliseconds>(deadline - steady_clock::now()).count());
    }

    int m_fd = -1;
    SSL_CTX* m_ctx = nullptr;
    SSL* m_ssl = nullptr;
    FrameReader m_reader;
};

} // namespace zphdtest
