#include "properties/FormatCommands.h"
#include "properties/PropertyValues.h"

#include "Brindle/base/RegSection.h"
#include "../pages/FakePageFeed.h"
#include "TempDir.h"
#include "pages/MAVODoc.h"
#include "properties/ContentsList.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace mavo;
using Brindle::CRegSection;

namespace {

CPageFormat StoredAndLoaded(const CPageFormat& format)
{
    const CRegSection section(HKEY_CURRENT_USER, "Software/Halvern/MAVO/Test");
    EXPECT_TRUE(format.Save(section));
    CPageFormat loaded;
    loaded.Load(section);
    return loaded;
}

} // namespace

TEST(PropertyValues, EverySliderPositionSurvivesTheStoredFormat)
{
    testsupport::ScopedRegistryDir registry;
    struct Slider {
        const SliderRange& range;
        int CPageFormat::*member;
    };
    const Slider sliders[] = {
        {kIssueSizeRange, &CPageFormat::issueSize},         {kRateSizeRange, &CPageFormat::rateSize},
        {kQuantitySizeRange, &CPageFormat::quantitySize},   {kIndicativeSizeRange, &CPageFormat::indicativeSize},
        {kStackCustSizeRange, &CPageFormat::stackCustSize}, {kStackQuanSizeRange, &CPageFormat::stackQuanSize},
        {kTHRateSizeRange, &CPageFormat::thRateSize},       {kTHVolumeSizeRange, &CPageFormat::thVolumeSize},
        {kTHNumberSizeRange, &CPageFormat::thNumberSize},
    };
    for (const Slider& s : sliders) {
        for (int value : {s.range.min, s.range.max}) {
            CPageFormat f;
            f.*s.member = value;
            EXPECT_EQ(StoredAndLoaded(f).*s.member, value) << "a slider gives what the store refuses";
        }
    }
}

TEST(PropertyValues, LayoutTitleIsCutForTheEditButAnUntouchedLongTitleStays)
{
    const std::string longTitle(60, 'T');
    LayoutValues v = LayoutValues::From(CPageFormat{}, longTitle);
    EXPECT_EQ(v.title.size(), 40u);
    EXPECT_EQ(v.TitleFor(longTitle), longTitle);
    v.title = "EURO SWAPS";
    EXPECT_EQ(v.TitleFor(longTitle), "EURO SWAPS");
    v.title = std::string(45, 'X');
    EXPECT_EQ(v.TitleFor(longTitle).size(), 40u);

    // Characters, not bytes: "€" is three bytes and is never cut apart.
    std::string euros;
    for (int i = 0; i < 45; ++i)
        euros += "\xE2\x82\xAC";
    LayoutValues e = LayoutValues::From(CPageFormat{}, euros);
    EXPECT_EQ(e.title.size(), 40u * 3);
    EXPECT_EQ(e.TitleFor(euros), euros);
}

TEST(PropertyValues, LayoutKeepsFixedFontAndMapsEverySwitch)
{
    CPageFormat f;
    f.fixedFont = 1;
    f.showSpreads = 2;  // any non-zero value is on, and stays as stored
    LayoutValues v = LayoutValues::From(f);
    EXPECT_EQ(std::tuple(v.showSpreads, v.showUnderlines, v.showIndicative), std::tuple(true, true, false));
    v.showIndicative = true;
    v.showUnderlines = false;
    v.issueSize = 99;  // beyond the slider: clamped, never stored as is
    CPageFormat out = f;
    v.ApplyTo(out);
    EXPECT_EQ(std::tuple(out.fixedFont, out.showSpreads, out.showIndicative, out.showUnderlines, out.issueSize),
              std::tuple(1, 2, 1, 0, kIssueSizeRange.max));
}

TEST(PropertyValues, StackSizesOutsideTheChoicesShowNoneChosenAndStayStored)
{
    CPageFormat f;
    f.bidStackSize = 7;
    f.offerStackSize = 3;
    f.bidAggrSize = -1;
    f.customerOnly = 1;
    const StackValues stack = StackValues::From(f);
    EXPECT_EQ(std::tuple(stack.bidSize, stack.offerSize, stack.customerOnly), std::tuple(std::nullopt, 3, 1));
    CPageFormat out = f;
    stack.ApplyTo(out);
    EXPECT_EQ(std::pair(out.bidStackSize, out.offerStackSize), std::pair(7, 3));
    EXPECT_FALSE(AggressorValues::From(f).bidSize.has_value());
    for (int size : {-1, 0, 5, 6})
        EXPECT_EQ(SizeChoice(size), size >= 0 && size <= 5 ? std::optional(size) : std::nullopt) << size;
}

