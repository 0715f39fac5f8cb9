#include "properties/PropertyValues.h"

#include <algorithm>

namespace mavo {

const std::array<const char*, 6> kStackSizeNames = {"None", "One", "Two", "Three", "Four", "Five"};
const std::array<const char*, 2> kCustomerChoiceNames = {"Customers and Quantity", "Customers Only"};
const std::array<const char*, 3> kVolumePrecisionNames = {"0.00", "0.0", "0"};
const std::array<const char*, 3> kColorStyleNames = {"Default Style", "Enhanced Style", "High Contrast"};

namespace {

int OnOff(bool on) { return on ? 1 : 0; }

// An on/off setting keeps its stored value while the control still shows
// it as stored (a stored 2 stays 2), and takes 0/1 when it was changed.
int OnOffKeeping(bool on, int stored) { return (stored != 0) == on ? stored : OnOff(on); }

int CustomerChoice(int stored) { return stored != 0 ? 1 : 0; }

// The first `maxChars` characters of UTF-8 text, never cutting one apart
// (the edit counts characters, the document keeps bytes).
std::string Utf8Prefix(const std::string& text, std::size_t maxChars)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80) {
            if (chars == maxChars)
                return text.substr(0, i);
            ++chars;
        }
    }
    return text;
}

} // namespace

std::optional<int> SizeChoice(int size, int max)
{
    if (size < 0 || size > max)
        return std::nullopt;
    return size;
}

int ClampToRange(int value, const SliderRange& range) { return std::clamp(value, range.min, range.max); }

// ---- Layout

LayoutValues LayoutValues::From(const CPageFormat& f, const std::string& title)
{
    LayoutValues v;
    v.title = Utf8Prefix(title, kMaxTitleEdit);
    v.issueSize = ClampToRange(f.issueSize, kIssueSizeRange);
    v.rateSize = ClampToRange(f.rateSize, kRateSizeRange);
    v.quantitySize = ClampToRange(f.quantitySize, kQuantitySizeRange);
    v.indicativeSize = ClampToRange(f.indicativeSize, kIndicativeSizeRange);
    v.stackCustSize = ClampToRange(f.stackCustSize, kStackCustSizeRange);
    v.stackQuanSize = ClampToRange(f.stackQuanSize, kStackQuanSizeRange);
    v.showSpreads = f.showSpreads != 0;
    v.showPrevious = f.showPrevious != 0;
    v.showUnderlines = f.showUnderlines != 0;
    v.showNumbers = f.showNumbers != 0;
    v.showIndicative = f.showIndicative != 0;
    return v;
}

void LayoutValues::ApplyTo(CPageFormat& f) const
{
    f.issueSize = ClampToRange(issueSize, kIssueSizeRange);
    f.rateSize = ClampToRange(rateSize, kRateSizeRange);
    f.quantitySize = ClampToRange(quantitySize, kQuantitySizeRange);
    f.indicativeSize = ClampToRange(indicativeSize, kIndicativeSizeRange);
    f.stackCustSize = ClampToRange(stackCustSize, kStackCustSizeRange);
    f.stackQuanSize = ClampToRange(stackQuanSize, kStackQuanSizeRange);
    f.showSpreads = OnOffKeeping(showSpreads, f.showSpreads);
    f.showPrevious = OnOffKeeping(showPrevious, f.showPrevious);
    f.showUnderlines = OnOffKeeping(showUnderlines, f.showUnderlines);
    f.showNumbers = OnOffKeeping(showNumbers, f.showNumbers);
    f.showIndicative = OnOffKeeping(showIndicative, f.showIndicative);
}

std::string LayoutValues::TitleFor(const std::string& documentTitle) const
{
    // The edit shows at most 40 characters: an untouched edit must not cut
    // a longer title.
    if (title == Utf8Prefix(documentTitle, kMaxTitleEdit))
        return documentTitle;
    return Utf8Prefix(title, kMaxTitleEdit);
}

// ---- Stack

StackValues StackValues::From(const CPageFormat& f)
{
    StackValues v;
    v.bidSize = SizeChoice(f.bidStackSize);
    v.offerSize = SizeChoice(f.offerStackSize);
    v.customerOnly = CustomerChoice(f.customerOnly);
    return v;
}

void StackValues::ApplyTo(CPageFormat& f) const
{
    if (bidSize && SizeChoice(*bidSize))
        f.bidStackSize = *bidSize;
    if (offerSize && SizeChoice(*offerSize))
        f.offerStackSize = *offerSize;
    f.customerOnly = OnOffKeeping(customerOnly != 0, f.customerOnly);
}

