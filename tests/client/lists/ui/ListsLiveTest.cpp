// The lists, the page permission window and the volume report in the
// running application against a real zphd: long lists that survive a save
// and a start, stack customers drawn in the my-customer colours as the
// customer list says, the permission window and the page list following new
// permissions, and a report whose rows follow the feed.
#include "LiveApp.h"
#include "WidgetStates.h"

#include "lists/StoredLists.h"
#include "lists/VolumeReport.h"
#include "lists/ui/CustomerListDialog.h"
#include "lists/ui/PageListDialog.h"
#include "lists/ui/PagePermissionWindow.h"
#include "lists/ui/ReportNameDialog.h"
#include "lists/ui/VolumeReportWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

using namespace testsupport;
using mavo::CommandId;

namespace {

class ListsLiveTest : public LiveAppFixture {
protected:
    void SetUp() override
    {
        LiveAppFixture::SetUp();
        PointFeedAtServer();
    }

    void FullView()
    {
        ASSERT_EQ(zphd.Control("level guest 999"), "OK");
        ASSERT_TRUE(WaitFor([&] { return Frame().Controller().IsFullView(); }));
        Frame().UpdateCommands();
    }

    // Pixels of exactly this colour in a picture of the page's rows.
    static int PixelsOf(mavo::CPageList* list, QColor colour)
    {
        QImage image(list->NominalSize(), QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            list->RenderRows(painter, image.rect());
        }
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixelColor(x, y) == colour;
        return count;
    }

    mavo::CVolumeReportWindow* ReportWindow()
    {
        return Frame().findChild<mavo::CVolumeReportWindow*>(QStringLiteral("TradeVolumeReport"));
    }

    // A list value read whole however long; "<none>" when it is not stored.
    static std::string StoredList(const std::string& path, const char* name)
    {
        std::string stored;
        return mavo::ReadWholeString(Section(path), name, stored) ? stored : "<none>";
    }

    // The next page list dialog gets these pages added, then OK.
    static void AddPagesInNextPageList(std::vector<int> pages)
    {
        AnswerNextDialog<mavo::CPageListDialog>([pages](mavo::CPageListDialog* d) {
            for (int page : pages) {
                d->Page()->setValue(page);
                d->AddButton()->click();
            }
            d->accept();
        });
    }

    static void NameNextReport(const QString& name)
    {
        AnswerNextDialog<mavo::CReportNameDialog>([name](mavo::CReportNameDialog* d) {
            d->Edit()->setText(name);
            d->accept();
        });
    }
};

} // namespace

TEST_F(ListsLiveTest, LongListsSurviveASaveAndAStart)
{
    std::string customers;
    for (int i = 0; i < 60; ++i)
        customers += std::to_string(998 - i) + " " + std::to_string(i % 10) + " ";
    std::string pages;
    for (int page = 1; page <= 300; ++page)
        pages += std::to_string(page) + " ";
    Section("MainFrame").SetStr("CustomerList", customers);
    Section("MainFrame").SetStr("PageList", pages);
    Section("MainFrame").SetInt("DisablePages", 0);

    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
        ASSERT_TRUE(Frame().RunCommand(CommandId::SaveFormat));
        app.reset();
        EXPECT_EQ(StoredList("MainFrame", "CustomerList"), customers);
        EXPECT_EQ(StoredList("MainFrame", "PageList"), pages);
        EXPECT_EQ(StoredInt("MainFrame", "DisablePages"), 0);
        EXPECT_EQ(StoredInt("MainFrame", "DisableCustomer"), 0);
    }
}

