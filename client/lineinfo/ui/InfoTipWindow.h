// CInfoTipWindow: the main window's info tip, a small borderless window
// that shows one tip text next to the pointer in Arial, 14 pixels, normal
// weight. It never takes the focus or the mouse: moves over it reach the
// page below as if it were not there.
//
// Thread-safety: the window thread only.
#pragma once

#include <QLabel>

namespace mavo {

class CInfoTipWindow : public QLabel {
    Q_OBJECT
public:
    // How far below and right of the pointer the tip's corner lies, so the
    // pointer never covers the text.
    static constexpr int kOffsetX = 12;
    static constexpr int kOffsetY = 18;

    explicit CInfoTipWindow(QWidget* parent = nullptr);

    // Shows the text with its corner near the screen position; an empty
    // text hides the tip.
    void ShowTip(const QString& text, const QPoint& screenPosition);
    void HideTip();
};

} // namespace mavo
