#include "lineinfo/DisplayOptions.h"

namespace mavo {

CDisplayOptions CDisplayOptions::FromMask(int mask)
{
    CDisplayOptions o;
    o.backupPriceTips = (mask & InfoTipBit::BackupPrice) != 0;
    o.whenCenterTips = (mask & InfoTipBit::WhenCenter) != 0;
    o.previousRateTips = (mask & InfoTipBit::PreviousRate) != 0;
    o.tradeStatisticsTips = (mask & InfoTipBit::TradeStatistics) != 0;
    o.bestPriceIndicator = (mask & InfoTipBit::BestPrice) != 0;
    o.whenCenterColors = (mask & InfoTipBit::WhenCenterColors) != 0;
    o.otherBits = mask & ~InfoTipBit::KnownBits;
    return o;
}

int CDisplayOptions::ToMask() const
{
    int mask = otherBits & ~InfoTipBit::KnownBits;
    if (backupPriceTips)
        mask |= InfoTipBit::BackupPrice;
    if (whenCenterTips)
        mask |= InfoTipBit::WhenCenter;
    if (previousRateTips)
        mask |= InfoTipBit::PreviousRate;
    if (tradeStatisticsTips)
        mask |= InfoTipBit::TradeStatistics;
    if (bestPriceIndicator)
        mask |= InfoTipBit::BestPrice;
    if (whenCenterColors)
        mask |= InfoTipBit::WhenCenterColors;
    return mask;
}

bool InfoTipsOn(int mask, bool fullView) { return fullView && (mask & InfoTipBit::AnyTip) != 0; }

} // namespace mavo
