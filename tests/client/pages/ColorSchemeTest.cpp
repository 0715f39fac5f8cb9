#include "pages/ColorScheme.h"
#include "pages/DisplayState.h"

#include <gtest/gtest.h>

using namespace mavo;

TEST(ColorScheme, DefaultStyleHasTheDocumentedPairs)
{
    const CColorScheme s = CColorScheme::DefaultStyle();
    EXPECT_EQ(s.Get(Entry::RowFG), 0x00FF00u);
    EXPECT_EQ(s.Get(Entry::RowBG), 0x000000u);
    EXPECT_EQ(s.Get(Entry::Underline), 0xFFFFFFu);
    EXPECT_EQ(s.Get(Entry::LineNumberFG), 0xFFFFFFu);
    EXPECT_EQ(s.Get(Entry::LineNumberBG), 0xFF0000u);
    EXPECT_EQ(s.Get(Entry::UnlistedNumberFG), 0xA0A0A0u);
    EXPECT_EQ(s.Get(14), 0x0000FFu);
    EXPECT_EQ(s.Get(22), 0x00FF00u);
    EXPECT_EQ(s.Get(Entry::THVolumeFG), 0x0080FFu);
    EXPECT_EQ(s.Get(Entry::SpreadBidBG), 0x404040u);
    EXPECT_EQ(s.Get(Entry::SpreadOfferBG), 0x800000u);
    EXPECT_EQ(s.Get(Entry::PreviousFG), 0xFFFF00u);
    EXPECT_EQ(s.Get(Entry::BackupFrame), 0x0080FFu);
    EXPECT_EQ(s.Get(Entry::EmptyStackLevel), 0x000000u);
    EXPECT_EQ(s.Get(Entry::MyPriceFG), 0x00FFFFu);
    EXPECT_EQ(s.Get(Entry::MyPriceBG), 0x0000FFu);
    EXPECT_EQ(s.Get(Entry::TMHeaderBG), 0x008000u);
    EXPECT_EQ(s.Get(Entry::TMEmptyStackLevel), 0x000000u);
    EXPECT_EQ(s.Get(Entry::Flag1000FG + 1), 0x008000u);
}

TEST(ColorScheme, DefaultFramesAndCentresFollowTheirIndex)
{
    const CColorScheme s = CColorScheme::DefaultStyle();
    const ColorRef frames[10] = {0x00FF00, 0x00FF00, 0x0000FF, 0xFF0000, 0x008000,
                                 0xFF00FF, 0x00FFFF, 0x0080FF, 0xFFFF00, 0xA0A0A0};
    for (int c = 0; c < 10; ++c)
        EXPECT_EQ(s.Get(36 + 2 * c), frames[c]) << "centre " << c;
    const ColorRef centreBackgrounds[10] = {0xFFFF00, 0x000000, 0x0000FF, 0xFF0000, 0x008000,
                                            0x800080, 0x00FFFF, 0x0080FF, 0xFFFF00, 0xA0A0A0};
    for (int c = 0; c < 10; ++c)
        EXPECT_EQ(s.Get(61 + 2 * c), centreBackgrounds[c]) << "centre " << c;
    EXPECT_EQ(s.Get(62), 0x0000FFu);  // centre 1 text
}

TEST(ColorScheme, RatesAndQuantitiesByDisplayState)
{
    const CColorScheme s = CColorScheme::DefaultStyle();
    for (int base : {Entry::BidRate, Entry::BidQuantity, Entry::OfferRate, Entry::OfferQuantity}) {
        for (int state : {0, 1, 4, 5, 6, 7}) {
            EXPECT_EQ(s.Get(Entry::StateFG(base, state)), 0x00FF00u);
            EXPECT_EQ(s.Get(Entry::StateBG(base, state)), 0x000000u);
        }
        EXPECT_EQ(s.Get(Entry::StateBG(base, DS_STATE2)), 0xFFFFFFu);
        EXPECT_EQ(s.Get(Entry::StateBG(base, DS_STATE3)), 0x808080u);
        EXPECT_EQ(s.Get(Entry::StateBG(base, DS_BEST)), 0x00FF00u);
        EXPECT_EQ(s.Get(Entry::StateFG(base, DS_BEST)), 0x000000u);
    }
    // The groups tile 80..151 without overlap.
    EXPECT_EQ(Entry::StateBG(Entry::OfferQuantity, 8), 151);
}

