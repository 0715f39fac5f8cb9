// CMainFrameSettings: every value of the main window's "MainFrame" section,
// with the defaults of a first start, read and written as integers.
//
// The main window reads the section in two steps, as it is built: Load
// while the window is created, LoadPlacement once documents have been
// reopened (full screen, maximised, the full-screen rectangle, "Copy
// Style", "AlwaysOnTop" and the four my-colours). Save writes every value,
// "InfoKey" included. Values are kept as they were read (a stored 2 stays
// 2); flags the window toggles become 0 or 1.
//
// Tool windows that belong to other modules keep their place here, so a
// save never loses the place of a window this build does not have.
//
// Thread-safety: a plain value; one thread at a time.
#pragma once

#include <optional>

namespace Brindle {
class CRegSection;
}

namespace mavo {

struct ToolWindowPlace {
    int left = 300;
    int top = 300;
    int show = 0;
    friend bool operator==(const ToolWindowPlace&, const ToolWindowPlace&) = default;
};

// The full-screen rectangle as stored: −1 in a field means the screen's
// own value (X and Y 0, CX its width, CY its height).
struct FullScreenArea {
    int x = -1;
    int y = -1;
    int cx = -1;
    int cy = -1;
    friend bool operator==(const FullScreenArea&, const FullScreenArea&) = default;
};

struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// The rectangle full screen covers on the given screen: a field of −1
// takes the screen's own (its origin, width or height; 0, 0, width, height
// for the primary screen).
ScreenRect ResolveFullScreen(const FullScreenArea& area, const ScreenRect& screen);

class CMainFrameSettings {
public:
    // Normal window rectangle (right and bottom exclusive).
    int left = 50, top = 50, right = 700, bottom = 550;
    int maximized = 0;
    int fullScreen = 0;
    FullScreenArea fullScreenArea;
    int copyStyle = 0;
    int alwaysOnTop = 0;
    // Colour values, blue in the high byte.
    int myCustFG = 0x000000, myCustBG = 0xFFFF00;
    int myPriceFG = 0x000000, myPriceBG = 0xFFFF00;
    int drawToolBar = 1, drawStatusBar = 1;
    int infoTip = 0;

    ToolWindowPlace status{200, 200, 0};
    ToolWindowPlace time{300, 300, 0};
    int enableMyPrice = 0, enableMeta2 = 0;
    ToolWindowPlace portfolio{300, 300, 0};
    int enableDDE = 0;
    ToolWindowPlace dde{300, 300, 0};
    ToolWindowPlace contrib{300, 300, 0};
    // Unset: the window keeps its own size.
    std::optional<int> contribWidth, contribHeight;
    int infoKey = 0;
    ToolWindowPlace info{200, 200, 0};

    int anchored = 0, infoOnClick = 0, contribPopup = 0, tradeTimer = 0;

    // What window creation reads: everything but the values of
    // LoadPlacement. A section that is not open leaves the defaults.
    void Load(const Brindle::CRegSection& section);
    // What is read after the documents are reopened.
    void LoadPlacement(const Brindle::CRegSection& section);
    // Writes every value; true when the store took every write.
    bool Save(const Brindle::CRegSection& section) const;

    friend bool operator==(const CMainFrameSettings&, const CMainFrameSettings&) = default;
};

} // namespace mavo
