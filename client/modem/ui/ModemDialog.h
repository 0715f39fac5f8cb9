// CModemDialog: the modal "Modem Dial" dialog. It shows the stored phone
// number ("PhoneNumber" of "Dialup"), dials it on the serial source's port
// with a CModemDialer worker and shows the worker's states:
//   0 "Dialing", 1 "Connected" (the dialog then ends with OK),
//   2 "Busy", 3 "Unable to connect" (Dial is offered again).
// "Close" ends with OK while dialing or connected, else with Cancel;
// "Cancel" (and Escape) asks "Are you sure you want to hangup?" under
// "Hangup" while connected, and otherwise ends with Cancel. The number
// field takes dial characters only, at most 64 of them. Whatever ends the
// dialog stops the worker first.
//
// The worker's states cross to the window thread as posted events.
//
// Thread-safety: the window thread only.
#pragma once

#include "modem/ModemDial.h"

#include <QDialog>

#include <atomic>
#include <memory>

class QLineEdit;
class QPushButton;

namespace Brindle {
class CSerialPort;
}

namespace mavo {

class CMessageService;

inline constexpr const char* kModemDialTitle = "Modem Dial";
inline constexpr const char* kHangupCaption = "Hangup";

class CModemDialog : public QDialog {
    Q_OBJECT
public:
    // No dial state yet.
    static constexpr int kNoState = -1;

    // port: the serial source's port; root: the settings root below
    // HKEY_CURRENT_USER.
    CModemDialog(Brindle::CSerialPort& port, CMessageService& messages, std::string root,
                 QWidget* parent = nullptr);
    ~CModemDialog() override;

    // Shorter pauses between reads (tests); before Dial.
    void SetDialTiming(CModemDialer::Timing timing);

    int DialState() const { return m_state; }
    QString StatusText() const;
    QLineEdit* NumberField() const { return m_number; }
    QPushButton* DialButton() const { return m_dial; }
    QPushButton* CloseButton() const { return m_close; }
    QPushButton* CancelButton() const { return m_cancel; }

    void Dial();
    void CloseDialog();
    void done(int result) override;
    void reject() override;

protected:
    void customEvent(QEvent* event) override;

private:
    std::unique_ptr<CModemDialer> MakeDialer(CModemDialer::Timing timing);
    void OnNumberEdited(const QString& text);
    void OnState(int state);
    void SetStatus(const char* text);

    Brindle::CSerialPort& m_port;
    CMessageService& m_messages;
    std::string m_root;
    std::unique_ptr<CModemDialer> m_dialer;
    // States from the worker are handed over with this: a release after
    // each is made, an acquire before each is read.
    std::atomic<unsigned> m_handover{0};
    int m_state = kNoState;

    QLineEdit* m_number = nullptr;
    QLineEdit* m_status = nullptr;
    QPushButton* m_dial = nullptr;
    QPushButton* m_close = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace mavo
