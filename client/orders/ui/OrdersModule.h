// COrdersModule: order entry in the main window (a CFrameModule). It makes
// the trade window and the "Customer Orders" window as the main window is
// built, or after its first frame when neither shows at start ("InfoLeft"/"InfoTop"/"ShowInfo" with the line "InfoKey", and
// "PortfolioLeft"/"PortfolioTop"/"ShowPortfolio"), installs "&Your
// Orders", receives the page windows' clicks on field lines for a trader
// (CPageWindows::SetTradeWindowHandler), keeps its windows' places in the
// main window's settings, and stores the choices of "Customer Orders" in
// the main window's "Enable MyPrice", "Enable Meta2", "MyPriceFG" and
// "MyPriceBG" at once, repainting every page.
//
// It comes after the page windows' module in the module list: it uses
// their windows and their environment (the customer list).
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"
#include "orders/OrderDesk.h"
#include "orders/OrderFeed.h"
#include "orders/OrderIncrement.h"
#include "orders/ui/TradeWindow.h"
#include "orders/ui/YourOrdersWindow.h"

#include <QPointer>

namespace mavo {

class CPagesModule;
class CScreenController;

class COrdersModule : public CFrameModule {
public:
    COrdersModule(CScreenController& controller, CPagesModule& pages);
    // Its windows go first: they listen to the feed through this module.
    ~COrdersModule() override;

    void InstallCommands(CMainFrame& frame) override;
    void CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings) override;
    bool MayCreateWindowsLater(const CMainFrameSettings& settings) const override;
    void StoreWindowSettings(CMainFrameSettings& settings) override;
    void RecheckPages() override;
    void OnPermissionsLoaded() override { RecheckPages(); }
    void OnFlashTick(int count) override;

    CTradeWindow* TradeWindow() const { return m_trade; }
    CYourOrdersWindow* YourOrdersWindow() const { return m_orders; }
    COrderDesk& Desk() { return m_desk; }
    COrderIncrement& Increment() { return m_increment; }

private:
    MyPriceOptions OptionsFromFrame() const;
    void StoreOptions(const MyPriceOptions& options);

    CPagesModule& m_pages;
    CControllerOrderFeed m_feed;
    COrderDesk m_desk;
    COrderIncrement m_increment;
    CMainFrame* m_frame = nullptr;
    QPointer<CTradeWindow> m_trade;
    QPointer<CYourOrdersWindow> m_orders;
};

} // namespace mavo
