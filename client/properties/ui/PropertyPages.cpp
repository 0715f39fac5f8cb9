#include "properties/ui/PropertyPages.h"

#include "core/PageBounds.h"
#include "pages/ui/NewPageDialog.h"
#include "properties/ui/SelectLinesDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace mavo {

namespace {

// A slider with its caption on the left and its value on the right, as a
// row of the grid.
QSlider* AddSlider(QGridLayout* grid, int row, const QString& caption, const SliderRange& range, QWidget* parent)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(caption);
    slider->setRange(range.min, range.max);
    slider->setTickInterval(range.tick);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setSingleStep(1);
    slider->setPageStep(range.tick);
    slider->setMinimumWidth(180);
    auto* value = new QLabel(parent);
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("000")));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QObject::connect(slider, &QSlider::valueChanged, value, [value](int v) { value->setNum(v); });
    value->setNum(slider->value());
    grid->addWidget(new QLabel(caption, parent), row, 0);
    grid->addWidget(slider, row, 1);
    grid->addWidget(value, row, 2);
    return slider;
}

QCheckBox* MakeCheck(const QString& text, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(text);
    return box;
}

} // namespace

// ---- Layout

CPageLayoutProp::CPageLayoutProp(bool withTitle, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Layout"));
    auto* layout = new QVBoxLayout(this);
    if (withTitle) {
        auto* row = new QHBoxLayout;
        m_title = new QLineEdit(this);
        m_title->setObjectName(QStringLiteral("Title"));
        m_title->setMaxLength(kMaxTitleEdit);
        m_title->setMinimumWidth(m_title->fontMetrics().horizontalAdvance(QString(30, QLatin1Char('M'))));
        row->addWidget(new QLabel(QStringLiteral("Title:"), this));
        row->addWidget(m_title, 1);
        layout->addLayout(row);
    }
    auto* sizes = new QGroupBox(QStringLiteral("Column Widths"), this);
    auto* grid = new QGridLayout(sizes);
    m_issue = AddSlider(grid, 0, QStringLiteral("Issue Name"), kIssueSizeRange, sizes);
    m_rate = AddSlider(grid, 1, QStringLiteral("Rate"), kRateSizeRange, sizes);
    m_quantity = AddSlider(grid, 2, QStringLiteral("Quantity"), kQuantitySizeRange, sizes);
    m_indicative = AddSlider(grid, 3, QStringLiteral("Indicative"), kIndicativeSizeRange, sizes);
    m_stackCustomer = AddSlider(grid, 4, QStringLiteral("Stack Customer"), kStackCustSizeRange, sizes);
    m_stackQuantity = AddSlider(grid, 5, QStringLiteral("Stack Quantity"), kStackQuanSizeRange, sizes);
    layout->addWidget(sizes);
    m_spread = MakeCheck(QStringLiteral("Show Spread Information"), this);
    m_previous = MakeCheck(QStringLiteral("Show Previous Bid/Offer Customers"), this);
    m_underlines = MakeCheck(QStringLiteral("Show Underlines"), this);
    m_numbers = MakeCheck(QStringLiteral("Show Line Number"), this);
    m_indicatives = MakeCheck(QStringLiteral("Show Indicatives"), this);
    // Kept hidden: "FixedFont" keeps its stored value.
    m_fixedFont = MakeCheck(QStringLiteral("Fixed Font"), this);
    m_fixedFont->setVisible(false);
    for (QCheckBox* box : {m_spread, m_previous, m_underlines, m_numbers, m_indicatives, m_fixedFont})
        layout->addWidget(box);
    layout->addStretch(1);
}

void CPageLayoutProp::SetValues(const LayoutValues& v)
{
    if (m_title != nullptr)
        m_title->setText(QString::fromStdString(v.title));
    m_issue->setValue(v.issueSize);
    m_rate->setValue(v.rateSize);
    m_quantity->setValue(v.quantitySize);
    m_indicative->setValue(v.indicativeSize);
    m_stackCustomer->setValue(v.stackCustSize);
    m_stackQuantity->setValue(v.stackQuanSize);
    m_spread->setChecked(v.showSpreads);
    m_previous->setChecked(v.showPrevious);
    m_underlines->setChecked(v.showUnderlines);
    m_numbers->setChecked(v.showNumbers);
    m_indicatives->setChecked(v.showIndicative);
}

