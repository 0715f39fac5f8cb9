#include "zphsource/Source.h"

#include "Brindle/base/Timestamp.h"
#include "zph/Codec.h"
#include "protocol/FieldIds.h"
#include "protocol/FrameReader.h"

#include <chrono>

namespace ZPH {

using namespace ZPHWire;
using Clock = std::chrono::steady_clock;

namespace {

// Outbound bytes a source queues before it refuses more.
constexpr std::size_t MAX_OUTBOUND = 1 << 20;
constexpr int READ_BUFFER = 64 * 1024;
constexpr int CONNECT_TIMEOUT_MS = 10000;

std::string Now() { return Brindle::CTimestamp().Format("%d %b %Y %H:%M:%S"); }

long long MicrosSinceEpoch()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int MillisUntil(Clock::time_point when)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

ZPHSource::ZPHSource(SourceHost& host, int kind, int role)
    : m_host(host), m_kind(kind), m_role(role)
{
    m_settings.kind = kind;
}

ZPHSource::~ZPHSource()
{
    // Derived sources stop the worker in their own destructors; this is the
    // last guard.
    Disconnect();
}

const char* ZPHSource::GetKindName() const
{
    switch (m_kind) {
    case SOURCE_SOCKET: return "Socket";
    case SOURCE_SERIAL: return "Serial";
    case SOURCE_DATABASE: return "ZPHDB";
    default: return "Unknown";
    }
}

std::string ZPHSource::GetName() const { return m_role == ROLE_BACKUP ? "Backup" : "Primary"; }

std::string ZPHSource::GetStatusText() const
{
    std::lock_guard guard(m_lock);
    return Describe(m_settings);
}

void ZPHSource::Configure(const SourceSettings& settings)
{
    std::lock_guard guard(m_lock);
    m_settings = settings;
    m_settings.kind = m_kind;
}

SourceSettings ZPHSource::GetSettings() const
{
    std::lock_guard guard(m_lock);
    return m_settings;
}

bool ZPHSource::Connect()
{
    std::unique_lock lock(m_lock);
    for (;;) {
        if (m_running) {
            // Running: dial again now.
            m_retry = true;
            m_wake.notify_all();
            m_waker.Wake();
            return true;
        }
        if (m_active && OnWorker()) {
            // Disconnect and Connect from inside a call-back: the worker stays.
            m_stop = false;
            m_retry = true;
            m_running = true;
            return true;
        }
        if (!m_active && !m_worker.joinable())
            break;
        // A stopping worker: let it end first.
        if (m_worker.joinable()) {
            std::thread old = std::move(m_worker);
            lock.unlock();
            old.join();
            lock.lock();
        } else {
            // A worker that another Connect starts meanwhile also ends the
            // wait: waiting for it to stop would hang until a Disconnect.
            m_wake.wait(lock, [&] { return !m_active || m_running; });
        }
    }
    m_stop = false;
    m_retry = false;
    m_waker.Drain();
    const SourceSettings settings = m_settings;
    lock.unlock();
    PrepareConnect(settings);
    lock.lock();
    if (m_active)
        return true;  // another thread started the worker meanwhile
    try {
        m_active = true;
        m_running = true;
        ++m_generation;
        m_worker = std::thread([this] { Run(); });
        m_workerId = m_worker.get_id();
        m_wake.notify_all();
    } catch (const std::exception&) {
        m_active = false;
        m_running = false;
        return false;
    }
    return true;
}

void ZPHSource::Disconnect()
{
    std::unique_lock lock(m_lock);
    m_stop = true;
    m_running = false;
    m_wake.notify_all();
    m_waker.Wake();
    if (OnWorker())
        return;
    // Wait for the worker this call stopped, not for one that a Connect on
    // another thread starts meanwhile.
    const unsigned generation = m_generation;
    if (m_worker.joinable()) {
        std::thread worker = std::move(m_worker);
        lock.unlock();
        worker.join();
        lock.lock();
    }
    m_wake.wait(lock, [&] { return !m_active || m_generation != generation; });
}

void ZPHSource::Retry()
{
    std::lock_guard guard(m_lock);
    if (!m_running)
        return;
    m_retry = true;
    m_wake.notify_all();
    m_waker.Wake();
}

Timestamp ZPHSource::GetMetrics() const
{
    Timestamp ts;
    {
        std::lock_guard guard(m_lock);
        ts.SetConnectTime(m_connectTime);
        ts.SetFeedTime(m_feedTime);
    }
    ts.SetPackets(m_packets);
    ts.SetBadPackets(m_badPackets);
    ts.SetMaxDelay(m_maxDelay);
    return ts;
}

void ZPHSource::ResetMetrics()
{
    m_packets = 0;
    m_badPackets = 0;
    m_maxDelay = 0;
}

bool ZPHSource::Send(const ZPHMessage& msg)
{
    std::string text;
    if (!Encode(msg, text))
        return false;
    std::lock_guard guard(m_lock);
    if (!m_loggedIn || m_outboundBytes + text.size() > MAX_OUTBOUND)
        return false;
    m_outboundBytes += text.size();
    m_outbound.push_back(std::move(text));
    m_waker.Wake();
    return true;
}

bool ZPHSource::RequestPage(int page)
{
    if (page < 1 || page > MAX_PAGE)
        return false;
    std::lock_guard guard(m_lock);
    if (!m_loggedIn) {
        m_pendingPages.insert(page);
        return true;
    }
    std::string text = Encode(ZPHMessage(MSG_PAGE_REQUEST, page, 0));
    if (m_outboundBytes + text.size() > MAX_OUTBOUND)
        return false;
    m_outboundBytes += text.size();
    m_outbound.push_back(std::move(text));
    m_waker.Wake();
    return true;
}

void ZPHSource::AddLoginFields(ZPHMessage& login, const std::string&, const SourceSettings&)
{
    login.AddField(F_USER, m_host.SourceUserName());
}

void ZPHSource::Log(const std::string& text) { m_host.SourceLog(*this, (GetName() + " " + GetKindName() + ": " + text).c_str()); }

void ZPHSource::LogBad(const std::string& text)
{
    if (m_host.SourceLogging())
        m_host.SourceError(*this, 0, (GetName() + " " + GetKindName() + ": bad packet: " + text).c_str());
}

void ZPHSource::SetState(int state)
{
    if (m_state.exchange(state) != state)
        m_host.SourceFeedState(*this, state);
}

bool ZPHSource::Pause(int ms)
{
    std::unique_lock lock(m_lock);
    return m_wake.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_stop || m_retry; });
}

