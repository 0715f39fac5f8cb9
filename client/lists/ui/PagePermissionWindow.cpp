#include "lists/ui/PagePermissionWindow.h"

#include "lists/PagePermission.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace mavo {

namespace {

// A list box with four columns of a quarter of its width each.
class CColumnList : public QListWidget {
public:
    explicit CColumnList(QWidget* parent) : QListWidget(parent)
    {
        setFlow(QListView::TopToBottom);
        setWrapping(true);
        setResizeMode(QListView::Adjust);
        setUniformItemSizes(true);
        setSelectionMode(QAbstractItemView::SingleSelection);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        const int width = std::max(1, viewport()->width() / CPagePermissionWindow::kColumns);
        setGridSize(QSize(width, fontMetrics().height() + 2));
        QListWidget::resizeEvent(event);
    }
};

} // namespace

CPagePermissionWindow::CPagePermissionWindow(std::function<bool(int page)> permitted, QWidget* parent)
    : QDialog(parent), m_permitted(std::move(permitted)), m_list(new CColumnList(this))
{
    setObjectName(QStringLiteral("PagePermission"));
    setWindowTitle(QString::fromUtf8(kPagePermissionCaption));
    setModal(false);
    m_list->setObjectName(QStringLiteral("Pages"));
    m_list->setMinimumSize(220, 160);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

void CPagePermissionWindow::Refill()
{
    m_list->clear();
    for (const std::string& page : PermittedPageTexts(m_permitted))
        m_list->addItem(QString::fromStdString(page));
}

void CPagePermissionWindow::ShowPermissions() { ShowWithCaption(kPagePermissionCaption, true); }

void CPagePermissionWindow::NewPermissionReceived()
{
    // The feed's news comes while the user may be typing an order: the
    // window shows without taking the keyboard.
    ShowWithCaption(kNewPermissionCaption, false);
}

void CPagePermissionWindow::ShowWithCaption(const char* caption, bool activate)
{
    setWindowTitle(QString::fromUtf8(caption));
    Refill();
    setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    show();
    raise();
    if (activate)
        activateWindow();
}

} // namespace mavo