LayoutValues CPageLayoutProp::Values() const
{
    LayoutValues v;
    if (m_title != nullptr)
        v.title = m_title->text().toStdString();
    v.issueSize = m_issue->value();
    v.rateSize = m_rate->value();
    v.quantitySize = m_quantity->value();
    v.indicativeSize = m_indicative->value();
    v.stackCustSize = m_stackCustomer->value();
    v.stackQuanSize = m_stackQuantity->value();
    v.showSpreads = m_spread->isChecked();
    v.showPrevious = m_previous->isChecked();
    v.showUnderlines = m_underlines->isChecked();
    v.showNumbers = m_numbers->isChecked();
    v.showIndicative = m_indicatives->isChecked();
    return v;
}

// ---- the radio groups

CSizeChoice::CSizeChoice(const QString& title, int first, QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this)), m_first(first)
{
    setObjectName(title);
    auto* box = new QGroupBox(title, this);
    auto* inner = new QVBoxLayout(box);
    for (int size = first; size <= kMaxStackChoice; ++size) {
        auto* button = new QRadioButton(QString::fromLatin1(kStackSizeNames[static_cast<std::size_t>(size)]), box);
        m_group->addButton(button, size);
        inner->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(box);
}

void CSizeChoice::SetChoice(std::optional<int> size)
{
    if (size && Button(*size) != nullptr) {
        Button(*size)->setChecked(true);
        return;
    }
    // No button for this size: the group shows none.
    m_group->setExclusive(false);
    for (QAbstractButton* b : m_group->buttons())
        b->setChecked(false);
    m_group->setExclusive(true);
}

std::optional<int> CSizeChoice::Choice() const
{
    const int id = m_group->checkedId();
    if (id < m_first)
        return std::nullopt;
    return id;
}

QRadioButton* CSizeChoice::Button(int size) const { return qobject_cast<QRadioButton*>(m_group->button(size)); }

CCustomerChoice::CCustomerChoice(QWidget* parent) : QWidget(parent), m_group(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < static_cast<int>(kCustomerChoiceNames.size()); ++i) {
        auto* button = new QRadioButton(QString::fromLatin1(kCustomerChoiceNames[static_cast<std::size_t>(i)]), this);
        m_group->addButton(button, i);
        layout->addWidget(button);
    }
}

void CCustomerChoice::SetChoice(int customerOnly) { Button(customerOnly != 0 ? 1 : 0)->setChecked(true); }
int CCustomerChoice::Choice() const { return m_group->checkedId() == 1 ? 1 : 0; }
QRadioButton* CCustomerChoice::Button(int customerOnly) const
{
    return qobject_cast<QRadioButton*>(m_group->button(customerOnly != 0 ? 1 : 0));
}

// ---- Stack

CStackLayoutProp::CStackLayoutProp(QWidget* parent)
    : QWidget(parent), m_bid(new CSizeChoice(QStringLiteral("Bid Stack Size"), 0, this)),
      m_offer(new CSizeChoice(QStringLiteral("Offer Stack Size"), 0, this)), m_customers(new CCustomerChoice(this))
{
    setObjectName(QStringLiteral("Stack"));
    auto* sizes = new QHBoxLayout;
    sizes->addWidget(m_bid);
    sizes->addWidget(m_offer);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sizes);
    layout->addWidget(m_customers);
    layout->addStretch(1);
}

void CStackLayoutProp::SetValues(const StackValues& v)
{
    m_bid->SetChoice(v.bidSize);
    m_offer->SetChoice(v.offerSize);
    m_customers->SetChoice(v.customerOnly);
}

