// The Edit menu's Undo, Cut and Paste on the focused text field, and Next /
// Previous Pane over the page windows, in the running application.
#include "LiveApp.h"

#include "core/ui/WindowCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStatusBar>

#include <set>

using namespace testsupport;
using CEditModule = mavo::CWindowCommandsModule;
using mavo::CommandId;

TEST(EditRules, FieldsAllowWhatTheirStateAllows)
{
    QLineEdit edit;
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    EXPECT_FALSE(CEditModule::CanUndo(&edit));
    EXPECT_FALSE(CEditModule::CanCut(&edit));
    EXPECT_TRUE(CEditModule::CanPaste(&edit));
    edit.insert(QStringLiteral("abc"));
    edit.selectAll();
    EXPECT_TRUE(CEditModule::CanUndo(&edit));
    ASSERT_TRUE(CEditModule::Cut(&edit));
    EXPECT_EQ(edit.text().toStdString(), "");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "abc");
    ASSERT_TRUE(CEditModule::Paste(&edit));
    ASSERT_TRUE(CEditModule::Paste(&edit));
    EXPECT_EQ(edit.text().toStdString(), "abcabc");
    ASSERT_TRUE(CEditModule::Undo(&edit));
    EXPECT_EQ(edit.text().toStdString(), "abc");

    // A password field never gives its text away; a read-only one takes none.
    edit.setEchoMode(QLineEdit::Password);
    edit.selectAll();
    EXPECT_FALSE(CEditModule::Cut(&edit));
    EXPECT_EQ(edit.text().toStdString(), "abc");
    edit.setEchoMode(QLineEdit::Normal);
    edit.setReadOnly(true);
    EXPECT_FALSE(CEditModule::CanPaste(&edit));
    EXPECT_FALSE(CEditModule::CanCut(&edit));
    EXPECT_FALSE(CEditModule::Undo(&edit));

    // Nothing on the clipboard: nothing to paste.
    QGuiApplication::clipboard()->clear();
    QPlainTextEdit text;
    EXPECT_FALSE(CEditModule::CanPaste(&text));
    QSpinBox spin;
    spin.setReadOnly(true);
    QGuiApplication::clipboard()->setText(QStringLiteral("5"));
    EXPECT_FALSE(CEditModule::CanPaste(&spin));
    spin.setReadOnly(false);
    EXPECT_TRUE(CEditModule::CanPaste(&spin));
    // Not a text field at all.
    QWidget plain;
    EXPECT_FALSE(CEditModule::CanPaste(&plain));
    EXPECT_FALSE(CEditModule::Paste(nullptr));
}

class EditCommandsTest : public LiveAppFixture {};

TEST_F(EditCommandsTest, MenuCommandsWorkOnTheFocusedFieldAndAreOffOverAPage)
{
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    Frame().activateWindow();
    for (CommandId id : {CommandId::EditUndo, CommandId::EditCut, CommandId::EditPaste})
        ASSERT_NE(Frame().Commands().Action(id), nullptr);

    // Nothing focused that takes text: the three are off.
    Frame().setFocus();
    Frame().UpdateCommands();
    QGuiApplication::clipboard()->setText(QStringLiteral("EUR"));
    EXPECT_FALSE(Frame().Commands().Action(CommandId::EditPaste)->isEnabled());
    EXPECT_FALSE(Frame().RunCommand(CommandId::EditPaste));

    // A field of the main window with the focus.
    auto* field = new QLineEdit(&Frame());
    Frame().statusBar()->addWidget(field);
    field->show();
    Frame().activateWindow();
    QApplication::setActiveWindow(&Frame());
    field->setFocus();
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == field; }, 10000));
    Frame().UpdateCommands();  // as the Edit menu does when it opens
    EXPECT_TRUE(Frame().Commands().Action(CommandId::EditPaste)->isEnabled());
    EXPECT_FALSE(Frame().Commands().Action(CommandId::EditCut)->isEnabled());
    ASSERT_TRUE(Frame().RunCommand(CommandId::EditPaste));
    EXPECT_EQ(field->text().toStdString(), "EUR");
    field->selectAll();
    ASSERT_TRUE(Frame().RunCommand(CommandId::EditCut));
    EXPECT_EQ(field->text().toStdString(), "");
    ASSERT_TRUE(Frame().RunCommand(CommandId::EditUndo));
    EXPECT_EQ(field->text().toStdString(), "EUR");
}

TEST_F(EditCommandsTest, NextAndPreviousPaneCycleThePageWindows)
{
    PointFeedAtServer();
    ASSERT_NO_FATAL_FAILURE(StartLive());
    EXPECT_FALSE(Enabled(CommandId::NextPane));
    for (int page : {1, 2, 3})
        ASSERT_NE(OpenPageByNew(page), nullptr);
    QMdiArea* area = Frame().MdiArea();
    ASSERT_EQ(area->subWindowList().size(), 3);
    auto activePage = [area] {
        auto* frame = qobject_cast<mavo::CChildFrame*>(area->activeSubWindow());
        return frame != nullptr ? frame->View()->Document().GetPage() : 0;
    };
    area->setActiveSubWindow(area->subWindowList().at(0));
    const int first = activePage();
    std::set<int> seen{first};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Frame().RunCommand(CommandId::NextPane));
        seen.insert(activePage());
    }
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(activePage(), first);
    ASSERT_TRUE(Frame().RunCommand(CommandId::NextPane));
    const int second = activePage();
    ASSERT_TRUE(Frame().RunCommand(CommandId::PreviousPane));
    EXPECT_EQ(activePage(), first);
    EXPECT_NE(second, first);
}
