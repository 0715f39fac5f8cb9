// The "MainFrame" section: defaults of a first start, the round trip, the
// full-screen rectangle.
#include "core/MainFrameSettings.h"

#include "Brindle/base/RegSection.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using namespace mavo;

namespace {

class MainFrameSettingsTest : public testing::Test {
protected:
    testsupport::ScopedRegistryDir registry;
    Brindle::CRegSection section{HKEY_CURRENT_USER, "Software/Test/MainFrame"};
};

int Stored(const Brindle::CRegSection& s, const char* name)
{
    int value = -12345;
    s.GetInt(name, value, -12345);
    return value;
}

} // namespace

TEST_F(MainFrameSettingsTest, EmptySectionGivesTheDefaults)
{
    CMainFrameSettings s;
    s.Load(section);
    s.LoadPlacement(section);
    EXPECT_EQ(s, CMainFrameSettings());
}

TEST_F(MainFrameSettingsTest, EveryValueSurvivesASaveAndLoad)
{
    CMainFrameSettings s;
    s.left = 10, s.top = 20, s.right = 1010, s.bottom = 720;
    s.maximized = 1;
    s.fullScreen = 1;
    s.fullScreenArea = {0, 0, 640, 1024};
    s.copyStyle = 4;
    s.alwaysOnTop = 1;
    s.myCustFG = 0x0000FF, s.myCustBG = 0x00FF00, s.myPriceFG = 0x123456, s.myPriceBG = 0x654321;
    s.drawToolBar = 0, s.drawStatusBar = 0;
    s.infoTip = 0x15;
    s.status = {1, 2, 1};
    s.time = {3, 4, 1};
    s.enableMyPrice = 1, s.enableMeta2 = 1;
    s.portfolio = {5, 6, 1};
    s.enableDDE = 1;
    s.dde = {7, 8, 1};
    s.contrib = {9, 10, 1};
    s.contribWidth = 400, s.contribHeight = 250;
    s.infoKey = 1207;
    s.info = {11, 12, 1};
    s.anchored = 1, s.infoOnClick = 1, s.contribPopup = 1, s.tradeTimer = 1;
    ASSERT_TRUE(s.Save(section));

    CMainFrameSettings back;
    back.Load(section);
    back.LoadPlacement(section);
    EXPECT_EQ(back, s);
    // The line windows' key is written back, not only read.
    EXPECT_EQ(Stored(section, "InfoKey"), 1207);
}

TEST_F(MainFrameSettingsTest, WindowCreationAndPlacementReadTheirOwnValues)
{
    CMainFrameSettings stored;
    stored.fullScreen = 1;
    stored.maximized = 1;
    stored.copyStyle = 3;
    stored.myPriceBG = 0x112233;
    stored.anchored = 1;
    ASSERT_TRUE(stored.Save(section));

    CMainFrameSettings created;
    created.Load(section);
    EXPECT_EQ(created.anchored, 1);
    EXPECT_EQ(created.fullScreen, 0);  // read after the pages reopen
    EXPECT_EQ(created.copyStyle, 0);
    created.LoadPlacement(section);
    EXPECT_EQ(created, stored);
}

TEST_F(MainFrameSettingsTest, ContributionsSizeIsWrittenOnlyOnceKnown)
{
    CMainFrameSettings s;
    ASSERT_TRUE(s.Save(section));
    EXPECT_EQ(Stored(section, "ContribWidth"), -12345);
    s.contribWidth = 0;  // a real value, not "unknown"
    ASSERT_TRUE(s.Save(section));
    EXPECT_EQ(Stored(section, "ContribWidth"), 0);
}

TEST_F(MainFrameSettingsTest, SaveReportsAClosedSection)
{
    Brindle::CRegSection closed;
    EXPECT_FALSE(CMainFrameSettings().Save(closed));
}

TEST(FullScreenArea, MinusOneMeansTheWholeScreen)
{
    const ScreenRect screen{0, 0, 1280, 1024};
    EXPECT_EQ(ResolveFullScreen(FullScreenArea{}, screen), (ScreenRect{0, 0, 1280, 1024}));
    EXPECT_EQ(ResolveFullScreen(FullScreenArea{641, 0, 640, 1024}, screen), (ScreenRect{641, 0, 640, 1024}));
    EXPECT_EQ(ResolveFullScreen(FullScreenArea{0, -1, -1, 500}, screen), (ScreenRect{0, 0, 1280, 500}));
    // A second screen to the right: −1 takes that screen's own origin.
    EXPECT_EQ(ResolveFullScreen(FullScreenArea{}, ScreenRect{1280, 0, 1920, 1080}),
              (ScreenRect{1280, 0, 1920, 1080}));
}