TEST_F(ListsLiveTest, StackCustomersTakeTheMyCustomerColoursAsTheListSays)
{
    // Every customer number is the user's; the my-customer background is a
    // colour nothing else on a page has.
    std::string everyone;
    for (int number = 1; number <= 998; ++number)
        everyone += std::to_string(number) + " 0 ";
    Section("MainFrame").SetStr("CustomerList", everyone);
    Section("MainFrame").SetInt("MyCustBG", 0x123456);
    const QColor myBackground(0x56, 0x34, 0x12);
    StartLive();
    FullView();
    mavo::CChildFrame* frame = OpenPageByNew(1);
    ASSERT_NE(frame, nullptr);
    mavo::CPageList* list = frame->View()->List();
    ASSERT_TRUE(WaitFor([&] { return PixelsOf(list, myBackground) > 0; }, 30000))
        << "no stack customer drawn in the my-customer colours";

    // The customer list's dialog switches my-customer colours off; the
    // page is drawn anew without them.
    AnswerNextDialog<mavo::CCustomerListDialog>([](mavo::CCustomerListDialog* d) {
        for (QCheckBox* box : d->findChildren<QCheckBox*>())
            if (box->text() == "Disable my customer colors")
                box->setChecked(true);
        d->accept();
    });
    ASSERT_TRUE(Frame().RunCommand(CommandId::CustomerList));
    EXPECT_TRUE(WaitFor([&] { return PixelsOf(list, myBackground) == 0; }, 5000));
    ASSERT_TRUE(Frame().RunCommand(CommandId::SaveFormat));
    EXPECT_EQ(StoredInt("MainFrame", "DisableCustomer"), 1);

    // The page list marks the rows of pages that are not listed.
    AnswerNextDialog<mavo::CPageListDialog>([](mavo::CPageListDialog* d) {
        d->DisableChecking()->setChecked(false);
        d->Page()->setValue(3);
        d->AddButton()->click();
        d->accept();
    });
    const QColor unlisted(0x30, 0x30, 0x30);
    EXPECT_EQ(PixelsOf(list, unlisted), 0);
    ASSERT_TRUE(Frame().RunCommand(CommandId::PageList));
    EXPECT_TRUE(WaitFor([&] { return PixelsOf(list, unlisted) > 0; }, 5000));
    ASSERT_TRUE(Frame().RunCommand(CommandId::SaveFormat));
    EXPECT_EQ(StoredList("MainFrame", "PageList"), "3 ");
    EXPECT_EQ(StoredInt("MainFrame", "DisablePages"), 0);
}

TEST_F(ListsLiveTest, PermissionWindowAndPageListFollowNewPermissions)
{
    StartLive();
    Frame().UpdateCommands();
    ASSERT_TRUE(Frame().RunCommand(CommandId::PagePermission));
    auto* window = Frame().findChild<mavo::CPagePermissionWindow*>(QStringLiteral("PagePermission"));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    auto texts = [&] {
        QStringList t;
        for (int i = 0; i < window->List()->count(); ++i)
            t << window->List()->item(i)->text();
        return t.join(QLatin1Char(' ')).toStdString();
    };
    EXPECT_EQ(texts(), "1 2 3 4 5 6");

    window->hide();
    ASSERT_EQ(zphd.Control("permissions guest 2-3,7"), "OK");
    ASSERT_TRUE(WaitFor([&] { return window->isVisible() && texts() == "2 3 7"; }));
    EXPECT_EQ(window->windowTitle(), "New Permission Received");

    // The page list refuses pages the user may not see.
    AddPagesInNextPageList({5, 2});
    ASSERT_TRUE(Frame().RunCommand(CommandId::PageList));
    const auto refusals = messages.WithCaption("No Permission");
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].text, "You do not have permission\nto view this page");
    EXPECT_EQ(refusals[0].icon, mavo::CMessageService::Icon::Error);
    ASSERT_TRUE(Frame().RunCommand(CommandId::SaveFormat));
    EXPECT_EQ(StoredList("MainFrame", "PageList"), "2 ");

    // Only outside the full view.
    FullView();
    EXPECT_FALSE(Enabled(CommandId::PagePermission));
}

