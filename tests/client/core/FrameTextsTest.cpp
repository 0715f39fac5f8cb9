// Texts of the main window that carry a value.
#include "core/AppIdentity.h"
#include "core/FrameTexts.h"

#include <gtest/gtest.h>

#include <set>

using namespace mavo;

TEST(FrameTexts, FeedStatesAndSourceKinds)
{
    EXPECT_STREQ(FeedStateText(0), "Feed Dead");
    EXPECT_STREQ(FeedStateText(1), "Feed Stale");
    EXPECT_STREQ(FeedStateText(2), "Feed Live");
    EXPECT_STREQ(FeedStateText(7), "Feed Dead");
    EXPECT_STREQ(SourceKindText(1), "Socket");
    EXPECT_STREQ(SourceKindText(2), "Serial");
    EXPECT_STREQ(SourceKindText(3), "ZPHDB");
    EXPECT_STREQ(SourceKindText(0), "Unknown");
    EXPECT_STREQ(SourceKindText(4), "Unknown");
}

TEST(FrameTexts, NotificationBarsBecomeLineBreaks)
{
    EXPECT_EQ(NotificationText("Desk closes|Call 110"), "Desk closes\nCall 110");
    EXPECT_EQ(NotificationText("||a|"), "\n\na\n");
    EXPECT_EQ(NotificationText("plain"), "plain");
}

TEST(FrameTexts, LoginFailureShowsTheReasonOnlyWhenThereIsOne)
{
    EXPECT_EQ(LoginFailedText(std::nullopt), "Login Failed");
    EXPECT_EQ(LoginFailedText(std::string()), "Login Failed");
    EXPECT_EQ(LoginFailedText(std::string("Account locked")), "Login Failed\nReason: Account locked");
}

TEST(FrameTexts, FailoverAsksAboutTheOtherSource)
{
    EXPECT_EQ(FailoverQuestion(1), "Are you sure you want to connect to the PRIMARY source?");
    EXPECT_EQ(FailoverQuestion(0), "Are you sure you want to connect to the BACKUP source?");
    EXPECT_EQ(StartErrorText(kCannotLoadSettings), "Error starting MAVO\nMainframe cannot load settings");
}

TEST(AppIdentity, VersionNumberIsMajorTimesHundredPlusMinor)
{
    EXPECT_EQ(VersionNumber(kAppVersion), 141);
    EXPECT_EQ(VersionNumber("2.05"), 205);
    EXPECT_EQ(VersionNumber("2.5"), 205);
    EXPECT_EQ(VersionNumber("3"), 300);
    EXPECT_EQ(VersionNumber("1.415"), 141);
    EXPECT_EQ(VersionNumber("x.y"), 0);
    EXPECT_EQ(VersionNumber(""), 0);
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