void ZPHSource::Run()
{
    for (;;) {
        bool waiting = false;
        std::string lostBecause;
        for (;;) {
            SourceSettings settings;
            {
                std::lock_guard guard(m_lock);
                if (m_stop)
                    break;
                m_retry = false;
                settings = m_settings;
            }
            const int reconnectMs =
                m_reconnectOverrideMs > 0 ? m_reconnectOverrideMs.load() : settings.reconnectSeconds * 1000;
            if (!waiting) {
                waiting = true;
                m_host.SourceWaitBegin(*this);
            }
            std::string error;
            std::unique_ptr<ZPHLink::Link> link = OpenLink(settings, m_waker, error);
            if (!link) {
                if (error != "cancelled")
                    Log("cannot connect to " + Describe(settings) + ": " + error);
                Pause(reconnectMs);
                continue;
            }
            if (waiting) {
                waiting = false;
                m_host.SourceWaitEnd(*this);
            }
            Log("connected to " + Describe(settings));
            const SessionEnd end = RunSession(*link, settings);
            const std::string why = link->GetError();
            link.reset();
            OnLinkClosed();
            {
                std::lock_guard guard(m_lock);
                m_loggedIn = false;
                m_outbound.clear();
                m_outboundBytes = 0;
            }
            SetState(FEED_DEAD);
            if (end == SessionEnd::STOPPED)
                break;
            if (end == SessionEnd::LOST) {
                Log("connection lost: " + (why.empty() ? std::string("no answer to the login") : why));
                Pause(reconnectMs);
            } else if (end == SessionEnd::LOGIN_FAILED) {
                // No dialling again on our own: a refused login stays refused
                // until the client asks for a retry.
                std::unique_lock lock(m_lock);
                m_wake.wait(lock, [&] { return m_stop || m_retry; });
                if (!m_stop)
                    m_wake.wait_for(lock, std::chrono::milliseconds(reconnectMs), [&] { return m_stop; });
            }
        }
        if (waiting)
            m_host.SourceWaitEnd(*this);
        SetState(FEED_DEAD);
        std::lock_guard guard(m_lock);
        // A call-back may have asked to connect again meanwhile.
        if (m_stop) {
            m_active = false;
            m_running = false;
            m_wake.notify_all();
            return;
        }
    }
}

