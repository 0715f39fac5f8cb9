// CMainFrame: MAVO's main window, a QMainWindow around the page windows'
// QMdiArea, with the menus, toolbar and five-pane status bar, the
// connection commands, the feed status, the flash timer, full screen,
// always on top, and the saving and loading of every main-window setting.
//
// The feed libraries reach it only through its CFrameLink: their
// call-backs post CFrameEvents, which it handles here on the window thread.
// Those that come after the window is shown and before it first paints wait
// for that paint (at most 250 ms after Create), then are handled in the
// order they came.
// Parts that arrive later plug in as CFrameModules (FrameModule.h).
//
// Start-up drives it in three steps: LoadInitialSettings (the values read
// before the window exists), Create (the window and its bars, tool windows
// and timer), LoadSettings (connect, reopen the pages, placement). Closing
// asks whether to save.
//
// Thread-safety: the window thread only, except what CFrameLink allows.
#pragma once

#include "core/ConnectionControl.h"
#include "core/FrameLink.h"
#include "core/MainFrameSettings.h"
#include "core/ui/CommandSet.h"
#include "core/ui/FrameModule.h"
#include "core/ui/AboutDialog.h"
#include "core/ui/LinkOpener.h"
#include "core/ui/MessageService.h"

#include <QBasicTimer>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QString>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QToolBar;

namespace mavo {

class CScreenController;
class CWaitingDialog;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kFlashIntervalMs = 167;
    // The status-bar panes, left to right (PaneText takes these).
    enum StatusPane : int {
        kMessagePane,    // "Ready"; takes what the others leave
        kFeedStatePane,  // the feed state, after its mark
        kSourcePane,     // the source's name
        kAddressPane,    // the source's status text
        kFeedTimePane,   // the last feed time
    };
    static constexpr int kPaneCount = kFeedTimePane + 1;
    static constexpr std::array<int, kPaneCount> kPaneWidths{200, 80, 80, 160, 125};

    CMainFrame(CScreenController& controller, CMessageService& messages,
               std::vector<std::unique_ptr<CFrameModule>> modules, LinkOpener opener = {});
    ~CMainFrame() override;

    // ---- start-up
    // Step 9: module values of "MainFrame", "Failover" and the controller's
    // settings from "Controller". False when they cannot be loaded.
    bool LoadInitialSettings();
    // Step 10: builds the window in the order of its creation.
    void Create();
    // Step 12: connects, reopens the saved pages, places the window. False
    // when the settings cannot be read.
    bool LoadSettings();

    // Saves every setting in one step of the store; false (and why) when
    // the store refused, in which case nothing changed.
    bool SaveAllSettings(std::string* error = nullptr);

    // ---- commands
    void ConnectPrimary();
    void ConnectBackup();
    void AskFailover();
    void Disconnect();
    void SetFullScreen(bool on);
    bool IsFullScreen() const { return m_fullScreen; }
    void SetAlwaysOnTop(bool on);
    void ShowAbout();
    // The running instance was asked to come forward: its last active
    // popup comes to the front, the window restored if it was minimised.
    void BringForward();
    // Ends without the exit question (a timed run); nothing is saved.
    void CloseWithoutQuestion();

    CCommandSet& Commands() { return *m_commands; }
    // Updates the enabling, then runs the command if it is enabled.
    bool RunCommand(CommandId id);
    FrameCommandState CommandState() const;
    void UpdateCommands();

    // A module that dials a modem installs the dial step of connect
    // primary: false when the user cancelled it.
    void SetModemDialer(std::function<bool()> dial) { m_dialModem = std::move(dial); }

    CScreenController& Controller() { return m_controller; }
    CConnectionControl& Connection() { return m_connection; }
    CMessageService& Messages() { return m_messages; }
    CMainFrameSettings& Settings() { return m_settings; }
    QMdiArea* MdiArea() const { return m_mdi; }
    QToolBar* ToolBar() const { return m_toolBar; }
    QString PaneText(int pane) const;
    int FlashCount() const { return m_flashCount; }
    // The first frame is out: held feed messages and later windows are in.
    bool FirstFrameShown() const { return m_firstFrame == FirstFrame::Shown; }
    CWaitingDialog* WaitingDialog() const { return m_waiting; }
    CAboutDialog* AboutDialog() const { return m_about; }
    QMenu* ContextMenu() const { return m_contextMenu; }
    // The full-screen rectangle on the window's screen.
    QRect FullScreenRect() const;
    // The normal (restored) window rectangle.
    QRect NormalRect() const { return m_normalRect; }

signals:
    void Closed();

protected:
    void customEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The saved pages and the modules' sections of the settings root.
    bool LoadDocumentsAndSections(const Brindle::CRegSection& root);
    bool LoadInitialValues();
    void InstallOwnCommands();
    // The Window menu lists the open page windows each time it opens.
    void ListPagesInWindowMenu();
    void BuildStatusBar();
    void ApplyPlacement();
    void TrackNormalRect();
    void Toggle(int& flag);
    void SaveFromCommand();
    void StopFeedListening();
    int Ask(const QString& caption, const QString& text, CMessageService::Icon icon, CMessageService::Buttons buttons);

    // The feed's messages wait while the shown window has not painted yet:
    // its first frame comes first, then they are handled in their order.
    void Dispatch(const FrameMessage& message);
    void ReleaseHeldMessages();

    void OnWait(bool begin);
    void OnFeedState(FeedState state, int kind);
    void OnFeedTime();
    void OnPermissionsLoaded();
    void OnNotification(const std::string& text);
    void OnLoginFailed(const std::optional<std::string>& reason);
    void OnPageTitle(int page);
    void OnSourceLog();

    CScreenController& m_controller;
    CMessageService& m_messages;
    LinkOpener m_opener;
    std::vector<std::unique_ptr<CFrameModule>> m_modules;
    CConnectionControl m_connection;
    CMainFrameSettings m_settings;
    std::function<bool()> m_dialModem;

    CCommandSet* m_commands = nullptr;
    QMdiArea* m_mdi = nullptr;
    QToolBar* m_toolBar = nullptr;
    std::array<QLabel*, kPaneCount> m_panes{};
    QLabel* m_stateMark = nullptr;
    CWaitingDialog* m_waiting = nullptr;
    QPointer<CAboutDialog> m_about;
    QMenu* m_contextMenu = nullptr;

    // Events posted from feed threads are handed over with this: a release
    // after each is made, an acquire before each is read.
    std::atomic<unsigned> m_handover{0};

    enum class FirstFrame { Waiting, Painted, Shown };
    FirstFrame m_firstFrame = FirstFrame::Waiting;
    std::deque<FrameMessage> m_held;
    // Modules whose windows are made after the first frame.
    std::vector<CFrameModule*> m_laterWindows;
    // A window that is shown but never painted (kept off the screen by the
    // desktop) holds the feed's messages no longer than this.
    QBasicTimer m_firstFrameTimer;

    QBasicTimer m_flashTimer;
    int m_flashCount = 0;
    bool m_created = false;
    bool m_listening = false;
    bool m_fullScreen = false;
    QList<QAction*> m_pageActions;  // the Window menu's page entries
    bool m_wasMaximized = false;
    bool m_closeWithoutQuestion = false;
    QRect m_normalRect;
};

} // namespace mavo
