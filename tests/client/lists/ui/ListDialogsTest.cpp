// The list dialogs on their own: texts, and "Add" / "Remove" following the
// typed entry, the selection and the permission test, as the user sees
// them; the my-customer colours handed on at once.
#include "lists/UserLists.h"
#include "lists/ui/CustomerListDialog.h"
#include "lists/ui/PageListDialog.h"
#include "lists/ui/PagePermissionWindow.h"
#include "lists/ui/ReportNameDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <string_view>

#include "WidgetStates.h"

using namespace mavo;
using testsupport::EnabledOf;
using testsupport::Flags;
using testsupport::Texts;
using testsupport::TextsOf;

namespace {

// Whether "Add" and "Remove" are enabled.
template <typename Dialog>
Flags AddRemove(const Dialog& dialog)
{
    return EnabledOf({dialog.AddButton(), dialog.RemoveButton()});
}

Texts ListTexts(const QListWidget* list)
{
    Texts texts;
    for (int i = 0; i < list->count(); ++i)
        texts.push_back(list->item(i)->text().toStdString());
    return texts;
}

} // namespace

TEST(CustomerListDialogTest, ShowsTheEntriesAndItsTexts)
{
    CCustomerListDialog dialog({{123, 2}, {45, 0}}, true, false, 0x000000, 0xFFFF00);
    EXPECT_EQ(TextsOf({&dialog, dialog.Sample()}), (Texts{"Customer List", "123"}));
    EXPECT_EQ(ListTexts(dialog.List()), (Texts{"123\tLondon", "45\tAny"}));
    ASSERT_EQ(dialog.Centre()->count(), 10);
    EXPECT_EQ(dialog.Centre()->itemText(5), CentreName(5));
    EXPECT_EQ(std::pair(dialog.DisableCenter(), dialog.DisableCustomer()), std::pair(true, false));
    EXPECT_EQ(AddRemove(dialog), (Flags{false, false})) << "nothing typed yet";
    dialog.resize(dialog.sizeHint());
    EXPECT_FALSE(dialog.grab().isNull());  // the entries painted at their tab stop
}

TEST(CustomerListDialogTest, ButtonsFollowTheTypedEntry)
{
    CCustomerListDialog dialog({{123, 2}}, false, false, 0, 0xFFFF00);
    for (const char* number : {"999", "0"}) {
        dialog.Number()->setText(QString::fromUtf8(number));
        EXPECT_EQ(AddRemove(dialog), (Flags{false, false})) << number;
    }
    dialog.Number()->setText(QStringLiteral("123"));
    EXPECT_TRUE(dialog.AddButton()->isEnabled());  // (123, Any) is not listed
    dialog.Centre()->setCurrentIndex(2);
    EXPECT_EQ(AddRemove(dialog), (Flags{false, true}));
    EXPECT_EQ(dialog.List()->currentRow(), 0);

    dialog.Centre()->setCurrentIndex(4);
    ASSERT_TRUE(dialog.AddButton()->isEnabled());
    dialog.AddButton()->click();
    EXPECT_EQ(ListTexts(dialog.List()), (Texts{"123\tLondon", "123\tMexico"}));
    EXPECT_EQ(dialog.Number()->text(), "");
    EXPECT_EQ(dialog.Centre()->currentText(), "Any");

    dialog.List()->setCurrentRow(0);
    EXPECT_EQ(AddRemove(dialog), (Flags{false, true}));
    dialog.RemoveButton()->click();
    EXPECT_EQ(ListTexts(dialog.List()), (Texts{"123\tMexico"}));
    EXPECT_EQ(dialog.Entries(), (std::vector<CustomerEntry>{{123, 4}}));
    EXPECT_FALSE(dialog.RemoveButton()->isEnabled());
}

TEST(CustomerListDialogTest, ColoursAreHandedOnAtOnce)
{
    CCustomerListDialog dialog({}, false, false, 0x000000, 0xFFFF00);
    std::vector<std::pair<ColorRef, ColorRef>> handed;
    dialog.SetColoursChanged([&](ColorRef fg, ColorRef bg) { handed.emplace_back(fg, bg); });
    dialog.SetColourChooser([](QWidget*, ColorRef initial) -> std::optional<ColorRef> {
        return initial == 0x000000 ? std::optional<ColorRef>(0x0000FF) : std::nullopt;
    });
    dialog.FgButton()->click();
    dialog.BgButton()->click();  // cancelled: nothing handed on
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], (std::pair<ColorRef, ColorRef>{0x0000FF, 0xFFFF00}));
    EXPECT_EQ(dialog.Sample()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(dialog.Sample()->palette().color(QPalette::Window), QColor(0, 255, 255));
}