TEST_F(ListsLiveTest, ReportRowsFollowTheFeedAndReportsAreKeptByName)
{
    Section("VolumeReport").SetStr("Latam", "1 ");
    StartLive();
    EXPECT_FALSE(Enabled(CommandId::VolumeReport));
    FullView();
    ASSERT_NE(OpenPageByNew(1), nullptr);
    ASSERT_TRUE(WaitFor([&] { return HasLine(1, 2) && HasLine(1, 17); }, 30000));

    ASSERT_TRUE(Frame().RunCommand(CommandId::VolumeReport));
    mavo::CVolumeReportWindow* window = ReportWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->Reports()->count(), 1);
    EXPECT_EQ(window->Reports()->itemText(0), "Latam");
    EXPECT_EQ(EnabledOf({window->RunButton(), window->ModifyButton(), window->DeleteButton()}), Flags(3, false));
    window->SelectReport(0);
    EXPECT_TRUE(window->RunButton()->isEnabled());
    window->RunReport();
    EXPECT_FALSE(window->RunButton()->isEnabled());
    EXPECT_EQ(window->ResultsLabel()->text(), "Latam Report Results:");
    QTreeWidget* rows = window->Rows();
    ASSERT_EQ(rows->topLevelItemCount(), 26);
    const LineRef line2 = Frame().Controller().GetLineCache().GetForRead(CreateZPHKey(1, 2));
    ASSERT_TRUE(line2);
    EXPECT_EQ(rows->topLevelItem(1)->text(0) + " " + rows->topLevelItem(1)->text(1), "1 2");
    EXPECT_EQ(rows->topLevelItem(1)->text(2).trimmed().toStdString(), line2->m_issueName);
    // zphd's page 1 has 17 lines: the rest have no line.
    EXPECT_EQ(rows->topLevelItem(25)->text(2), "???????");
    // The volume column shows the widest volume whole beside the scroll bar.
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QCoreApplication::processEvents();
    ASSERT_TRUE(rows->verticalScrollBar()->isVisible()) << "26 rows need the scroll bar";
    EXPECT_GE(rows->viewport()->width() - rows->header()->sectionPosition(3),
              rows->fontMetrics().horizontalAdvance(QString::fromLatin1(mavo::kWidestVolumeText)));

    // The feed changes line 2's volume: its row follows. The market is held
    // first: its next tick of the issue would draw the line again from the
    // issue's own volume and the edit might never go out.
    ASSERT_NO_FATAL_FAILURE(HoldMarket());
    ASSERT_EQ(zphd.Control("set 1 2 16 4321.00"), "OK");
    EXPECT_TRUE(WaitFor([&] { return rows->topLevelItem(1)->text(3) == "4321.00"; }));
    EXPECT_GT(window->RowsRefilled(), 0);
    EXPECT_TRUE(window->Changed());
    window->UpdateTotal();
    EXPECT_FALSE(window->Changed());
    EXPECT_GE(window->Total()->text().size(), 8);
    EXPECT_TRUE(window->Total()->text().contains(QLatin1Char('.')));
    EXPECT_GE(window->Total()->text().trimmed().toDouble(), 4321.0);

    // New reports by name: a name already kept, in any case, is refused.
    NameNextReport(QStringLiteral("LATAM"));
    window->NewReport();
    ASSERT_EQ(messages.WithCaption("Error").size(), 1u);
    EXPECT_EQ(messages.WithCaption("Error")[0].text, "That report name already exists");
    EXPECT_EQ(window->Reports()->count(), 1);

    // A new report starts without pages; Modify gives it pages.
    NameNextReport(QStringLiteral("Swaps"));
    window->NewReport();
    ASSERT_EQ(window->Reports()->count(), 2);
    EXPECT_EQ(window->Reports()->currentText(), "Swaps");
    EXPECT_FALSE(window->RunButton()->isEnabled());
    EXPECT_TRUE(window->ModifyButton()->isEnabled());
    AddPagesInNextPageList({4, 3});
    window->ModifyReport();
    EXPECT_TRUE(window->RunButton()->isEnabled());
    EXPECT_EQ(StoredList("VolumeReport", "Swaps"), "4 3 ");
    window->RunReport();
    ASSERT_EQ(rows->topLevelItemCount(), 52);
    EXPECT_EQ(rows->topLevelItem(0)->text(0), "4");
    EXPECT_EQ(rows->topLevelItem(26)->text(0), "3");

    // Delete asks; No keeps the report, Yes deletes it.
    messages.answers.push_back(mavo::CMessageService::No);
    window->DeleteReport();
    const auto asked = messages.WithCaption("Delete Report");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Are you sure you want to delete report 'Swaps'?");
    EXPECT_EQ(asked[0].buttons, mavo::CMessageService::Buttons::YesNo);
    EXPECT_EQ(window->Reports()->count(), 2);
    EXPECT_EQ(StoredList("VolumeReport", "Swaps"), "4 3 ");
    messages.answers.push_back(mavo::CMessageService::Yes);
    window->DeleteReport();
    EXPECT_EQ(window->Reports()->count(), 1);
    EXPECT_EQ(window->Reports()->currentIndex(), -1);
    EXPECT_FALSE(window->DeleteButton()->isEnabled());
    EXPECT_EQ(StoredList("VolumeReport", "Swaps"), "<none>");

    // Closing lets the window go.
    window->close();
    EXPECT_TRUE(WaitFor(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return ReportWindow() == nullptr;
        },
        5000));
}
