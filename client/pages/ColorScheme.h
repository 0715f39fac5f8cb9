// Colour schemes of the page windows: tables of 190 colours, foreground and
// background pairs (foreground first), indexed by entry number.
//
// Colours are Windows colour values, 0x00BBGGRR, kept as they are stored;
// the widgets turn them into their own colour type.
//
// CColorScheme::Get never reads outside the table: an entry outside 0..189
// gives black. CColorSchemes holds the four schemes of the main frame: the
// three a page format selects with "ColorStyle" (0 "Default Style",
// 1 "Enhanced Style", 2 "High Contrast"; any other stored value means 0) and
// the scheme of lines that may not be traded (line flag 0x200).
//
// Thread-safety: plain values; one thread at a time per object.
#pragma once

#include <array>
#include <cstdint>

namespace mavo {

using ColorRef = std::uint32_t;

constexpr ColorRef RGBColor(int r, int g, int b)
{
    return static_cast<ColorRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(ColorRef c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(ColorRef c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(ColorRef c) { return static_cast<int>((c >> 16) & 0xFF); }

// Entry numbers of a scheme. A pair p is entries 2p (foreground) and 2p+1
// (background).
namespace Entry {
constexpr int kCount = 190;

constexpr int RowFG = 0, RowBG = 1;          // row background (1 fills what no cell covers)
constexpr int Underline = 2;
constexpr int LineNumberFG = 4, LineNumberBG = 5;
constexpr int UnlistedNumberFG = 6, UnlistedNumberBG = 7;
constexpr int StackQuantityFG = 8, StackQuantityBG = 9;
constexpr int TextLineFG = 10, TextLineBG = 11;
constexpr int IssueFG = 12, IssueBG = 13;
// Trade history after a bid trade (+0) or an offer trade (+6).
constexpr int THNumberFG = 14, THRateFG = 16, THTimeFG = 18;
constexpr int THOfferTrade = 6;
constexpr int THVolumeFG = 26, THVolumeBG = 27;  // 27 also fills empty trade-history cells
constexpr int SpreadBidFG = 28, SpreadBidBG = 29, SpreadOfferFG = 30, SpreadOfferBG = 31;
constexpr int PreviousFG = 32, PreviousBG = 33;
constexpr int AggrCustomerFG = 34, AggrCustomerBG = 35;
constexpr int AggrQuantityFG = 36, AggrQuantityBG = 37;
// Frame of a hit/lift-when-centre price: 36 + 2c for centre c (0..9), or
// 40 when centre colours for frames are off.
constexpr int WhenCenterFrame0 = 36;
constexpr int WhenCenterFramePlain = 40;
constexpr int BackupFrame = 58;
// Stack customer of centre colour index c: 60 + 2c, 61 + 2c.
constexpr int CenterFG0 = 60, CenterBG0 = 61;
constexpr int EmptyStackLevel = 63;
// Rates and quantities in display state s: base + 2s, base + 2s + 1.
constexpr int BidRate = 80, BidQuantity = 98, OfferRate = 116, OfferQuantity = 134;
constexpr int SlashFG = 154, SlashBG = 155;
constexpr int CrossFG = 156, CrossBG = 157;
constexpr int Flag1000FG = 162, Flag2000FG = 166, Flag4000FG = 168;
constexpr int TMNumberFG = 170, TMNumberBG = 171;
constexpr int TMIssueFG = 172, TMIssueBG = 173;
constexpr int TMVolumeFG = 174, TMVolumeBG = 175;  // also trade monitor stack quantities
constexpr int TMBidFG = 176, TMBidBG = 177;
constexpr int TMOfferFG = 178, TMOfferBG = 179;
constexpr int TMHeaderFG = 180, TMHeaderBG = 181;
constexpr int TMEmptyStackLevel = 183;
constexpr int IndicativeBidFG = 184, IndicativeBidBG = 185;
constexpr int IndicativeOfferFG = 186, IndicativeOfferBG = 187;
constexpr int MyPriceFG = 188, MyPriceBG = 189;

constexpr int StateFG(int base, int state) { return base + 2 * state; }
constexpr int StateBG(int base, int state) { return base + 2 * state + 1; }
constexpr int WhenCenterFrame(int centre) { return WhenCenterFrame0 + 2 * centre; }
constexpr int CenterFG(int index) { return CenterFG0 + 2 * index; }
constexpr int CenterBG(int index) { return CenterBG0 + 2 * index; }
} // namespace Entry

// Fills that are not scheme entries.
constexpr ColorRef kMissingLineColor = 0x408040;  // a key the line cache lacks
constexpr ColorRef kUnlistedFill = 0x303030;      // black backgrounds of an unlisted row
constexpr ColorRef kMetaTextColor = 0xC0C0C0;     // text in meta rendering

class CColorScheme {
public:
    // All black.
    CColorScheme() = default;

    static CColorScheme DefaultStyle();
    static CColorScheme EnhancedStyle();
    static CColorScheme HighContrast();
    // Lines that may not be traded (line flag 0x200).
    static CColorScheme NoTrading();

    // Black for an entry outside the table.
    ColorRef Get(int entry) const;
    // False (nothing changed) for an entry outside the table.
    bool Set(int entry, ColorRef color);

    friend bool operator==(const CColorScheme&, const CColorScheme&) = default;

private:
    std::array<ColorRef, Entry::kCount> m_colors{};
};

class CColorSchemes {
public:
    static constexpr int kSelectable = 3;

    // The default colours of all four schemes.
    CColorSchemes();

    // The scheme of a "ColorStyle" value; any value outside 0..2 gives the
    // first.
    const CColorScheme& ForStyle(int colorStyle) const;
    const CColorScheme& NoTradingScheme() const { return m_schemes[kSelectable]; }
    CColorScheme& Scheme(int index);

    // The my-customer pair (entries 60-61) and the my-price pair (188-189)
    // of the three selectable schemes.
    void SetMyCustomerColors(ColorRef fg, ColorRef bg);
    void SetMyPriceColors(ColorRef fg, ColorRef bg);
    // As stored: read from the first scheme.
    ColorRef MyCustomerFG() const { return m_schemes[0].Get(Entry::CenterFG0); }
    ColorRef MyCustomerBG() const { return m_schemes[0].Get(Entry::CenterBG0); }
    ColorRef MyPriceFG() const { return m_schemes[0].Get(Entry::MyPriceFG); }
    ColorRef MyPriceBG() const { return m_schemes[0].Get(Entry::MyPriceBG); }

private:
    std::array<CColorScheme, kSelectable + 1> m_schemes;
};

} // namespace mavo
