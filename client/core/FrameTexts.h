// The main window's own texts (captions, questions, status panes) and the
// small functions that build the texts that carry a value.
//
// Constants and pure functions; any thread.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/FeedState.h"

#include <optional>
#include <string>
#include <string_view>

namespace mavo {

// Status bar.
inline constexpr const char* kNotConnected = "Not Connected";
inline constexpr const char* kReady = "Ready";

// Connection.
inline constexpr const char* kFailoverCaption = "Failover";
inline constexpr const char* kDisconnectCaption = "Disconnect";
inline constexpr const char* kHangupQuestion = "Are you sure you want to hangup?";
inline constexpr const char* kWaitingCaption = "Waiting";
inline constexpr const char* kWaitingText = "Trying to connect to ";
inline constexpr const char* kErrorCaption = "Error";
inline constexpr const char* kNotificationCaption = "Notification";
inline constexpr const char* kNewPermissionsLog = "New page permissions received.";
inline constexpr const char* kNoPermissionCaption = "No Permission";
inline constexpr const char* kNoPermissionText = "You do not have permission\nto view this page";

// Ending.
inline constexpr const char* kExitCaption = "Exit";
inline constexpr const char* kExitQuestion = "Do you want to save your current settings\nbefore exiting the application?";

// Start-up.
inline constexpr const char* kStartErrorCaption = "Error!";
inline constexpr const char* kStartErrorFormat = "Error starting MAVO\n%s";
inline constexpr const char* kStartUnknownError = "Unknown error starting MAVO";
inline constexpr const char* kCannotRegisterClass = "Cannot register class!";
inline constexpr const char* kCannotInitSockets = "Cannot initialize sockets!";
inline constexpr const char* kCannotLoadInitialSettings = "Mainframe cannot load initial settings";
inline constexpr const char* kCannotLoadSettings = "Mainframe cannot load settings";
// Our own: a save that the settings store refused.
inline constexpr const char* kCannotSaveSettings = "The settings could not be saved.";

// "Feed Dead", "Feed Stale", "Feed Live"; any other state is shown as dead,
// since nothing says data arrive.
const char* FeedStateText(FeedState state);
// "Socket" (1), "Serial" (2), "ZPHDB" (3), else "Unknown".
const char* SourceKindText(int kind);
// The notification as shown: every '|' becomes a line break.
std::string NotificationText(std::string_view text);
// "Login Failed", with "\nReason: " and the reason when there is one (an
// empty reason is none).
std::string LoginFailedText(const std::optional<std::string>& reason);
// The failover question: about "PRIMARY" while the backup is selected
// (failover 1), else about "BACKUP".
std::string FailoverQuestion(int failover);
// "Error starting MAVO\n" and the raised text.
std::string StartErrorText(std::string_view raised);

} // namespace mavo
