// The "Display Options" switches of the main window and their stored form,
// the bit mask "InfoTip" of the "MainFrame" section:
//
//   bit 0 "Bid/Offer When Rate"          backup price tips over the rate cells
//   bit 1 "Hit/Lift When Center"         hit/lift-when-centre tips over the rate cells
//   bit 2 "Previous Rate"                previous-rate tips over the previous customers
//   bit 3 "Trade High/Low/Last/Volume"   trade statistics tip over the issue
//   bit 4 "Best Price Indicator"         best-price display state of the pages
//   bit 5 "Hit/Lift When Center Colors"  centre colours for the when-centre frames
//
// Bits beyond these six are carried through unchanged, so a value written
// by another build survives a round trip through the dialog.
//
// Plain value and pure functions; any thread.
#pragma once

namespace mavo {

namespace InfoTipBit {
constexpr int BackupPrice = 1 << 0;
constexpr int WhenCenter = 1 << 1;
constexpr int PreviousRate = 1 << 2;
constexpr int TradeStatistics = 1 << 3;
constexpr int BestPrice = 1 << 4;
constexpr int WhenCenterColors = 1 << 5;
// The four bits that ask for tips.
constexpr int AnyTip = BackupPrice | WhenCenter | PreviousRate | TradeStatistics;
constexpr int KnownBits = AnyTip | BestPrice | WhenCenterColors;
} // namespace InfoTipBit

struct CDisplayOptions {
    bool backupPriceTips = false;
    bool whenCenterTips = false;
    bool previousRateTips = false;
    bool tradeStatisticsTips = false;
    bool bestPriceIndicator = false;
    bool whenCenterColors = false;
    // Bits of the stored mask that are none of the six switches.
    int otherBits = 0;

    static CDisplayOptions FromMask(int mask);
    int ToMask() const;

    friend bool operator==(const CDisplayOptions&, const CDisplayOptions&) = default;
};

// Info tips are on in the full view when any of bits 0 to 3 is set.
bool InfoTipsOn(int mask, bool fullView);

} // namespace mavo
