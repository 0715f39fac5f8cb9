#include "pages/PageFormat.h"

#include "Brindle/base/RegSection.h"
#include "Platform/Registry.h"

#include <algorithm>
#include <cstring>

namespace mavo {

namespace {

struct Setting {
    const char* name;
    int CPageFormat::*member;
    int def;
    bool ranged;  // on/off settings keep any stored value
    int min;
    int max;
};

// In the stored order.
constexpr Setting kSettings[] = {
    {"BidStackSize", &CPageFormat::bidStackSize, 1, true, 0, 5},
    {"OfferStackSize", &CPageFormat::offerStackSize, 1, true, 0, 5},
    {"CustomerOnly", &CPageFormat::customerOnly, 0, false, 0, 0},
    {"BidAggrSize", &CPageFormat::bidAggrSize, 0, true, 0, 5},
    {"OfferAggrSize", &CPageFormat::offerAggrSize, 0, true, 0, 5},
    {"AggrCustomerOnly", &CPageFormat::aggrCustomerOnly, 1, false, 0, 0},
    {"FlashAggr", &CPageFormat::flashAggr, 1, false, 0, 0},
    {"ShowTradeHistory", &CPageFormat::showTradeHistory, 0, false, 0, 0},
    {"ShowSpreads", &CPageFormat::showSpreads, 0, false, 0, 0},
    {"ShowUnderlines", &CPageFormat::showUnderlines, 1, false, 0, 0},
    {"ShowPrevious", &CPageFormat::showPrevious, 0, false, 0, 0},
    {"ShowIndicative", &CPageFormat::showIndicative, 0, false, 0, 0},
    {"IndicativeSize", &CPageFormat::indicativeSize, 8, true, 0, 12},
    {"ShowNumbers", &CPageFormat::showNumbers, 1, false, 0, 0},
    {"IssueSize", &CPageFormat::issueSize, 15, true, 0, 40},
    {"RateSize", &CPageFormat::rateSize, 7, true, 0, 12},
    {"QuantitySize", &CPageFormat::quantitySize, 7, true, 0, 12},
    {"StackCustSize", &CPageFormat::stackCustSize, 4, true, 0, 6},
    {"StackQuanSize", &CPageFormat::stackQuanSize, 4, true, 0, 9},
    {"ShowTHNumber", &CPageFormat::showTHNumber, 1, false, 0, 0},
    {"ShowTHRates", &CPageFormat::showTHRates, 1, false, 0, 0},
    {"ShowTHTime", &CPageFormat::showTHTime, 1, false, 0, 0},
    {"ShowTHVolume", &CPageFormat::showTHVolume, 1, false, 0, 0},
    {"THRateSize", &CPageFormat::thRateSize, 7, true, 0, 20},
    {"THVolumeSize", &CPageFormat::thVolumeSize, 7, true, 0, 20},
    {"THNumberSize", &CPageFormat::thNumberSize, 4, true, 0, 20},
    {"FormatLocked", &CPageFormat::formatLocked, 0, false, 0, 0},
    {"VolumePrecision", &CPageFormat::volumePrecision, 0, true, 0, 2},
    {"FixedFont", &CPageFormat::fixedFont, 0, false, 0, 0},
    {"ColorStyle", &CPageFormat::colorStyle, 0, true, 0, 2},
    {"AggrCenterColor", &CPageFormat::aggrCenterColor, 0, false, 0, 0},
    {"TMCustomerOnly", &CPageFormat::tmCustomerOnly, 1, false, 0, 0},
    {"TMStackSize", &CPageFormat::tmStackSize, 1, true, 1, 5},
    {"TMShowVolume", &CPageFormat::tmShowVolume, 1, false, 0, 0},
    {"TMShowNumbers", &CPageFormat::tmShowNumbers, 1, false, 0, 0},
    {"TMShowStack", &CPageFormat::tmShowStack, 1, false, 0, 0},
    {"TMHasTradeLines", &CPageFormat::tmHasTradeLines, 0, false, 0, 0},
};
static_assert(std::size(kSettings) == 37);

constexpr const char* kFontValue = "Font";

void PutInt32(std::uint8_t* out, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::int32_t GetInt32(const std::uint8_t* in)
{
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    return static_cast<std::int32_t>(u);
}

bool FontIsSensible(const LogFont& font)
{
    // Written with the sign test first: negating INT32_MIN is undefined.
    auto within = [](std::int32_t v, std::int32_t limit) { return v >= -limit && v <= limit; };
    return within(font.height, LogFont::kMaxHeight) && font.width >= 0 && font.width <= LogFont::kMaxHeight &&
           font.weight >= 0 && font.weight <= 1000;
}

} // namespace

const std::array<const char*, 38> kPageFormatNames = [] {
    std::array<const char*, 38> names{};
    for (std::size_t i = 0; i < std::size(kSettings); ++i)
        names[i] = kSettings[i].name;
    names[37] = kFontValue;
    return names;
}();

std::string LogFont::FaceName() const
{
    const auto end = std::find(faceName.begin(), faceName.end(), '\0');
    return std::string(faceName.begin(), end);
}

void LogFont::SetFaceName(const std::string& name)
{
    faceName.fill('\0');
    std::memcpy(faceName.data(), name.data(), std::min<std::size_t>(name.size(), kFaceSize - 1));
}

std::array<std::uint8_t, LogFont::kRecordSize> LogFont::ToBytes() const
{
    std::array<std::uint8_t, kRecordSize> out{};
    PutInt32(&out[0], height);
    PutInt32(&out[4], width);
    PutInt32(&out[8], escapement);
    PutInt32(&out[12], orientation);
    PutInt32(&out[16], weight);
    const std::uint8_t bytes[8] = {italic, underline, strikeOut, charSet, outPrecision, clipPrecision, quality,
                                   pitchAndFamily};
    std::memcpy(&out[20], bytes, 8);
    std::memcpy(&out[28], faceName.data(), kFaceSize);
    return out;
}

bool LogFont::FromBytes(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size != kRecordSize)
        return false;
    LogFont f;
    f.height = GetInt32(&data[0]);
    f.width = GetInt32(&data[4]);
    f.escapement = GetInt32(&data[8]);
    f.orientation = GetInt32(&data[12]);
    f.weight = GetInt32(&data[16]);
    f.italic = data[20];
    f.underline = data[21];
    f.strikeOut = data[22];
    f.charSet = data[23];
    f.outPrecision = data[24];
    f.clipPrecision = data[25];
    f.quality = data[26];
    f.pitchAndFamily = data[27];
    std::memcpy(f.faceName.data(), &data[28], kFaceSize);
    f.faceName[kFaceSize - 1] = '\0';
    if (!FontIsSensible(f))
        return false;
    *this = f;
    return true;
}

LogFont CPageFormat::DefaultFont()
{
    // Widths are counted in characters: a fixed-pitch face makes a rate of
    // seven characters fit a cell of seven.
    LogFont f;
    f.height = -15;
    f.weight = 700;
    f.pitchAndFamily = 0x31;  // fixed pitch, modern
    f.SetFaceName("Courier New");
    return f;
}

void CPageFormat::Normalize()
{
    for (const Setting& s : kSettings) {
        int& value = this->*s.member;
        if (s.ranged && (value < s.min || value > s.max))
            value = s.def;
    }
    if (!FontIsSensible(font))
        font = DefaultFont();
    font.faceName[LogFont::kFaceSize - 1] = '\0';
}

void CPageFormat::Load(const Brindle::CRegSection& section)
{
    *this = CPageFormat{};
    if (!section.IsOpen())
        return;
    for (const Setting& s : kSettings)
        section.GetInt(s.name, this->*s.member, s.def);

    // One more byte than a record, so a longer value is told from a whole one.
    std::uint8_t buffer[LogFont::kRecordSize + 1] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer;
    const LONG rc = RegQueryValueExA(section, kFontValue, nullptr, &type, buffer, &size);
    if (rc != ERROR_SUCCESS || type != REG_BINARY || !font.FromBytes(buffer, size))
        font = DefaultFont();
    Normalize();
}

bool CPageFormat::Save(const Brindle::CRegSection& section) const
{
    bool ok = section.IsOpen() != 0;
    for (const Setting& s : kSettings)
        ok = section.SetInt(s.name, this->*s.member) != 0 && ok;
    const auto bytes = font.ToBytes();
    ok = section.SetBin(kFontValue, bytes.data(), static_cast<int>(bytes.size())) != 0 && ok;
    return ok;
}

} // namespace mavo
