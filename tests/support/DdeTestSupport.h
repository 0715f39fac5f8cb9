// Helpers for the DDE tests: a private socket directory per test, a server
// instance that runs on its own thread with a scripted call-back, and a
// client instance owned by the test's thread that records what it hears.
#pragma once

#include "Platform/dde/Ddeml.h"

#include "Eventually.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ddetest {

// Points XDG_RUNTIME_DIR at a fresh directory for the test.
class ScopedRuntimeDir {
public:
    std::string SocketDir() const { return m_dir.str() + "/brindle-dde"; }

private:
    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_env {"XDG_RUNTIME_DIR", m_dir.str()};
};

// One call-back as an instance heard it.
struct Heard {
    UINT type = 0;
    UINT format = 0;
    HCONV conv = nullptr;
    std::string hsz1;
    std::string hsz2;
    std::string data;
    bool hasData = false;
    ULONG_PTR data1 = 0;
    ULONG_PTR data2 = 0;
};

// The call-back of every test instance: finds its handler by instance.
using Handler = std::function<HDDEDATA(const Heard&, DWORD idInst)>;

inline std::mutex& HandlerLock()
{
    static std::mutex lock;
    return lock;
}
inline std::map<DWORD, Handler>& Handlers()
{
    static std::map<DWORD, Handler> handlers;
    return handlers;
}

inline std::string Text(DWORD inst, HSZ hsz)
{
    if (hsz == nullptr)
        return {};
    char buffer[300] = {};
    DdeQueryString(inst, hsz, buffer, sizeof buffer, CP_WINANSI);
    return buffer;
}

inline HDDEDATA CALLBACK_Dispatch(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                  ULONG_PTR data1, ULONG_PTR data2)
{
    const DWORD inst = DdeGetCallbackInstance();
    Heard heard;
    heard.type = type;
    heard.format = format;
    heard.conv = conv;
    heard.hsz1 = Text(inst, hsz1);
    heard.hsz2 = Text(inst, hsz2);
    heard.data1 = data1;
    heard.data2 = data2;
    if (data != nullptr && type != XTYP_CONNECT && type != XTYP_WILDCONNECT) {
        DWORD size = 0;
        if (LPBYTE bytes = DdeAccessData(data, &size)) {
            heard.data.assign(reinterpret_cast<const char*>(bytes), size);
            heard.hasData = true;
            DdeUnaccessData(data);
        }
    }
    Handler handler;
    {
        std::lock_guard guard(HandlerLock());
        auto found = Handlers().find(inst);
        if (found != Handlers().end())
            handler = found->second;
    }
    return handler ? handler(heard, inst) : nullptr;
}

inline HDDEDATA TextData(DWORD inst, const std::string& text, HSZ item, UINT flags = 0)
{
    return DdeCreateDataHandle(inst, reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str())),
                               static_cast<DWORD>(text.size() + 1), 0, item, CF_TEXT, flags);
}

// DDE answers come in milliseconds: asked often.
template <typename Pred>
bool Eventually(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    return testsupport::Eventually(pred, limit, std::chrono::milliseconds(2));
}

// A DDE server on its own thread. Its values are a map of "topic!item" to
// text; topics in `refused` are refused at connect. Everything it hears is
// recorded. Run executes a function on the server's thread.
class ServerThread {
public:
    explicit ServerThread(std::string service, DWORD flags = CBF_FAIL_SELFCONNECTIONS)
        : m_service(std::move(service))
    {
        std::promise<void> ready;
        auto started = ready.get_future();
        m_thread = std::thread([this, flags, &ready] {
            UINT result = DdeInitialize(&m_inst, CALLBACK_Dispatch, flags, 0);
            m_initResult = result;
            if (result == DMLERR_NO_ERROR) {
                {
                    std::lock_guard guard(HandlerLock());
                    Handlers()[m_inst] = [this](const Heard& heard, DWORD inst) { return OnCallback(heard, inst); };
                }
                m_hszService = DdeCreateStringHandle(m_inst, m_service.c_str(), CP_WINANSI);
                m_registered = DdeNameService(m_inst, m_hszService, nullptr, DNS_REGISTER) != nullptr;
            }
            ready.set_value();
            Loop();
        });
        started.wait();
    }
    ~ServerThread() { Stop(); }