// ---- Aggressors

AggressorValues AggressorValues::From(const CPageFormat& f)
{
    AggressorValues v;
    v.bidSize = SizeChoice(f.bidAggrSize);
    v.offerSize = SizeChoice(f.offerAggrSize);
    v.customerOnly = CustomerChoice(f.aggrCustomerOnly);
    v.flashAggressors = f.flashAggr != 0;
    v.useCenterColors = f.aggrCenterColor != 0;
    return v;
}

void AggressorValues::ApplyTo(CPageFormat& f) const
{
    if (bidSize && SizeChoice(*bidSize))
        f.bidAggrSize = *bidSize;
    if (offerSize && SizeChoice(*offerSize))
        f.offerAggrSize = *offerSize;
    f.aggrCustomerOnly = OnOffKeeping(customerOnly != 0, f.aggrCustomerOnly);
    f.flashAggr = OnOffKeeping(flashAggressors, f.flashAggr);
    f.aggrCenterColor = OnOffKeeping(useCenterColors, f.aggrCenterColor);
}

// ---- Trade History

TradeHistoryValues TradeHistoryValues::From(const CPageFormat& f)
{
    TradeHistoryValues v;
    v.show = f.showTradeHistory != 0;
    v.rateSize = ClampToRange(f.thRateSize, kTHRateSizeRange);
    v.volumeSize = ClampToRange(f.thVolumeSize, kTHVolumeSizeRange);
    v.numberSize = ClampToRange(f.thNumberSize, kTHNumberSizeRange);
    v.showNumber = f.showTHNumber != 0;
    v.showRate = f.showTHRates != 0;
    v.showTime = f.showTHTime != 0;
    v.showVolume = f.showTHVolume != 0;
    v.volumePrecision = std::clamp(f.volumePrecision, 0, static_cast<int>(kVolumePrecisionNames.size()) - 1);
    return v;
}

void TradeHistoryValues::ApplyTo(CPageFormat& f) const
{
    f.showTradeHistory = OnOffKeeping(show, f.showTradeHistory);
    f.thRateSize = ClampToRange(rateSize, kTHRateSizeRange);
    f.thVolumeSize = ClampToRange(volumeSize, kTHVolumeSizeRange);
    f.thNumberSize = ClampToRange(numberSize, kTHNumberSizeRange);
    f.showTHNumber = OnOffKeeping(showNumber, f.showTHNumber);
    f.showTHRates = OnOffKeeping(showRate, f.showTHRates);
    f.showTHTime = OnOffKeeping(showTime, f.showTHTime);
    f.showTHVolume = OnOffKeeping(showVolume, f.showTHVolume);
    if (volumePrecision >= 0 && volumePrecision < static_cast<int>(kVolumePrecisionNames.size()))
        f.volumePrecision = volumePrecision;
}

// ---- Colors

ColorValues ColorValues::From(const CPageFormat& f)
{
    ColorValues v;
    v.colorStyle = std::clamp(f.colorStyle, 0, static_cast<int>(kColorStyleNames.size()) - 1);
    return v;
}

void ColorValues::ApplyTo(CPageFormat& f) const
{
    if (colorStyle >= 0 && colorStyle < static_cast<int>(kColorStyleNames.size()))
        f.colorStyle = colorStyle;
}

// ---- Trade Monitor

TradeMonitorValues TradeMonitorValues::From(const CPageFormat& f)
{
    TradeMonitorValues v;
    v.hasTradeLines = f.tmHasTradeLines != 0;
    v.showNumbers = f.tmShowNumbers != 0;
    v.showStack = f.tmShowStack != 0;
    v.showVolume = f.tmShowVolume != 0;
    v.customerOnly = CustomerChoice(f.tmCustomerOnly);
    v.stackSize = f.tmStackSize >= 1 && f.tmStackSize <= kMaxStackChoice ? f.tmStackSize : 1;
    return v;
}

void TradeMonitorValues::ApplyTo(CPageFormat& f) const
{
    f.tmHasTradeLines = OnOffKeeping(hasTradeLines, f.tmHasTradeLines);
    f.tmShowNumbers = OnOffKeeping(showNumbers, f.tmShowNumbers);
    f.tmShowStack = OnOffKeeping(showStack, f.tmShowStack);
    f.tmShowVolume = OnOffKeeping(showVolume, f.tmShowVolume);
    f.tmCustomerOnly = OnOffKeeping(customerOnly != 0, f.tmCustomerOnly);
    f.tmStackSize = stackSize >= 1 && stackSize <= kMaxStackChoice ? stackSize : 1;
}

} // namespace mavo