TEST(ColorScheme, EnhancedAndHighContrastDifferWhereDocumented)
{
    const CColorScheme d = CColorScheme::DefaultStyle();
    const CColorScheme e = CColorScheme::EnhancedStyle();
    const CColorScheme h = CColorScheme::HighContrast();
    EXPECT_EQ(e.Get(Entry::StateFG(Entry::OfferRate, 1)), 0x00FFFFu);
    EXPECT_EQ(e.Get(Entry::StateFG(Entry::OfferQuantity, 4)), 0x00FFFFu);
    EXPECT_EQ(e.Get(Entry::StateFG(Entry::BidRate, 1)), 0x00FF00u);
    EXPECT_EQ(e.Get(Entry::StateBG(Entry::BidRate, 2)), 0x00FF00u);
    EXPECT_EQ(e.Get(Entry::StateBG(Entry::OfferQuantity, 2)), 0x00FFFFu);
    EXPECT_EQ(e.Get(Entry::StateBG(Entry::BidQuantity, 8)), 0x008000u);
    EXPECT_EQ(e.Get(Entry::StateBG(Entry::OfferRate, 8)), 0x008080u);
    EXPECT_EQ(e.Get(46), 0x800080u);
    EXPECT_EQ(e.Get(186), 0x00FFFFu);

    EXPECT_EQ(h.Get(Entry::StateFG(Entry::BidRate, 1)), 0x00FFFFu);
    EXPECT_EQ(h.Get(Entry::StateFG(Entry::OfferQuantity, 1)), 0xFFFF00u);
    EXPECT_EQ(h.Get(Entry::StateBG(Entry::BidRate, 2)), 0x00FFFFu);
    EXPECT_EQ(h.Get(Entry::StateBG(Entry::OfferRate, 2)), 0xFFFF00u);
    EXPECT_EQ(h.Get(Entry::StateBG(Entry::BidQuantity, 3)), 0x008080u);
    EXPECT_EQ(h.Get(Entry::StateBG(Entry::OfferQuantity, 3)), 0x808000u);
    EXPECT_EQ(h.Get(Entry::StateBG(Entry::BidRate, 8)), 0x004080u);
    EXPECT_EQ(h.Get(Entry::StateBG(Entry::OfferRate, 8)), 0x800000u);

    // Everything not listed stays as in the default style.
    int differences = 0;
    for (int i = 0; i < Entry::kCount; ++i)
        differences += e.Get(i) != d.Get(i);
    EXPECT_EQ(differences, 2 * 6 + 4 + 4 + 2);  // offer texts, state-2/8 backgrounds, 46, 186
}

TEST(ColorScheme, NoTradingSchemeGreysEverythingButTheLineNumber)
{
    const CColorScheme n = CColorScheme::NoTrading();
    const CColorScheme d = CColorScheme::DefaultStyle();
    EXPECT_EQ(n.Get(Entry::IssueFG), 0x808080u);
    EXPECT_EQ(n.Get(Entry::IssueBG), 0x000000u);
    EXPECT_EQ(n.Get(Entry::StateFG(Entry::BidRate, 0)), 0x000000u);
    EXPECT_EQ(n.Get(Entry::StateFG(Entry::BidRate, 1)), 0x808080u);
    EXPECT_EQ(n.Get(Entry::StateBG(Entry::OfferQuantity, 2)), 0x404040u);
    EXPECT_EQ(n.Get(Entry::StateBG(Entry::BidQuantity, 3)), 0x404040u);
    EXPECT_EQ(n.Get(Entry::StateBG(Entry::BidQuantity, 8)), 0x000000u);
    EXPECT_EQ(n.Get(Entry::LineNumberFG), d.Get(Entry::LineNumberFG));
    EXPECT_EQ(n.Get(Entry::LineNumberBG), d.Get(Entry::LineNumberBG));
    EXPECT_EQ(n.Get(Entry::UnlistedNumberBG), d.Get(Entry::UnlistedNumberBG));
    EXPECT_EQ(n.Get(Entry::UnlistedNumberFG), 0x808080u);
    EXPECT_EQ(n.Get(Entry::CenterBG0 + 2 * 1), 0x000000u);
    for (int c = 2; c <= 9; ++c)
        EXPECT_EQ(n.Get(Entry::CenterBG0 + 2 * c), 0x404040u);
}

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
