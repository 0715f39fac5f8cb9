// CController: the feed controller of the feed-source library, a
// ZPHController with sources. The client derives its own controller from it
// and overrides the call-backs below; they run on the source's worker
// thread, so an override only copies data or posts it to its own thread.
// Call-backs may call back into the controller and the active source
// (Retry, Disconnect, RequestPage, Clear ...) without deadlock.
//
// Sources: one per connection (primary, backup) and kind, made on first use
// and kept for the controller's life, so a source pointer stays valid. The
// active source is the one the settings select: the primary connection's
// kind while "Failover" is 0, the backup's while it is 1. Events of sources
// that are not active are not reported.
//
// Before its own destructor ends, a derived controller calls Shutdown(), so
// that no call-back reaches a half-destroyed object.
//
// Thread-safety: every public member from any thread. LoadFeedSettings
// while a source is connected disconnects the sources it replaces.
#pragma once

#include "zph/FeedState.h"
#include "zph/ZPHController.h"
#include "zphsource/Source.h"
#include "zphsource/SourceSettings.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace ZPH {

class CController : public ZPHController, public SourceHost {
public:
    CController();
    ~CController() override;

    // Call-backs, in this order.
    // major * 100 + minor of the client's version; sent with the login.
    virtual int GetClientVersion();
    // A notice from the feed ('O').
    virtual void OnFeedNotice(int value);
    // A line for the source log: connects, logins, losses.
    virtual void OnSourceLog(const char* text);
    // A line for the source log about an error (bad packets, while logging
    // is on); code is 0 or a system error number. Calls the first by default.
    virtual void OnSourceLog(int code, const char* text);
    // New page permissions arrived (already in force).
    virtual void OnPermissionsLoaded();
    // The login was refused; reason is null when the feed gave none. The
    // link is closed; the source waits for Retry or Disconnect.
    virtual void OnLoginFailed(const char* reason);
    // A page's title arrived (GetLineCache().GetPage(page)).
    virtual void OnPageTitle(int page);
    // The active source's feed state changed.
    virtual void OnFeedState(FeedState state);
    // The active source begins / ends trying to connect.
    virtual void OnWaitBegin();
    virtual void OnWaitEnd();
    // True when each line update should be logged.
    virtual bool IsLineLogging();
    // The user's and the computer's names (sent with the login); by default
    // the system's, read once.
    virtual const char* GetUserName();
    virtual const char* GetHostName();
    // A notification text ('N'); '|' marks line breaks.
    virtual void OnNotification(const char* text);

    // Reads "FeedSource", "Failover" and the kind sections of both
    // connections from the "Controller" section (the backup's below its
    // "Backup" subsection) and selects the active source. The machine string
    // decodes the stored database password. True when the section is open.
    bool LoadFeedSettings(Brindle::CRegSection& section, const char* machine);
    // Writes them back (both connections, "Failover" included).
    bool SaveFeedSettings(Brindle::CRegSection& section, const char* machine);

    // The active source (never null).
    ZPHSource* GetSource() const { return m_active.load(); }
    // The source of a connection (ROLE_PRIMARY or ROLE_BACKUP) and kind
    // (1..3), made when first asked for; null for an invalid kind or role.
    ZPHSource* GetSource(int role, int kind);
    // 0 while the primary connection is selected, 1 for the backup.
    int GetFailover() const { return m_failover; }
    SourceSettings GetSourceSettings(int role) const;
    // Selects the connection and applies settings without the registry.
    void SetSourceSettings(int role, const SourceSettings& settings);
    void SetFailover(int failover);

    // Defaults of the database source, used where its settings have none.
    std::string m_defaultHost = "localhost";
    int m_defaultPort = ZPHWire::DEFAULT_DATABASE_PORT;
    std::string m_defaultUser;

    // Disconnects every source and waits for their workers.
    void Shutdown();

    // ---- the host of the sources, on their workers
    bool HandleInbound(ZPHSource& source, ZPHMessage& msg) override;
    void SourceDispatch() override { Dispatch(); }
    bool SourceLogging() override { return IsLogging(); }
    void SourceLog(ZPHSource& source, const char* text) override;
    void SourceError(ZPHSource& source, int code, const char* text) override;
    void SourceFeedState(ZPHSource& source, int state) override;
    void SourceWaitBegin(ZPHSource& source) override;
    void SourceWaitEnd(ZPHSource& source) override;
    void SourceLoginFailed(ZPHSource& source, const char* reason) override;
    const char* SourceUserName() override { return GetUserName(); }
    const char* SourceHostName() override { return GetHostName(); }
    int SourceClientVersion() override { return GetClientVersion(); }

private:
    bool IsActive(const ZPHSource& source) const { return &source == m_active.load(); }
    std::unique_ptr<ZPHSource> MakeSource(int role, int kind);
    void SelectActive();

    mutable std::mutex m_sourceLock;
    std::array<std::array<std::unique_ptr<ZPHSource>, 4>, 2> m_sources;
    std::array<SourceSettings, 2> m_settings;
    std::atomic<int> m_failover{0};
    std::atomic<ZPHSource*> m_active{nullptr};
    std::atomic<ZPHSource*> m_waiting{nullptr};  // the source whose wait the client was told of

    std::once_flag m_namesRead;
    std::string m_userName;
    std::string m_hostName;
};

} // namespace ZPH
