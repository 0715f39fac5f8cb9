// The clock, client contributions, Screen Properties and Send Page Count
// windows: on their own on the offscreen platform, and in the running
// application against a real zphd.
#include "LiveApp.h"
#include "ModalDriver.h"

#include "core/ScreenController.h"
#include "tools/ui/ClockWindow.h"
#include "tools/ui/ContribWindow.h"
#include "tools/ui/ScreenPropertiesDialog.h"
#include "tools/ui/SendPageCountDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>

#include <algorithm>

using namespace ZPH;

using namespace testsupport;
using mavo::CommandId;
using mavo::FullScreenArea;

namespace {

FullScreenArea Fields(const mavo::CScreenPropertiesDialog& dialog)
{
    return FullScreenArea{dialog.Field(0)->value(), dialog.Field(1)->value(), dialog.Field(2)->value(),
                          dialog.Field(3)->value()};
}

TEST(ScreenPropertiesDialogTest, LayoutsOnAGivenScreenAndTheDefaultBox)
{
    mavo::CScreenPropertiesDialog dialog(FullScreenArea{0, -1, -1, -1}, QSize(1280, 1024));
    EXPECT_EQ(dialog.ScreenLabel()->text().toStdString(), "Screen Parameters: 1280 x 1024");
    EXPECT_FALSE(dialog.DefaultBox()->isChecked()) << "X is not negative";
    EXPECT_TRUE(dialog.DoubleTwoButton()->isEnabled());

    dialog.DoubleTwoButton()->click();
    EXPECT_EQ(Fields(dialog), (FullScreenArea{641, 0, 640, 1024}));
    dialog.DoubleOneButton()->click();
    EXPECT_EQ(Fields(dialog), (FullScreenArea{0, 0, 640, 1024}));
    dialog.Field(0)->setValue(12);
    EXPECT_EQ(dialog.Result(), (FullScreenArea{12, 0, 640, 1024})) << "typed values are taken";

    dialog.DefaultBox()->setChecked(true);
    EXPECT_EQ(Fields(dialog), (FullScreenArea{-1, -1, -1, -1}));
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(dialog.Field(i)->isEnabled()) << i;
    EXPECT_FALSE(dialog.FullButton()->isEnabled());
    EXPECT_FALSE(dialog.DoubleOneButton()->isEnabled());
    EXPECT_EQ(dialog.Result(), (FullScreenArea{-1, -1, -1, -1}));

    dialog.DefaultBox()->setChecked(false);
    EXPECT_EQ(Fields(dialog), (FullScreenArea{0, 0, 1280, 1024}));
    EXPECT_TRUE(dialog.FullButton()->isEnabled());

    dialog.show();
    for (QLabel* label : dialog.findChildren<QLabel*>())
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();

    // All negative: it starts ticked.
    mavo::CScreenPropertiesDialog stored(FullScreenArea{-1, -1, -1, -1}, QSize(1920, 1080));
    EXPECT_TRUE(stored.DefaultBox()->isChecked());
    EXPECT_FALSE(stored.Field(2)->isEnabled());
    EXPECT_EQ(stored.Result(), (FullScreenArea{-1, -1, -1, -1}));
}

TEST(ContribWindowTest, HoldsAtMostTwoHundredEntriesDroppingTheOldest)
{
    mavo::CContribWindow window;
    for (int i = 0; i < 205; ++i)
        window.AddEntry("10:00:00\tnote " + std::to_string(i));
    EXPECT_EQ(window.EntryCount(), 200);
    EXPECT_EQ(window.Entry(0), "10:00:00\tnote 5");
    EXPECT_EQ(window.Entry(199), "10:00:00\tnote 204");

    window.AddNotification("Desk closes\nat 5");
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\tDesk closes\nat 5$"))
                    .match(QString::fromStdString(window.Entry(199)))
                    .hasMatch())
        << window.Entry(199);
    // Resizing keeps the list's margins to the edges.
    window.show();
    window.resize(500, 300);
    const QRect before = window.List()->geometry();
    window.resize(600, 400);
    const QRect after = window.List()->geometry();
    EXPECT_EQ(window.width() - after.right(), 500 - before.right());
    EXPECT_EQ(window.height() - after.bottom(), 300 - before.bottom());
}

TEST(ClockWindowTest, ShowsTheLocalTimeInItsFormat)
{
    mavo::CClockWindow window;
    const QRegularExpression format(
        QStringLiteral("^\\d\\d [A-Z][a-z][a-z] \\d{4} - (0[1-9]|1[0-2]):[0-5]\\d:[0-5]\\d (AM|PM)$"));
    EXPECT_TRUE(format.match(window.Text()).hasMatch()) << window.Text().toStdString();
    window.show();
    const QString first = window.Text();
    // The timer renews it (a second later, at the latest after a few).
    EXPECT_TRUE(WaitFor([&] { return window.Text() != first; }, 10000));
    EXPECT_TRUE(format.match(window.Text()).hasMatch());
}

class ToolWindowsTest : public LiveAppFixture {};

