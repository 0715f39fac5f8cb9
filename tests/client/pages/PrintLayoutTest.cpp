#include "pages/PrintLayout.h"
#include "pages/WindowPlacement.h"

#include "Brindle/base/RegSection.h"
#include "Brindle/base/Timestamp.h"
#include "LocaleZone.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace mavo;

TEST(PrintLayout, HeaderBandAndLines)
{
    const Rect page{0, 0, 3000, 4500};
    const PrintHeaderLayout h = LayPrintHeader(page);
    EXPECT_EQ(std::tie(h.band, h.titleArea, h.titleFontHeight, h.timeArea, h.timeFontHeight),
              std::make_tuple(Rect{0, 300, 3000, 600}, Rect{0, 300, 3000, 500}, 160, Rect{0, 505, 3000, 600}, 76));
    EXPECT_EQ(PrintLineRect(page, 0), (Rect{300, 900, 2700, 990}));
    EXPECT_EQ(PrintLineRect(page, 2), (Rect{300, 900 + 2 * 91, 2700, 900 + 2 * 91 + 90}));
    // A tiny page still gets fonts of a pixel.
    const PrintHeaderLayout tiny = LayPrintHeader(Rect{0, 0, 10, 10});
    EXPECT_EQ(tiny.titleFontHeight, 1);
    EXPECT_EQ(tiny.timeFontHeight, 1);
    EXPECT_GE(tiny.timeArea.bottom, tiny.timeArea.top);
}

TEST(PrintLayout, TimeTextIsEnglishWhateverTheLocale)
{
    testsupport::ScopedForeignLocale locale;
    if (!locale.available())
        GTEST_SKIP() << "no German locale";
    testsupport::ScopedTimeZone zone("UTC0");
    const Brindle::CTimestamp when(2024, 3, 5, 14, 7, 9);
    EXPECT_EQ(PrintTimeText(when), "Tuesday, March 05, 2024 at 14:07:09");
}

TEST(WindowPlacementRecord, RoundTripsAsFortyFourBytes)
{
    WindowPlacement p;
    p.showCmd = WindowPlacement::SW_SHOWMINIMIZED;
    p.normal = Rect{10, 20, 410, 320};
    const auto bytes = p.ToBytes();
    EXPECT_EQ(bytes.size(), 44u);
    EXPECT_EQ(bytes[0], 44);
    WindowPlacement back;
    ASSERT_TRUE(back.FromBytes(bytes.data(), bytes.size()));
    EXPECT_EQ(back, p);
    EXPECT_TRUE(back.IsMinimized());
    EXPECT_FALSE(back.FromBytes(bytes.data(), 43));
    auto bad = bytes;
    bad[0] = 40;
    EXPECT_FALSE(back.FromBytes(bad.data(), bad.size()));
    p.normal = Rect{400, 20, 10, 320};  // inverted
    const auto inverted = p.ToBytes();
    EXPECT_FALSE(back.FromBytes(inverted.data(), inverted.size()));
}

TEST(WindowPlacementRecord, SectionReadsOldValuesThenTheRecord)
{
    testsupport::ScopedRegistryDir registry;
    Brindle::CRegSection s(HKEY_CURRENT_USER, "Software/Halvern/MAVO/MAVO Document/0/Views/0");
    s.SetInt("Left", 5);
    s.SetInt("Top", 6);
    s.SetInt("Right", 305);
    s.SetInt("Bottom", 206);
    s.SetInt("Minimized", 1);
    WindowPlacement p = WindowPlacement::Read(s);
    EXPECT_EQ(p.normal, (Rect{5, 6, 305, 206}));
    EXPECT_TRUE(p.IsMinimized());

    s.SetBin("Window Placement", "short", 5);  // the wrong size: ignored
    EXPECT_EQ(WindowPlacement::Read(s), p);

    WindowPlacement stored;
    stored.normal = Rect{50, 60, 450, 360};
    ASSERT_TRUE(stored.Write(s));
    EXPECT_EQ(WindowPlacement::Read(s), stored);
}
