// The values of the page-format property pages, each page as a plain
// record taken from a page format and put back into one, with the ranges
// and choices its controls offer. The widgets (properties/ui) only show
// and collect these records; every rule of the mapping lives here.
//
// - Sliders offer exactly the range the stored format accepts, so every
//   stored width can be shown and nothing the sliders give is refused.
// - On/off settings show any non-zero stored value as on; a switch left
//   as it was keeps its stored value.
// - A stack or aggressor size outside 0..5 selects no radio button; a page
//   left with no choice keeps the stored size.
// - "TMStackSize" outside 1..5 shows "One".
// - The title edit takes at most 40 characters (UTF-8 text is never cut
//   inside a character); a longer document title is shown cut, and is only
//   replaced when the user changed the text.
//
// Thread-safety: plain values and pure functions; any thread.
#pragma once

#include "pages/PageFormat.h"

#include <array>
#include <optional>
#include <string>

namespace mavo {

struct SliderRange {
    int min;
    int max;
    int tick;
};

inline constexpr SliderRange kIssueSizeRange{0, 40, 2};
inline constexpr SliderRange kRateSizeRange{0, 12, 1};
inline constexpr SliderRange kQuantitySizeRange{0, 12, 1};
inline constexpr SliderRange kIndicativeSizeRange{0, 12, 1};
inline constexpr SliderRange kStackCustSizeRange{0, 6, 1};
inline constexpr SliderRange kStackQuanSizeRange{0, 9, 1};
inline constexpr SliderRange kTHRateSizeRange{0, 20, 1};
inline constexpr SliderRange kTHVolumeSizeRange{0, 20, 1};
inline constexpr SliderRange kTHNumberSizeRange{0, 20, 1};

inline constexpr int kMaxTitleEdit = 40;
inline constexpr int kMaxStackChoice = 5;

// "None", "One" ... "Five".
extern const std::array<const char*, 6> kStackSizeNames;
// "Customers and Quantity" (0), "Customers Only" (1).
extern const std::array<const char*, 2> kCustomerChoiceNames;
// "0.00", "0.0", "0" ("VolumePrecision" 0, 1, 2).
extern const std::array<const char*, 3> kVolumePrecisionNames;
// "Default Style", "Enhanced Style", "High Contrast".
extern const std::array<const char*, 3> kColorStyleNames;

// A stored size as a radio choice: none for a size outside 0..max.
std::optional<int> SizeChoice(int size, int max = kMaxStackChoice);
int ClampToRange(int value, const SliderRange& range);

struct LayoutValues {
    std::string title;  // as the edit shows it (at most 40 characters)
    int issueSize = 0;
    int rateSize = 0;
    int quantitySize = 0;
    int indicativeSize = 0;
    int stackCustSize = 0;
    int stackQuanSize = 0;
    bool showSpreads = false;
    bool showPrevious = false;
    bool showUnderlines = false;
    bool showNumbers = false;
    bool showIndicative = false;

    static LayoutValues From(const CPageFormat& format, const std::string& title = {});
    // The widths and switches; "FixedFont" keeps its stored value.
    void ApplyTo(CPageFormat& format) const;
    // The document title after the sheet: unchanged unless the user
    // changed the edit's text.
    std::string TitleFor(const std::string& documentTitle) const;

    friend bool operator==(const LayoutValues&, const LayoutValues&) = default;
};

struct StackValues {
    std::optional<int> bidSize;    // none: no button chosen
    std::optional<int> offerSize;
    int customerOnly = 0;          // index into kCustomerChoiceNames

    static StackValues From(const CPageFormat& format);
    void ApplyTo(CPageFormat& format) const;

    friend bool operator==(const StackValues&, const StackValues&) = default;
};

struct AggressorValues {
    std::optional<int> bidSize;
    std::optional<int> offerSize;
    int customerOnly = 1;
    bool flashAggressors = false;
    bool useCenterColors = false;

    static AggressorValues From(const CPageFormat& format);
    void ApplyTo(CPageFormat& format) const;

    friend bool operator==(const AggressorValues&, const AggressorValues&) = default;
};

struct TradeHistoryValues {
    bool show = false;
    int rateSize = 0;
    int volumeSize = 0;
    int numberSize = 0;
    bool showNumber = false;
    bool showRate = false;
    bool showTime = false;
    bool showVolume = false;
    int volumePrecision = 0;  // index into kVolumePrecisionNames

    static TradeHistoryValues From(const CPageFormat& format);
    void ApplyTo(CPageFormat& format) const;

    friend bool operator==(const TradeHistoryValues&, const TradeHistoryValues&) = default;
};

struct ColorValues {
    int colorStyle = 0;  // index into kColorStyleNames

    static ColorValues From(const CPageFormat& format);
    void ApplyTo(CPageFormat& format) const;

    friend bool operator==(const ColorValues&, const ColorValues&) = default;
};

struct TradeMonitorValues {
    bool hasTradeLines = false;
    bool showNumbers = false;
    bool showStack = false;
    bool showVolume = false;
    int customerOnly = 1;  // index into kCustomerChoiceNames
    int stackSize = 1;     // 1..5 ("One" ... "Five")

    static TradeMonitorValues From(const CPageFormat& format);
    void ApplyTo(CPageFormat& format) const;

    friend bool operator==(const TradeMonitorValues&, const TradeMonitorValues&) = default;
};

} // namespace mavo
