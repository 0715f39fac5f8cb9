#include "properties/ui/SelectLinesDialog.h"

#include "properties/ContentsList.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace mavo {

CSelectLinesDialog::CSelectLinesDialog(CPageFeed& feed, int page, QWidget* parent)
    : QDialog(parent), m_feed(feed), m_page(page), m_tree(new QTreeWidget(this)), m_wakeup(this)
{
    setWindowTitle(QStringLiteral("Select Lines to Add"));
    setObjectName(QStringLiteral("SelectLinesToAdd"));
    m_tree->setObjectName(QStringLiteral("Lines"));
    m_tree->setColumnCount(4);
    m_tree->setHeaderLabels({QStringLiteral("Page"), QStringLiteral("Line"), QStringLiteral("Line#"),
                             QStringLiteral("Issue")});
    m_tree->setRootIsDecorated(false);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setUniformRowHeights(true);
    m_tree->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_tree->header()->setStretchLastSection(true);
    m_tree->setMinimumSize(360, 360);

    for (const SelectLineRow& row : SelectLineRows(page, feed.Cache(), feed.IsFullView()))
        m_keys.push_back(row.key);
    for (unsigned key : m_keys) {
        m_feed.AddRef(key);
        m_tree->addTopLevelItem(new QTreeWidgetItem(4));
    }
    for (int row = 0; row < static_cast<int>(m_keys.size()); ++row)
        FillRow(row);
    for (int c = 0; c < 3; ++c)
        m_tree->resizeColumnToContents(c);
    m_wakeup.Watch(m_keys);
    m_registered = m_feed.Register(&m_wakeup);
    if (!m_keys.empty())
        m_feed.RequestPage(page);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
}

CSelectLinesDialog::~CSelectLinesDialog()
{
    // Unregister returns only when no call-back runs: nothing posts to
    // this object once it is gone.
    if (m_registered)
        m_feed.Unregister(&m_wakeup);
    for (unsigned key : m_keys)
        m_feed.Release(key);
}

std::vector<unsigned> CSelectLinesDialog::SelectedKeys() const
{
    std::vector<unsigned> keys;
    for (int row = 0; row < m_tree->topLevelItemCount() && row < static_cast<int>(m_keys.size()); ++row)
        if (m_tree->topLevelItem(row)->isSelected())
            keys.push_back(m_keys[static_cast<std::size_t>(row)]);
    return keys;
}

void CSelectLinesDialog::FillRow(int row)
{
    QTreeWidgetItem* item = m_tree->topLevelItem(row);
    if (item == nullptr || row >= static_cast<int>(m_keys.size()))
        return;
    const unsigned key = m_keys[static_cast<std::size_t>(row)];
    const LineRef line = m_feed.Cache().GetForRead(key);
    int page = 0, number = 0;
    ParseZPHKey(key, page, number);
    item->setText(0, QString::number(page));
    item->setText(1, QString::number(number));
    item->setText(2, line ? QString::number(line->m_line) : QString());
    item->setText(3, QString::fromStdString(ContentsIssueText(line, m_feed.IsFullView())));
}

void CSelectLinesDialog::customEvent(QEvent* event)
{
    const auto keys = m_wakeup.Take(event);
    if (!keys) {
        QDialog::customEvent(event);
        return;
    }
    for (unsigned key : *keys) {
        const auto it = std::find(m_keys.begin(), m_keys.end(), key);
        if (it == m_keys.end())
            continue;
        FillRow(static_cast<int>(it - m_keys.begin()));
        ++m_rowsUpdated;
    }
}

} // namespace mavo
