#include "pages/ColorScheme.h"

namespace mavo {

namespace {

constexpr ColorRef kBlack = 0x000000;
constexpr ColorRef kGreen = 0x00FF00;
constexpr ColorRef kWhite = 0xFFFFFF;

constexpr int kRateGroups[] = {Entry::BidRate, Entry::BidQuantity, Entry::OfferRate, Entry::OfferQuantity};
// Display states whose texts are drawn in the side's text colour on black.
constexpr int kPlainStates[] = {0, 1, 4, 5, 6, 7};

void SetPair(CColorScheme& s, int fg, ColorRef fore, ColorRef back)
{
    s.Set(fg, fore);
    s.Set(fg + 1, back);
}

void SetSideTexts(CColorScheme& s, int rateBase, int quantityBase, ColorRef text)
{
    for (int state : kPlainStates) {
        s.Set(Entry::StateFG(rateBase, state), text);
        s.Set(Entry::StateFG(quantityBase, state), text);
    }
}

void SetStateBackground(CColorScheme& s, int rateBase, int quantityBase, int state, ColorRef back)
{
    s.Set(Entry::StateBG(rateBase, state), back);
    s.Set(Entry::StateBG(quantityBase, state), back);
}

} // namespace

ColorRef CColorScheme::Get(int entry) const
{
    if (entry < 0 || entry >= Entry::kCount)
        return kBlack;
    return m_colors[static_cast<std::size_t>(entry)];
}

bool CColorScheme::Set(int entry, ColorRef color)
{
    if (entry < 0 || entry >= Entry::kCount)
        return false;
    m_colors[static_cast<std::size_t>(entry)] = color & 0xFFFFFFu;
    return true;
}

CColorScheme CColorScheme::DefaultStyle()
{
    CColorScheme s;
    // Entries no cell names: green texts on black, like the rest of the row.
    for (int e = 0; e < Entry::kCount; ++e)
        s.Set(e, e % 2 == 0 ? kGreen : kBlack);

    s.Set(Entry::Underline, kWhite);
    SetPair(s, Entry::LineNumberFG, kWhite, 0xFF0000);
    SetPair(s, Entry::UnlistedNumberFG, 0xA0A0A0, 0xFF0000);
    for (int e = 14; e <= 19; e += 2)
        SetPair(s, e, 0x0000FF, kBlack);
    for (int e = 20; e <= 25; e += 2)
        SetPair(s, e, kGreen, kBlack);
    SetPair(s, Entry::THVolumeFG, 0x0080FF, kBlack);
    SetPair(s, Entry::SpreadBidFG, kWhite, 0x404040);
    SetPair(s, Entry::SpreadOfferFG, 0x0080FF, 0x800000);
    SetPair(s, Entry::PreviousFG, 0xFFFF00, kBlack);
    SetPair(s, Entry::AggrCustomerFG, 0x0080FF, kBlack);
    SetPair(s, Entry::AggrQuantityFG, kGreen, kBlack);
    const ColorRef frames[10] = {kGreen,   kGreen,   0x0000FF, 0xFF0000, 0x008000,
                                 0xFF00FF, 0x00FFFF, 0x0080FF, 0xFFFF00, 0xA0A0A0};
    for (int c = 0; c < 10; ++c)
        s.Set(Entry::WhenCenterFrame(c), frames[c]);
    s.Set(Entry::BackupFrame, 0x0080FF);
    const ColorRef centers[10][2] = {{kBlack, 0xFFFF00}, {0x0000FF, kBlack}, {kWhite, 0x0000FF}, {kWhite, 0xFF0000},
                                     {kWhite, 0x008000}, {kWhite, 0x800080}, {kBlack, 0x00FFFF}, {kBlack, 0x0080FF},
                                     {kBlack, 0xFFFF00}, {kBlack, 0xA0A0A0}};
    for (int c = 0; c < 10; ++c)
        SetPair(s, Entry::CenterFG(c), centers[c][0], centers[c][1]);
    for (int base : kRateGroups) {
        for (int state = 0; state <= 8; ++state)
            SetPair(s, Entry::StateFG(base, state), kGreen, kBlack);
        SetPair(s, Entry::StateFG(base, 2), kBlack, kWhite);
        SetPair(s, Entry::StateFG(base, 3), kBlack, 0x808080);
        SetPair(s, Entry::StateFG(base, 8), kBlack, kGreen);
    }
    SetPair(s, Entry::Flag1000FG, kGreen, 0x008000);
    SetPair(s, Entry::Flag2000FG, 0x0080FF, kBlack);
    SetPair(s, Entry::Flag4000FG, kWhite, kBlack);
    SetPair(s, Entry::TMNumberFG, kWhite, 0x0000FF);
    SetPair(s, Entry::TMIssueFG, kWhite, 0xFF0000);
    SetPair(s, Entry::TMVolumeFG, 0x0080FF, kBlack);
    SetPair(s, Entry::TMBidFG, 0x0000FF, kBlack);
    SetPair(s, Entry::TMOfferFG, kGreen, kBlack);
    SetPair(s, Entry::TMHeaderFG, kGreen, 0x008000);
    SetPair(s, 182, 0x0000FF, kBlack);
    SetPair(s, Entry::MyPriceFG, 0x00FFFF, 0x0000FF);
    return s;
}

CColorScheme CColorScheme::EnhancedStyle()
{
    CColorScheme s = DefaultStyle();
    SetSideTexts(s, Entry::OfferRate, Entry::OfferQuantity, 0x00FFFF);
    SetStateBackground(s, Entry::BidRate, Entry::BidQuantity, 2, 0x00FF00);
    SetStateBackground(s, Entry::OfferRate, Entry::OfferQuantity, 2, 0x00FFFF);
    SetStateBackground(s, Entry::BidRate, Entry::BidQuantity, 8, 0x008000);
    SetStateBackground(s, Entry::OfferRate, Entry::OfferQuantity, 8, 0x008080);
    s.Set(46, 0x800080);
    s.Set(Entry::IndicativeOfferFG, 0x00FFFF);
    return s;
}

CColorScheme CColorScheme::HighContrast()
{
    CColorScheme s = DefaultStyle();
    SetSideTexts(s, Entry::BidRate, Entry::BidQuantity, 0x00FFFF);
    SetSideTexts(s, Entry::OfferRate, Entry::OfferQuantity, 0xFFFF00);
    SetStateBackground(s, Entry::BidRate, Entry::BidQuantity, 2, 0x00FFFF);
    SetStateBackground(s, Entry::OfferRate, Entry::OfferQuantity, 2, 0xFFFF00);
    SetStateBackground(s, Entry::BidRate, Entry::BidQuantity, 3, 0x008080);
    SetStateBackground(s, Entry::OfferRate, Entry::OfferQuantity, 3, 0x808000);
    SetStateBackground(s, Entry::BidRate, Entry::BidQuantity, 8, 0x004080);
    SetStateBackground(s, Entry::OfferRate, Entry::OfferQuantity, 8, 0x800000);
    s.Set(46, 0x800080);
    s.Set(Entry::IndicativeOfferFG, 0x00FFFF);
    return s;
}

CColorScheme CColorScheme::NoTrading()
{
    const CColorScheme base = DefaultStyle();
    CColorScheme s;
    for (int e = 0; e < Entry::kCount; ++e)
        s.Set(e, e % 2 == 0 ? 0x808080 : kBlack);
    // The line number keeps its colours, but for the unlisted foreground.
    for (int e : {Entry::LineNumberFG, Entry::LineNumberBG, Entry::UnlistedNumberBG})
        s.Set(e, base.Get(e));
    for (int group : kRateGroups) {
        s.Set(Entry::StateFG(group, 0), kBlack);
        s.Set(Entry::StateBG(group, 2), 0x404040);
        s.Set(Entry::StateBG(group, 3), 0x404040);
    }
    for (int c = 2; c <= 9; ++c)
        s.Set(Entry::CenterBG(c), 0x404040);
    return s;
}

CColorSchemes::CColorSchemes()
    : m_schemes{CColorScheme::DefaultStyle(), CColorScheme::EnhancedStyle(), CColorScheme::HighContrast(),
                CColorScheme::NoTrading()}
{
}

const CColorScheme& CColorSchemes::ForStyle(int colorStyle) const
{
    if (colorStyle < 0 || colorStyle >= kSelectable)
        colorStyle = 0;
    return m_schemes[static_cast<std::size_t>(colorStyle)];
}

CColorScheme& CColorSchemes::Scheme(int index)
{
    if (index < 0 || index > kSelectable)
        index = 0;
    return m_schemes[static_cast<std::size_t>(index)];
}

void CColorSchemes::SetMyCustomerColors(ColorRef fg, ColorRef bg)
{
    for (int i = 0; i < kSelectable; ++i) {
        m_schemes[static_cast<std::size_t>(i)].Set(Entry::CenterFG0, fg);
        m_schemes[static_cast<std::size_t>(i)].Set(Entry::CenterBG0, bg);
    }
}

void CColorSchemes::SetMyPriceColors(ColorRef fg, ColorRef bg)
{
    for (int i = 0; i < kSelectable; ++i) {
        m_schemes[static_cast<std::size_t>(i)].Set(Entry::MyPriceFG, fg);
        m_schemes[static_cast<std::size_t>(i)].Set(Entry::MyPriceBG, bg);
    }
}

} // namespace mavo
