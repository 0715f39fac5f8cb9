// The command table: enabling rules and check marks, toolbar order,
// accelerators, and how absent commands leave the layouts.
#include "core/CommandTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

using namespace mavo;

namespace {

FrameCommandState State(bool connected, int failover)
{
    FrameCommandState s;
    s.connected = connected;
    s.failover = failover;
    return s;
}

bool Enabled(CommandId id, const FrameCommandState& s, bool toolbar = false)
{
    return EvaluateCommand(id, s, toolbar).enabled;
}

} // namespace

TEST(CommandRules, ConnectionCommandsFollowSelectedSourceAndConnection)
{
    struct Case {
        bool connected;
        int failover;
        bool primary, primaryButton, backup, failoverCmd, disconnect, options;
    };
    const Case cases[] = {
        // primary selected, not connected: both connects, options
        {false, 0, true, true, true, false, false, true},
        // primary selected, connected: only backup, failover, disconnect
        {true, 0, false, false, true, true, true, false},
        // backup selected, not connected: both connects
        {false, 1, true, true, true, false, false, true},
        // backup selected, connected: connect primary stays, the button does not
        {true, 1, true, false, false, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "connected=" << c.connected << " failover=" << c.failover);
        const FrameCommandState s = State(c.connected, c.failover);
        EXPECT_EQ(Enabled(CommandId::ConnectPrimary, s), c.primary);
        EXPECT_EQ(Enabled(CommandId::ConnectPrimary, s, true), c.primaryButton);
        EXPECT_EQ(Enabled(CommandId::ConnectBackup, s), c.backup);
        EXPECT_EQ(Enabled(CommandId::Failover, s), c.failoverCmd);
        EXPECT_EQ(Enabled(CommandId::Disconnect, s), c.disconnect);
        EXPECT_EQ(Enabled(CommandId::SourceOptions, s), c.options);
        EXPECT_TRUE(Enabled(CommandId::SourceStatus, s));
    }
}

TEST(CommandRules, FullViewCommands)
{
    FrameCommandState normal;
    normal.connected = true;
    normal.tradeTimer = true;
    FrameCommandState full = normal;
    full.fullView = true;

    // Enabled outside and inside the full view.
    const std::tuple<CommandId, bool, bool> rules[] = {
        {CommandId::TradeTimer, false, true},     {CommandId::CustomerList, false, true},
        {CommandId::PageList, true, true},        {CommandId::PagePermission, true, false},
        {CommandId::DisplayOptions, false, true}, {CommandId::SendPageCount, false, true},
        {CommandId::VolumeReport, false, true}};
    for (const auto& [id, inNormal, inFull] : rules) {
        EXPECT_EQ(Enabled(id, normal), inNormal) << GetCommandInfo(id).text;
        EXPECT_EQ(Enabled(id, full), inFull) << GetCommandInfo(id).text;
    }
    // Outside the full view the trade timer shows no check mark even when on.
    EXPECT_FALSE(EvaluateCommand(CommandId::TradeTimer, normal).checked);
    EXPECT_TRUE(EvaluateCommand(CommandId::TradeTimer, full).checked);
    full.connected = false;
    EXPECT_FALSE(Enabled(CommandId::VolumeReport, full));
}

TEST(CommandRules, FlagsShowCheckMarksAndInfoClickNeedsAnchoring)
{
    FrameCommandState s;
    EXPECT_FALSE(Enabled(CommandId::InfoClickEnabled, s));
    s.anchored = true;
    s.infoOnClick = true;
    EXPECT_TRUE(Enabled(CommandId::InfoClickEnabled, s));
    EXPECT_TRUE(EvaluateCommand(CommandId::InfoClickEnabled, s).checked);
    EXPECT_TRUE(EvaluateCommand(CommandId::AnchorWindows, s).checked);

    EXPECT_FALSE(Enabled(CommandId::PrintAllPages, s));
    s.pageWindowActive = true;
    EXPECT_TRUE(Enabled(CommandId::PrintAllPages, s));
    EXPECT_TRUE(Enabled(CommandId::PrintPage, FrameCommandState{}));
}

TEST(CommandTable, EveryCommandIsListedOnceWithItsOwnId)
{
    std::set<std::string> texts;
    for (const CommandInfo& info : AllCommands()) {
        EXPECT_EQ(&GetCommandInfo(info.id), &info);
        EXPECT_TRUE(texts.insert(info.text).second) << info.text;
    }
}

TEST(CommandTable, NoKeyIsBoundTwice)
{
    std::set<std::string> keys;
    for (const CommandInfo& info : AllCommands())
        for (const char* key : info.keys)
            if (key != nullptr) {
                EXPECT_TRUE(keys.insert(key).second) << key << " is bound twice";
            }
}

TEST(CommandTable, AbsentCommandsLeaveNoStraySeparators)
{
    using C = CommandId;
    const std::vector<C> items{C::None, C::New, C::None, C::None, C::SaveFormat, C::PrintPage, C::None};
    auto present = PresentItems(items, [](C id) { return id != C::New && id != C::PrintPage; });
    EXPECT_EQ(present, (std::vector<C>{C::SaveFormat}));
    auto all = PresentItems(items, [](C) { return true; });
    EXPECT_EQ(all, (std::vector<C>{C::New, C::None, C::SaveFormat, C::PrintPage}));
    EXPECT_TRUE(PresentItems(items, [](C) { return false; }).empty());
}

TEST(CommandTable, WindowMenuArrangesPagesOnlyWhileNotAnchored)
{
    FrameCommandState s;
    for (CommandId id : {CommandId::Cascade, CommandId::Tile}) {
        EXPECT_TRUE(EvaluateCommand(id, s).enabled);
        s.anchored = true;
        EXPECT_FALSE(EvaluateCommand(id, s).enabled);
        s.anchored = false;
    }
}