StackValues CStackLayoutProp::Values() const
{
    StackValues v;
    v.bidSize = m_bid->Choice();
    v.offerSize = m_offer->Choice();
    v.customerOnly = m_customers->Choice();
    return v;
}

// ---- Aggressors

CAggrLayoutProp::CAggrLayoutProp(QWidget* parent)
    : QWidget(parent), m_bid(new CSizeChoice(QStringLiteral("Bid Aggressors"), 0, this)),
      m_offer(new CSizeChoice(QStringLiteral("Offer Aggressors"), 0, this)), m_customers(new CCustomerChoice(this)),
      m_flash(MakeCheck(QStringLiteral("Flash Aggressors"), this)),
      m_center(MakeCheck(QStringLiteral("Use Center Colors"), this))
{
    setObjectName(QStringLiteral("Aggressors"));
    auto* sizes = new QHBoxLayout;
    sizes->addWidget(m_bid);
    sizes->addWidget(m_offer);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sizes);
    layout->addWidget(m_customers);
    layout->addWidget(m_flash);
    layout->addWidget(m_center);
    layout->addStretch(1);
}

void CAggrLayoutProp::SetValues(const AggressorValues& v)
{
    m_bid->SetChoice(v.bidSize);
    m_offer->SetChoice(v.offerSize);
    m_customers->SetChoice(v.customerOnly);
    m_flash->setChecked(v.flashAggressors);
    m_center->setChecked(v.useCenterColors);
}

AggressorValues CAggrLayoutProp::Values() const
{
    AggressorValues v;
    v.bidSize = m_bid->Choice();
    v.offerSize = m_offer->Choice();
    v.customerOnly = m_customers->Choice();
    v.flashAggressors = m_flash->isChecked();
    v.useCenterColors = m_center->isChecked();
    return v;
}

// ---- Trade History

CTradeHistoryProp::CTradeHistoryProp(QWidget* parent)
    : QWidget(parent), m_show(MakeCheck(QStringLiteral("Show Trade History"), this)), m_precision(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("Trade History"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_show);
    auto* sizes = new QGroupBox(QStringLiteral("Column Widths"), this);
    auto* grid = new QGridLayout(sizes);
    m_rate = AddSlider(grid, 0, QStringLiteral("Rate"), kTHRateSizeRange, sizes);
    m_volume = AddSlider(grid, 1, QStringLiteral("Volume"), kTHVolumeSizeRange, sizes);
    m_number = AddSlider(grid, 2, QStringLiteral("Transaction"), kTHNumberSizeRange, sizes);
    layout->addWidget(sizes);
    m_showNumber = MakeCheck(QStringLiteral("Show Last Transaction Number"), this);
    m_showRate = MakeCheck(QStringLiteral("Show Last Trade Rate"), this);
    m_showTime = MakeCheck(QStringLiteral("Show Last Transaction Time"), this);
    m_showVolume = MakeCheck(QStringLiteral("Show Cumulative Daily Volume"), this);
    for (QCheckBox* box : {m_showNumber, m_showRate, m_showTime, m_showVolume})
        layout->addWidget(box);
    auto* precision = new QHBoxLayout;
    precision->addWidget(new QLabel(QStringLiteral("Volume Precision:"), this));
    for (int i = 0; i < static_cast<int>(kVolumePrecisionNames.size()); ++i) {
        auto* button = new QRadioButton(QString::fromLatin1(kVolumePrecisionNames[static_cast<std::size_t>(i)]), this);
        m_precision->addButton(button, i);
        precision->addWidget(button);
    }
    precision->addStretch(1);
    layout->addLayout(precision);
    layout->addStretch(1);
}

QRadioButton* CTradeHistoryProp::Precision(int index) const
{
    return qobject_cast<QRadioButton*>(m_precision->button(index));
}

void CTradeHistoryProp::SetValues(const TradeHistoryValues& v)
{
    m_show->setChecked(v.show);
    m_rate->setValue(v.rateSize);
    m_volume->setValue(v.volumeSize);
    m_number->setValue(v.numberSize);
    m_showNumber->setChecked(v.showNumber);
    m_showRate->setChecked(v.showRate);
    m_showTime->setChecked(v.showTime);
    m_showVolume->setChecked(v.showVolume);
    if (QRadioButton* b = Precision(v.volumePrecision))
        b->setChecked(true);
}

