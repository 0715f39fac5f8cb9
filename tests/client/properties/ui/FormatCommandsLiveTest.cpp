// The format commands in the running application against a real zphd:
// they join the Format menu and the toolbar, act on the active page
// window, Lock Format carries its check mark, and "Print &Format" edits
// the print format that is saved in "PrintStyle".
#include "LiveApp.h"

#include "properties/ui/PropertyPages.h"
#include "properties/ui/PropertySheet.h"

#include <QRadioButton>
#include <QSlider>

using namespace testsupport;
using mavo::CChildFrame;
using mavo::CommandId;

namespace {

class FormatCommandsLiveTest : public LiveAppFixture {
protected:
    // Answers the next modal property sheet: `fill` works on it, then OK.
    static void AnswerSheet(std::function<void(mavo::CPagePropertySheet&)> fill)
    {
        AnswerNextDialog<mavo::CPagePropertySheet>([fill = std::move(fill)](mavo::CPagePropertySheet* sheet) {
            fill(*sheet);
            sheet->accept();
        });
    }
};

} // namespace

TEST_F(FormatCommandsLiveTest, FormatCommandsWorkOnTheActivePageAndPrintFormatIsSaved)
{
    PointFeedAtServer();
    StartLive();
    // Without a page window the page commands are disabled.
    ASSERT_NE(Frame().Commands().Action(CommandId::LockFormat), nullptr);
    EXPECT_FALSE(Enabled(CommandId::LockFormat));
    EXPECT_TRUE(Enabled(CommandId::PrintFormat));

    CChildFrame* frame = OpenPageByNew(1);
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(Frame().MdiArea()->activeSubWindow(), frame);
    Frame().UpdateCommands();
    for (CommandId id : {CommandId::SetAsDefault, CommandId::ApplyDefault, CommandId::ApplyToAll,
                         CommandId::LockFormat, CommandId::Font, CommandId::ModifyLayout, CommandId::ModifyStack,
                         CommandId::ModifyAggressors, CommandId::ModifyTradeHistory, CommandId::ModifyContents,
                         CommandId::Properties})
        EXPECT_TRUE(Frame().Commands().Action(id) != nullptr && Frame().Commands().Action(id)->isEnabled())
            << static_cast<int>(id);

    ASSERT_TRUE(Frame().RunCommand(CommandId::LockFormat));
    EXPECT_EQ(frame->View()->Format().formatLocked, 1);
    EXPECT_TRUE(Frame().Commands().Action(CommandId::LockFormat)->isChecked());
    ASSERT_TRUE(Frame().RunCommand(CommandId::LockFormat));
    EXPECT_FALSE(Frame().Commands().Action(CommandId::LockFormat)->isChecked());

    // Modify Stack opens the sheet on the Stack page; OK applies it.
    mavo::PropertyPage shown = mavo::PropertyPage::Layout;
    AnswerSheet([&shown](mavo::CPagePropertySheet& sheet) {
        shown = sheet.CurrentPage();
        sheet.StackPage()->BidSize()->Button(4)->click();
    });
    ASSERT_TRUE(Frame().RunCommand(CommandId::ModifyStack));
    EXPECT_EQ(shown, mavo::PropertyPage::Stack);
    EXPECT_EQ(frame->View()->Format().bidStackSize, 4);

    // Set As Default asks; Yes writes the default style.
    messages.answers.push_back(mavo::CMessageService::Yes);
    ASSERT_TRUE(Frame().RunCommand(CommandId::SetAsDefault));
    ASSERT_EQ(messages.WithCaption("Set Default Style").size(), 1u);
    EXPECT_EQ(StoredInt("Default Style", "BidStackSize"), 4);

    AnswerSheet([](mavo::CPagePropertySheet& sheet) { sheet.LayoutPage()->IssueName()->setValue(6); });
    ASSERT_TRUE(Frame().RunCommand(CommandId::PrintFormat));
    ASSERT_TRUE(Frame().RunCommand(CommandId::SaveFormat));
    EXPECT_EQ(StoredInt("PrintStyle", "IssueSize"), 6);
    // The page itself keeps its own issue width.
    EXPECT_EQ(frame->View()->Format().issueSize, 15);
}
