// CWaitingDialog: "Waiting", shown while the feed source tries to connect:
// "Trying to connect to " and the source's address, with Cancel. It is
// window-modal but does not block the caller: Cancel emits Cancelled (the
// main window then disconnects the source); the end of the wait closes it.
// It opens centred on the main window, never at a corner of the screen.
//
// Thread-safety: the window thread only.
#pragma once

#include <QDialog>
#include <QLabel>

namespace mavo {

class CWaitingDialog : public QDialog {
    Q_OBJECT
public:
    explicit CWaitingDialog(QWidget* parent);

    void Begin(const QString& statusText);
    // Closes it if it is open (without Cancelled).
    void End();
    QString Text() const { return m_text->text(); }
    // Cancel: closes it and emits Cancelled.
    void reject() override;

signals:
    void Cancelled();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_text;
};

} // namespace mavo