TEST(PropertyValues, TradeMonitorStackSizeOutsideOneToFiveShowsOne)
{
    for (const auto& [stored, shown] : {std::pair{0, 1}, {6, 1}, {-3, 1}, {99, 1}, {4, 4}}) {
        CPageFormat f;
        f.tmStackSize = stored;
        EXPECT_EQ(TradeMonitorValues::From(f).stackSize, shown) << stored;
    }
}

TEST(PropertyValues, EachPageRoundTripsItsSettingsThroughTheStoredFormat)
{
    testsupport::ScopedRegistryDir registry;
    // Values unlike the defaults on every page.
    CPageFormat edited;
    LayoutValues layout = LayoutValues::From(edited);
    layout.issueSize = 22, layout.rateSize = 9, layout.quantitySize = 3, layout.indicativeSize = 11;
    layout.stackCustSize = 6, layout.stackQuanSize = 8;
    layout.showSpreads = true, layout.showPrevious = true, layout.showUnderlines = false;
    layout.showNumbers = false, layout.showIndicative = true;
    StackValues stack{2, 5, 1};
    AggressorValues aggr{4, 1, 0, false, true};
    TradeHistoryValues th{true, 12, 15, 6, false, false, true, false, 2};
    ColorValues colors{2};
    TradeMonitorValues tm{true, false, false, false, 0, 3};
    SheetValues sheet{layout, stack, aggr, th, colors, tm};

    const SheetOutcome out = AcceptSheet(CPageFormat{}, sheet, nullptr, nullptr);
    const CPageFormat loaded = StoredAndLoaded(out.format);
    const SheetValues back = SheetValuesFrom(loaded);
    const auto pages = [](const SheetValues& v) {
        return std::tie(v.layout, v.stack, v.aggressors, v.tradeHistory, v.colors, v.tradeMonitor);
    };
    EXPECT_EQ(pages(back), pages(sheet));
}

TEST(FormatCommands, ApplyToAllSkipsMinimisedAndLockedPages)
{
    EXPECT_EQ(ApplyToAllTargets({{false, false}, {true, false}, {false, true}, {true, true}, {false, false}}),
              (std::vector<int>{0, 4}));
    EXPECT_TRUE(ApplyToAllTargets({}).empty());
}

TEST(FormatCommands, CommandsOpenTheSheetOnTheirPage)
{
    // Each command's page has the command's name.
    for (const auto& [id, caption] : {std::pair{CommandId::Properties, "Layout"}, {CommandId::ModifyLayout, "Layout"},
                                      {CommandId::ModifyStack, "Stack"}, {CommandId::ModifyAggressors, "Aggressors"},
                                      {CommandId::ModifyTradeHistory, "Trade History"},
                                      {CommandId::ModifyContents, "Contents"}}) {
        ASSERT_TRUE(FirstPageFor(id).has_value()) << caption;
        EXPECT_STREQ(PropertyPageCaption(*FirstPageFor(id)), caption);
    }
    EXPECT_FALSE(FirstPageFor(CommandId::Font).has_value());
    EXPECT_EQ(PropertySheetTitle("US RATES"), "US RATES - Properties");
}

TEST(FormatCommands, AcceptingAppliesTitleAndContentsAndAPageLeftEmptyGoesToTheTitleBar)
{
    pagestest::FakePageFeed feed;
    CMAVODoc doc(feed);
    doc.SetLines({701, 702});
    doc.SetTitle("US RATES");
    SheetValues values = SheetValuesFrom(CPageFormat{}, doc.GetTitle());
    values.layout->title = "MY PAGE";
    {
        CContentsList contents(feed, doc.Lines());
        contents.Remove({0});
        const SheetOutcome out = AcceptSheet(CPageFormat{}, values, &doc, &contents);
        EXPECT_FALSE(out.switchToTitleBar);
    }
    EXPECT_EQ(doc.GetTitle(), "MY PAGE");
    EXPECT_EQ(doc.Lines(), (std::vector<unsigned>{702}));
    {
        CContentsList contents(feed, doc.Lines());
        contents.Remove({0});
        EXPECT_TRUE(AcceptSheet(CPageFormat{}, values, &doc, &contents).switchToTitleBar);
    }
    EXPECT_EQ(feed.TotalRefs(), 0);
    EXPECT_EQ(feed.overReleases, 0);
}

TEST(FormatCommands, APrintSheetLeavesThePagesItDoesNotHold)
{
    CPageFormat print;
    print.colorStyle = 1;
    print.tmHasTradeLines = 1;
    print.bidAggrSize = 3;
    SheetValues values;
    values.layout = LayoutValues::From(print);
    values.layout->rateSize = 4;
    values.stack = StackValues{0, 0, 0};
    const CPageFormat out = AcceptSheet(print, values, nullptr, nullptr).format;
    EXPECT_EQ(std::tuple(out.rateSize, out.bidStackSize, out.colorStyle, out.tmHasTradeLines, out.bidAggrSize),
              std::tuple(4, 0, 1, 1, 3));
}