    void Stop()
    {
        if (!m_thread.joinable())
            return;
        Run([this] {
            DdeUninitialize(m_inst);
            std::lock_guard guard(HandlerLock());
            Handlers().erase(m_inst);
        });
        m_stop = true;
        m_thread.join();
    }

    bool Ok() const { return m_initResult == DMLERR_NO_ERROR && m_registered; }
    DWORD Inst() const { return m_inst; }

    // Names match in any case, as DDE string handles do.
    void Set(const std::string& topicItem, const std::string& value)
    {
        std::lock_guard guard(m_lock);
        m_values[Upper(topicItem)] = value;
    }
    void Refuse(const std::string& topic)
    {
        std::lock_guard guard(m_lock);
        m_refused.push_back(topic);
    }
    void SetPokeAnswer(UINT answer) { m_pokeAnswer = answer; }
    void SetWildPair(const std::string& topic)
    {
        std::lock_guard guard(m_lock);
        m_wildTopic = topic;
    }
    // While held the server's thread runs no call-backs; returns once the
    // server's thread has taken the change.
    void Hold(bool hold)
    {
        Run([this, hold] { m_hold = hold; });
    }

    // Runs fn on the server thread and waits for it.
    void Run(std::function<void()> fn)
    {
        std::packaged_task<void()> task(std::move(fn));
        auto done = task.get_future();
        {
            std::lock_guard guard(m_lock);
            m_tasks.push_back(std::move(task));
        }
        done.wait();
    }

    BOOL Post(const std::string& topic, const std::string& item)
    {
        BOOL result = FALSE;
        Run([&] {
            HSZ t = topic.empty() ? nullptr : DdeCreateStringHandle(m_inst, topic.c_str(), CP_WINANSI);
            HSZ i = item.empty() ? nullptr : DdeCreateStringHandle(m_inst, item.c_str(), CP_WINANSI);
            result = DdePostAdvise(m_inst, t, i);
            if (t)
                DdeFreeStringHandle(m_inst, t);
            if (i)
                DdeFreeStringHandle(m_inst, i);
        });
        return result;
    }

    // In one task of the server thread, so nothing else runs between them:
    // "topic!item" takes the values 1..posts, each posted as it is set.
    void PostNumbered(const std::string& topic, const std::string& item, int posts)
    {
        Run([&] {
            HSZ t = DdeCreateStringHandle(m_inst, topic.c_str(), CP_WINANSI);
            HSZ i = DdeCreateStringHandle(m_inst, item.c_str(), CP_WINANSI);
            for (int n = 1; n <= posts; ++n) {
                Set(topic + "!" + item, std::to_string(n));
                DdePostAdvise(m_inst, t, i);
            }
            DdeFreeStringHandle(m_inst, t);
            DdeFreeStringHandle(m_inst, i);
        });
    }

    std::vector<Heard> Heard_() const
    {
        std::lock_guard guard(m_lock);
        return m_heard;
    }
    std::size_t Count(UINT type) const
    {
        std::lock_guard guard(m_lock);
        std::size_t n = 0;
        for (const auto& h : m_heard)
            n += h.type == type;
        return n;
    }

private:
    static std::string Upper(std::string text)
    {
        for (char& c : text)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    }

    void Loop()
    {
        while (!m_stop) {
            std::vector<std::packaged_task<void()>> tasks;
            {
                std::lock_guard guard(m_lock);
                tasks.swap(m_tasks);
            }
            for (auto& task : tasks)
                task();
            if (m_stop)
                break;
            if (m_hold || m_initResult != DMLERR_NO_ERROR) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            DdeProcessPending(m_inst, 5);
        }
    }

