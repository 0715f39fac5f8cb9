#include "orders/ui/OrdersModule.h"

#include "core/ScreenController.h"
#include "core/ui/MainFrame.h"
#include "pages/ui/PageWindows.h"
#include "pages/ui/PagesModule.h"

namespace mavo {

COrdersModule::COrdersModule(CScreenController& controller, CPagesModule& pages)
    : m_pages(pages), m_feed(controller), m_desk(m_feed)
{
}

COrdersModule::~COrdersModule()
{
    // The main window's children would outlive this module; the trade
    // window unregisters from the feed as it goes.
    delete m_trade.data();
    delete m_orders.data();
}

void COrdersModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    frame.Commands().Install(CommandId::YourOrders, [this] {
        if (!m_orders)
            return;
        if (m_orders->isVisible())
            m_orders->Fill();
        m_orders->show();
        m_orders->raise();
        m_orders->activateWindow();
    });
}

void COrdersModule::CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings)
{
    m_frame = &frame;
    m_orders = new CYourOrdersWindow(
        m_feed, [this]() -> const CCustomerRules* { return m_pages.Environment().customers; }, &frame);
    m_orders->move(settings.portfolio.left, settings.portfolio.top);
    m_orders->SetOptions(OptionsFromFrame());
    m_orders->SetOptionsChanged([this](const MyPriceOptions& options) { StoreOptions(options); });
    m_orders->SetOptionsSource([this] { return OptionsFromFrame(); });
    if (settings.portfolio.show != 0)
        m_orders->show();

    m_trade = new CTradeWindow(m_desk, m_increment, frame.Messages(), &frame);
    m_trade->move(settings.info.left, settings.info.top);
    if (settings.infoKey > 0)
        m_trade->ShowLine(static_cast<unsigned>(settings.infoKey));
    if (settings.info.show != 0 && m_feed.UserLevel() != CPageFeed::kFullViewLevel)
        m_trade->show();
    if (CPageWindows* windows = m_pages.Windows()) {
        windows->SetTradeWindowHandler([this](unsigned key, std::optional<QPoint> at, bool open) {
            if (m_trade)
                m_trade->OnLineClick(key, at, open);
        });
    }
}

bool COrdersModule::MayCreateWindowsLater(const CMainFrameSettings& settings) const
{
    // Every call here copes without the windows; a line the trade window
    // keeps is shown at start.
    return settings.portfolio.show == 0 && settings.info.show == 0;
}

void COrdersModule::StoreWindowSettings(CMainFrameSettings& settings)
{
    if (m_orders) {
        settings.portfolio.left = m_orders->pos().x();
        settings.portfolio.top = m_orders->pos().y();
        settings.portfolio.show = m_orders->isVisible() ? 1 : 0;
    }
    // The trade window writes after the line information window, so its
    // place, visibility and line stand.
    if (m_trade) {
        settings.info.left = m_trade->pos().x();
        settings.info.top = m_trade->pos().y();
        settings.info.show = m_trade->isVisible() ? 1 : 0;
        settings.infoKey = static_cast<int>(m_trade->Key());
    }
}

void COrdersModule::RecheckPages()
{
    if (m_trade)
        m_trade->Fill();
}

void COrdersModule::OnFlashTick(int)
{
    // The order-entry flag arrives with the user's message, not with a line:
    // the buttons follow it here.
    if (m_trade && m_trade->isVisible() && m_trade->OrderEntryShown() != m_feed.OrderEntry())
        m_trade->Fill();
    // The options also change through the settings load and other commands.
    if (m_orders && m_orders->isVisible() && m_orders->Options() != OptionsFromFrame())
        m_orders->SetOptions(OptionsFromFrame());
}

MyPriceOptions COrdersModule::OptionsFromFrame() const
{
    MyPriceOptions options;
    if (m_frame == nullptr)
        return options;
    const CMainFrameSettings& s = m_frame->Settings();
    options.enableMyPrice = s.enableMyPrice != 0;
    options.enableMeta2 = s.enableMeta2 != 0;
    options.foreground = s.myPriceFG;
    options.background = s.myPriceBG;
    return options;
}

void COrdersModule::StoreOptions(const MyPriceOptions& options)
{
    if (m_frame == nullptr)
        return;
    CMainFrameSettings& s = m_frame->Settings();
    s.enableMyPrice = options.enableMyPrice ? 1 : 0;
    s.enableMeta2 = options.enableMeta2 ? 1 : 0;
    s.myPriceFG = options.foreground;
    s.myPriceBG = options.background;
    // Takes the switches and colours into the schemes and redraws every page.
    m_pages.RecheckPages();
}

} // namespace mavo
