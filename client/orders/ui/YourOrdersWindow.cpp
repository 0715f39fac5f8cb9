#include "orders/ui/YourOrdersWindow.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace mavo {

namespace {

QColor ColourOf(int value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

int ValueOf(const QColor& colour) { return colour.red() | (colour.green() << 8) | (colour.blue() << 16); }

} // namespace

CYourOrdersWindow::CYourOrdersWindow(COrderFeed& feed, std::function<const CCustomerRules*()> customers,
                                     QWidget* parent)
    : QDialog(parent), m_feed(feed), m_customers(std::move(customers))
{
    setObjectName(QStringLiteral("CustomerOrders"));
    setWindowTitle(QStringLiteral("Customer Orders"));
    m_pick = [](QWidget* owner, int current) -> std::optional<int> {
        const QColor chosen = QColorDialog::getColor(ColourOf(current), owner);
        if (!chosen.isValid())
            return std::nullopt;
        return ValueOf(chosen);
    };

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("Orders"));
    m_list->setColumnCount(4);
    m_list->setHeaderLabels({QStringLiteral("Issue"), QStringLiteral("Bid"), QStringLiteral("Offer"),
                             QStringLiteral("Quantity")});
    m_list->setRootIsDecorated(false);
    const QFontMetrics metrics(m_list->font());
    m_list->setColumnWidth(0, metrics.horizontalAdvance(QStringLiteral("(88888) MMMMMMMMMMMM")));
    for (int column = 1; column < 4; ++column)
        m_list->setColumnWidth(column, metrics.horizontalAdvance(QStringLiteral("Quantity")) + 24);
    m_list->setMinimumSize(metrics.horizontalAdvance(QStringLiteral("(88888) MMMMMMMMMMMM"))
                               + 3 * (metrics.horizontalAdvance(QStringLiteral("Quantity")) + 24) + 8,
                           metrics.height() * 10);

    m_update = new QPushButton(QStringLiteral("Update"), this);
    m_update->setAutoDefault(false);
    m_myPrice = new QCheckBox(QStringLiteral("Enable my price colors"), this);
    m_fg = new QPushButton(QStringLiteral("FG"), this);
    m_fg->setAutoDefault(false);
    m_bg = new QPushButton(QStringLiteral("BG"), this);
    m_bg->setAutoDefault(false);
    m_sample = new QLabel(QStringLiteral(" 99.5 "), this);
    m_sample->setObjectName(QStringLiteral("Sample"));
    m_sample->setAutoFillBackground(true);
    m_sample->setAlignment(Qt::AlignCenter);
    m_sample->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral(" 888.888 ")));
    m_meta2 = new QCheckBox(QStringLiteral("Enable High-Contrast Meta Characters"), this);

    auto* colours = new QHBoxLayout;
    colours->addWidget(m_myPrice);
    colours->addWidget(m_fg);
    colours->addWidget(m_bg);
    colours->addWidget(m_sample);
    colours->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_meta2);
    bottom->addStretch();
    bottom->addWidget(m_update);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(colours);
    layout->addLayout(bottom);

    connect(m_update, &QPushButton::clicked, this, &CYourOrdersWindow::Fill);
    connect(m_myPrice, &QCheckBox::toggled, this, [this](bool on) {
        Reload();
        m_options.enableMyPrice = on;
        Changed();
    });
    connect(m_meta2, &QCheckBox::toggled, this, [this](bool on) {
        Reload();
        m_options.enableMeta2 = on;
        Changed();
    });
    connect(m_fg, &QPushButton::clicked, this, [this] { Pick(true); });
    connect(m_bg, &QPushButton::clicked, this, [this] { Pick(false); });
    ShowOptions();
}

void CYourOrdersWindow::SetOptions(const MyPriceOptions& options)
{
    m_options = options;
    ShowOptions();
}

void CYourOrdersWindow::ShowOptions()
{
    {
        const QSignalBlocker blockPrice(m_myPrice);
        const QSignalBlocker blockMeta(m_meta2);
        m_myPrice->setChecked(m_options.enableMyPrice);
        m_meta2->setChecked(m_options.enableMeta2);
    }
    QPalette palette = m_sample->palette();
    palette.setColor(QPalette::Window, ColourOf(m_options.background));
    palette.setColor(QPalette::WindowText, ColourOf(m_options.foreground));
    m_sample->setPalette(palette);
}

void CYourOrdersWindow::Reload()
{
    if (m_source)
        m_options = m_source();
}

void CYourOrdersWindow::Changed()
{
    ShowOptions();
    if (m_changed)
        m_changed(m_options);
}

void CYourOrdersWindow::Pick(bool foreground)
{
    if (!m_pick)
        return;
    Reload();
    ShowOptions();
    const std::optional<int> chosen = m_pick(this, foreground ? m_options.foreground : m_options.background);
    if (!chosen)
        return;
    Reload();
    (foreground ? m_options.foreground : m_options.background) = *chosen & 0xFFFFFF;
    Changed();
}

void CYourOrdersWindow::Fill()
{
    m_rows = CollectYourOrders(m_feed, m_customers ? m_customers() : nullptr);
    m_list->clear();
    for (const YourOrderRow& row : m_rows) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, QString::fromStdString(row.name));
        item->setText(1, QString::fromStdString(row.bid));
        item->setText(2, QString::fromStdString(row.offer));
        item->setText(3, QString::fromStdString(row.quantity));
    }
}

void CYourOrdersWindow::showEvent(QShowEvent* event)
{
    Reload();
    ShowOptions();
    Fill();
    QDialog::showEvent(event);
}

} // namespace mavo
