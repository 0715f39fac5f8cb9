// The About box's texts and link targets, and the texts of a failed link.
#include "core/AboutInfo.h"

#include "Brindle/base/RegSection.h"
#include "LocaleZone.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using namespace mavo;

TEST(AboutInfo, SubmitSectionOverridesEachDefault)
{
    testsupport::ScopedRegistryDir registry;
    Brindle::CRegSection submit(HKEY_CURRENT_USER, "Software/Halvern/MAVO/Submit");

    const AboutInfo defaults = AboutInfo::Load(submit);
    EXPECT_EQ(defaults.helpdeskPhone, kDefaultHelpdeskPhone);
    EXPECT_EQ(defaults.helpdeskEmail, kDefaultHelpdeskEmail);
    EXPECT_EQ(defaults.urlUpgrade, kDefaultUrlUpgrade);
    EXPECT_EQ(defaults.urlEula, kDefaultUrlEula);

    submit.SetStr("Helpdesk Phone", "0800 123");
    submit.SetStr("Helpdesk Email", "desk@example.org");
    submit.SetStr("URL Upgrade", "https://up.example.org/check");
    // Longer than the 260 characters the box reads: the default stands.
    submit.SetStr("URL EULA", "https://e.example.org/" + std::string(300, 'a'));
    const AboutInfo info = AboutInfo::Load(submit);
    EXPECT_EQ(info.ContactLine(), "Contact Pelmor support at 0800 123");
    EXPECT_EQ(info.EmailTarget(), "mailto:desk@example.org");
    EXPECT_EQ(info.UpgradeTarget("1.41"), "https://up.example.org/check?a=MAVO&v=1.41");
    EXPECT_EQ(info.EulaTarget("1.41"), std::string(kDefaultUrlEula) + "?a=MAVO&v=1.41");
}

TEST(AboutInfo, VersionAndStartLines)
{
    EXPECT_EQ(AboutInfo::VersionLine("1.41"), "MAVO Version 1.41");
    EXPECT_EQ(AboutInfo::BuildDateLine("May  2 2007"), "Build Date: May  2 2007");
    testsupport::ScopedTimeZone utc("UTC");
    // 2007-05-02 14:05:09 UTC
    EXPECT_EQ(AboutInfo::StartedLine(1178114709L), "Started: May 02, 2007 at 02:05 PM");
}

TEST(AboutInfo, ShellErrorTexts)
{
    EXPECT_EQ(ShellErrorText(0), "The operating system is out\nof memory or resources.");
    EXPECT_EQ(ShellErrorText(2), "The specified file was not found.");
    EXPECT_EQ(ShellErrorText(5), "The operating system denied\naccess to the specified file.");
    EXPECT_EQ(ShellErrorText(26), "A sharing violation occurred. ");
    EXPECT_EQ(ShellErrorText(30),
              "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.");
    EXPECT_EQ(ShellErrorText(31), "There is no application associated\nwith the given filename extension.");
    EXPECT_EQ(ShellErrorText(32), "The specified dynamic-link library was not found.");
    EXPECT_EQ(ShellErrorText(4), "Unknown Error (4) occurred.");
    EXPECT_EQ(ShellErrorText(-1), "Unknown Error (-1) occurred.");
}