TEST(PageListDialogTest, ButtonsFollowTheFieldAndThePermissionAndReportsHaveNoCheckingBox)
{
    std::vector<int> refused;
    CPageListDialog dialog({4, 2}, [](int page) { return page != 7; }, PageChecking::Disabled);
    dialog.SetRefusal([&](QWidget*) { refused.push_back(dialog.Page()->value()); });
    ASSERT_NE(dialog.DisableChecking(), nullptr);
    EXPECT_TRUE(dialog.DisablePages());
    EXPECT_EQ(ListTexts(dialog.List()), (Texts{"4", "2"}));
    EXPECT_EQ(std::pair(dialog.Page()->minimum(), dialog.Page()->maximum()), std::pair(1, 300));
    dialog.Page()->setValue(301);
    EXPECT_EQ(dialog.Page()->value(), 300);

    dialog.Page()->setValue(2);
    EXPECT_EQ(AddRemove(dialog), (Flags{false, true}));
    EXPECT_EQ(dialog.List()->currentRow(), 1);

    dialog.Page()->setValue(7);
    ASSERT_TRUE(dialog.AddButton()->isEnabled());
    dialog.AddButton()->click();
    EXPECT_EQ(refused, std::vector<int>{7});
    EXPECT_EQ(dialog.List()->count(), 2);

    dialog.Page()->setValue(9);
    dialog.AddButton()->click();
    EXPECT_EQ(ListTexts(dialog.List()), (Texts{"4", "2", "9"}));

    dialog.List()->setCurrentRow(0);
    EXPECT_EQ(dialog.Page()->value(), 4);
    dialog.RemoveButton()->click();
    EXPECT_EQ(dialog.Pages(), (std::vector<int>{2, 9}));
    EXPECT_EQ(dialog.Page()->value(), 1);
    EXPECT_TRUE(dialog.AddButton()->isEnabled());

    // A report's page list has no page checking box.
    CPageListDialog report({5}, {}, PageChecking::NoBox);
    EXPECT_EQ(report.DisableChecking(), nullptr);
    EXPECT_EQ(report.findChild<QCheckBox*>(), nullptr);
    EXPECT_FALSE(report.DisablePages());
}

TEST(ReportNameDialogTest, BlankNamesCannotBeConfirmed)
{
    CReportNameDialog dialog;
    EXPECT_EQ(dialog.Edit()->maxLength(), 20);
    for (const char* name : {"", "   ", "  Latam "}) {
        dialog.Edit()->setText(QString::fromUtf8(name));
        EXPECT_EQ(dialog.OkButton()->isEnabled(), std::string_view(name) == "  Latam ") << '"' << name << '"';
    }
    EXPECT_EQ(dialog.Name(), "Latam");
}

TEST(PagePermissionWindowTest, PagesFillFourColumnsOfAQuarterEach)
{
    CPagePermissionWindow window([](int page) { return page % 2 == 1; });
    window.resize(320, 220);
    window.ShowPermissions();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.windowTitle(), "Page Permission");
    QListWidget* list = window.List();
    ASSERT_EQ(list->count(), 150);
    EXPECT_EQ(list->item(0)->text(), "1");
    EXPECT_EQ(list->item(149)->text(), "299");
    const int quarter = list->viewport()->width() / 4;
    EXPECT_EQ(list->gridSize().width(), quarter);
    // Top to bottom, then the next column to the right.
    const QRect first = list->visualItemRect(list->item(0));
    const QRect second = list->visualItemRect(list->item(1));
    EXPECT_EQ(second.left(), first.left());
    EXPECT_GT(second.top(), first.top());
    int columnStart = 0;
    while (columnStart < list->count() && list->visualItemRect(list->item(columnStart)).left() == first.left())
        ++columnStart;
    ASSERT_LT(columnStart, list->count());
    EXPECT_EQ(list->visualItemRect(list->item(columnStart)).left() - first.left(), quarter);
    window.NewPermissionReceived();
    EXPECT_EQ(window.windowTitle(), "New Permission Received");
}
