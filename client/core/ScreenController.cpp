#include "core/ScreenController.h"

#include "Brindle/base/Identity.h"
#include "core/AppIdentity.h"
#include "core/CommandTable.h"
#include "core/FrameTexts.h"

namespace mavo {

namespace {

// Names are kept to what the original's 256-character buffers held.
constexpr std::size_t kMaxName = 255;

} // namespace

CScreenController::CScreenController(CFrameLink& link) : m_link(link) {}

CScreenController::~CScreenController()
{
    // No call-back may reach this object once its members start to go.
    Shutdown();
}

int CScreenController::GetClientVersion() { return VersionNumber(kAppVersion); }

void CScreenController::OnFeedNotice(int value)
{
    m_link.Post(FrameMessage{MSG_FEED_NOTICE, 0, value, std::nullopt});
}

void CScreenController::OnSourceLog(const char* text) { m_link.AddSourceLog(text != nullptr ? text : ""); }

void CScreenController::OnSourceLog(int, const char* text)
{
    // Both slots have the same body.
    m_link.AddSourceLog(text != nullptr ? text : "");
}

void CScreenController::OnPermissionsLoaded() { m_link.Post(FrameMessage{MSG_PERMISSIONS, 0, 0, std::nullopt}); }

void CScreenController::OnLoginFailed(const char* reason)
{
    ZPHSource* source = GetSource();
    if (GetRetryLogin()) {
        source->Retry();
        m_link.Post(FrameMessage{MSG_FEED_STATE, source->GetFeedState(), source->GetKind(), std::nullopt});
        return;
    }
    std::optional<std::string> copy;
    if (reason != nullptr)
        copy = std::string(reason);
    // The disconnect runs as the window's own command, so that a modem line
    // is offered its hang-up there.
    m_link.Post(FrameMessage{MSG_COMMAND, static_cast<int>(CommandId::Disconnect), 0, std::nullopt});
    m_link.Post(FrameMessage{MSG_LOGIN_FAILED, 0, 0, std::move(copy)});
}

void CScreenController::OnPageTitle(int page) { m_link.Post(FrameMessage{MSG_PAGE_TITLE, page, 0, std::nullopt}); }

void CScreenController::OnFeedState(FeedState state)
{
    ZPHSource* source = GetSource();
    const int kind = source->GetKind();
    // Asking the open pages again when the feed comes alive walks the
    // documents, so it happens where MSG_FEED_STATE is handled, not here.
    if (state == FeedState::Dead || state == FeedState::Stale)
        Clear();
    m_link.SetStatusAndName(source->GetStatusText(), source->GetName());
    m_link.Post(FrameMessage{MSG_FEED_STATE, WireValue(state), kind, std::nullopt});
}

void CScreenController::OnWaitBegin()
{
    // The waiting dialog names the address being dialled.
    m_link.SetStatusText(GetSource()->GetStatusText());
    m_link.Post(FrameMessage{MSG_WAIT, 1, 0, std::nullopt});
}

void CScreenController::OnWaitEnd() { m_link.Post(FrameMessage{MSG_WAIT, 0, 0, std::nullopt}); }

bool CScreenController::IsLineLogging() { return m_lineLogging.load(); }

void CScreenController::ReadNames()
{
    std::call_once(m_namesRead, [this] {
        m_userName = std::string(Brindle::GetLocalLoginName()).substr(0, kMaxName);
        m_hostName = std::string(Brindle::GetLocalHostname()).substr(0, kMaxName);
    });
}

const char* CScreenController::GetUserName()
{
    ReadNames();
    return m_userName.c_str();
}

const char* CScreenController::GetHostName()
{
    ReadNames();
    return m_hostName.c_str();
}

void CScreenController::OnNotification(const char* text)
{
    m_link.Post(FrameMessage{MSG_NOTIFICATION, 0, 0, NotificationText(text != nullptr ? text : "")});
}

} // namespace mavo
