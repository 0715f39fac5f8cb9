// Small things of the dialogs a user meets first: Enter in About presses
// OK rather than following the mail link.
#include "AppFixture.h"

#include "core/ui/AboutDialog.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

using namespace testsupport;

class DialogDetailsTest : public AppFixture {};

TEST_F(DialogDetailsTest, EnterInAboutPressesOk)
{
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    ASSERT_TRUE(Frame().RunCommand(mavo::CommandId::About));
    mavo::CAboutDialog* about = Frame().AboutDialog();
    ASSERT_NE(about, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
    about->activateWindow();
    QApplication::setActiveWindow(about);
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() != nullptr; }, 10000));
    auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
    ASSERT_NE(focused, nullptr) << "the first focus is on "
                                << QApplication::focusWidget()->metaObject()->className();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(openedLinks.empty());
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(about->result(), QDialog::Accepted);
}
