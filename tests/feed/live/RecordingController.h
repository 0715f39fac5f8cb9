// A CController that records every call-back, for the tests, and lets a
// test wait (with a generous time-out) until something has happened.
#pragma once

#include "zph/ZPHKey.h"
#include "zphsource/Controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

using namespace ZPH;

namespace feedtest {

class RecordingController : public CController {
public:
    ~RecordingController() override { Shutdown(); }

    std::string user = "trader1";

    int GetClientVersion() override { return 141; }
    const char* GetUserName() override { return user.c_str(); }
    void OnFeedNotice(int value) override { Record([&] { notices.push_back(value); }); }
    void OnSourceLog(const char* text) override { Record([&] { log.push_back(text); }); }
    void OnSourceLog(int, const char* text) override { Record([&] { errors.push_back(text); }); }
    void OnPermissionsLoaded() override { Record([&] { ++permissionsLoaded; }); }
    void OnLoginFailed(const char* reason) override
    {
        std::function<void()> then;
        Record([&] {
            loginFailures.push_back(reason == nullptr ? "<none>" : reason);
            then = onLoginFailed;
        });
        if (then)
            then();
    }
    void OnPageTitle(int page) override { Record([&] { titles.push_back(page); }); }
    void OnFeedState(ZPH::FeedState named) override
    {
        const int state = ZPH::WireValue(named);
        std::function<void(int)> then;
        Record([&] {
            states.push_back(state);
            then = onFeedState;
        });
        if (then)
            then(state);
    }
    void OnWaitBegin() override { Record([&] { ++waitBegins; }); }
    void OnWaitEnd() override { Record([&] { ++waitEnds; }); }
    void OnNotification(const char* text) override { Record([&] { notifications.push_back(text); }); }

    // Waits until pred() holds (checked under the record lock at every
    // call-back and every 20 ms); false after the time-out.
    bool WaitFor(const std::function<bool()>& pred, std::chrono::seconds timeout = std::chrono::seconds(60))
    {
        std::unique_lock lock(m_lock);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            m_changed.wait_for(lock, std::chrono::milliseconds(20));
        }
        return true;
    }
    // Waits for the active source's feed state.
    bool WaitState(int state, std::chrono::seconds timeout = std::chrono::seconds(60))
    {
        return WaitFor([&] { return GetSource()->GetFeedState() == state && !states.empty() && states.back() == state; },
                       timeout);
    }
    // Waits until the cached line is there and pred (if any) holds for it.
    bool WaitLine(int page, int line, const std::function<bool(const LineObject&)>& pred = nullptr)
    {
        return WaitFor([&] {
            LineRef ref = GetLineCache().GetForRead(CreateZPHKey(page, line));
            return ref && (!pred || pred(*ref));
        });
    }
    // Asks for a page and waits for its first line.
    bool LoadPage(int page)
    {
        GetSource()->RequestPage(page);
        return WaitLine(page, 1);
    }
    // True when a source log line holds `part` (under the record lock, as
    // in WaitFor).
    bool Logged(const std::string& part) const
    {
        return std::any_of(log.begin(), log.end(),
                           [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }
    // Makes `settings` the primary connection and dials it; what Connect
    // said.
    bool Dial(const SourceSettings& settings, int reconnectMs = 200)
    {
        SetSourceSettings(ROLE_PRIMARY, settings);
        GetSource()->SetReconnectDelay(reconnectMs);
        return GetSource()->Connect();
    }
    // Runs f under the record lock (for reading or setting the records).
    template <typename F>
    auto Locked(F&& f)
    {
        std::lock_guard guard(m_lock);
        return f();
    }

    std::vector<int> notices, titles, states;
    std::vector<std::string> log, errors, loginFailures, notifications;
    int permissionsLoaded = 0, waitBegins = 0, waitEnds = 0;
    // Extra actions of the call-backs; set them under Locked.
    std::function<void()> onLoginFailed;
    std::function<void(int)> onFeedState;

private:
    template <typename F>
    void Record(F&& f)
    {
        {
            std::lock_guard guard(m_lock);
            f();
        }
        m_changed.notify_all();
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
};

// The keys and messages the controller dispatched to its clients.
class FeedRecorder : public KeyClient, public MsgClient {
public:
    void OnKeyUpdate(unsigned key) override
    {
        std::lock_guard guard(lock);
        keys.insert(key);
    }
    void OnMessage(ZPHMessage* msg, unsigned) override
    {
        std::lock_guard guard(lock);
        messages.push_back(*msg);
    }
    bool Saw(unsigned key)
    {
        std::lock_guard guard(lock);
        return keys.count(key) > 0;
    }
    void ForgetKeys()
    {
        std::lock_guard guard(lock);
        keys.clear();
    }
    std::vector<ZPHMessage> OfType(char type)
    {
        std::lock_guard guard(lock);
        std::vector<ZPHMessage> found;
        for (auto& m : messages)
            if (m.m_type == type)
                found.push_back(m);
        return found;
    }
    std::mutex lock;
    std::set<unsigned> keys;
    std::vector<ZPHMessage> messages;
};

// Socket settings for a server on this machine.
inline SourceSettings SocketTo(int port, int timeoutSeconds = 20)
{
    SourceSettings s;
    s.kind = ZPHWire::SOURCE_SOCKET;
    s.socketHost = "127.0.0.1";
    s.socketPort = port;
    s.timeoutSeconds = timeoutSeconds;
    return s;
}

} // namespace feedtest
