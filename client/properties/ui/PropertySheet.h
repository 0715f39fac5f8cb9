// CPagePropertySheet: the property sheet of a page window ("%s - Properties",
// seven pages) or of the print format ("Print Page Format": Layout, Trade
// History, Stack). It opens on the page the command asks for; OK applies
// the pages in the order of FormatCommands.h (AcceptSheet), Cancel changes
// nothing. The Contents page's references are released when the sheet goes,
// after OK as after Cancel.
//
// Thread-safety: the window thread only.
#pragma once

#include "pages/PageFormat.h"
#include "pages/ui/PageMessages.h"
#include "properties/FormatCommands.h"

#include <QDialog>
#include <QPointer>

class QTabWidget;

namespace mavo {

class CMAVOView;
class CPageFeed;
class CPageLayoutProp;
class CStackLayoutProp;
class CAggrLayoutProp;
class CTradeHistoryProp;
class CPageContentsProp;
class CPageColorsProp;
class CPageTradeMonitorProp;

class CPagePropertySheet : public QDialog {
    Q_OBJECT
public:
    // The sheet of a page window, showing `first`.
    CPagePropertySheet(CMAVOView& view, PageAsker asker, PropertyPage first, QWidget* parent = nullptr);
    // The print format's sheet.
    CPagePropertySheet(const CPageFormat& printFormat, QWidget* parent = nullptr);
    ~CPagePropertySheet() override;

    QTabWidget* Tabs() const { return m_tabs; }
    // Null when the sheet does not hold the page.
    CPageLayoutProp* LayoutPage() const { return m_layout; }
    CStackLayoutProp* StackPage() const { return m_stack; }
    CAggrLayoutProp* AggressorsPage() const { return m_aggressors; }
    CTradeHistoryProp* TradeHistoryPage() const { return m_tradeHistory; }
    CPageContentsProp* ContentsPage() const { return m_contents; }
    CPageColorsProp* ColorsPage() const { return m_colors; }
    CPageTradeMonitorProp* TradeMonitorPage() const { return m_tradeMonitor; }
    // The page shown now.
    PropertyPage CurrentPage() const;

    SheetValues Values() const;
    // The print format after OK (the one given before).
    const CPageFormat& PrintFormat() const { return m_printFormat; }

    void accept() override;

private:
    void AddPage(PropertyPage page, QWidget* widget);

    QPointer<CMAVOView> m_view;
    bool m_editsPrintFormat = false;
    CPageFormat m_printFormat;
    QTabWidget* m_tabs;
    std::vector<PropertyPage> m_order;
    CPageLayoutProp* m_layout = nullptr;
    CStackLayoutProp* m_stack = nullptr;
    CAggrLayoutProp* m_aggressors = nullptr;
    CTradeHistoryProp* m_tradeHistory = nullptr;
    CPageContentsProp* m_contents = nullptr;
    CPageColorsProp* m_colors = nullptr;
    CPageTradeMonitorProp* m_tradeMonitor = nullptr;
};

} // namespace mavo