TradeHistoryValues CTradeHistoryProp::Values() const
{
    TradeHistoryValues v;
    v.show = m_show->isChecked();
    v.rateSize = m_rate->value();
    v.volumeSize = m_volume->value();
    v.numberSize = m_number->value();
    v.showNumber = m_showNumber->isChecked();
    v.showRate = m_showRate->isChecked();
    v.showTime = m_showTime->isChecked();
    v.showVolume = m_showVolume->isChecked();
    v.volumePrecision = std::max(0, m_precision->checkedId());
    return v;
}

// ---- Colors

CPageColorsProp::CPageColorsProp(QWidget* parent) : QWidget(parent), m_style(new QComboBox(this))
{
    setObjectName(QStringLiteral("Colors"));
    m_style->setObjectName(QStringLiteral("Color Style"));
    for (const char* name : kColorStyleNames)
        m_style->addItem(QString::fromLatin1(name));
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Color Style:"), this));
    row->addWidget(m_style, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addStretch(1);
}

void CPageColorsProp::SetValues(const ColorValues& v) { m_style->setCurrentIndex(v.colorStyle); }

ColorValues CPageColorsProp::Values() const { return ColorValues{std::max(0, m_style->currentIndex())}; }

// ---- Trade Monitor

CPageTradeMonitorProp::CPageTradeMonitorProp(QWidget* parent)
    : QWidget(parent), m_has(MakeCheck(QStringLiteral("Page has trade monitor lines"), this)),
      m_numbers(MakeCheck(QStringLiteral("Show Line Number"), this)),
      m_stack(MakeCheck(QStringLiteral("Show Buyer / Seller Stack"), this)),
      m_volume(MakeCheck(QStringLiteral("Show Volume"), this)), m_customers(new CCustomerChoice(this)),
      m_size(new CSizeChoice(QStringLiteral("Stack Size"), 1, this))
{
    setObjectName(QStringLiteral("Trade Monitor"));
    auto* layout = new QVBoxLayout(this);
    for (QCheckBox* box : {m_has, m_numbers, m_stack, m_volume})
        layout->addWidget(box);
    auto* row = new QHBoxLayout;
    row->addWidget(m_customers, 0, Qt::AlignTop);
    row->addWidget(m_size);
    layout->addLayout(row);
    layout->addStretch(1);
}

void CPageTradeMonitorProp::SetValues(const TradeMonitorValues& v)
{
    m_has->setChecked(v.hasTradeLines);
    m_numbers->setChecked(v.showNumbers);
    m_stack->setChecked(v.showStack);
    m_volume->setChecked(v.showVolume);
    m_customers->SetChoice(v.customerOnly);
    m_size->SetChoice(v.stackSize);
}

TradeMonitorValues CPageTradeMonitorProp::Values() const
{
    TradeMonitorValues v;
    v.hasTradeLines = m_has->isChecked();
    v.showNumbers = m_numbers->isChecked();
    v.showStack = m_stack->isChecked();
    v.showVolume = m_volume->isChecked();
    v.customerOnly = m_customers->Choice();
    v.stackSize = m_size->Choice().value_or(1);
    return v;
}

// ---- Contents

CPageContentsProp::CPageContentsProp(CPageFeed& feed, const std::vector<unsigned>& lines, PageAsker asker,
                                     QWidget* parent)
    : QWidget(parent), m_feed(feed), m_list(std::make_unique<CContentsList>(feed, lines)), m_ask(std::move(asker)),
      m_tree(new QTreeWidget(this)), m_add(new QPushButton(QStringLiteral("Add"), this)),
      m_remove(new QPushButton(QStringLiteral("Remove"), this)), m_find(new QPushButton(QStringLiteral("Find"), this)),
      m_up(new QPushButton(QStringLiteral("Up"), this)), m_down(new QPushButton(QStringLiteral("Down"), this))
{
    setObjectName(QStringLiteral("Contents"));
    m_choosePage = [](QWidget* owner) -> std::optional<int> {
        CNewPageDialog dialog(owner);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.Page();
    };
    m_chooseLines = [this](QWidget* owner, int page) {
        CSelectLinesDialog dialog(m_feed, page, owner);
        if (dialog.exec() != QDialog::Accepted)
            return std::vector<unsigned>{};
        return dialog.SelectedKeys();
    };

    m_tree->setObjectName(QStringLiteral("Lines"));
    m_tree->setColumnCount(3);
    m_tree->setHeaderLabels({QStringLiteral("Page"), QStringLiteral("Line"), QStringLiteral("Issue")});
    m_tree->setRootIsDecorated(false);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setUniformRowHeights(true);
    m_tree->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_tree->header()->setStretchLastSection(true);
    for (int column : {0, 1})
        m_tree->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    m_tree->setMinimumWidth(280);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {m_add, m_remove, m_find, m_up, m_down}) {
        b->setObjectName(b->text());
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_tree, 1);
    layout->addLayout(buttons);

    connect(m_add, &QPushButton::clicked, this, &CPageContentsProp::Add);
    connect(m_remove, &QPushButton::clicked, this, &CPageContentsProp::Remove);
    connect(m_up, &QPushButton::clicked, this, &CPageContentsProp::MoveUp);
    connect(m_down, &QPushButton::clicked, this, &CPageContentsProp::MoveDown);
    // "Find" has no action of its own.
    Refill({});
    for (int c = 0; c < 2; ++c)
        m_tree->resizeColumnToContents(c);
}

