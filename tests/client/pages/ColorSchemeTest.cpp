#include "pages/ColorScheme.h"
#include "pages/DisplayState.h"

#include <gtest/gtest.h>

using namespace mavo;

TEST(ColorScheme, EntriesOutsideTheTableAreRefusedAndReadBlack)
{
    CColorScheme s = CColorScheme::DefaultStyle();
    EXPECT_EQ(s.Get(-1), 0u);
    EXPECT_EQ(s.Get(190), 0u);
    EXPECT_EQ(s.Get(1 << 30), 0u);
    EXPECT_FALSE(s.Set(190, 0x123456));
    EXPECT_FALSE(s.Set(-5, 0x123456));
    EXPECT_EQ(s, CColorScheme::DefaultStyle());
    EXPECT_TRUE(s.Set(189, 0xFF123456));
    EXPECT_EQ(s.Get(189), 0x123456u);  // the high byte is no colour
}

TEST(ColorSchemes, StyleSelectsASchemeAndBadStylesFallBackToTheFirst)
{
    CColorSchemes schemes;
    EXPECT_EQ(&schemes.ForStyle(0), &schemes.Scheme(0));
    EXPECT_EQ(&schemes.ForStyle(2), &schemes.Scheme(2));
    EXPECT_EQ(&schemes.ForStyle(3), &schemes.Scheme(0));
    EXPECT_EQ(&schemes.ForStyle(-1), &schemes.Scheme(0));
    EXPECT_EQ(&schemes.ForStyle(1000000), &schemes.Scheme(0));
    EXPECT_EQ(schemes.NoTradingScheme(), CColorScheme::NoTrading());
}

TEST(ColorSchemes, MyColoursGoIntoTheThreeSelectableSchemesOnly)
{
    CColorSchemes schemes;
    schemes.SetMyCustomerColors(0x112233, 0x445566);
    schemes.SetMyPriceColors(0x778899, 0xAABBCC);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(schemes.Scheme(i).Get(60), 0x112233u);
        EXPECT_EQ(schemes.Scheme(i).Get(61), 0x445566u);
        EXPECT_EQ(schemes.Scheme(i).Get(188), 0x778899u);
        EXPECT_EQ(schemes.Scheme(i).Get(189), 0xAABBCCu);
    }
    EXPECT_EQ(schemes.NoTradingScheme(), CColorScheme::NoTrading());
    EXPECT_EQ(schemes.MyCustomerBG(), 0x445566u);
    EXPECT_EQ(schemes.MyPriceFG(), 0x778899u);
}
