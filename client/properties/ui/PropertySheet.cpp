#include "properties/ui/PropertySheet.h"

#include "pages/ui/ChildFrame.h"
#include "pages/ui/MAVOView.h"
#include "properties/ui/PropertyPages.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace mavo {

namespace {

// Every page's caption stays readable: the sheet is as wide as its tabs.
void ShowAllTabs(QTabWidget* tabs)
{
    tabs->setUsesScrollButtons(false);
    tabs->setElideMode(Qt::ElideNone);
}

QDialogButtonBox* AddButtons(QDialog* dialog, QVBoxLayout* layout)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

CPagePropertySheet::CPagePropertySheet(CMAVOView& view, PageAsker asker, PropertyPage first, QWidget* parent)
    : QDialog(parent), m_view(&view), m_tabs(new QTabWidget(this))
{
    setObjectName(QStringLiteral("PageProperties"));
    const CMAVODoc& doc = view.Document();
    setWindowTitle(QString::fromStdString(PropertySheetTitle(doc.GetTitle())));
    const SheetValues values = SheetValuesFrom(view.Format(), doc.GetTitle());

    m_layout = new CPageLayoutProp(true, this);
    m_layout->SetValues(*values.layout);
    m_stack = new CStackLayoutProp(this);
    m_stack->SetValues(*values.stack);
    m_aggressors = new CAggrLayoutProp(this);
    m_aggressors->SetValues(*values.aggressors);
    m_tradeHistory = new CTradeHistoryProp(this);
    m_tradeHistory->SetValues(*values.tradeHistory);
    m_contents = new CPageContentsProp(doc.Feed(), doc.Lines(), std::move(asker), this);
    m_colors = new CPageColorsProp(this);
    m_colors->SetValues(*values.colors);
    m_tradeMonitor = new CPageTradeMonitorProp(this);
    m_tradeMonitor->SetValues(*values.tradeMonitor);

    AddPage(PropertyPage::Layout, m_layout);
    AddPage(PropertyPage::Stack, m_stack);
    AddPage(PropertyPage::Aggressors, m_aggressors);
    AddPage(PropertyPage::TradeHistory, m_tradeHistory);
    AddPage(PropertyPage::Contents, m_contents);
    AddPage(PropertyPage::Colors, m_colors);
    AddPage(PropertyPage::TradeMonitor, m_tradeMonitor);

    ShowAllTabs(m_tabs);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    AddButtons(this, layout);
    const auto at = std::find(m_order.begin(), m_order.end(), first);
    m_tabs->setCurrentIndex(at == m_order.end() ? 0 : static_cast<int>(at - m_order.begin()));
}

CPagePropertySheet::CPagePropertySheet(const CPageFormat& printFormat, QWidget* parent)
    : QDialog(parent), m_editsPrintFormat(true), m_printFormat(printFormat), m_tabs(new QTabWidget(this))
{
    setObjectName(QStringLiteral("PrintPageFormat"));
    setWindowTitle(QString::fromLatin1(kPrintFormatTitle));
    m_printFormat.Normalize();
    const SheetValues values = SheetValuesFrom(m_printFormat);
    m_layout = new CPageLayoutProp(false, this);
    m_layout->SetValues(*values.layout);
    m_tradeHistory = new CTradeHistoryProp(this);
    m_tradeHistory->SetValues(*values.tradeHistory);
    m_stack = new CStackLayoutProp(this);
    m_stack->SetValues(*values.stack);
    for (PropertyPage page : kPrintPropertyPages) {
        if (page == PropertyPage::Layout)
            AddPage(page, m_layout);
        else if (page == PropertyPage::TradeHistory)
            AddPage(page, m_tradeHistory);
        else if (page == PropertyPage::Stack)
            AddPage(page, m_stack);
    }
    ShowAllTabs(m_tabs);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    AddButtons(this, layout);
}

CPagePropertySheet::~CPagePropertySheet() = default;

void CPagePropertySheet::AddPage(PropertyPage page, QWidget* widget)
{
    m_tabs->addTab(widget, QString::fromLatin1(PropertyPageCaption(page)));
    m_order.push_back(page);
}

PropertyPage CPagePropertySheet::CurrentPage() const
{
    const int index = m_tabs->currentIndex();
    return index >= 0 && index < static_cast<int>(m_order.size()) ? m_order[static_cast<std::size_t>(index)]
                                                                  : PropertyPage::Layout;
}

SheetValues CPagePropertySheet::Values() const
{
    SheetValues v;
    if (m_layout != nullptr)
        v.layout = m_layout->Values();
    if (m_stack != nullptr)
        v.stack = m_stack->Values();
    if (m_aggressors != nullptr)
        v.aggressors = m_aggressors->Values();
    if (m_tradeHistory != nullptr)
        v.tradeHistory = m_tradeHistory->Values();
    if (m_colors != nullptr)
        v.colors = m_colors->Values();
    if (m_tradeMonitor != nullptr)
        v.tradeMonitor = m_tradeMonitor->Values();
    return v;
}

void CPagePropertySheet::accept()
{
    const SheetValues values = Values();
    if (m_view.isNull()) {
        // The print format's sheet (a page's sheet whose window is gone
        // changes nothing).
        if (m_editsPrintFormat)
            m_printFormat = AcceptSheet(m_printFormat, values, nullptr, nullptr).format;
        QDialog::accept();
        return;
    }
    CMAVOView& view = *m_view;
    const SheetOutcome out =
        AcceptSheet(view.Format(), values, &view.Document(), m_contents != nullptr ? &m_contents->List() : nullptr);
    if (out.switchToTitleBar)
        if (CChildFrame* frame = view.Frame())
            frame->SetFrameStyle(CChildFrame::kTitleBar);
    // Widths again, the window resized and repainted.
    view.SetFormat(out.format);
    view.OnRedraw();
    QDialog::accept();
}

} // namespace mavo
