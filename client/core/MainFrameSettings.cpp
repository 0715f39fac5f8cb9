#include "core/MainFrameSettings.h"

#include "Brindle/base/RegSection.h"

#include <string>

namespace mavo {

namespace {

void GetPlace(const Brindle::CRegSection& s, const char* prefix, ToolWindowPlace& place, const ToolWindowPlace& def,
              const char* showName)
{
    const std::string p(prefix);
    s.GetInt((p + "Left").c_str(), place.left, def.left);
    s.GetInt((p + "Top").c_str(), place.top, def.top);
    s.GetInt(showName, place.show, def.show);
}

bool SetPlace(const Brindle::CRegSection& s, const char* prefix, const ToolWindowPlace& place, const char* showName)
{
    const std::string p(prefix);
    bool ok = s.SetInt((p + "Left").c_str(), place.left) != 0;
    ok = s.SetInt((p + "Top").c_str(), place.top) != 0 && ok;
    ok = s.SetInt(showName, place.show) != 0 && ok;
    return ok;
}

std::optional<int> GetOptional(const Brindle::CRegSection& s, const char* name)
{
    // A sentinel no window size can have tells "missing" apart.
    constexpr int kMissing = -2147483647 - 1;
    int value = kMissing;
    s.GetInt(name, value, kMissing);
    if (value == kMissing)
        return std::nullopt;
    return value;
}

} // namespace

ScreenRect ResolveFullScreen(const FullScreenArea& area, const ScreenRect& screen)
{
    return ScreenRect{area.x < 0 ? screen.x : area.x, area.y < 0 ? screen.y : area.y,
                      area.cx < 0 ? screen.width : area.cx, area.cy < 0 ? screen.height : area.cy};
}

void CMainFrameSettings::Load(const Brindle::CRegSection& s)
{
    const CMainFrameSettings d;
    s.GetInt("DrawToolBar", drawToolBar, d.drawToolBar);
    s.GetInt("DrawStatusBar", drawStatusBar, d.drawStatusBar);
    s.GetInt("InfoTip", infoTip, d.infoTip);
    GetPlace(s, "Status", status, d.status, "ShowStatus");
    GetPlace(s, "Time", time, d.time, "ShowTime");
    s.GetInt("Enable MyPrice", enableMyPrice, d.enableMyPrice);
    s.GetInt("Enable Meta2", enableMeta2, d.enableMeta2);
    GetPlace(s, "Portfolio", portfolio, d.portfolio, "ShowPortfolio");
    s.GetInt("Enable DDE", enableDDE, d.enableDDE);
    GetPlace(s, "DDE", dde, d.dde, "ShowDDE");
    GetPlace(s, "Contrib", contrib, d.contrib, "ShowContrib");
    contribWidth = GetOptional(s, "ContribWidth");
    contribHeight = GetOptional(s, "ContribHeight");
    s.GetInt("InfoKey", infoKey, d.infoKey);
    GetPlace(s, "Info", info, d.info, "ShowInfo");
    s.GetInt("Left", left, d.left);
    s.GetInt("Top", top, d.top);
    s.GetInt("Right", right, d.right);
    s.GetInt("Bottom", bottom, d.bottom);
    s.GetInt("AlwaysOnTop", alwaysOnTop, d.alwaysOnTop);
    s.GetInt("Anchored", anchored, d.anchored);
    s.GetInt("InfoOnClick", infoOnClick, d.infoOnClick);
    s.GetInt("ContribPopup", contribPopup, d.contribPopup);
    s.GetInt("TradeTimer", tradeTimer, d.tradeTimer);
}

void CMainFrameSettings::LoadPlacement(const Brindle::CRegSection& s)
{
    const CMainFrameSettings d;
    s.GetInt("FullScreen", fullScreen, d.fullScreen);
    s.GetInt("Maximized", maximized, d.maximized);
    s.GetInt("FullScreenX", fullScreenArea.x, d.fullScreenArea.x);
    s.GetInt("FullScreenY", fullScreenArea.y, d.fullScreenArea.y);
    s.GetInt("FullScreenCX", fullScreenArea.cx, d.fullScreenArea.cx);
    s.GetInt("FullScreenCY", fullScreenArea.cy, d.fullScreenArea.cy);
    s.GetInt("Copy Style", copyStyle, d.copyStyle);
    s.GetInt("AlwaysOnTop", alwaysOnTop, d.alwaysOnTop);
    s.GetInt("MyCustFG", myCustFG, d.myCustFG);
    s.GetInt("MyCustBG", myCustBG, d.myCustBG);
    s.GetInt("MyPriceFG", myPriceFG, d.myPriceFG);
    s.GetInt("MyPriceBG", myPriceBG, d.myPriceBG);
}

bool CMainFrameSettings::Save(const Brindle::CRegSection& s) const
{
    bool ok = s.IsOpen() != 0;
    auto set = [&](const char* name, int value) { ok = s.SetInt(name, value) != 0 && ok; };
    set("Left", left);
    set("Top", top);
    set("Right", right);
    set("Bottom", bottom);
    set("Maximized", maximized);
    set("FullScreen", fullScreen);
    set("MyCustFG", myCustFG);
    set("MyCustBG", myCustBG);
    set("MyPriceFG", myPriceFG);
    set("MyPriceBG", myPriceBG);
    set("FullScreenX", fullScreenArea.x);
    set("FullScreenY", fullScreenArea.y);
    set("FullScreenCX", fullScreenArea.cx);
    set("FullScreenCY", fullScreenArea.cy);
    set("Copy Style", copyStyle);
    set("Enable MyPrice", enableMyPrice);
    set("Enable Meta2", enableMeta2);
    set("Enable DDE", enableDDE);
    ok = SetPlace(s, "Status", status, "ShowStatus") && ok;
    ok = SetPlace(s, "Time", time, "ShowTime") && ok;
    ok = SetPlace(s, "Portfolio", portfolio, "ShowPortfolio") && ok;
    ok = SetPlace(s, "DDE", dde, "ShowDDE") && ok;
    ok = SetPlace(s, "Contrib", contrib, "ShowContrib") && ok;
    if (contribWidth)
        set("ContribWidth", *contribWidth);
    if (contribHeight)
        set("ContribHeight", *contribHeight);
    // The line key of the line windows was read but never written back;
    // it is kept now, so the windows show their line again after a restart.
    set("InfoKey", infoKey);
    ok = SetPlace(s, "Info", info, "ShowInfo") && ok;
    set("DrawToolBar", drawToolBar);
    set("DrawStatusBar", drawStatusBar);
    set("Anchored", anchored);
    set("InfoOnClick", infoOnClick);
    set("ContribPopup", contribPopup);
    set("TradeTimer", tradeTimer);
    set("AlwaysOnTop", alwaysOnTop);
    set("InfoTip", infoTip);
    return ok;
}

} // namespace mavo
