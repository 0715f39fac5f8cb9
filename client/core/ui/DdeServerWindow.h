// CDdeServerWindow: the modeless "DDE Server" window. It holds MAVO's DDE
// server (CDDEServer) with four check boxes and the activity list:
// - "Enable DDE Server" starts or stops the server; the change is handed to
//   the owner (which stores it in the main window and saves all settings);
// - "Live Price Data" and "History, Trade and Volume Data" publish their
//   item groups; they start unticked and are not stored;
// - "Market Text View" is kept and read by nothing;
// - the list shows every log entry of the server, scrolled to the newest,
//   and never more than 1000 (the oldest go 100 at a time).
// A server that cannot start shows "Unable to initialize DDE" under
// "DDE Error" with an error icon; the box goes back to unticked and the
// window runs without a server.
//
// The server's DDE call-backs run here on the window thread (a socket
// notifier on its event descriptor); feed messages wake the window with one
// posted event per batch (the original's message 1043), whose handler posts
// the advises. Destroying the window stops a running server.
//
// Thread-safety: the window thread only (the server's wake function posts
// from feed threads).
#pragma once

#include "core/DDEServer.h"
#include "core/DdeActivityLog.h"
#include "core/FeedLibrary.h"

#include <QDialog>
#include <QEvent>

#include <functional>
#include <memory>

class QCheckBox;
class QListWidget;
class QSocketNotifier;
namespace ZPH {
class ZPHController;
} // namespace ZPH

namespace mavo {

class CMessageService;

class CDdeServerWindow : public QDialog {
    Q_OBJECT
public:
    // The event that tells the window updates wait.
    static QEvent::Type UpdateEventType();

    CDdeServerWindow(ZPHController& controller, CMessageService& messages, QWidget* parent = nullptr);
    ~CDdeServerWindow() override;

    // Sets "Enable DDE Server" as the window opens: starts the server when
    // set (without telling the owner).
    void SetEnabledAtStart(bool enabled);
    // The owner hears each change of "Enable DDE Server" made in the window.
    void SetEnableChanged(std::function<void(bool)> changed) { m_enableChanged = std::move(changed); }

    bool IsEnabled() const;
    CDDEServer& Server() { return *m_server; }
    const CDdeActivityLog& Log() const { return m_log; }
    QListWidget* List() const { return m_list; }
    QCheckBox* EnableBox() const { return m_enable; }
    QCheckBox* LiveBox() const { return m_live; }
    QCheckBox* HistoryBox() const { return m_history; }
    QCheckBox* MarketTextBox() const { return m_marketText; }

    void AddLogEntry(const std::string& text);

protected:
    void customEvent(QEvent* event) override;

private:
    // True when the server runs afterwards (or was stopped as asked).
    bool StartServer();
    void StopServer();
    void OnEnableToggled(bool on);

    CMessageService& m_messages;
    std::unique_ptr<CDDEServer> m_server;
    CDdeActivityLog m_log;
    QCheckBox* m_enable = nullptr;
    QCheckBox* m_live = nullptr;
    QCheckBox* m_history = nullptr;
    QCheckBox* m_marketText = nullptr;
    QListWidget* m_list = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    std::function<void(bool)> m_enableChanged;
};

} // namespace mavo
