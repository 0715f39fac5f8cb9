#include "pages/PageFormat.h"

#include "Brindle/base/RegSection.h"
#include "Platform/Registry.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace mavo;
using Brindle::CRegSection;

namespace {

class PageFormatStore : public ::testing::Test {
protected:
    testsupport::ScopedRegistryDir m_registry;

    CRegSection Section(const char* name = "Software/Halvern/MAVO/Test")
    {
        return CRegSection(HKEY_CURRENT_USER, name);
    }

    // Value names of a section in the store's order (creation order).
    static std::vector<std::string> ValueNames(const CRegSection& section)
    {
        std::vector<std::string> names;
        char name[256];
        char data[256];
        for (int i = 0; section.EnumValue(i, name, sizeof name, data, sizeof data, "");)
            names.emplace_back(name);
        return names;
    }
};

} // namespace

TEST_F(PageFormatStore, EmptySectionGivesTheDefaults)
{
    CPageFormat f;
    f.bidStackSize = 4;
    f.issueSize = 3;
    f.font.height = -30;
    f.Load(Section());
    EXPECT_EQ(f, CPageFormat{});
    EXPECT_EQ(f.font, CPageFormat::DefaultFont());
}

TEST_F(PageFormatStore, SavesEveryValueInTheFixedOrderAndReadsThemBack)
{
    CPageFormat f;
    using F = CPageFormat;
    for (const auto& [member, value] : {std::pair{&F::bidStackSize, 3}, {&F::offerStackSize, 0}, {&F::customerOnly, 1},
                                        {&F::offerAggrSize, 5},         {&F::showTradeHistory, 1},
                                        {&F::volumePrecision, 2},       {&F::colorStyle, 2},  {&F::tmStackSize, 4},
                                        {&F::tmHasTradeLines, 1},       {&F::formatLocked, 1}, {&F::issueSize, 22}})
        f.*member = value;
    f.font.height = -21;
    f.font.italic = 1;
    f.font.SetFaceName("DejaVu Sans Mono");
    ASSERT_TRUE(f.Save(Section()));

    EXPECT_EQ(ValueNames(Section()), std::vector<std::string>(kPageFormatNames.begin(), kPageFormatNames.end()));

    CPageFormat back;
    back.Load(Section());
    EXPECT_EQ(back, f);

    int stored = 0;
    Section().GetInt("TMStackSize", stored, 0);
    EXPECT_EQ(stored, 4);
}

TEST_F(PageFormatStore, FontIsASixtyByteWindowsRecord)
{
    CPageFormat f;
    f.font.height = -16;
    f.font.weight = 700;
    f.font.SetFaceName("Arial");
    ASSERT_TRUE(f.Save(Section()));
    unsigned char raw[80] = {};
    DWORD type = 0, size = sizeof raw;
    ASSERT_EQ(RegQueryValueExA(Section(), "Font", nullptr, &type, raw, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, 60u);
    // lfHeight -16 little endian, lfWeight 700 at offset 16, face at 28.
    EXPECT_EQ(std::tuple(raw[0], raw[3], raw[16] | (raw[17] << 8)), std::tuple(0xF0, 0xFF, 700));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&raw[28])), "Arial");
}

TEST_F(PageFormatStore, FontOfAnyOtherSizeOrTypeGivesTheDefaultFont)
{
    CPageFormat custom;
    custom.font.SetFaceName("Custom");
    custom.font.height = -40;
    const auto bytes = custom.font.ToBytes();
    CRegSection s = Section();
    for (int size : {0, 20, 59, 61, 120}) {
        std::vector<unsigned char> data(static_cast<std::size_t>(size), 0);
        std::copy(bytes.begin(), bytes.begin() + std::min<std::size_t>(60, data.size()), data.begin());
        ASSERT_TRUE(s.SetBin("Font", data.data(), size));
        CPageFormat f;
        f.Load(s);
        EXPECT_EQ(f.font, CPageFormat::DefaultFont()) << size << " bytes";
    }
    ASSERT_TRUE(s.SetStr("Font", "Arial"));
    CPageFormat f;
    f.Load(s);
    EXPECT_EQ(f.font, CPageFormat::DefaultFont());

    ASSERT_TRUE(s.SetBin("Font", bytes.data(), 60));
    f.Load(s);
    EXPECT_EQ(f.font, custom.font);
}

TEST_F(PageFormatStore, FontRecordWithoutTerminatorOrWithAbsurdSizeIsNotTaken)
{
    LogFont font = CPageFormat::DefaultFont();
    auto bytes = font.ToBytes();
    std::fill(bytes.begin() + 28, bytes.end(), 'A');  // face name with no NUL
    LogFont read;
    ASSERT_TRUE(read.FromBytes(bytes.data(), bytes.size()));
    EXPECT_EQ(read.FaceName(), std::string(31, 'A'));

    for (std::int32_t height : {INT32_MIN, -100000, 100000}) {
        LogFont big = CPageFormat::DefaultFont();
        big.height = height;
        const auto raw = big.ToBytes();
        LogFont target;
        EXPECT_FALSE(target.FromBytes(raw.data(), raw.size())) << height;
        EXPECT_EQ(target, LogFont{});
    }
    LogFont heavy = CPageFormat::DefaultFont();
    heavy.weight = 5000;
    const auto raw = heavy.ToBytes();
    EXPECT_FALSE(LogFont{}.FromBytes(raw.data(), raw.size()));
    EXPECT_FALSE(LogFont{}.FromBytes(nullptr, 60));
}

TEST_F(PageFormatStore, StoredValuesOutsideTheirRangeTakeTheirDefaults)
{
    CRegSection s = Section();
    // "ShowSpreads" is a switch: it keeps any value.
    for (const auto& [name, value] :
         {std::pair{"BidStackSize", 6}, {"OfferStackSize", -1}, {"BidAggrSize", 1000000}, {"OfferAggrSize", 5},
          {"TMStackSize", 0}, {"ColorStyle", 3}, {"VolumePrecision", -2}, {"IssueSize", 1 << 30},
          {"StackQuanSize", -4}, {"RateSize", 12}, {"ShowSpreads", 2}})
        s.SetInt(name, value);
    CPageFormat f;
    f.Load(s);
    // Only the three stored values in range differ from the defaults.
    CPageFormat expected;
    expected.offerAggrSize = 5;
    expected.rateSize = 12;
    expected.showSpreads = 2;
    EXPECT_EQ(f, expected);

    // Their largest values are in range.
    for (const auto& [name, value] : {std::pair{"TMStackSize", 5}, {"ColorStyle", 2}, {"VolumePrecision", 2}})
        s.SetInt(name, value);
    f.Load(s);
    EXPECT_EQ(std::tuple(f.tmStackSize, f.colorStyle, f.volumePrecision), std::tuple(5, 2, 2));
}

TEST_F(PageFormatStore, ClosedSectionGivesDefaultsAndRefusesToSave)
{
    CRegSection closed;
    CPageFormat f;
    f.rateSize = 3;
    f.Load(closed);
    EXPECT_EQ(f, CPageFormat{});
    EXPECT_FALSE(f.Save(closed));
}
