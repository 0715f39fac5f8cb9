// The order windows as widgets over a feed of the test's own: the order
// dialog's Join, increment and keypad; the maximum-quantity dialog's OK;
// the trade window's mark on the shown line, its buttons with and without
// order entry, a feed-thread update, a refused send; "Customer Orders".
#include "../FakeOrderFeed.h"
#include "LiveApp.h"
#include "RecordingMessages.h"
#include "WidgetStates.h"

#include "orders/ui/IncrementDialog.h"
#include "orders/ui/MaxQuantityDialog.h"
#include "orders/ui/OrderDialog.h"
#include "orders/ui/TradeWindow.h"
#include "orders/ui/YourOrdersWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <optional>
#include <thread>

using namespace mavo;
using orderstest::FakeOrderFeed;
using orderstest::FirmLine;
using testsupport::EnabledOf;
using testsupport::Flags;
using testsupport::SaveShot;
using testsupport::Texts;
using testsupport::TextsOf;

namespace {

const unsigned kKey = CreateZPHKey(2, 3);

} // namespace

TEST(OrderDialogWidget, JoinIncrementKeypadConfirmAndTyping)
{
    COrderIncrement increment;
    const LineObject line = FirmLine();
    COrderDialog dialog(line, COrderTicket(line, true), increment);
    dialog.show();
    EXPECT_EQ(TextsOf({&dialog, dialog.RateField(), dialog.QuantityField(), dialog.IncrementLabel()}),
              (Texts{"BID - ARG 2030", "99.5", "2.0", "0.25"}));
    EXPECT_TRUE(dialog.JoinBox()->isChecked());
    EXPECT_EQ(EnabledOf({dialog.RateField(), dialog.RatePlus()}), (Flags{false, false}));

    dialog.JoinBox()->click();
    EXPECT_EQ(EnabledOf({dialog.RateField(), dialog.RateMinus()}), (Flags{true, true}));
    dialog.SetIncrementChooser([](QWidget*, int current) {
        EXPECT_EQ(current, 4);
        return 2;
    });
    dialog.IncrementButton()->click();
    EXPECT_EQ(increment.Index(), 2);  // kept for every later dialog
    EXPECT_EQ(dialog.IncrementLabel()->text().toStdString(), "0.10");
    dialog.RatePlus()->click();
    EXPECT_EQ(dialog.RateField()->text().toStdString(), "99.6");

    // The keypad widens the dialog and narrows it again.
    EXPECT_FALSE(dialog.Keypad()->isVisible());
    const int narrow = dialog.width();
    dialog.KeypadToggle()->click();
    EXPECT_TRUE(dialog.Keypad()->isVisible());
    EXPECT_GT(dialog.width(), narrow);
    EXPECT_TRUE(SaveShot(&dialog, QStringLiteral("order-dialog.png")));
    // Keys go to the quantity unless the rate had the focus.
    dialog.Key(kClearKey)->click();
    dialog.Key('0')->click();
    EXPECT_EQ(dialog.QuantityField()->text().toStdString(), "0");
    EXPECT_FALSE(dialog.ConfirmButton()->isEnabled());
    for (char key : {'.', '5', '.'})
        dialog.Key(key)->click();
    EXPECT_EQ(dialog.QuantityField()->text().toStdString(), "0.5");
    EXPECT_TRUE(dialog.ConfirmButton()->isEnabled());
    dialog.KeypadToggle()->click();
    EXPECT_FALSE(dialog.Keypad()->isVisible());
    EXPECT_EQ(dialog.width(), narrow);

    // A sign is refused as it is typed; a field left without a value
    // disables Confirm.
    dialog.RateField()->setFocus();
    dialog.RateField()->clear();
    QTest::keyClicks(dialog.RateField(), "-3");
    EXPECT_EQ(dialog.RateField()->text().toStdString(), "3");
    QTest::keyClick(dialog.RateField(), Qt::Key_Backspace);
    EXPECT_EQ(dialog.RateField()->text().toStdString(), "");
    EXPECT_FALSE(dialog.ConfirmButton()->isEnabled());
    dialog.ConfirmButton()->click();
    EXPECT_EQ(dialog.result(), 0);

    // Letters are refused as they are typed, in either field.
    for (QLineEdit* field : {dialog.RateField(), dialog.QuantityField()}) {
        field->clear();
        QTest::keyClicks(field, QStringLiteral("9a9.5x.7"));
        EXPECT_EQ(field->text().toStdString(), "99.57") << field->objectName().toStdString();
    }

    // The dialog behind the increment button lists the six choices.
    CIncrementDialog choices(4);
    ASSERT_EQ(choices.Choices().size(), 6u);
    EXPECT_EQ(choices.Chosen(), 4);
    choices.Choices()[5]->click();
    EXPECT_EQ(choices.Chosen(), 5);
}

