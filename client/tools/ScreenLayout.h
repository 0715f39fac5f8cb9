// CScreenLayout: what the "Screen Properties" dialog edits, without the
// dialog: the full-screen rectangle X, Y, CX, CY and the "Use default
// screen layout" box, with the three layouts computed from the size of the
// screen the main window is on.
// - Opening: the box is ticked exactly when all four values are negative.
// - Ticking the box sets all four to -1; clearing it sets 0, 0, the screen
//   width and height.
// - "Full": 0, 0, width, height. "Double One": 0, 0, half the width, the
//   height. "Double Two": X = half the width + 1, Y = 0, CX = half the
//   width, CY = the height.
// - Result: the four values, or all -1 while the box is ticked.
//
// Thread-safety: a plain value.
#pragma once

#include "core/MainFrameSettings.h"

namespace mavo {

class CScreenLayout {
public:
    CScreenLayout(const FullScreenArea& area, int screenWidth, int screenHeight);

    bool UseDefault() const { return m_useDefault; }
    void SetUseDefault(bool on);
    void Full();
    void DoubleOne();
    void DoubleTwo();
    // The values the user typed in.
    void SetValues(const FullScreenArea& area) { m_area = area; }

    const FullScreenArea& Values() const { return m_area; }
    int ScreenWidth() const { return m_width; }
    int ScreenHeight() const { return m_height; }
    // What closing with OK stores.
    FullScreenArea Result() const;

private:
    FullScreenArea m_area;
    int m_width;
    int m_height;
    bool m_useDefault;
};

} // namespace mavo
