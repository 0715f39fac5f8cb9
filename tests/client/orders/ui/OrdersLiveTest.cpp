// Order entry in the running application against a real zphd (a still
// market): the trade window opened from a page, each button's order as
// zphd received it field by field, and the market's answer on the page:
// a hit that trades and moves the last trade and volume, own prices at
// their stack level, "Your Orders" listing them, withdrawals, and joining
// a trade with a maximum quantity.
#include "LiveApp.h"

#include "core/ScreenController.h"
#include "orders/OrderNumber.h"
#include "orders/TradeButtons.h"
#include "orders/ui/MaxQuantityDialog.h"
#include "orders/ui/OrderDialog.h"
#include "orders/ui/TradeWindow.h"
#include "orders/ui/YourOrdersWindow.h"
#include "zph/NumberText.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace testsupport;
using namespace mavo;

namespace {

constexpr unsigned kFourButtons = TB_SELL | TB_BUY | TB_BID | TB_OFFER;

class OrdersLiveTest : public LiveAppFixture {
protected:
    void SetUp() override
    {
        LiveAppFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(HoldMarket());
        PointFeedAtServer();
        ASSERT_NO_FATAL_FAILURE(StartLive());
        ASSERT_TRUE(WaitFor([&] { return Frame().Controller().GetOrderEntry(); }));
        page = OpenPageByNew(1);
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(WaitFor([&] { return TradableLine() != 0; }, 30000));
        trade = Frame().findChild<CTradeWindow*>();
        ASSERT_NE(trade, nullptr);
    }

    LineRef Line(unsigned key) { return Frame().Controller().GetLineCache().GetForRead(key); }
    int Level() { return Frame().Controller().GetUserLevel(); }

    // A line of the page on which Sell, Buy, Bid and Offer are all enabled.
    unsigned TradableLine()
    {
        for (unsigned key : page->View()->Document().Lines()) {
            const LineRef line = Line(key);
            if (line && line->m_bid.m_ownLevel == 0 && line->m_offer.m_ownLevel == 0
                && (TradeButtonMask(line.get(), Level(), true) & kFourButtons) == kFourButtons)
                return key;
        }
        return 0;
    }

    // A double click on the line's row, as a trader opens the trade window.
    void OpenTradeWindow(unsigned key)
    {
        const std::vector<unsigned> keys = page->View()->Document().Lines();
        const auto it = std::find(keys.begin(), keys.end(), key);
        ASSERT_NE(it, keys.end());
        CPageList* list = page->View()->List();
        const QPoint at = list->RowRect(static_cast<int>(it - keys.begin())).center();
        QTest::mouseDClick(list, Qt::LeftButton, {}, at);
        ASSERT_TRUE(WaitFor([&] { return trade->isVisible() && trade->Key() == key; }, 10000));
    }

    // The fields of the last order zphd received, "id<TAB>text" each.
    std::vector<std::string> LastOrderFields()
    {
        std::vector<std::string> lines = zphd.ControlLines("last-order");
        if (lines.size() < 2 || lines[0].rfind("OK ", 0) != 0 || lines[1].rfind("user ", 0) != 0)
            return {};
        EXPECT_EQ(lines[1].substr(lines[1].size() - 7), " type A");
        return std::vector<std::string>(lines.begin() + 2, lines.end());
    }
    bool WaitForCommand(const std::string& command)
    {
        return WaitFor([&] {
            const auto fields = LastOrderFields();
            return fields.size() > 6 && fields[6] == "7\t" + command;
        });
    }
    std::vector<std::string> Expected(unsigned key, const std::string& command, std::vector<std::string> own)
    {
        int pageNumber = 0, lineNumber = 0;
        ParseZPHKey(key, pageNumber, lineNumber);
        std::vector<std::string> fields{"1\t22",  "3\t199", "8\t" + std::to_string(pageNumber),
                                        "9\t" + std::to_string(lineNumber), "10\t0",
                                        "20\t" + std::to_string(Level()), "7\t" + command};
        fields.insert(fields.end(), own.begin(), own.end());
        return fields;
    }
    static std::string AsDouble(const std::string& text) { return ZPHText::FormatDouble(ZPHText::LeadingDouble(text)); }

    CChildFrame* page = nullptr;
    CTradeWindow* trade = nullptr;
};

} // namespace

