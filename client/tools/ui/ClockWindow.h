// CClockWindow: the modeless clock window "Date and Time": one text field
// that shows the local time as "%d %b %Y - %I:%M:%S %p", renewed every
// second from the window's creation to its destruction.
//
// Thread-safety: the window thread only.
#pragma once

#include <QBasicTimer>
#include <QDialog>

class QLineEdit;

namespace mavo {

class CClockWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTickMs = 1000;

    explicit CClockWindow(QWidget* parent = nullptr);

    QString Text() const;
    // One tick: shows the current local time.
    void Tick();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QLineEdit* m_text = nullptr;
    QBasicTimer m_timer;
};

} // namespace mavo
