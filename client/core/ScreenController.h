// CScreenController: MAVO's feed controller, the feed-source library's
// CController with MAVO's call-backs. The application object makes the one
// instance before any window exists.
//
// Every call-back runs on a feed thread. There it only reads the controller
// and its active source, copies what the main window needs into the
// CFrameLink (status text, source name, the notification's text, the login
// failure's reason) and posts a FrameMessage; all window work (documents,
// panes, dialogs) happens where the main window handles the message. Each
// message carries its own copy of its data, so back-to-back call-backs
// never overwrite each other.
//
// The libraries' own RequestObject, ReleaseObject, LoadSettings,
// SaveSettings, OnLoadUsersMessage and OnFeedSettings are kept as they are.
//
// Thread-safety: every member from any thread (the call-backs from the
// feed threads, the rest from the window thread as a rule). The destructor
// stops every source before the object goes.
#pragma once

#include "core/FrameLink.h"
#include "core/FeedLibrary.h"
#include "zphsource/Controller.h"

#include <atomic>
#include <mutex>
#include <string>

namespace mavo {

class CScreenController : public CController {
public:
    // link: where the call-backs post; it must outlive the controller.
    explicit CScreenController(CFrameLink& link);
    ~CScreenController() override;

    CFrameLink& Link() { return m_link; }

    // Line-update logging (the source status window switches it).
    void SetLineLogging(bool on) { m_lineLogging = on; }
    // The user level that means the full view.
    static constexpr int kFullViewLevel = 999;
    bool IsFullView() const { return GetUserLevel() == kFullViewLevel; }

    // ---- call-backs, in the library's order
    int GetClientVersion() override;
    void OnFeedNotice(int value) override;
    void OnSourceLog(const char* text) override;
    void OnSourceLog(int code, const char* text) override;
    void OnPermissionsLoaded() override;
    void OnLoginFailed(const char* reason) override;
    void OnPageTitle(int page) override;
    void OnFeedState(FeedState state) override;
    void OnWaitBegin() override;
    void OnWaitEnd() override;
    bool IsLineLogging() override;
    const char* GetUserName() override;
    const char* GetHostName() override;
    void OnNotification(const char* text) override;

private:
    void ReadNames();

    CFrameLink& m_link;
    std::atomic<bool> m_lineLogging{false};
    std::once_flag m_namesRead;
    std::string m_userName;
    std::string m_hostName;
};

} // namespace mavo