TEST(MaxQuantityWidget, OkOnlyWithAtLeastOneAndDigitsOnly)
{
    LineObject line = FirmLine();
    line.m_offer.m_traded[0].m_quantity = "4";
    CMaxQuantityDialog dialog(line, CMaxQuantityTicket(line, false));
    dialog.show();
    EXPECT_EQ(TextsOf({&dialog, dialog.QuantityField()}), (Texts{"BUY - ARG 2030", "4.0"}));
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    // Letters are refused as they are typed.
    dialog.QuantityField()->clear();
    QTest::keyClicks(dialog.QuantityField(), QStringLiteral("1x2"));
    EXPECT_EQ(dialog.QuantityField()->text().toStdString(), "12");
    dialog.Key(kClearKey)->click();
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    dialog.OkButton()->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.QuantityMinus()->click();
    EXPECT_EQ(dialog.QuantityField()->text().toStdString(), "1.0");
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    EXPECT_TRUE(SaveShot(&dialog, QStringLiteral("max-quantity-dialog.png")));
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Ticket().Quantity()->Text(), "1.0");
}

namespace {

// A trade window over a feed of the test's own that holds the firm line.
class TradeWindowWidget : public testing::Test {
protected:
    void SetUp() override { feed.cache.Put(kKey, FirmLine()); }

    FakeOrderFeed feed;
    COrderDesk desk{feed};
    COrderIncrement increment;
    testsupport::RecordingMessages messages;
    CTradeWindow window{desk, increment, messages};
};

} // namespace

TEST_F(TradeWindowWidget, MarksTheShownLineAndFollowsOrderEntry)
{
    const unsigned other = CreateZPHKey(2, 4);
    feed.cache.Put(other, FirmLine(2, 4));
    // The trade-window mark of a cached line; none for a line not there.
    const auto marked = [&](unsigned key) -> std::optional<bool> {
        const LineRef line = feed.cache.GetForRead(key);
        return line ? std::optional<bool>((line->m_lineFlags & kTradeWindowLineFlag) != 0) : std::nullopt;
    };
    window.OnLineClick(kKey, QPoint(100, 100), true);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(TextsOf({&window, window.IssueLabel(), window.RatesLabel(), window.QuantitiesLabel()}),
              (Texts{"Page 2, Line 3", "ARG 2030", "99.5 / 100", "5 X 10"}));
    EXPECT_EQ(std::tuple(marked(kKey), feed.clients.size(), window.ButtonPanel()->isVisible()),
              std::tuple(std::optional(true), 1u, true));
    EXPECT_EQ(EnabledOf({window.Button(TB_SELL), window.Button(TB_BID_OUT)}), (Flags{true, false}));
    EXPECT_TRUE(SaveShot(&window, QStringLiteral("trade-window.png")));

    // Another line takes the mark; the window registers once.
    window.ShowLine(other);
    EXPECT_EQ(std::tuple(marked(kKey), marked(other), feed.clients.size()),
              std::tuple(std::optional(false), std::optional(true), 1u));
    EXPECT_EQ(window.windowTitle().toStdString(), "Page 2, Line 4");

    // An update from a feed thread refills it; other keys do not.
    LineObject changed = FirmLine(2, 4);
    changed.m_bid.m_rate = "99.75";
    feed.cache.Put(other, changed);
    const int fills = window.Fills();
    std::thread([&] {
        window.OnKeyUpdate(kKey);
        window.OnKeyUpdate(other);
        window.OnKeyUpdate(other);
    }).join();
    ASSERT_TRUE(testsupport::WaitFor([&] { return window.RatesLabel()->text().startsWith("99.75"); }, 20000));
    testsupport::Spin(50);
    EXPECT_EQ(window.Fills(), fills + 1);

    // Without order entry the buttons go and the window is shorter.
    const int tall = window.height();
    feed.orderEntry = false;
    window.Fill();
    EXPECT_FALSE(window.ButtonPanel()->isVisibleTo(&window));
    EXPECT_LT(window.height(), tall);
    EXPECT_FALSE(window.Button(TB_SELL)->isEnabled());
    feed.orderEntry = true;
    window.Fill();
    EXPECT_TRUE(window.ButtonPanel()->isVisibleTo(&window));

    // The source does not take the order: said, not passed over.
    feed.sendWorks = false;
    window.Press(TB_SELL);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "The order could not be sent: the feed did not take it.");

    // The release of an info click hides it; no line clears the mark and
    // stops listening.
    window.OnLineClick(0, std::nullopt, false);
    EXPECT_FALSE(window.isVisible());
    window.ShowLine(0);
    EXPECT_EQ(marked(other), false);
    EXPECT_TRUE(feed.clients.empty());
}

