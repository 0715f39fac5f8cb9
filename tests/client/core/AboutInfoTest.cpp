// The About box's texts and link targets, and the texts of a failed link.
#include "core/AboutInfo.h"

#include "Brindle/base/RegSection.h"
#include "LocaleZone.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using namespace mavo;

// The phone and upgrade overrides are met by the About box's test.
TEST(AboutInfo, SubmitSectionOverridesTheEmailAndAnOverlongValueLeavesTheDefault)
{
    testsupport::ScopedRegistryDir registry;
    Brindle::CRegSection submit(HKEY_CURRENT_USER, "Software/Halvern/MAVO/Submit");
    submit.SetStr("Helpdesk Email", "desk@example.org");
    // Longer than the 260 characters the box reads: the default stands.
    submit.SetStr("URL EULA", "https://e.example.org/" + std::string(300, 'a'));
    const AboutInfo info = AboutInfo::Load(submit);
    EXPECT_EQ(info.EmailTarget(), "mailto:desk@example.org");
    EXPECT_EQ(info.EulaTarget("1.41"), std::string(kDefaultUrlEula) + "?a=MAVO&v=1.41");
}

TEST(AboutInfo, StartedLineAndUnknownShellErrors)
{
    testsupport::ScopedTimeZone utc("UTC");
    // 2007-05-02 14:05:09 UTC
    EXPECT_EQ(AboutInfo::StartedLine(1178114709L), "Started: May 02, 2007 at 02:05 PM");
    EXPECT_EQ(ShellErrorText(4), "Unknown Error (4) occurred.");
    EXPECT_EQ(ShellErrorText(-1), "Unknown Error (-1) occurred.");
}

