// ZPHController: the feed controller, one per process (m_instance). It owns
// the line cache, the user's level, order-entry flag and page permissions,
// the reference counts of the lines that windows show, and the lists of
// feed clients; it applies inbound messages and calls the clients.
//
// A derived class (the feed-source library's CController) connects it to a
// source; the feed's messages reach it through ApplyMessage, DispatchMessage
// and Dispatch, on the source's thread.
//
// Thread-safety: every public member from any thread. Call-backs to clients
// run on the thread that calls Dispatch/DispatchMessage (a feed thread, or
// the caller's own for its Dispatch), never under a lock of the controller.
#pragma once

#include "zph/ClientList.h"
#include "zph/Clients.h"
#include "zph/LineCache.h"
#include "zph/ZPHKey.h"
#include "zph/ZPHMessage.h"

#include <array>
#include <atomic>
#include <bitset>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace Brindle {
class CRegSection;
}

namespace ZPH {

// Reference counts of lines: windows that show a line hold a reference.
class RefCounter {
public:
    virtual ~RefCounter() = default;
    // Adds one reference; returns the new count (0 for an invalid key).
    virtual int AddRef(unsigned key) = 0;
    // Drops one reference, never below 0; returns the new count.
    virtual int Release(unsigned key) = 0;
    virtual int RefCount(int page, int line) const = 0;
};

class ZPHController : public RefCounter {
public:
    // The one controller of the process, or null.
    static ZPHController* GetInstance() { return m_instance; }

    // Throws Brindle::CException when a controller exists already.
    ZPHController();
    ~ZPHController() override;
    ZPHController(const ZPHController&) = delete;
    ZPHController& operator=(const ZPHController&) = delete;

    // The lines and pages of the feed. The cache is thread-safe itself.
    LineCache& GetLineCache() { return m_lineCache; }
    const LineCache& GetLineCache() const { return m_lineCache; }
    // The user's level (999: full view); set by the feed at login. Any thread.
    int GetUserLevel() const { return m_userLevel.load(); }
    void SetUserLevel(int level) { m_userLevel = level; }

    // True when the user may enter orders; set by the feed at login. Any thread.
    bool GetOrderEntry() const { return m_orderEntry.load(); }
    // When set, the client wants the source retried after a failed login. Any thread.
    bool GetRetryLogin() const { return m_retryLogin.load(); }
    void SetRetryLogin(bool retry) { m_retryLogin = retry; }

    // RefCounter. The first reference to a line calls RequestObject, the
    // last release ReleaseObject (on the caller's thread).
    int AddRef(unsigned key) override;
    int Release(unsigned key) override;
    int RefCount(int page, int line) const override;

    // Hooks around reference counts; the defaults do nothing.
    virtual void RequestObject(unsigned key);
    virtual void ReleaseObject(unsigned key);
    // Settings of the controller in the client's "Controller" section: the
    // last page permissions received ("Permissions"), so that page checks
    // work before the feed is reached. The machine string is not needed
    // here; derived controllers may use it. True when read or written.
    virtual bool LoadSettings(Brindle::CRegSection& section, const char* machine);
    virtual bool SaveSettings(Brindle::CRegSection& section, const char* machine);
    // A user message ('U'): takes the user level and order-entry flag it
    // carries. Called on the feed thread.
    virtual void OnLoadUsersMessage(const ZPHMessage& msg);
    // The feed's acceptance of the login ('W'): takes the user level and
    // order-entry flag it carries. Called on the feed thread.
    virtual void OnFeedSettings(const ZPHMessage& msg);

    // Queues a changed line's key; Dispatch calls every key client once per
    // queued key (a key queued twice before Dispatch is called once).
    void AddDispatch(unsigned key);
    void Dispatch();

    bool Register(KeyClient* client);
    bool Unregister(KeyClient* client);
    bool Register(MsgClient* client, bool flag);
    bool Unregister(MsgClient* client, bool flag);
    bool Register(TimestampClient* client);
    bool Unregister(TimestampClient* client);

    // True when the user may see the page.
    bool GetPermission(int page) const;
    // Sets permissions from the wire form: one '0'/'1' per page from page 1.
    // False (nothing changed) for any other character or more than 300.
    bool SetPermissions(std::string_view text);
    std::string GetPermissionText() const;

    // The library's own logging (bad packets and the like) on or off.
    void SetLogging(bool on) { m_logging = on; }
    bool IsLogging() const { return m_logging; }

    // Empties the line cache and tells the key clients of every line that went.
    void Clear();

    // Feed side. Applies one inbound message: line data to the cache (and
    // queues the changed keys), titles and counts to the pages, permissions,
    // the user's level. False when the message is bad (nothing applied).
    bool ApplyMessage(const ZPHMessage& msg);
    // Calls the message clients with one inbound message, and for a feed
    // time the timestamp clients.
    void DispatchMessage(ZPHMessage& msg);

    // Call-backs that threw, over all client lists.
    unsigned long GetClientFailures() const;

    static bool IsLineData(char type);

private:
    static int SlotOf(unsigned key);

    static ZPHController* m_instance;
    LineCache m_lineCache;
    std::atomic<int> m_userLevel{0};
    std::atomic<bool> m_orderEntry{false};
    std::atomic<bool> m_retryLogin{false};

    std::array<std::atomic<int>, ZPHWire::MAX_PAGE * ZPHWire::MAX_LINE> m_refs{};

    std::mutex m_pendingLock;
    std::vector<unsigned> m_pending;
    std::vector<bool> m_pendingMark;

    ClientList<KeyClient> m_keyClients;
    ClientList<MsgClient> m_msgClients;
    ClientList<TimestampClient> m_timeClients;

    mutable std::mutex m_permissionLock;
    std::bitset<ZPHWire::MAX_PAGE + 1> m_permissions;

    std::atomic<bool> m_logging{false};
};

} // namespace ZPH