    HDDEDATA OnCallback(const Heard& heard, DWORD inst)
    {
        {
            std::lock_guard guard(m_lock);
            m_heard.push_back(heard);
        }
        switch (heard.type) {
        case XTYP_CONNECT: {
            std::lock_guard guard(m_lock);
            for (const auto& topic : m_refused) {
                if (topic == heard.hsz1)
                    return nullptr;
            }
            return reinterpret_cast<HDDEDATA>(TRUE);
        }
        case XTYP_WILDCONNECT: {
            std::lock_guard guard(m_lock);
            if (m_wildTopic.empty())
                return nullptr;
            HSZPAIR pairs[2] = {{m_hszService, DdeCreateStringHandle(inst, m_wildTopic.c_str(), CP_WINANSI)},
                                {nullptr, nullptr}};
            return DdeCreateDataHandle(inst, reinterpret_cast<LPBYTE>(pairs), sizeof pairs, 0, nullptr, 0, 0);
        }
        case XTYP_ADVSTART:
            return reinterpret_cast<HDDEDATA>(heard.format == CF_TEXT ? TRUE : FALSE);
        case XTYP_REQUEST:
        case XTYP_ADVREQ: {
            std::string value;
            {
                std::lock_guard guard(m_lock);
                auto found = m_values.find(Upper(heard.hsz1 + "!" + heard.hsz2));
                if (found == m_values.end())
                    return nullptr;
                value = found->second;
            }
            HSZ item = DdeCreateStringHandle(inst, heard.hsz2.c_str(), CP_WINANSI);
            HDDEDATA data = TextData(inst, value, item);
            DdeFreeStringHandle(inst, item);
            return data;
        }
        case XTYP_POKE:
        case XTYP_EXECUTE:
            return reinterpret_cast<HDDEDATA>(static_cast<std::uintptr_t>(m_pokeAnswer.load()));
        default:
            return nullptr;
        }
    }

    std::string m_service;
    DWORD m_inst = 0;
    HSZ m_hszService = nullptr;
    UINT m_initResult = DMLERR_SYS_ERROR;
    bool m_registered = false;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_hold{false};
    std::atomic<UINT> m_pokeAnswer{DDE_FACK};
    mutable std::mutex m_lock;
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_refused;
    std::string m_wildTopic;
    std::vector<Heard> m_heard;
    std::vector<std::packaged_task<void()>> m_tasks;
    std::thread m_thread;
};

// A client instance owned by the calling thread.
class Client {
public:
    explicit Client(DWORD flags = APPCMD_CLIENTONLY)
    {
        EXPECT_EQ(DdeInitialize(&m_inst, CALLBACK_Dispatch, flags, 0), DMLERR_NO_ERROR);
        std::lock_guard guard(HandlerLock());
        Handlers()[m_inst] = [this](const Heard& heard, DWORD) {
            m_heard.push_back(heard);
            return reinterpret_cast<HDDEDATA>(static_cast<std::uintptr_t>(DDE_FACK));
        };
    }
    ~Client()
    {
        DdeUninitialize(m_inst);
        std::lock_guard guard(HandlerLock());
        Handlers().erase(m_inst);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    DWORD Inst() const { return m_inst; }
    HSZ Str(const std::string& text) { return DdeCreateStringHandle(m_inst, text.c_str(), CP_WINANSI); }

    HCONV Connect(const std::string& service, const std::string& topic)
    {
        return DdeConnect(m_inst, service.empty() ? nullptr : Str(service), topic.empty() ? nullptr : Str(topic),
                          nullptr);
    }
    // The requested text, or nullopt-like "\x01" marker on failure.
    bool Request(HCONV conv, const std::string& item, std::string& value, DWORD timeout = 20000)
    {
        HDDEDATA data = DdeClientTransaction(nullptr, 0, conv, Str(item), CF_TEXT, XTYP_REQUEST, timeout, nullptr);
        if (data == nullptr)
            return false;
        DWORD size = DdeGetData(data, nullptr, 0, 0);
        std::string bytes(size, '\0');
        DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), size, 0);
        DdeFreeDataHandle(data);
        if (!bytes.empty() && bytes.back() == '\0')
            bytes.pop_back();
        value = bytes;
        return true;
    }
    bool Advise(HCONV conv, const std::string& item, UINT type = XTYP_ADVSTART)
    {
        return DdeClientTransaction(nullptr, 0, conv, Str(item), CF_TEXT, type, 20000, nullptr) != nullptr;
    }
    // Runs call-backs until pred holds (or a generous limit passes).
    template <typename Pred>
    bool PumpUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(30))
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            DdeProcessPending(m_inst, 10);
        }
        return true;
    }
    std::size_t Count(UINT type) const
    {
        std::size_t n = 0;
        for (const auto& h : m_heard)
            n += h.type == type;
        return n;
    }
    std::vector<Heard> m_heard;

private:
    DWORD m_inst = 0;
};

} // namespace ddetest
