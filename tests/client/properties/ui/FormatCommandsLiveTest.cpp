// The format commands in the running application against a real zphd:
// they join the Format menu and the toolbar, act on the active page
// window, Lock Format carries its check mark, and "Print &Format" edits
// the print format that is saved in "PrintStyle".
#include "AppFixture.h"

#include "pages/ui/ChildFrame.h"
#include "pages/ui/MAVOView.h"
#include "pages/ui/NewPageDialog.h"
#include "properties/ui/PropertyPages.h"
#include "properties/ui/PropertySheet.h"

#include <QApplication>
#include <QMdiArea>
#include <QMenuBar>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

using namespace testsupport;
using mavo::CChildFrame;
using mavo::CommandId;

namespace {

class FormatCommandsLiveTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        PointFeedAtServer();
    }

    CChildFrame* OpenPage(int page)
    {
        QTimer::singleShot(0, [page] {
            if (auto* dialog = qobject_cast<mavo::CNewPageDialog*>(QApplication::activeModalWidget())) {
                dialog->SetPage(page);
                dialog->accept();
            }
        });
        EXPECT_TRUE(Frame().RunCommand(CommandId::New));
        return qobject_cast<CChildFrame*>(Frame().MdiArea()->activeSubWindow());
    }

    // Answers the next modal property sheet: `fill` works on it, then OK.
    static void AnswerSheet(std::function<void(mavo::CPagePropertySheet&)> fill)
    {
        QTimer::singleShot(0, [fill = std::move(fill)] {
            if (auto* sheet = qobject_cast<mavo::CPagePropertySheet*>(QApplication::activeModalWidget())) {
                fill(*sheet);
                sheet->accept();
            }
        });
    }
};

} // namespace

TEST_F(FormatCommandsLiveTest, FormatCommandsWorkOnTheActivePageAndPrintFormatIsSaved)
{
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    ASSERT_TRUE(WaitForPane(1, "Feed Live"));
    // Without a page window the page commands are disabled.
    Frame().UpdateCommands();
    ASSERT_NE(Frame().Commands().Action(CommandId::LockFormat), nullptr);
    EXPECT_FALSE(Frame().Commands().Action(CommandId::LockFormat)->isEnabled());
    EXPECT_TRUE(Frame().Commands().Action(CommandId::PrintFormat)->isEnabled());

    CChildFrame* frame = OpenPage(1);
    ASSERT_NE(frame, nullptr);
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
