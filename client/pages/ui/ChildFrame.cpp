#include "pages/ui/ChildFrame.h"

#include "pages/ui/MAVOView.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMenu>

namespace mavo {

CChildFrame::CChildFrame(CMAVOView* view, PageAsker asker, QWidget* parent)
    : QMdiSubWindow(parent), m_view(view), m_ask(asker ? std::move(asker) : DefaultPageAsker())
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("style # %1").arg(m_style));
    setWidget(view);
    ApplyStyleFlags();
    setWindowTitle(QString::fromStdString(view->Document().GetTitle()));
}

void CChildFrame::ApplyStyleFlags()
{
    Qt::WindowFlags flags = Qt::SubWindow;
    switch (m_style) {
    case kTitleBar:
        flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint;
        break;
    case kBorderOnly:
        // A border without a caption.
        flags |= Qt::CustomizeWindowHint;
        break;
    case kFrameless:
    default: flags |= Qt::FramelessWindowHint; break;
    }
    setWindowFlags(flags);
    // The main window's commands own the keys (Ctrl+W is "View Full
    // Screen"); the system menu's own shortcuts would make them ambiguous.
    if (QMenu* menu = systemMenu())
        for (QAction* action : menu->actions())
            action->setShortcuts({});
}

bool CChildFrame::SetFrameStyle(int style)
{
    if (style == m_style || style < kTitleBar || style > kFrameless)
        return false;
    const QPoint at = pos();
    const bool wasVisible = isVisible();
    m_style = style;
    setObjectName(QStringLiteral("style # %1").arg(style));
    ApplyStyleFlags();
    move(at);
    FitToView();
    if (wasVisible) {
        show();
        if (QMdiArea* area = mdiArea())
            area->setActiveSubWindow(this);
    }
    return true;
}

void CChildFrame::FitToView()
{
    if (m_view == nullptr)
        return;
    // The frame's own parts (caption, border) around a client area of
    // exactly the view's nominal size.
    const QSize client = m_view->sizeHint();
    QSize chrome = size() - m_view->size();
    if (!m_view->isVisible() || chrome.width() < 0 || chrome.height() < 0) {
        ensurePolished();
        chrome = QMdiSubWindow::sizeHint() - m_view->sizeHint();
    }
    resize(client + chrome);
    m_view->resize(client);
    m_placed = false;
    m_fittedSize = size();
}

bool CChildFrame::IsPlaced() const
{
    return m_placed || (m_fittedSize.isValid() && size() != m_fittedSize);
}

WindowPlacement CChildFrame::Placement() const
{
    WindowPlacement p;
    const QRect normal = isMinimized() || isMaximized() ? normalGeometry() : geometry();
    p.normal = Rect{normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()};
    p.showCmd = isMinimized() ? WindowPlacement::SW_SHOWMINIMIZED
                              : isMaximized() ? WindowPlacement::SW_SHOWMAXIMIZED : WindowPlacement::SW_SHOWNORMAL;
    return p;
}

void CChildFrame::ApplyPlacement(const WindowPlacement& placement)
{
    const Rect& r = placement.normal;
    if (r.Width() > 0 && r.Height() > 0) {
        setGeometry(r.left, r.top, r.Width(), r.Height());
        m_placed = true;
    } else {
        move(r.left, r.top);
    }
    if (placement.IsMinimized())
        showMinimized();
    else if (placement.IsMaximized())
        showMaximized();
}

void CChildFrame::CloseWithoutAsking()
{
    m_forceClose = true;
    close();
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    if (m_forceClose || m_view == nullptr) {
        QMdiSubWindow::closeEvent(event);
        return;
    }
    const CMAVODoc& doc = m_view->Document();
    if (doc.HoldsOwnOrders()) {
        m_ask(this, QString::fromUtf8(kClosePageCaption), QString::fromUtf8(kRemoveOrdersText),
              PageMessageKind::Information);
        event->ignore();
        return;
    }
    const QString question = QString::fromUtf8(kCloseQuestionFormat).arg(QString::fromStdString(doc.GetTitle()));
    if (!m_ask(this, QString::fromUtf8(kClosePageCaption), question, PageMessageKind::Question)) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

} // namespace mavo
