// CDialogChrome: an application-wide event filter that gives every dialog
// the chrome of a dialog (a title, a close button, no minimise or maximise
// buttons) before it is first shown, whichever module made it.
//
// Thread-safety: the window thread only.
#pragma once

#include <QObject>

namespace mavo {

class CDialogChrome : public QObject {
    Q_OBJECT
public:
    explicit CDialogChrome(QObject* parent = nullptr) : QObject(parent) {}

    // The flags a dialog is shown with.
    static Qt::WindowFlags DialogFlags(Qt::WindowFlags flags);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace mavo
