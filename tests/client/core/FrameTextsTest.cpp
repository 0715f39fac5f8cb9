// Texts of the main window that carry a value.
#include "core/AppIdentity.h"
#include "core/FrameTexts.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

using namespace mavo;

// Values outside the known ones and empty parts; the ordinary texts are met
// by the window tests.
TEST(FrameTexts, OutOfRangeValuesAndEmptyParts)
{
    EXPECT_STREQ(FeedStateText(FeedStateFromWire(7)), "Feed Dead");
    EXPECT_STREQ(SourceKindText(0), "Unknown");
    EXPECT_STREQ(SourceKindText(4), "Unknown");
    EXPECT_EQ(NotificationText("||a|"), "\n\na\n");
    EXPECT_EQ(NotificationText("plain"), "plain");
    EXPECT_EQ(LoginFailedText(std::string()), "Login Failed");
}

TEST(AppIdentity, VersionNumberIsMajorTimesHundredPlusMinor)
{
    const std::pair<const char*, int> versions[] = {{"2.05", 205}, {"2.5", 205}, {"3", 300},
                                                    {"1.415", 141}, {"x.y", 0},   {"", 0}};
    for (const auto& [text, number] : versions)
        EXPECT_EQ(VersionNumber(text), number) << text;
}

TEST(AppIdentity, MachineStringIsEightLowercaseLettersAndStable)
{
    const std::string a = MachineStringFrom("4c4c4544-0042-3510-8052-b4c04f4e3232");
    EXPECT_EQ(a.size(), 8u);
    for (char c : a)
        EXPECT_TRUE(c >= 'a' && c <= 'z') << a;
    EXPECT_EQ(a, MachineStringFrom("4c4c4544-0042-3510-8052-b4c04f4e3232"));
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i)
        seen.insert(MachineStringFrom("machine-" + std::to_string(i)));
    EXPECT_EQ(seen.size(), 50u);
    EXPECT_EQ(MachineString(), MachineString());
    EXPECT_EQ(MachineString().size(), 8u);
}