CPageContentsProp::~CPageContentsProp() = default;

std::set<int> CPageContentsProp::Selection() const
{
    std::set<int> rows;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        if (m_tree->topLevelItem(i)->isSelected())
            rows.insert(i);
    return rows;
}

void CPageContentsProp::Select(const std::set<int>& rows)
{
    m_tree->clearSelection();
    for (int row : rows)
        if (QTreeWidgetItem* item = m_tree->topLevelItem(row))
            item->setSelected(true);
    if (!rows.empty())
        if (QTreeWidgetItem* item = m_tree->topLevelItem(*rows.begin()))
            m_tree->scrollToItem(item);
}

void CPageContentsProp::Refill(const std::set<int>& selection)
{
    m_tree->clear();
    QList<QTreeWidgetItem*> items;
    for (int i = 0; i < m_list->Count(); ++i) {
        const ContentsRow row = m_list->Row(i);
        auto* item = new QTreeWidgetItem(
            {QString::fromStdString(row.page), QString::fromStdString(row.line), QString::fromStdString(row.issue)});
        // Numbers stand right-aligned under their headings, so 7 and 12 line up.
        for (int column : {0, 1})
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        items.push_back(item);
    }
    m_tree->addTopLevelItems(items);
    Select(selection);
}

void CPageContentsProp::Add()
{
    const std::optional<int> page = m_choosePage ? m_choosePage(this) : std::nullopt;
    if (!page || !IsPageNumber(*page))
        return;
    if (!m_feed.GetPermission(*page)) {
        if (m_ask)
            m_ask(this, QString::fromLatin1(kNoPermissionCaption), QString::fromLatin1(kNoPermissionText),
                  PageMessageKind::Stop);
        return;
    }
    const std::vector<unsigned> keys = m_chooseLines ? m_chooseLines(this, *page) : std::vector<unsigned>{};
    if (keys.empty())
        return;
    Refill(m_list->Insert(Selection(), keys));
}

void CPageContentsProp::Remove()
{
    const std::set<int> selection = Selection();
    if (selection.empty())
        return;
    m_list->Remove(selection);
    Refill({});
}

void CPageContentsProp::MoveUp() { Refill(m_list->MoveUp(Selection())); }

void CPageContentsProp::MoveDown() { Refill(m_list->MoveDown(Selection())); }

} // namespace mavo
