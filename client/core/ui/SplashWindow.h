// CSplashWindow: the splash picture in a borderless window of its size,
// centred on the screen. It goes after 1000 ms, or at once when the user
// presses a key or a mouse button anywhere in the application, whichever
// comes first; it is shown at most once per run. When it goes it emits
// Finished (the main window repaints then).
//
// Thread-safety: the window thread only.
#pragma once

#include <QBasicTimer>
#include <QPixmap>
#include <QWidget>

namespace mavo {

class CSplashWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kShowMs = 1000;

    explicit CSplashWindow(const QPixmap& picture);
    ~CSplashWindow() override;

    // Shows it, centred on the primary screen; false when it was shown
    // before.
    bool ShowOnce();
    bool IsShowing() const { return m_showing; }

signals:
    void Finished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Dismiss();

    QPixmap m_picture;
    QBasicTimer m_timer;
    bool m_shown = false;
    bool m_showing = false;
};

} // namespace mavo
