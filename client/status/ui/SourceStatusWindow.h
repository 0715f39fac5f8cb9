// CSourceStatusWindow: the modeless "Source Status" tool window. It shows
// the active source's kind and address, the four feed metrics of the last
// feed time with "Reset", a log of feed events (at most 200 entries, the
// newest scrolled into view) and three switches:
// - "Log line updates ...": registers the window as a key client of the
//   controller (and turns the controller's IsLineLogging on); every changed
//   line is then logged as "Update on page P, line L";
// - "Log bad packet errors" (on at start): the feed library's SetLogging;
// - "Log time stamp packets received": every feed time is logged.
// The window icon shows the feed state: dead, stale or live.
//
// The window is a TimestampClient of the controller from creation to
// destruction. Feed call-backs only queue under a lock and post one
// wake-up event; feed times coalesce (the handler reads the newest), and
// line keys wait in a bounded queue (a flood beyond it is counted and told
// in the log, never grows memory without bound).
//
// Thread-safety: the window thread only, except the listener's call-backs,
// which run on feed threads. The destructor unregisters from the controller
// before anything goes (Unregister waits for running call-backs).
#pragma once

#include "zph/FeedState.h"
#include "core/ui/WindowWake.h"
#include "status/SourceStatusLog.h"
#include "core/FeedLibrary.h"
#include "zph/Clients.h"
#include "zph/Timestamp.h"

#include <QDialog>
#include <QEvent>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace mavo {

class CScreenController;

class CSourceStatusWindow : public QDialog {
    Q_OBJECT
public:
    // Keys waiting for the window beyond this are dropped and counted.
    static constexpr std::size_t kMaxPendingKeys = 5000;

    CSourceStatusWindow(CScreenController& controller, QWidget* parent = nullptr);
    ~CSourceStatusWindow() override;

    // Adds a log entry stamped with the local time; an empty text empties
    // the list (the library's message without text).
    void AddLog(const std::string& text);
    // The feed state: logs "Feed Dead", "Feed Stale" or "Feed Live" and
    // shows the matching icon.
    void SetFeedState(FeedState state);
    // The source's kind (1 "Socket", 2 "Serial", 3 "ZPHDB", else
    // "Unknown") and address (the source's status text).
    void SetKind(int kind);
    void SetAddress(const std::string& address);

    void SetLineLogging(bool on);
    void SetBadPacketLogging(bool on);
    void SetFeedTimeLogging(bool on);
    // "Reset": the active source resets its metrics; the fields empty.
    void ResetMetrics();

    // For tests and the module.
    const CSourceStatusLog& Log() const { return m_log; }
    QListWidget* List() const { return m_list; }
    MetricTexts ShownMetrics() const;
    QString KindText() const;
    QString AddressText() const;
    FeedState ShownFeedState() const { return m_feedState; }
    bool IsLineLogging() const { return m_lineLogging; }
    QCheckBox* LineUpdatesBox() const { return m_lineBox; }
    QCheckBox* BadPacketsBox() const { return m_badBox; }
    QCheckBox* FeedTimesBox() const { return m_timeBox; }
    QPushButton* ResetButton() const { return m_reset; }

protected:
    void customEvent(QEvent* event) override;

private:
    // The window's face towards the feed threads.
    class Listener : public KeyClient, public TimestampClient {
    public:
        explicit Listener(CSourceStatusWindow& window)
            : m_keysWake(&window, CWindowWake::KeyUpdateType()), m_timeWake(&window, TimeEventType())
        {
        }
        void OnKeyUpdate(unsigned key) override;
        void OnTimestamp(const Timestamp& timestamp) override;

        // Window thread: what waits, taken at once. No timestamp when none
        // arrived since the last take or discard.
        std::deque<unsigned> TakeKeys(unsigned long& dropped);
        // Window thread: which wake-up an event is, if either.
        bool IsKeysWake(const QEvent* event) { return m_keysWake.Received(event); }
        bool IsTimeWake(const QEvent* event) { return m_timeWake.Received(event); }
        std::optional<Timestamp> TakeTimestamp();
        // Forgets a feed time that has not been shown yet.
        void DiscardTimestamp();

    private:
        static QEvent::Type TimeEventType();
        // With m_lock held: one wake-up however many updates arrive.
        static void Wake(bool& pending, CWindowWake& wake);

        CWindowWake m_keysWake;
        CWindowWake m_timeWake;
        std::mutex m_lock;
        std::deque<unsigned> m_keys;
        unsigned long m_dropped = 0;
        bool m_keysPending = false;
        std::optional<Timestamp> m_timestamp;
        bool m_timePending = false;
    };

    void OnKeys();
    void OnFeedTime();
    void ShowMetrics(const MetricTexts& texts);

    CScreenController& m_controller;
    Listener m_listener{*this};
    CSourceStatusLog m_log;

    QLabel* m_kind = nullptr;
    QLabel* m_address = nullptr;
    QLabel* m_connectTime = nullptr;
    QLabel* m_packets = nullptr;
    QLabel* m_badPackets = nullptr;
    QLabel* m_maxDelay = nullptr;
    QPushButton* m_reset = nullptr;
    QListWidget* m_list = nullptr;
    QCheckBox* m_lineBox = nullptr;
    QCheckBox* m_badBox = nullptr;
    QCheckBox* m_timeBox = nullptr;

    bool m_lineLogging = false;
    bool m_listening = false;
    FeedState m_feedState = FeedState::Dead;
};

} // namespace mavo
