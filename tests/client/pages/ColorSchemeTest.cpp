#include "pages/ColorScheme.h"
#include "pages/DisplayState.h"

#include <gtest/gtest.h>

using namespace mavo;

TEST(ColorScheme, EntriesOutsideTheTableAreRefusedAndReadBlack)
{
    CColorScheme s = CColorScheme::DefaultStyle();
    for (int outside : {-1, 190, 1 << 30}) {
        EXPECT_EQ(s.Get(outside), 0u) << outside;
        EXPECT_FALSE(s.Set(outside, 0x123456)) << outside;
    }
    EXPECT_EQ(s, CColorScheme::DefaultStyle());
    EXPECT_TRUE(s.Set(189, 0xFF123456));
    EXPECT_EQ(s.Get(189), 0x123456u);  // the high byte is no colour
}

TEST(ColorSchemes, StyleSelectsASchemeAndBadStylesFallBackToTheFirst)
{
    CColorSchemes schemes;
    for (const auto& [style, scheme] : {std::pair{0, 0}, {2, 2}, {3, 0}, {-1, 0}, {1000000, 0}})
        EXPECT_EQ(&schemes.ForStyle(style), &schemes.Scheme(scheme)) << style;
    EXPECT_EQ(schemes.NoTradingScheme(), CColorScheme::NoTrading());
}

TEST(ColorSchemes, MyColoursGoIntoTheThreeSelectableSchemesOnly)
{
    CColorSchemes schemes;
    schemes.SetMyCustomerColors(0x112233, 0x445566);
    schemes.SetMyPriceColors(0x778899, 0xAABBCC);
    const std::pair<int, ColorRef> mine[] = {{60, 0x112233u}, {61, 0x445566u}, {188, 0x778899u}, {189, 0xAABBCCu}};
    for (int i = 0; i < 3; ++i)
        for (const auto& [entry, color] : mine)
            EXPECT_EQ(schemes.Scheme(i).Get(entry), color) << i << " " << entry;
    EXPECT_EQ(schemes.NoTradingScheme(), CColorScheme::NoTrading());
    EXPECT_EQ(schemes.MyCustomerBG(), 0x445566u);
    EXPECT_EQ(schemes.MyPriceFG(), 0x778899u);
}
