// CDDEServer: MAVO's DDE server, service "MAVO", with the topics and items
// of DdeItems.h. Display-free: the DDE window owns one, shows its log
// entries, ticks its groups and wakes it on the window thread.
//
// Start (window thread) refuses with "DDEServer instantiated" when a server
// runs in the process and with "Cannot initialize DDE" when DDE refuses
// (both as Brindle::CException); otherwise it registers the service, logs
// "DDE Server Initialized, servername = MAVO" and listens to the feed as a
// message client, registered with true and with false. Stop undoes all of
// it: leaves the feed, frees every string handle, unregisters the service
// and closes DDE. The destructor stops a running server.
//
// The DDE call-back runs on the window thread (ProcessDde, and while
// advises are posted) and answers by transaction: connects are accepted for
// any readable topic and service, advise loops only in plain text, requests
// and advise requests with the value and its terminating zero (nothing when
// there is no value); pokes, executes, advise data, wild connects and
// transaction completions are logged and not processed; errors,
// registrations of other services and monitor events are logged. Every
// thousandth call-back is logged, and every thousandth advise post.
//
// Feed messages (OnMessage, on a feed thread) only add to the pending
// updates of CDdeUpdates; its wake function tells the window, which calls
// ProcessUpdates on its own thread to post the advises.
//
// Thread-safety: OnMessage from any thread; everything else from the
// window thread that started the server.
#pragma once

#include "core/DdeUpdates.h"
#include "core/FeedLibrary.h"
#include "zph/Clients.h"

#include "Platform/dde/Ddeml.h"

#include <atomic>
#include <functional>
#include <string>
#include <unordered_map>

namespace ZPH {
class ZPHController;
} // namespace ZPH

namespace mavo {

class CDDEServer : public MsgClient {
public:
    using LogFn = std::function<void(const std::string&)>;

    static constexpr const char* kServiceName = "MAVO";

    // log: each log entry, on the window thread; wake: updates wait (called
    // on a feed thread, once per batch).
    CDDEServer(ZPHController& controller, LogFn log, std::function<void()> wake);
    ~CDDEServer() override;
    CDDEServer(const CDDEServer&) = delete;
    CDDEServer& operator=(const CDDEServer&) = delete;

    void Start();
    void Stop();
    bool IsRunning() const { return m_inst != 0; }

    // The groups ("Live Price Data", "History, Trade and Volume Data"), and
    // the "Market Text View" box, which no publishing rule reads.
    void SetLive(bool on) { m_updates.SetLive(on); }
    void SetHistory(bool on) { m_updates.SetHistory(on); }
    void SetMarketText(bool on) { m_marketText = on; }
    bool IsMarketText() const { return m_marketText; }

    // The DDE instance's descriptor, readable while call-backs wait; -1
    // while stopped. The window runs them with ProcessDde.
    int EventFd() const;
    void ProcessDde();
    // Posts the advises of every pending update; drops them while stopped.
    void ProcessUpdates();

    // The value of (topic, item) as a request gets it (a single space for an
    // empty value); false when there is none. A line topic marks its page as
    // asked for.
    bool GetValue(const std::string& topic, const std::string& item, std::string& value);

    // MsgClient: a feed thread.
    void OnMessage(ZPHMessage* msg, unsigned flag) override;

    CDdeUpdates& Updates() { return m_updates; }
    unsigned long CallbackCount() const { return m_callbacks; }
    unsigned long AdvisePostCount() const { return m_advisePosts; }

private:
    static HDDEDATA CALLBACK_Transaction(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                         ULONG_PTR data1, ULONG_PTR data2);
    HDDEDATA OnTransaction(UINT type, UINT format, HSZ hsz1, HSZ hsz2, ULONG_PTR data1, ULONG_PTR data2);
    HDDEDATA ValueData(HSZ topic, HSZ item);
    std::string Text(HSZ hsz) const;
    HSZ Handle(const std::string& text);
    void PostAdvise(const std::string& topic, const std::string& item);
    void Log(const std::string& text);

    // The running server of the process, if any.
    static std::atomic<CDDEServer*> s_running;

    ZPHController& m_controller;
    LogFn m_log;
    CDdeUpdates m_updates;
    std::atomic<bool> m_marketText{false};
    DWORD m_inst = 0;
    HSZ m_service = nullptr;
    std::unordered_map<std::string, HSZ> m_handles;
    unsigned long m_callbacks = 0;
    unsigned long m_advisePosts = 0;
    bool m_registered = false;
};

} // namespace mavo