TEST_F(ToolWindowsTest, WindowsArePlacedFromTheSettingsTheirPlacesSavedAndNotificationsListed)
{
    for (const auto& [name, value] : {std::pair{"TimeLeft", 210}, {"TimeTop", 220}, {"ShowTime", 1}, {"ContribLeft", 230},
                                      {"ContribTop", 240}, {"ContribWidth", 420}, {"ContribHeight", 260},
                                      {"ShowContrib", 0}})
        Section("MainFrame").SetInt(name, value);
    PointFeedAtServer();
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    auto* clock = Frame().findChild<mavo::CClockWindow*>(QStringLiteral("ClockWindow"));
    auto* contrib = Frame().findChild<mavo::CContribWindow*>(QStringLiteral("ContribWindow"));
    ASSERT_NE(clock, nullptr);
    ASSERT_NE(contrib, nullptr);
    EXPECT_TRUE(clock->isVisible());
    EXPECT_EQ(clock->pos(), QPoint(210, 220));
    EXPECT_FALSE(contrib->isVisible());
    EXPECT_EQ(contrib->size(), QSize(420, 260));

    ASSERT_TRUE(Frame().RunCommand(CommandId::Notifications));
    EXPECT_TRUE(contrib->isVisible());
    clock->hide();
    ASSERT_TRUE(Frame().SaveAllSettings());
    EXPECT_EQ(StoredInt("MainFrame", "ShowTime"), 0);
    EXPECT_EQ(StoredInt("MainFrame", "ShowContrib"), 1);
    EXPECT_EQ(StoredInt("MainFrame", "ContribWidth"), 420);
    EXPECT_EQ(StoredInt("MainFrame", "ContribHeight"), 260);
    ASSERT_TRUE(Frame().RunCommand(CommandId::CurrentTime));
    EXPECT_TRUE(clock->isVisible());

    // Notifications from the feed reach the contributions window.
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    ASSERT_EQ(zphd.Control("notify all Desk closes|at 5").rfind("OK", 0), 0u);
    ASSERT_TRUE(WaitFor([&] { return contrib->EntryCount() == 1; }));
    EXPECT_NE(contrib->Entry(0).find("\tDesk closes\nat 5"), std::string::npos) << contrib->Entry(0);
}

TEST_F(ToolWindowsTest, ScreenPropertiesEditsTheFullScreenRectangleOfTheWindowsScreenAndSaves)
{
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    QScreen* screen = Frame().screen();
    ASSERT_NE(screen, nullptr);
    const QSize size = screen->geometry().size();
    std::string shownSize;
    OnModal<mavo::CScreenPropertiesDialog>([&](mavo::CScreenPropertiesDialog* dialog) {
        shownSize = dialog->ScreenLabel()->text().toStdString();
        EXPECT_TRUE(dialog->DefaultBox()->isChecked()) << "the stored rectangle is -1 everywhere";
        dialog->DefaultBox()->setChecked(false);
        dialog->DoubleTwoButton()->click();
        dialog->accept();
    });
    ASSERT_TRUE(Frame().RunCommand(CommandId::ScreenProperties));
    EXPECT_EQ(shownSize, "Screen Parameters: " + std::to_string(size.width()) + " x " + std::to_string(size.height()));
    const FullScreenArea expected{size.width() / 2 + 1, 0, size.width() / 2, size.height()};
    EXPECT_EQ(Frame().Settings().fullScreenArea, expected);
    EXPECT_EQ(StoredInt("MainFrame", "FullScreenX"), expected.x) << "OK saves all settings";
    EXPECT_EQ(StoredInt("MainFrame", "FullScreenCX"), expected.cx);

    OnModal<mavo::CScreenPropertiesDialog>([](mavo::CScreenPropertiesDialog* dialog) {
        dialog->FullButton()->click();
        dialog->reject();
    });
    ASSERT_TRUE(Frame().RunCommand(CommandId::ScreenProperties));
    EXPECT_EQ(Frame().Settings().fullScreenArea, expected) << "Cancel changes nothing";
}

TEST_F(ToolWindowsTest, SendPageCountListsTheFeedsCountsInTheFullViewOnly)
{
    PointFeedAtServer();
    ASSERT_NO_FATAL_FAILURE(StartLive());
    EXPECT_FALSE(Enabled(CommandId::SendPageCount));
    ASSERT_EQ(zphd.Control("level guest 999").rfind("OK", 0), 0u) << zphd.Control("sessions");
    ASSERT_TRUE(WaitFor([&] { return app->Controller().IsFullView(); }));
    EXPECT_TRUE(Enabled(CommandId::SendPageCount));
    for (const char* command : {"count 5 7", "count 3 7", "count 2 1"})
        ASSERT_EQ(zphd.Control(command).rfind("OK", 0), 0u) << command;
    ASSERT_TRUE(WaitFor([&] {
        PageRef page = app->Controller().GetLineCache().GetPage(2);
        return page && page->GetCount() == 1;
    }));
    std::vector<std::string> listed;
    OnModal<mavo::CSendPageCountDialog>([&](mavo::CSendPageCountDialog* dialog) {
        for (int i = 0; i < dialog->List()->count(); ++i)
            listed.push_back(dialog->List()->item(i)->text().toStdString());
        dialog->accept();
    });
    ASSERT_TRUE(Frame().RunCommand(CommandId::SendPageCount));
    const auto at = [&](const std::string& entry) { return std::find(listed.begin(), listed.end(), entry); };
    for (const char* entry : {"2 1", "3 7", "5 7"})
        ASSERT_NE(at(entry), listed.end()) << entry;
    EXPECT_LT(at("2 1"), at("3 7"));
    EXPECT_LT(at("3 7"), at("5 7")) << "the same count in page order";
}

} // namespace