bool ZPHSource::SendLogin(ZPHLink::Link& link, const std::string& nonce, const SourceSettings& settings)
{
    ZPHMessage login(MSG_LOGIN, 0, 0);
    login.AddField(F_PROTOCOL, PROTOCOL_VERSION);
    login.AddField(F_SOURCE_KIND, m_kind);
    login.AddField(F_HOST_NAME, m_host.SourceHostName());
    login.AddField(F_CLIENT_VERSION, m_host.SourceClientVersion());
    AddLoginFields(login, nonce, settings);
    std::string text;
    if (!Encode(login, text)) {
        Log("the login cannot be sent (a name holds a control character)");
        return false;
    }
    return link.Write(text.data(), text.size());
}

bool ZPHSource::Flush(ZPHLink::Link& link)
{
    std::deque<std::string> queue;
    {
        std::lock_guard guard(m_lock);
        queue.swap(m_outbound);
        m_outboundBytes = 0;
    }
    for (const std::string& text : queue) {
        if (!link.Write(text.data(), text.size()))
            return false;
    }
    return true;
}

ZPHSource::SessionEnd ZPHSource::RunSession(ZPHLink::Link& link, const SourceSettings& settings)
{
    {
        std::lock_guard guard(m_lock);
        m_connectTime = Now();
        m_feedTime.clear();
        m_outbound.clear();
        m_outboundBytes = 0;
    }
    m_packets = 0;
    m_badPackets = 0;
    m_maxDelay = 0;
    FrameReader reader;
    bool loginSent = false;
    if (!WaitsForGreeting()) {
        if (!SendLogin(link, std::string(), settings))
            return SessionEnd::LOST;
        loginSent = true;
    }
    auto loginDeadline = Clock::now() + std::chrono::milliseconds(LOGIN_TIMEOUT_MS);
    auto lastData = Clock::now();
    const auto staleAfter = std::chrono::seconds(settings.timeoutSeconds);
    std::unique_ptr<char[]> buffer(new char[READ_BUFFER]);

    for (;;) {
        {
            std::lock_guard guard(m_lock);
            if (m_stop)
                return SessionEnd::STOPPED;
            if (m_retry) {
                m_retry = false;
                return SessionEnd::RETRY;
            }
        }
        if (m_loggedIn && !Flush(link))
            return SessionEnd::LOST;

        int waitMs = 1000;
        if (!m_loggedIn)
            waitMs = std::min(waitMs, MillisUntil(loginDeadline));
        if (m_state == FEED_LIVE && settings.timeoutSeconds > 0)
            waitMs = std::min(waitMs, MillisUntil(lastData + staleAfter));
        const int n = link.Read(buffer.get(), READ_BUFFER, std::max(waitMs, 1));
        if (n < 0)
            return SessionEnd::LOST;
        if (n > 0) {
            reader.Append(buffer.get(), static_cast<std::size_t>(n));
            bool data = false;
            std::string_view frame;
            const char* reason = nullptr;
            for (FrameReader::Result result; (result = reader.Next(frame, reason)) != FrameReader::NEED_MORE;) {
                if (result == FrameReader::BAD) {
                    ++m_badPackets;
                    LogBad(reason);
                    continue;
                }
                ZPHMessage msg;
                std::string error;
                if (!Decode(frame, msg, &error)) {
                    ++m_badPackets;
                    LogBad(error);
                    continue;
                }
                data = true;
                if (!Handle(link, msg, settings, loginSent)) {
                    m_host.SourceDispatch();
                    return SessionEnd::LOGIN_FAILED;
                }
            }
            m_host.SourceDispatch();
            if (data) {
                lastData = Clock::now();
                if (m_loggedIn && m_state != FEED_LIVE)
                    SetState(FEED_LIVE);
            }
        }
        const auto now = Clock::now();
        if (!m_loggedIn && now >= loginDeadline) {
            if (!ResendsLogin())
                return SessionEnd::LOST;
            if (!SendLogin(link, std::string(), settings))
                return SessionEnd::LOST;
            loginDeadline = now + std::chrono::milliseconds(LOGIN_TIMEOUT_MS);
        }
        if (m_state == FEED_LIVE && settings.timeoutSeconds > 0 && now - lastData >= staleAfter)
            SetState(FEED_STALE);
    }
}