TEST_F(OrdersLiveTest, SellHitsTheBidAndThePageShowsTheTrade)
{
    const unsigned key = TradableLine();
    OpenTradeWindow(key);
    EXPECT_TRUE(Line(key)->m_lineFlags & kTradeWindowLineFlag);
    const LineRef before = Line(key);
    EXPECT_EQ(trade->RatesLabel()->text().toStdString(), before->m_bid.m_rate + " / " + before->m_offer.m_rate);
    ASSERT_TRUE(trade->Button(TB_SELL)->isEnabled());

    trade->Button(TB_SELL)->click();
    ASSERT_TRUE(WaitForCommand("CCTradeBid"));
    EXPECT_EQ(LastOrderFields(),
              Expected(key, "CCTradeBid",
                       {"15\t" + AsDouble(before->m_bid.m_rate), "16\t" + AsDouble(before->m_bid.m_quantity),
                        "17\t" + AsDouble(before->m_bid.m_quantity), "21\t0"}));
    // The bid trades, then the trade is done: last trade, its type and the
    // volume follow on the line, and the trade window shows them.
    ASSERT_TRUE(WaitFor([&] {
        const LineRef now = Line(key);
        return now && now->m_lastTradeType == 1 && now->m_dailyVolume != before->m_dailyVolume
            && ZPHText::LeadingDouble(now->m_lastTrade) == ZPHText::LeadingDouble(before->m_bid.m_rate);
    }, 30000));
    ASSERT_TRUE(WaitFor([&] {
        return trade->Statistics()->topLevelItem(0)->text(1).toStdString() == Line(key)->m_lastTrade;
    }));
    EXPECT_TRUE(Line(key)->m_lineFlags & kTradeWindowLineFlag);
}

TEST_F(OrdersLiveTest, BidAndOfferShowAsOwnPricesInYourOrdersUntilTakenOut)
{
    const unsigned key = TradableLine();
    OpenTradeWindow(key);
    const LineRef before = Line(key);

    // "Bid" as the dialog opens: Join, quantity 2.
    trade->SetDialogRunner([](QDialog& dialog) {
        auto& order = dynamic_cast<COrderDialog&>(dialog);
        EXPECT_TRUE(order.JoinBox()->isChecked());
        return int(QDialog::Accepted);
    });
    trade->Button(TB_BID)->click();
    ASSERT_TRUE(WaitForCommand("CCJoinBid"));
    EXPECT_EQ(LastOrderFields(),
              Expected(key, "CCJoinBid", {"21\t33554432", "15\t" + AsDouble(before->m_bid.m_rate), "16\t2"}));
    // Joined at the back of the stack: the own level names the level whose
    // quantity is the 2 entered.
    ASSERT_TRUE(WaitFor([&] { return Line(key)->m_bid.m_ownLevel > 0; }, 30000));
    const int bidLevel = Line(key)->m_bid.m_ownLevel;
    EXPECT_EQ(ZPHText::LeadingDouble(Line(key)->GetBidQuantity(bidLevel - 1)), 2.0);

    // "Offer" one increment better than the offer: takes the side at level 1.
    trade->SetDialogRunner([](QDialog& dialog) {
        auto& order = dynamic_cast<COrderDialog&>(dialog);
        order.JoinBox()->click();
        order.RateMinus()->click();
        order.QuantityPlus()->click();
        return int(QDialog::Accepted);
    });
    ASSERT_TRUE(WaitFor([&] { return trade->Button(TB_OFFER)->isEnabled(); }));
    trade->Button(TB_OFFER)->click();
    ASSERT_TRUE(WaitForCommand("CCEnterOffer"));
    const std::string better = AsDouble(
        COrderNumber::FromDouble(ZPHText::LeadingDouble(before->m_offer.m_rate))->Minus(
            *COrderNumber::FromText("0.25"), COrderNumber()).Text());
    EXPECT_EQ(LastOrderFields(), Expected(key, "CCEnterOffer", {"21\t33554432", "15\t" + better, "16\t3"}));
    ASSERT_TRUE(WaitFor([&] { return Line(key)->m_offer.m_ownLevel == 1; }, 30000));
    EXPECT_EQ(ZPHText::LeadingDouble(Line(key)->m_offer.m_rate), ZPHText::LeadingDouble(better));

    // "Your Orders" lists the issue once with both own prices.
    ASSERT_TRUE(Frame().RunCommand(CommandId::YourOrders));
    CYourOrdersWindow* orders = Frame().findChild<CYourOrdersWindow*>();
    ASSERT_NE(orders, nullptr);
    EXPECT_TRUE(orders->isVisible());
    ASSERT_EQ(orders->Rows().size(), 1u);
    const LineRef now = Line(key);
    EXPECT_EQ(orders->Rows()[0], (YourOrderRow{now->m_issueName, now->m_bid.m_rate, now->m_offer.m_rate,
                                               now->GetBidQuantity(bidLevel - 1)}));
    EXPECT_EQ(orders->List()->topLevelItem(0)->text(0).toStdString(), now->m_issueName);
    // Its options go straight into the main window's settings.
    const bool myPrice = Frame().Settings().enableMyPrice != 0;
    const bool meta2 = Frame().Settings().enableMeta2 != 0;
    orders->MyPriceBox()->click();
    orders->Meta2Box()->click();
    EXPECT_EQ(Frame().Settings().enableMyPrice != 0, !myPrice);
    EXPECT_EQ(Frame().Settings().enableMeta2 != 0, !meta2);

    // "Bid Out" and "Offer Out" withdraw them, with the own-level quantity.
    ASSERT_TRUE(WaitFor([&] { return trade->Button(TB_BID_OUT)->isEnabled(); }));
    trade->Button(TB_BID_OUT)->click();
    ASSERT_TRUE(WaitForCommand("CCDeleteBid"));
    EXPECT_EQ(LastOrderFields(), Expected(key, "CCDeleteBid", {"15\t" + AsDouble(now->m_bid.m_rate), "16\t2"}));
    ASSERT_TRUE(WaitFor([&] { return trade->Button(TB_OFFER_OUT)->isEnabled(); }));
    trade->Button(TB_OFFER_OUT)->click();
    ASSERT_TRUE(WaitForCommand("CCDeleteOffer"));
    EXPECT_EQ(LastOrderFields(), Expected(key, "CCDeleteOffer", {"15\t" + better, "16\t3"}));
    ASSERT_TRUE(WaitFor([&] { return Line(key)->m_bid.m_ownLevel == 0 && Line(key)->m_offer.m_ownLevel == 0; },
                        30000));
    orders->UpdateButton()->click();
    EXPECT_TRUE(orders->Rows().empty());
}