TEST_F(TradeWindowWidget, DialogsSendFromTheLineAsItStandsWhenTheyClose)
{
    window.ShowLine(kKey);
    // The bid dialog: the line loses its prices while it is open.
    window.SetDialogRunner([&](QDialog&) {
        LineObject gone = FirmLine();
        gone.m_lineFlags = 0x200;
        feed.cache.Put(kKey, gone);
        return int(QDialog::Accepted);
    });
    window.Press(TB_BID);
    EXPECT_TRUE(feed.sent.empty());
    EXPECT_FALSE(window.Button(TB_BID)->isEnabled());
    // Confirmed on a line that still trades: joins.
    feed.cache.Put(kKey, FirmLine());
    window.SetDialogRunner([](QDialog& dialog) {
        auto& order = dynamic_cast<COrderDialog&>(dialog);
        order.QuantityField()->setFocus();
        order.Key(kClearKey)->click();
        order.Key('7')->click();
        return int(QDialog::Accepted);
    });
    window.Press(TB_BID);
    ASSERT_EQ(feed.sent.size(), 1u);
    EXPECT_STREQ(feed.sent[0].GetValue(7), "CCJoinBid");
    EXPECT_STREQ(feed.sent[0].GetValue(16), "7");
    // Cancelled: nothing.
    window.SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
    window.Press(TB_OFFER);
    EXPECT_EQ(feed.sent.size(), 1u);
}

TEST(YourOrdersWidget, ListsOwnPricesAndHandsOnEveryOptionChange)
{
    FakeOrderFeed feed;
    LineObject line = FirmLine();
    line.m_bid.m_ownLevel = 1;
    line.m_bid.m_stack[0].m_quantity = "2";
    feed.cache.Put(kKey, line);
    feed.refs[kKey] = 1;
    CYourOrdersWindow window(feed, [] { return nullptr; });
    std::vector<MyPriceOptions> changes;
    window.SetOptionsChanged([&](const MyPriceOptions& o) { changes.push_back(o); });
    window.SetColourPicker([](QWidget*, int) { return std::optional<int>(0x0000FF); });
    window.show();
    ASSERT_EQ(window.List()->topLevelItemCount(), 1);
    EXPECT_EQ(TextsOf(window.List()->topLevelItem(0)), (Texts{"ARG 2030", "99.5", "", "2"}));
    // "Update" scans again.
    line.m_offer.m_ownLevel = 2;
    feed.cache.Put(kKey, line);
    window.UpdateButton()->click();
    EXPECT_EQ(window.List()->topLevelItem(0)->text(2).toStdString(), "100");

    window.MyPriceBox()->click();
    window.Meta2Box()->click();
    window.BackgroundButton()->click();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(std::tuple(changes[0].enableMyPrice, changes[0].enableMeta2, changes[1].enableMeta2),
              std::tuple(true, false, true));
    EXPECT_EQ(std::pair(changes[2].background, changes[2].foreground), std::pair(0x0000FF, 0x000000));
    EXPECT_EQ(window.Sample()->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(SaveShot(&window, QStringLiteral("your-orders.png")));

    // Another command changed the stored options meanwhile: a change here
    // hands back those, with only its own option changed.
    window.SetOptionsSource([] { return MyPriceOptions{false, true, 0x123456, 0x654321}; });
    window.Meta2Box()->click();  // shown checked: unchecks
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[3], (MyPriceOptions{false, false, 0x123456, 0x654321}));
}