bool ZPHSource::Handle(ZPHLink::Link& link, ZPHMessage& msg, const SourceSettings& settings, bool& loginSent)
{
    switch (msg.m_type) {
    case MSG_GREETING:
        if (!loginSent && WaitsForGreeting()) {
            const char* nonce = msg.GetValue(F_NONCE);
            loginSent = SendLogin(link, nonce != nullptr ? nonce : "", settings);
        }
        break;
    case MSG_WELCOME: {
        std::lock_guard guard(m_lock);
        m_loggedIn = true;
        for (int page : m_pendingPages) {
            std::string text = Encode(ZPHMessage(MSG_PAGE_REQUEST, page, 0));
            m_outboundBytes += text.size();
            m_outbound.push_back(std::move(text));
        }
        m_pendingPages.clear();
        break;
    }
    case MSG_TIME: {
        std::int64_t sent = 0;
        if (msg.GetInt64(F_SEND_TIME, sent)) {
            const long delay = static_cast<long>(std::max<long long>(0, (MicrosSinceEpoch() - sent) / 1000));
            long seen = m_maxDelay;
            while (delay > seen && !m_maxDelay.compare_exchange_weak(seen, delay)) {
            }
            msg.SetField(F_DELAY, std::to_string(delay));
        }
        std::string connectTime;
        {
            std::lock_guard guard(m_lock);
            const char* feedTime = msg.GetValue(F_FEED_TIME);
            m_feedTime = feedTime != nullptr ? feedTime : "";
            connectTime = m_connectTime;
        }
        msg.SetField(F_CONNECT_TIME, connectTime);
        msg.SetField(F_PACKETS, std::to_string(m_packets + 1));
        msg.SetField(F_BAD_PACKETS, std::to_string(m_badPackets.load()));
        msg.SetField(F_MAX_DELAY, std::to_string(m_maxDelay.load()));
        break;
    }
    default:
        break;
    }
    if (!m_host.HandleInbound(*this, msg)) {
        ++m_badPackets;
        LogBad(std::string("message '") + msg.m_type + "' for page " + std::to_string(msg.m_page) + ", line " +
               std::to_string(msg.m_line) + " does not apply");
        return true;
    }
    ++m_packets;
    if (msg.m_type == MSG_WELCOME) {
        const char* user = msg.GetValue(F_USER);
        Log(std::string("logged in") + (user != nullptr && *user ? std::string(" as ") + user : std::string()));
    }
    if (msg.m_type == MSG_LOGIN_FAILED) {
        const char* reason = msg.GetValue(F_REASON);
        Log(std::string("login refused") + (reason != nullptr && *reason ? std::string(": ") + reason : std::string()));
        m_host.SourceLoginFailed(*this, reason != nullptr && *reason ? reason : nullptr);
        return false;
    }
    return true;
}

} // namespace ZPH