TEST_F(OrdersLiveTest, SellDuringATradeTheUserIsInAsksForAMaximumQuantity)
{
    const unsigned key = TradableLine();
    int pageNumber = 0, lineNumber = 0;
    ParseZPHKey(key, pageNumber, lineNumber);
    OpenTradeWindow(key);
    // The bid trades with the user as its first aggressor (set on the
    // server's line as its market would show it).
    const std::string where = "set " + std::to_string(pageNumber) + " " + std::to_string(lineNumber) + " ";
    ASSERT_EQ(zphd.Control(where + "150 " + std::to_string(Level())), "OK");
    ASSERT_EQ(zphd.Control(where + "170 2"), "OK");
    ASSERT_EQ(zphd.Control(where + "102 5"), "OK");
    // Sell alone on that side.
    ASSERT_TRUE(WaitFor([&] {
        return Line(key)->m_bid.m_attribute == 5 && trade->Button(TB_SELL)->isEnabled()
            && !trade->Button(TB_BID)->isEnabled();
    }));
    const std::string rate = Line(key)->m_bid.m_rate;

    // Cancelled, or a quantity below 1: nothing is sent.
    const std::string before = zphd.Control("last-order");
    trade->SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
    trade->Press(TB_SELL);
    trade->SetDialogRunner([](QDialog& dialog) {
        auto& maximum = dynamic_cast<CMaxQuantityDialog&>(dialog);
        maximum.Key(kClearKey)->click();
        maximum.Key('.')->click();
        maximum.Key('5')->click();
        return int(QDialog::Accepted);
    });
    trade->Press(TB_SELL);
    Spin(500);
    EXPECT_EQ(zphd.Control("last-order"), before);

    trade->SetDialogRunner([](QDialog& dialog) {
        auto& maximum = dynamic_cast<CMaxQuantityDialog&>(dialog);
        EXPECT_EQ(maximum.windowTitle().toStdString().rfind("SELL - ", 0), 0u);
        EXPECT_EQ(maximum.QuantityField()->text().toStdString(), "2.0");
        maximum.QuantityPlus()->click();
        return int(QDialog::Accepted);
    });
    trade->Press(TB_SELL);
    ASSERT_TRUE(WaitForCommand("CCEnterMaxBidTradeQuantity"));
    EXPECT_EQ(LastOrderFields(), Expected(key, "CCEnterMaxBidTradeQuantity", {"15\t" + rate, "17\t3"}));
}
