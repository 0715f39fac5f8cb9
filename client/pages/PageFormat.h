// CPageFormat: the display settings of one page window (37 integer settings
// and a font), stored per page with the page's own settings, once as the
// default style ("Default Style") and once as the print format
// ("PrintStyle").
//
// Stored form: each setting is a registry integer under its own name,
// written in the fixed order of kPageFormatNames, then the font as the
// binary value "Font", a 60-byte logical-font record (LogFont, little
// endian, the Windows layout).
//
// Loading never takes a value outside its valid range: a stack or
// aggressor size outside 0..5, a "TMStackSize" outside 1..5, a
// "ColorStyle" or "VolumePrecision" outside 0..2, a width outside its
// range, give the setting's default. A "Font" that is not exactly 60 bytes
// of binary data, or whose height or weight is not a real font's, gives the
// default font; the face name is always terminated. A missing value gives
// its default. On/off settings keep any stored value (non-zero is on).
//
// Thread-safety: a plain value; one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace Brindle {
class CRegSection;
}

namespace mavo {

// The Windows logical-font record as it is stored (60 bytes).
struct LogFont {
    static constexpr int kFaceSize = 32;
    static constexpr int kRecordSize = 60;

    std::int32_t height = 0;  // < 0: character height in pixels; > 0: cell height
    std::int32_t width = 0;
    std::int32_t escapement = 0;
    std::int32_t orientation = 0;
    std::int32_t weight = 400;  // 400 normal, 700 bold
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    std::array<char, kFaceSize> faceName{};

    std::string FaceName() const;
    // Cuts the name to 31 characters.
    void SetFaceName(const std::string& name);

    std::array<std::uint8_t, kRecordSize> ToBytes() const;
    // False (record unchanged) unless the bytes are one whole, sensible
    // record: exactly 60 bytes, |height| and width at most kMaxHeight,
    // weight 0..1000. The face name is terminated whatever the bytes hold.
    bool FromBytes(const std::uint8_t* data, std::size_t size);

    static constexpr int kMaxHeight = 400;

    friend bool operator==(const LogFont&, const LogFont&) = default;
};

struct CPageFormat {
    int bidStackSize = 1;
    int offerStackSize = 1;
    int customerOnly = 0;
    int bidAggrSize = 0;
    int offerAggrSize = 0;
    int aggrCustomerOnly = 1;
    int flashAggr = 1;
    int aggrCenterColor = 0;
    int showTradeHistory = 0;
    int showTHNumber = 1;
    int showTHRates = 1;
    int showTHTime = 1;
    int showTHVolume = 1;
    int thRateSize = 7;
    int thVolumeSize = 7;
    int thNumberSize = 4;
    int volumePrecision = 0;
    int showSpreads = 0;
    int showUnderlines = 1;
    int showPrevious = 0;
    int showIndicative = 0;
    int indicativeSize = 8;
    int showNumbers = 1;
    int issueSize = 15;
    int rateSize = 7;
    int quantitySize = 7;
    int stackCustSize = 4;
    int stackQuanSize = 4;
    int fixedFont = 0;
    int formatLocked = 0;
    int colorStyle = 0;
    int tmHasTradeLines = 0;
    int tmCustomerOnly = 1;
    int tmStackSize = 1;
    int tmShowVolume = 1;
    int tmShowNumbers = 1;
    int tmShowStack = 1;
    LogFont font = DefaultFont();

    static LogFont DefaultFont();

    // Reads every value (defaults for missing or out-of-range ones). A
    // section that is not open gives the defaults.
    void Load(const Brindle::CRegSection& section);
    // Writes every value in the stored order; true when the store took
    // every write.
    bool Save(const Brindle::CRegSection& section) const;

    // Puts every ranged setting back into its range (out-of-range values
    // take their defaults); the font likewise.
    void Normalize();

    friend bool operator==(const CPageFormat&, const CPageFormat&) = default;
};

// The stored names in the order they are written ("Font" last).
extern const std::array<const char*, 38> kPageFormatNames;

// The section of the default style below the settings root (the print
// format's is kPrintStyleSection of core/AppIdentity.h).
inline constexpr const char* kDefaultStyleSection = "Default Style";

} // namespace mavo
