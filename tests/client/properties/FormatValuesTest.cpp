#include "properties/FormatCommands.h"
#include "properties/PropertyValues.h"

#include "Brindle/base/RegSection.h"
#include "CountingPageFeed.h"
#include "TempDir.h"
#include "pages/MAVODoc.h"
#include "properties/ContentsList.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace ZPH;

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
    EXPECT_TRUE(v.showSpreads);
    EXPECT_TRUE(v.showUnderlines);
    EXPECT_FALSE(v.showIndicative);
    v.showIndicative = true;
    v.showUnderlines = false;
    v.issueSize = 99;  // beyond the slider: clamped, never stored as is
    CPageFormat out = f;
    v.ApplyTo(out);
    EXPECT_EQ(out.fixedFont, 1);
    EXPECT_EQ(out.showSpreads, 2);
    EXPECT_EQ(out.showIndicative, 1);
    EXPECT_EQ(out.showUnderlines, 0);
    EXPECT_EQ(out.issueSize, 40);
}

TEST(PropertyValues, StackSizesOutsideTheChoicesShowNoneChosenAndStayStored)
{
    CPageFormat f;
    f.bidStackSize = 7;
    f.offerStackSize = 3;
    f.bidAggrSize = -1;
    f.customerOnly = 1;
    const StackValues stack = StackValues::From(f);
    EXPECT_FALSE(stack.bidSize.has_value());
    EXPECT_EQ(stack.offerSize, 3);
    EXPECT_EQ(stack.customerOnly, 1);
    CPageFormat out = f;
    stack.ApplyTo(out);
    EXPECT_EQ(out.bidStackSize, 7);
    EXPECT_EQ(out.offerStackSize, 3);
    EXPECT_FALSE(AggressorValues::From(f).bidSize.has_value());
    EXPECT_EQ(SizeChoice(0), 0);
    EXPECT_EQ(SizeChoice(5), 5);
    EXPECT_FALSE(SizeChoice(6).has_value());
}

TEST(PropertyValues, TradeMonitorStackSizeOutsideOneToFiveShowsOne)
{
    for (int stored : {0, 6, -3, 99}) {
        CPageFormat f;
        f.tmStackSize = stored;
        EXPECT_EQ(TradeMonitorValues::From(f).stackSize, 1) << stored;
    }
    CPageFormat f;
    f.tmStackSize = 4;
    EXPECT_EQ(TradeMonitorValues::From(f).stackSize, 4);
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

TEST(FormatCommands, ApplyDefaultKeepsTradeMonitorLinesAndRespectsTheLock)
{
    CPageFormat page;
    page.tmHasTradeLines = 1;
    page.issueSize = 30;
    CPageFormat def;
    def.issueSize = 10;
    def.colorStyle = 2;
    def.tmHasTradeLines = 0;
    ASSERT_TRUE(ApplyDefaultStyle(page, def));
    EXPECT_EQ(page.issueSize, 10);
    EXPECT_EQ(page.colorStyle, 2);
    EXPECT_EQ(page.tmHasTradeLines, 1);

    CPageFormat plain;
    def.tmHasTradeLines = 1;
    ASSERT_TRUE(ApplyDefaultStyle(plain, def));
    EXPECT_EQ(plain.tmHasTradeLines, 0);

    CPageFormat locked;
    locked.formatLocked = 1;
    const CPageFormat before = locked;
    EXPECT_FALSE(ApplyDefaultStyle(locked, def));
    EXPECT_EQ(locked, before);
}

TEST(FormatCommands, LockTogglesAndApplyToAllSkipsMinimisedAndLockedPages)
{
    CPageFormat f;
    EXPECT_TRUE(ToggleFormatLock(f));
    EXPECT_EQ(f.formatLocked, 1);
    EXPECT_FALSE(ToggleFormatLock(f));
    EXPECT_EQ(f.formatLocked, 0);
    EXPECT_EQ(ApplyToAllTargets({{false, false}, {true, false}, {false, true}, {true, true}, {false, false}}),
              (std::vector<int>{0, 4}));
    EXPECT_TRUE(ApplyToAllTargets({}).empty());
}

TEST(FormatCommands, CommandsOpenTheSheetOnTheirPage)
{
    EXPECT_EQ(FirstPageFor(CommandId::Properties), PropertyPage::Layout);
    EXPECT_EQ(FirstPageFor(CommandId::ModifyLayout), PropertyPage::Layout);
    EXPECT_EQ(FirstPageFor(CommandId::ModifyStack), PropertyPage::Stack);
    EXPECT_EQ(FirstPageFor(CommandId::ModifyAggressors), PropertyPage::Aggressors);
    EXPECT_EQ(FirstPageFor(CommandId::ModifyTradeHistory), PropertyPage::TradeHistory);
    EXPECT_EQ(FirstPageFor(CommandId::ModifyContents), PropertyPage::Contents);
    EXPECT_FALSE(FirstPageFor(CommandId::Font).has_value());
    EXPECT_EQ(PropertySheetTitle("US RATES"), "US RATES - Properties");
    std::vector<std::string> captions;
    for (PropertyPage p : kPagePropertyPages)
        captions.push_back(PropertyPageCaption(p));
    EXPECT_EQ(captions, (std::vector<std::string>{"Layout", "Stack", "Aggressors", "Trade History", "Contents",
                                                  "Colors", "Trade Monitor"}));
}

TEST(FormatCommands, AcceptingAppliesTitleAndContentsAndAPageLeftEmptyGoesToTheTitleBar)
{
    propstest::CountingPageFeed feed;
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
    EXPECT_EQ(out.rateSize, 4);
    EXPECT_EQ(out.bidStackSize, 0);
    EXPECT_EQ(out.colorStyle, 1);
    EXPECT_EQ(out.tmHasTradeLines, 1);
    EXPECT_EQ(out.bidAggrSize, 3);
}
